// Runs when the framework loads the library: registers the module version and
// the node type.
#include <string>

#include "node/BeatTracker.h"
#include "node/host/Node.h"
#include "node/host/Object.h"

namespace {

struct ModuleRegistration {
  ModuleRegistration() {
    RL::Object::setModuleVersion(std::string("VESK_MUSIC"), std::string("8895"),
                                 std::string("2.5.0"));
    RL::Node::addFactory("BeatTracker", new RL::NodeFactory<BeatTracker>("BeatTracker"));
    RL::Node::addXPM("BeatTracker", nullptr);
  }
};

const ModuleRegistration registration;

}  // namespace
