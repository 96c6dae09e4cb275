#include "node/host/Node.h"

#include <iostream>
#include <map>
#include <memory>
#include <mutex>

#include "node/host/Exception.h"
#include "node/host/ForkSafety.h"

namespace RL {

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::unique_ptr<_NodeFactory>> factories;
  std::map<std::string, char**> icons;
};

Registry& registry() {
  static Registry* r = [] {
    auto* made = new Registry;  // factories live as long as the process
    holdAcrossFork(made->mutex);
    return made;
  }();
  return *r;
}

}  // namespace

Node::Node(std::string nodeName, const ParameterSet& params)
    : name(std::move(nodeName)), parameters(params) {}

int Node::addInput(const std::string& inputName) {
  for (const NodeInput& in : inputs)
    if (in.name == inputName)
      throw new NodeException(this, "input declared twice: " + inputName, __FILE__, __LINE__);
  inputs.push_back({inputName, nullptr, -1});
  return static_cast<int>(inputs.size()) - 1;
}

int Node::addOutput(const std::string& outputName) {
  if (translateOutput(outputName) >= 0)
    throw new NodeException(this, "output declared twice: " + outputName, __FILE__, __LINE__);
  outputNames.push_back(outputName);
  return static_cast<int>(outputNames.size()) - 1;
}

void Node::connectToNode(const std::string& inputName, Node* node, const std::string& outputName) {
  int in = translateInput(inputName);
  if (in < 0) throw new NodeException(this, "unknown input: " + inputName, __FILE__, __LINE__);
  if (!node)
    throw new NodeException(this, "input " + inputName + " connected to no node", __FILE__,
                            __LINE__);
  int out = node->translateOutput(outputName);
  if (out < 0) throw new NodeException(node, "unknown output: " + outputName, __FILE__, __LINE__);
  connectToNode(in, node, out);
}

void Node::connectToNode(int inputID, Node* node, int outputID) {
  if (inputID < 0 || inputID >= static_cast<int>(inputs.size()))
    throw new NodeException(this, "unknown input number " + std::to_string(inputID), __FILE__,
                            __LINE__);
  inputs[inputID].node = node;
  inputs[inputID].outputID = outputID;
}

ObjectRef Node::getOutputNamed(const std::string& outputName, int count) {
  int id = translateOutput(outputName);
  if (id < 0) throw new NodeException(this, "unknown output: " + outputName, __FILE__, __LINE__);
  return getOutput(id, count);
}

bool Node::hasOutput(int outputID) const {
  return outputID >= 0 && outputID < outputCount();
}

int Node::translateInput(const std::string& inputName) const {
  for (std::size_t i = 0; i < inputs.size(); ++i)
    if (inputs[i].name == inputName) return static_cast<int>(i);
  return -1;
}

int Node::translateOutput(const std::string& outputName) const {
  for (std::size_t i = 0; i < outputNames.size(); ++i)
    if (outputNames[i] == outputName) return static_cast<int>(i);
  return -1;
}

void Node::request(int outputID, int, int) {
  if (!hasOutput(outputID))
    throw new NodeException(this, "unknown output number " + std::to_string(outputID), __FILE__,
                            __LINE__);
}

void Node::initialize() {
  for (const NodeInput& in : inputs)
    if (!in.node)
      throw new NodeException(this, "input " + in.name + " is not connected", __FILE__, __LINE__);
}

ObjectRef Node::getInput(int inputID, int count) {
  if (inputID < 0 || inputID >= static_cast<int>(inputs.size()))
    throw new NodeException(this, "unknown input number " + std::to_string(inputID), __FILE__,
                            __LINE__);
  const NodeInput& in = inputs[inputID];
  if (!in.node)
    throw new NodeException(this, "input " + in.name + " is not connected", __FILE__, __LINE__);
  return in.node->getOutput(in.outputID, count);
}

void Node::addFactory(const std::string& typeName, _NodeFactory* factory) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (r.factories.count(typeName)) {
    // A type is registered once; a second registration keeps the first factory.
    std::cerr << "Node::addFactory: node type " << typeName << " is already registered\n";
    delete factory;
    return;
  }
  r.factories[typeName].reset(factory);
}

void Node::addXPM(const std::string& typeName, char** image) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.icons[typeName] = image;
}

_NodeFactory* Node::getFactoryNamed(const std::string& typeName) {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.factories.find(typeName);
  return it == r.factories.end() ? nullptr : it->second.get();
}

std::vector<std::string> Node::factoryNames() {
  Registry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  std::vector<std::string> names;
  for (const auto& entry : r.factories) names.push_back(entry.first);
  return names;
}

}  // namespace RL
