#include "apps/vesk-beat/run/BatchReport.h"

#include <cerrno>
#include <cstring>

#include "apps/vesk-beat/run/ExitCode.h"

namespace vesk_beat {

void reportError(const std::string& message) {
  std::fprintf(stderr, "vesk-beat: %s\n", message.c_str());
  std::fflush(stderr);
}

int copyFile(const std::string& path, std::FILE* out) {
  std::FILE* in = std::fopen(path.c_str(), "r");
  if (!in) return 0;  // the worker could not write it and said so
  char buffer[8192];
  std::size_t n;
  int error = 0;
  while (error == 0 && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
    errno = 0;
    if (std::fwrite(buffer, 1, n, out) != n) error = errno != 0 ? errno : EIO;
  }
  std::fclose(in);
  errno = 0;
  if (error == 0 && std::fflush(out) != 0) error = errno != 0 ? errno : EIO;
  return error;
}

int outputVerdict(int error, const std::string& output) {
  if (error == 0 || error == EPIPE) return kExitOk;
  reportError(output + ": " + std::strerror(error));
  return kExitFailed;
}

}  // namespace vesk_beat
