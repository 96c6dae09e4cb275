#ifndef VESK_TRACKING_WORKINGDIRECTORY_H
#define VESK_TRACKING_WORKINGDIRECTORY_H

#include <string>

namespace vesk_tracking {

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
