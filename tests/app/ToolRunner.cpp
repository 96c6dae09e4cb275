#include "tests/app/ToolRunner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

}  // namespace

std::string toolPath() {
  const char* env = std::getenv("VESK_BEAT");
  return env && *env ? env : VESK_BEAT_PROGRAM;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

ToolRun runTool(const std::vector<std::string>& args, const std::string& cwd,
                const std::string& inputPrefix, const std::string& inputSuffix) {
  // The captures live outside `cwd`, so tests can check what the tool left there.
  static int counter = 0;
  const char* tmp = std::getenv("TMPDIR");
  const std::string base = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-beat-run-" +
                           std::to_string(::getpid()) + "-" + std::to_string(++counter);
  const std::string outPath = base + ".out", errPath = base + ".err";
  std::string command = "cd " + quote(cwd) + " && " + inputPrefix + " " + quote(toolPath());
  for (const std::string& a : args) command += " " + quote(a);
  command += " " + inputSuffix + " > " + quote(outPath) + " 2> " + quote(errPath);
  int status = std::system(command.c_str());
  ToolRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = readFile(outPath);
  run.err = readFile(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return run;
}

double jsonNumber(const std::string& line, const std::string& key) {
  const std::size_t at = line.find("\"" + key + "\":");
  if (at == std::string::npos) return std::nan("");
  return std::strtod(line.c_str() + at + key.size() + 3, nullptr);
}
