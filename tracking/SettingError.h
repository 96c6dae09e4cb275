#ifndef VESK_TRACKING_SETTINGERROR_H
#define VESK_TRACKING_SETTINGERROR_H

#include <stdexcept>

namespace vesk_tracking {

// A setting the tracking stages cannot use: the message names the value and
// what is allowed.
class SettingError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

}  // namespace vesk_tracking

#endif
