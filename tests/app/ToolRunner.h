#ifndef VESK_TESTS_APP_TOOLRUNNER_H
#define VESK_TESTS_APP_TOOLRUNNER_H

#include <string>
#include <vector>

// What one run of the built vesk-beat produced.
struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// The program under test: $VESK_BEAT when set, else the one of this build.
std::string toolPath();

// Runs vesk-beat with `args` in directory `cwd`, standard input from `input`
// (a shell redirection or pipeline prefix, e.g. "< file" or "cat f |"), and
// captures both outputs.
ToolRun runTool(const std::vector<std::string>& args, const std::string& cwd,
                const std::string& inputPrefix = "",
                const std::string& inputSuffix = "< /dev/null");

std::string readFile(const std::string& path);
// The number after "key": in a JSON line; NaN when absent.
double jsonNumber(const std::string& line, const std::string& key);

#endif
