#ifndef VESK_BEAT_USAGEERROR_H
#define VESK_BEAT_USAGEERROR_H

#include <stdexcept>

namespace vesk_beat {

// A bad command line: the message names the option, the value and what is allowed.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vesk_beat

#endif
