#ifndef VESK_BEAT_OUTPUTPATHS_H
#define VESK_BEAT_OUTPUTPATHS_H

#include <map>
#include <string>

namespace vesk_beat {

// "{}" in a per-input output name becomes the input's name without extension
// ("stdin" for "-"). One pass: a "{}" inside the name is not expanded again.
std::string expandPattern(const std::string& pattern, const std::string& input);

// Where an output named `path` is written: the file at the end of its
// symlinks, made absolute. Throws UsageError naming `option` unless that is a
// regular file or absent in an existing, writable directory: a device, a FIFO
// or a socket is never replaced by a file.
std::string resolveOutputPath(const std::string& option, const std::string& path);

// The files a run reads and writes, so that no output is an input or another
// output. Files are compared by device and inode when they exist (hard links
// and other spellings of one file are one file), by their resolved path
// otherwise.
class FileClaims {
 public:
  // An input file; "-" stands for standard input (claimed when it is a file).
  void input(const std::string& name, const std::string& path);
  // The `option` output of `input` (empty for one of the whole run) at
  // `resolved` (from resolveOutputPath), named `shown` on the command line.
  // Throws UsageError when an input or another output already claims the file.
  void output(const std::string& option, const std::string& input, const std::string& shown,
              const std::string& resolved);

 private:
  struct Claim {
    std::string owner;  // for messages
    bool input;
  };
  std::map<std::string, Claim> claims;  // by file identity
};

}  // namespace vesk_beat

#endif
