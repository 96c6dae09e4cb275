#include "node/host/BufferedNode.h"

#include "node/host/Exception.h"

namespace RL {

BufferedNode::BufferedNode(std::string nodeName, const ParameterSet& params)
    : Node(std::move(nodeName), params) {}

int BufferedNode::addOutput(const std::string& outputName) {
  int id = Node::addOutput(outputName);
  outputs.emplace_back();
  return id;
}

void BufferedNode::request(int outputID, int lookAhead, int lookBack) {
  Node::request(outputID, lookAhead, lookBack);
  OutputCacheInfo& info = outputs[outputID];
  if (lookAhead > info.lookAhead) info.lookAhead = lookAhead;
  if (lookBack > info.lookBack) info.lookBack = lookBack;
}

void BufferedNode::initialize() {
  Node::initialize();
  initializeBuffers();
}

void BufferedNode::initializeBuffers() {
  for (OutputCacheInfo& info : outputs)
    info.buffer = RCPtr<Buffer>(new Buffer(info.lookAhead + info.lookBack + 1));
}

void BufferedNode::reset() {
  processCount = -1;
  initializeBuffers();
}

void BufferedNode::markComputed(int count) {
  if (count > processCount) processCount = count;
  for (OutputCacheInfo& info : outputs)
    if (info.buffer) info.buffer->advance(count);
}

ObjectRef BufferedNode::getOutput(int outputID, int count) {
  try {
    if (!hasOutput(outputID))
      throw new NodeException(this, "unknown output number " + std::to_string(outputID), __FILE__,
                              __LINE__);
    OutputCacheInfo& info = outputs[outputID];
    if (!info.buffer)
      throw new NodeException(this, "output read before initialize()", __FILE__, __LINE__);
    Buffer& out = *info.buffer;
    if (inOrder) {
      for (int i = processCount + 1; i <= count; ++i) {
        calculate(outputID, i, out);
        markComputed(i);
      }
    } else if (!out.isValid(count)) {
      calculate(outputID, count, out);
      markComputed(count);
    }
    return out.get(count);
  } catch (BaseException* e) {
    throw e->add(
        new NodeException(this, "Exception caught in BufferedNode::getOutput", __FILE__, __LINE__));
  }
}

}  // namespace RL
