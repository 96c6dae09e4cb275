// The node's console lines go where --node-output says, through a stream of
// their own: std::cout and the process's descriptors are never touched.
#include "apps/vesk-beat/run/NodeConsole.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "tracking/process/WorkingDirectory.h"

using vesk_beat::NodeConsole;

TEST(NodeConsole, DiscardsWithoutFormattingOrWritesTheFileAndLeavesCoutAlone) {
  NodeConsole none(NodeConsole::Target::Null, "");
  none.stream() << "a line of the tracker" << std::endl;
  EXPECT_TRUE(none.stream().fail());  // nothing was formatted
  EXPECT_FALSE(std::cout.fail());

  vesk_tracking::TemporaryDirectory dir("vesk-console");
  const std::string path = dir.path() + "/node.log";
  {
    NodeConsole file(NodeConsole::Target::File, path);
    file.stream() << "BeatTracker::BeatTracker" << std::endl;
  }
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "BeatTracker::BeatTracker\n");

  try {
    NodeConsole missing(NodeConsole::Target::File, dir.path() + "/no/such/node.log");
    FAIL() << "a file in a missing folder was accepted";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("--node-output: cannot open"), std::string::npos);
  }
}

TEST(NodeConsoleDeathTest, LinesAskedForOnStandardErrorArrive) {
  EXPECT_EXIT(
      {
        NodeConsole console(NodeConsole::Target::Stderr, "");
        console.stream() << "a line of the tracker" << std::endl;
        std::exit(console.stream().fail() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "a line of the tracker");
}
