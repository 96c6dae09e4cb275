#ifndef RILL_NODE_H
#define RILL_NODE_H

#include <string>
#include <vector>

#include "node/host/Object.h"
#include "node/host/ParameterSet.h"

namespace RL {

class Node;

// Builds nodes of one type by name; registered once per type with Node::addFactory.
class _NodeFactory {
 public:
  explicit _NodeFactory(std::string typeName) : name(std::move(typeName)) {}
  virtual ~_NodeFactory() = default;
  const std::string& getName() const { return name; }
  virtual Node* Create(const std::string& nodeName, const ParameterSet& params) = 0;

 private:
  std::string name;
};

template <class T>
class NodeFactory : public _NodeFactory {
 public:
  explicit NodeFactory(std::string typeName) : _NodeFactory(std::move(typeName)) {}
  Node* Create(const std::string& nodeName, const ParameterSet& params) override {
    return new T(nodeName, params);
  }
};

// Where an input gets its frames from: an upstream node and its output number.
struct NodeInput {
  std::string name;
  Node* node = nullptr;
  int outputID = -1;
};

// A processing node. Downstream nodes (or the host application) pull frames
// with getOutput(outputID, count).
class Node : public Object {
 public:
  Node(std::string nodeName, const ParameterSet& params);
  Node(const Node&) = delete;
  Node& operator=(const Node&) = delete;

  const std::string& getName() const { return name; }

  virtual int addInput(const std::string& inputName);
  virtual int addOutput(const std::string& outputName);
  // Feeds input `inputName` of this node from output `outputName` of `node`.
  virtual void connectToNode(const std::string& inputName, Node* node,
                             const std::string& outputName);
  virtual void connectToNode(int inputID, Node* node, int outputID);
  const std::vector<NodeInput>& getInputs() const { return inputs; }

  virtual ObjectRef getOutput(int outputID, int count) = 0;
  ObjectRef getOutputNamed(const std::string& outputName, int count);
  virtual bool hasOutput(int outputID) const;
  int translateInput(const std::string& inputName) const;
  int translateOutput(const std::string& outputName) const;
  int outputCount() const { return static_cast<int>(outputNames.size()); }

  // Declares how many frames ahead of and behind the requested one a reader
  // of the output needs. Called before initialize().
  virtual void request(int outputID, int lookAhead, int lookBack);
  // Run once the network is connected, before the first frame is asked for.
  virtual void initialize();
  virtual void stop() {}
  virtual void reset() {}

  // Registry of node types, shared by every plug-in loaded into the process.
  static void addFactory(const std::string& typeName, _NodeFactory* factory);
  static void addXPM(const std::string& typeName, char** image);
  static _NodeFactory* getFactoryNamed(const std::string& typeName);
  static std::vector<std::string> factoryNames();

 protected:
  // Frame `count` of input `inputID`, from its upstream node.
  ObjectRef getInput(int inputID, int count);

  std::string name;
  ParameterSet parameters;
  std::vector<NodeInput> inputs;
  std::vector<std::string> outputNames;
};

}  // namespace RL

#endif
