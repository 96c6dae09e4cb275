// The tracker's console lines go where --node-output says, and the tool's own
// output still reaches the real standard output. Each case runs in a child
// process, since the redirection changes the process's descriptor 1.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "apps/vesk-beat/run/ConsoleRedirect.h"

using vesk_beat::ConsoleRedirect;

TEST(ConsoleRedirectDeathTest, DiscardedLinesAreNotEvenWrittenAndCoutRecovers) {
  EXPECT_EXIT(
      {
        int code = 0;
        {
          ConsoleRedirect console(ConsoleRedirect::Target::Null, "");
          std::cout << "a line of the tracker" << std::endl;
          if (!std::cout.fail()) code |= 1;  // formatted and written after all
          std::fputs("the tool's result\n", console.output());
          std::fflush(console.output());
        }
        if (std::cout.fail()) code |= 2;  // left failing after the run
        std::exit(code);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(ConsoleRedirectDeathTest, LinesAskedForOnStandardErrorArrive) {
  EXPECT_EXIT(
      {
        ConsoleRedirect console(ConsoleRedirect::Target::Stderr, "");
        std::cout << "a line of the tracker" << std::endl;
        std::exit(std::cout.fail() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "a line of the tracker");
}
