#ifndef VESK_BEAT_DIRECTORYLOCK_H
#define VESK_BEAT_DIRECTORYLOCK_H

#include <string>

namespace vesk_beat {

// Holds a directory for this run, so that two runs never write their files
// into one folder at once (their lines would interleave). The lock is the
// kernel's (flock): it goes with the process, even when it is killed, and
// leaves nothing behind in the folder. Worker processes share it.
class DirectoryLock {
 public:
  // Throws std::runtime_error when `dir` cannot be opened or another run holds it.
  explicit DirectoryLock(const std::string& dir);
  ~DirectoryLock();
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

 private:
  int fd = -1;
};

}  // namespace vesk_beat

#endif
