#ifndef RILL_BUFFEREDNODE_H
#define RILL_BUFFEREDNODE_H

#include <vector>

#include "node/host/Buffer.h"
#include "node/host/Node.h"

namespace RL {

// One output of a buffered node: its frames and how far around the requested
// frame its readers look.
struct OutputCacheInfo {
  RCPtr<Buffer> buffer;
  int lookAhead = 0;
  int lookBack = 0;
};

// A node that computes whole frames with calculate() and keeps them in one
// buffer per output, so that every reader of a frame gets the same objects.
class BufferedNode : public Node {
 public:
  BufferedNode(std::string nodeName, const ParameterSet& params);

  int addOutput(const std::string& outputName) override;
  void request(int outputID, int lookAhead, int lookBack) override;
  void initialize() override;
  void reset() override;

  // The object of `outputID` for frame `count`, computing what is missing
  // first. Framework errors leave as an ExceptionStack ending in
  // "Exception caught in BufferedNode::getOutput".
  ObjectRef getOutput(int outputID, int count) override;

  // Computes frame `count` of every output; `out` is the buffer of `outputID`.
  virtual void calculate(int outputID, int count, Buffer& out) = 0;

  const OutputCacheInfo& outputInfo(int outputID) const { return outputs.at(outputID); }
  int lastComputedFrame() const { return processCount; }

 protected:
  virtual void initializeBuffers();
  // Records frame `count` as computed: the last computed frame, and the
  // window of every output buffer, which moves even where nothing was stored.
  void markComputed(int count);

  std::vector<OutputCacheInfo> outputs;
  int processCount = -1;  // the last frame computed
  bool inOrder = false;   // frames must be computed one after another
};

}  // namespace RL

#endif
