#ifndef VESK_TRACKING_WINDOWNAMES_H
#define VESK_TRACKING_WINDOWNAMES_H

#include <string>

namespace vesk_tracking {

// The WindowFunction::Type for a window name ("hann", "blackman-harris", ...),
// or -1 for an unknown name.
int windowTypeNamed(const std::string& name);

// All names, comma separated, for messages and --help.
std::string windowNameList();

}  // namespace vesk_tracking

#endif
