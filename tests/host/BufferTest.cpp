#include <gtest/gtest.h>

#include <memory>

#include "node/host/Rill.h"
#include "tests/support/FrameworkError.h"

namespace {

using test_support::ErrorOf;

TEST(Buffer, KeepsAWindowOfFramesWithWrittenFlags) {
  RL::Buffer buffer(3);
  buffer[0] = RL::ObjectRef(new RL::Bool(true));
  buffer[2] = RL::ObjectRef(new RL::Bool(false));
  EXPECT_TRUE(buffer.isValid(0));
  EXPECT_FALSE(buffer.isValid(1));
  EXPECT_EQ(RL::dereference_cast<bool>(buffer.get(2)), false);
  EXPECT_NE(ErrorOf([&] { buffer.get(1); }).find("trying to read not initialized element"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { buffer.get(3); }).find("trying to read non-existing element"),
            std::string::npos);

  // Frame 3 pushes frame 0 out of the window.
  buffer[3] = RL::ObjectRef(new RL::Bool(true));
  EXPECT_NE(ErrorOf([&] { buffer.get(0); }).find("trying to read non-existing element"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { buffer[0]; }).find("trying to write to non-existing element"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] { buffer.get(-1); }).find("non-existing"), std::string::npos);
  // A frame skipped over reads as never written, not as an old value.
  buffer[6] = RL::ObjectRef(new RL::Bool(true));
  EXPECT_FALSE(buffer.isValid(5));
  EXPECT_FALSE(buffer.isValid(3));
}

TEST(Buffer, AdvancingWithoutWritingLeavesFramesNotInitialized) {
  RL::Buffer buffer(2);
  EXPECT_NE(ErrorOf([&] { buffer.get(0); }).find("trying to read non-existing element"),
            std::string::npos);
  buffer.advance(0);
  EXPECT_NE(ErrorOf([&] { buffer.get(0); }).find("trying to read not initialized element"),
            std::string::npos);
  buffer[1] = RL::TrueObject;
  buffer.advance(0);  // never moves back
  EXPECT_EQ(buffer.getCurrentPos(), 1);
}

TEST(Buffer, ReleasesObjectsThatLeaveTheWindow) {
  RL::Buffer buffer(1);
  RL::ObjectRef held(new RL::Bool(true));
  buffer[0] = held;
  EXPECT_EQ(held->references(), 2);
  buffer[1] = RL::FalseObject;
  EXPECT_EQ(held->references(), 1);
}

}  // namespace
