#ifndef VESK_BEAT_NODECONSOLE_H
#define VESK_BEAT_NODECONSOLE_H

#include <fstream>
#include <memory>
#include <ostream>
#include <string>

namespace vesk_beat {

// Where the node's own console lines (and the robot messages' echo) go, as
// --node-output says: nowhere, standard error or a file. They never reach
// standard output, which holds the tool's results; the node is handed this
// stream rather than writing to std::cout.
class NodeConsole {
 public:
  enum class Target { Null, Stderr, File };
  // Throws std::runtime_error when the file cannot be created.
  NodeConsole(Target target, const std::string& file);
  NodeConsole(const NodeConsole&) = delete;
  NodeConsole& operator=(const NodeConsole&) = delete;

  // With Target::Null the stream fails every write, so that lines nobody
  // reads are not even formatted (the tracker writes up to eight a frame
  // while a long silence lasts).
  std::ostream& stream() { return *out; }

 private:
  std::ostream discard{nullptr};
  std::unique_ptr<std::ofstream> file;
  std::ostream* out = &discard;
};

}  // namespace vesk_beat

#endif
