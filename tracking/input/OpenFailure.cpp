#include "tracking/input/OpenFailure.h"

#include <cerrno>
#include <cstring>

namespace vesk_tracking {

std::string openFailure(int error) {
  if (error == EMFILE) return "too many open files: raise ulimit -n";
  return std::strerror(error);
}

}  // namespace vesk_tracking
