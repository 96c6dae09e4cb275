// Loads the built plug-in the way a framework does and checks what its load
// registers. Links only the framework core.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "node/host/Rill.h"

namespace {

TEST(PluginLoad, RegistersTheModuleAndTheNodeTypeOnce) {
  ASSERT_EQ(RL::Node::getFactoryNamed("BeatTracker"), nullptr);
  void* handle = dlopen(VESK_PLUGIN_PATH, RTLD_NOW | RTLD_GLOBAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  void* again = dlopen(VESK_PLUGIN_PATH, RTLD_NOW | RTLD_GLOBAL);
  ASSERT_EQ(again, handle);

  auto versions = RL::Object::moduleVersions();
  ASSERT_EQ(std::count_if(versions.begin(), versions.end(),
                          [](const RL::ModuleVersion& v) { return v.module == "VESK_MUSIC"; }),
            1);
  auto it = std::find_if(versions.begin(), versions.end(),
                         [](const RL::ModuleVersion& v) { return v.module == "VESK_MUSIC"; });
  EXPECT_EQ(it->revision, "8895");
  EXPECT_EQ(it->version, "2.5.0");
  auto names = RL::Node::factoryNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "BeatTracker"), 1);

  RL::_NodeFactory* factory = RL::Node::getFactoryNamed("BeatTracker");
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->getName(), "BeatTracker");
  RL::ParameterSet params;
  params.add("RELIABILITY-THRESHOLD", RL::ObjectRef(new RL::NetCType<float>(0.5f)));
  params.add("ADVANCE", RL::ObjectRef(new RL::GenericType<int>(160)));
  params.add("SAMPLING_RATE", RL::ObjectRef(new RL::GenericType<int>(16000)));
  params.add("MAX_BPM", RL::ObjectRef(new RL::GenericType<int>(120)));
  params.add("MIN_BPM", RL::ObjectRef(new RL::GenericType<int>(60)));
  params.add("VECTOR_FLAG", RL::ObjectRef(new RL::Bool(false)));
  params.add("LOG_FLAG", RL::ObjectRef(new RL::Bool(false)));
  std::unique_ptr<RL::Node> node(factory->Create("beat", params));
  EXPECT_EQ(node->getName(), "beat");
  EXPECT_EQ(node->translateOutput("CONFIDENCE"), 2);
  node.reset();
  std::remove("bt_quendabt.dat");
  dlclose(again);
  dlclose(handle);
}

}  // namespace
