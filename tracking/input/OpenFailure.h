#ifndef VESK_TRACKING_OPENFAILURE_H
#define VESK_TRACKING_OPENFAILURE_H

#include <string>

namespace vesk_tracking {

// Why opening something failed, for a message, from its errno: the system's
// words, except that a process out of file descriptors is told which limit
// to raise.
std::string openFailure(int error);

}  // namespace vesk_tracking

#endif
