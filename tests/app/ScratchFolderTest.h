#ifndef VESK_TESTS_APP_SCRATCHFOLDERTEST_H
#define VESK_TESTS_APP_SCRATCHFOLDERTEST_H

#include <gtest/gtest.h>

#include <string>

#include "tracking/process/WorkingDirectory.h"

// A test with a scratch folder of its own, removed after it: the tool runs
// there and its inputs and outputs lie there.
class ScratchFolderTest : public ::testing::Test {
 protected:
  explicit ScratchFolderTest(const std::string& prefix) : dir(prefix) {}
  std::string path(const std::string& name) const { return dir.path() + "/" + name; }

  vesk_tracking::TemporaryDirectory dir;
};

#endif
