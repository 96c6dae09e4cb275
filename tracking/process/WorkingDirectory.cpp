#include "tracking/process/WorkingDirectory.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace vesk_tracking {

namespace {
std::string temporaryBase() {
  const char* base = std::getenv("TMPDIR");
  return base && *base ? base : "/tmp";
}
}  // namespace

void checkTemporaryDirectory() {
  const std::string base = temporaryBase();
  std::error_code e;
  if (!std::filesystem::is_directory(base, e) || ::access(base.c_str(), W_OK | X_OK) != 0)
    throw std::runtime_error("cannot create temporary files in '" + base +
                             "': not a writable directory (set TMPDIR to one)");
}

TemporaryDirectory::TemporaryDirectory(const std::string& prefix) {
  std::string pattern = temporaryBase() + "/" + prefix + ".XXXXXX";
  if (!::mkdtemp(pattern.data()))
    throw std::runtime_error("cannot create a temporary directory '" + pattern + "': " +
                             std::strerror(errno) + " (set TMPDIR to a writable directory)");
  dir = pattern;
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

std::string absolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  std::error_code e;
  std::filesystem::path p = std::filesystem::absolute(path, e);
  return e ? path : p.lexically_normal().string();
}

void makeDirectories(const std::string& dir) {
  std::error_code e;
  std::filesystem::create_directories(dir, e);
  if (e || !std::filesystem::is_directory(dir))
    throw std::runtime_error("cannot create the directory '" + dir +
                             "': " + (e ? e.message() : std::string("not a directory")));
}

}  // namespace vesk_tracking
