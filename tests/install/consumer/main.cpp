// Creates a BeatTracker node through the framework's registry, as a host
// application that links the installed library would.
#include <iostream>
#include <memory>

#include "beat_tracker/BeatTrackerData.h"
#include "beat_tracker/LogScale.h"
#include "node/host/Rill.h"

int main() {
  RL::_NodeFactory* factory = RL::Node::getFactoryNamed("BeatTracker");
  if (!factory) {
    std::cerr << "no BeatTracker factory registered\n";
    return 1;
  }
  RL::ParameterSet params;
  params.add("RELIABILITY-THRESHOLD", RL::ObjectRef(new RL::NetCType<float>(0.5f)));
  params.add("ADVANCE", RL::ObjectRef(new RL::GenericType<int>(160)));
  params.add("SAMPLING_RATE", RL::ObjectRef(new RL::GenericType<int>(16000)));
  params.add("MAX_BPM", RL::ObjectRef(new RL::GenericType<int>(120)));
  params.add("MIN_BPM", RL::ObjectRef(new RL::GenericType<int>(60)));
  params.add("VECTOR_FLAG", RL::ObjectRef(new RL::Bool(false)));
  params.add("LOG_FLAG", RL::ObjectRef(new RL::Bool(false)));
  std::unique_ptr<RL::Node> node(factory->Create("beat", params));
  beat_tracker::BeatTrackerData record;
  // Using one of the library's functions also keeps the linker from dropping
  // the library, whose load is what registers the node type.
  std::cout << "created " << node->getName() << " with " << node->outputCount()
            << " outputs; record interval " << record.now_interval << ", log scale "
            << convert_log_scale(1000.0, 0.0) << "\n";
  return node->outputCount() == 6 ? 0 : 1;
}
