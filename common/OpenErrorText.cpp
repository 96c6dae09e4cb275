#include "common/OpenErrorText.h"

#include <cerrno>
#include <cstring>

namespace vesk_common {

std::string OpenErrorText(int error) {
  if (error == EMFILE) return "too many open files: raise ulimit -n";
  if (error == ENFILE) return "too many open files in the system: raise fs.file-max";
  return std::strerror(error);
}

}  // namespace vesk_common
