#ifndef VESK_BEAT_CONSOLEREDIRECT_H
#define VESK_BEAT_CONSOLEREDIRECT_H

#include <cstdio>
#include <stdexcept>
#include <string>

namespace vesk_beat {

// The plug-in writes its own lines to standard output (std::cout). So that
// they never mix with the tool's results, the real standard output is moved
// to a private descriptor for the tool, and descriptor 1 then goes to
// /dev/null, to standard error or to a file. With /dev/null, std::cout is also
// set to fail, so that the lines cost nothing; the destructor restores it.
class ConsoleRedirect {
 public:
  enum class Target { Null, Stderr, File };
  // Throws std::runtime_error when the file cannot be opened.
  ConsoleRedirect(Target target, const std::string& file);
  ~ConsoleRedirect();
  ConsoleRedirect(const ConsoleRedirect&) = delete;
  ConsoleRedirect& operator=(const ConsoleRedirect&) = delete;

  // The tool's output: the original standard output.
  std::FILE* output() const { return out; }

 private:
  std::FILE* out = nullptr;
  bool muted = false;
};

}  // namespace vesk_beat

#endif
