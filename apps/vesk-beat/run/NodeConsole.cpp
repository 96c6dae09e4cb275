#include "apps/vesk-beat/run/NodeConsole.h"

#include <cerrno>
#include <iostream>
#include <stdexcept>

#include "common/OpenErrorText.h"

namespace vesk_beat {

NodeConsole::NodeConsole(Target target, const std::string& path) {
  if (target == Target::Stderr) {
    out = &std::cerr;
  } else if (target == Target::File) {
    errno = 0;
    file = std::make_unique<std::ofstream>(path, std::ios::out | std::ios::trunc);
    if (!file->is_open())
      throw std::runtime_error("--node-output: cannot open '" + path +
                               "': " + vesk_common::OpenErrorText(errno ? errno : EIO));
    out = file.get();
  }
}

}  // namespace vesk_beat
