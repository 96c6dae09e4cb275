#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "node/host/Rill.h"

namespace {

// Counts frames; records which frames it computed.
class Counter : public RL::BufferedNode {
 public:
  Counter(std::string name, const RL::ParameterSet& params, bool ordered)
      : RL::BufferedNode(std::move(name), params) {
    value = addOutput("VALUE");
    twice = addOutput("TWICE");
    inOrder = ordered;
  }
  void calculate(int, int count, RL::Buffer&) override {
    computed.push_back(count);
    (*outputs[value].buffer)[count] = RL::ObjectRef(new RL::GenericType<int>(count));
    (*outputs[twice].buffer)[count] = RL::ObjectRef(new RL::GenericType<int>(2 * count));
  }
  int value;
  int twice;
  std::vector<int> computed;
};

// Adds one to its input.
class PlusOne : public RL::BufferedNode {
 public:
  PlusOne(std::string name, const RL::ParameterSet& params)
      : RL::BufferedNode(std::move(name), params) {
    in = addInput("IN");
    out = addOutput("OUT");
  }
  void calculate(int, int count, RL::Buffer& buffer) override {
    buffer[count] =
        RL::ObjectRef(new RL::GenericType<int>(RL::dereference_cast<int>(getInput(in, count)) + 1));
  }
  int in;
  int out;
};

TEST(BufferedNode, InOrderComputesEveryMissingFrameOnce) {
  Counter node("c", RL::ParameterSet(), true);
  node.request(node.value, 0, 5);
  node.initialize();
  EXPECT_EQ(RL::dereference_cast<int>(node.getOutput(node.twice, 3)), 6);
  EXPECT_EQ(RL::dereference_cast<int>(node.getOutput(node.value, 1)), 1);
  EXPECT_EQ(node.computed, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(node.lastComputedFrame(), 3);
}

TEST(BufferedNode, OutOfOrderComputesOnlyWhatIsAsked) {
  Counter node("c", RL::ParameterSet(), false);
  node.initialize();
  node.getOutput(node.value, 4);
  node.getOutput(node.twice, 4);
  EXPECT_EQ(node.computed, (std::vector<int>{4}));
}

TEST(BufferedNode, PullsInputsThroughTheNetworkAndWrapsErrors) {
  Counter source("source", RL::ParameterSet(), true);
  PlusOne plus("plus", RL::ParameterSet());
  plus.connectToNode("IN", &source, "VALUE");
  source.initialize();
  plus.initialize();
  EXPECT_EQ(RL::dereference_cast<int>(plus.getOutputNamed("OUT", 5)), 6);

  // A frame older than the buffer keeps is an error, reported by both nodes.
  try {
    plus.getOutput(plus.out, 0);
    FAIL();
  } catch (RL::BaseException* e) {
    std::unique_ptr<RL::BaseException> owned(e);
    const std::string text = e->message();
    EXPECT_NE(text.find("trying to read non-existing element"), std::string::npos);
    EXPECT_NE(text.find("Node plus: Exception caught in BufferedNode::getOutput"),
              std::string::npos);
  }
}

TEST(Node, UnconnectedInputIsReportedAtInitialize) {
  PlusOne plus("lonely", RL::ParameterSet());
  try {
    plus.initialize();
    FAIL();
  } catch (RL::NodeException* e) {
    std::unique_ptr<RL::BaseException> owned(e);
    EXPECT_NE(e->what().find("input IN is not connected"), std::string::npos);
  }
}

TEST(Node, FactoryRegistryKeepsOneFactoryPerName) {
  RL::Node::addFactory("HostTestCounter", new RL::NodeFactory<PlusOne>("HostTestCounter"));
  RL::_NodeFactory* first = RL::Node::getFactoryNamed("HostTestCounter");
  ASSERT_NE(first, nullptr);
  RL::Node::addFactory("HostTestCounter", new RL::NodeFactory<PlusOne>("HostTestCounter"));
  EXPECT_EQ(RL::Node::getFactoryNamed("HostTestCounter"), first);
  std::unique_ptr<RL::Node> made(first->Create("made", RL::ParameterSet()));
  EXPECT_EQ(made->getName(), "made");
  EXPECT_EQ(made->translateOutput("OUT"), 0);
  EXPECT_EQ(RL::Node::getFactoryNamed("NoSuchType"), nullptr);
}

TEST(ParameterSet, MissingParameterIsNamed) {
  RL::ParameterSet params;
  params.add("ADVANCE", RL::ObjectRef(new RL::GenericType<int>(160)));
  EXPECT_EQ(RL::dereference_cast<int>(params.get("ADVANCE")), 160);
  try {
    params.get("MIN_BPM");
    FAIL();
  } catch (RL::GeneralException* e) {
    std::unique_ptr<RL::BaseException> owned(e);
    EXPECT_EQ(e->what(), "Missing parameter: MIN_BPM");
  }
}

}  // namespace
