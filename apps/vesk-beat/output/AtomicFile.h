#ifndef VESK_BEAT_ATOMICFILE_H
#define VESK_BEAT_ATOMICFILE_H

#include <cstdio>
#include <stdexcept>
#include <string>

namespace vesk_beat {

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An output file that appears whole or not at all: written to a temporary
// file beside it and renamed over it by commit(). Dropped without commit(),
// the temporary file is removed and an existing file is left as it was.
class AtomicFile {
 public:
  // Throws OutputError naming the file when it cannot be created.
  explicit AtomicFile(const std::string& path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Appends `text`; a failure is kept for commit() to report.
  void write(const std::string& text);
  // The file itself, for writers that take a stream; commit() sees its errors.
  std::FILE* stream() { return file; }
  // Throws OutputError, with the system's reason, when writing or renaming failed.
  void commit();

 private:
  void fail(int error);

  std::string path;
  std::string temporary;
  std::FILE* file = nullptr;
  int error = 0;  // errno of the first failed write
};

}  // namespace vesk_beat

#endif
