#ifndef VESK_TRACKING_WORKINGDIRECTORY_H
#define VESK_TRACKING_WORKINGDIRECTORY_H

#include <mutex>
#include <string>

namespace vesk_tracking {

// The node opens its beat log, and its engine the diagnostic files, in the
// process's current directory. While they are created the current directory
// is switched to where those files belong; the switch is process-wide, so it
// is serialised.
class ScopedWorkingDirectory {
 public:
  // Throws std::runtime_error when the directory cannot be entered.
  explicit ScopedWorkingDirectory(const std::string& dir);
  ~ScopedWorkingDirectory();
  ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
  ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

 private:
  std::unique_lock<std::mutex> lock;
  int previous = -1;
};

// A private directory under $TMPDIR (or /tmp), removed with its contents.
class TemporaryDirectory {
 public:
  explicit TemporaryDirectory(const std::string& prefix = "vesk-beat");
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  const std::string& path() const { return dir; }

 private:
  std::string dir;
};

// Throws std::runtime_error, naming TMPDIR, unless the folder for temporary
// files ($TMPDIR, or /tmp) is a writable directory.
void checkTemporaryDirectory();

// `path` made absolute against the current directory (no symlink resolution).
std::string absolutePath(const std::string& path);
// Creates `dir` and missing parents. Throws std::runtime_error.
void makeDirectories(const std::string& dir);

}  // namespace vesk_tracking

#endif
