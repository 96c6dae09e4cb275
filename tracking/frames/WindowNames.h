#ifndef VESK_TRACKING_WINDOWNAMES_H
#define VESK_TRACKING_WINDOWNAMES_H

#include <optional>
#include <string>
#include <vector>

#include "voice_cancel/WindowFunction.h"

namespace vesk_tracking {

// The window of a name ("hann", "blackman-harris", ...; any case), or none
// for an unknown name.
std::optional<WindowFunction::Type> windowTypeNamed(const std::string& name);

// All names, comma separated, for messages and --help.
std::string windowNameList();
// The same as a list.
const std::vector<std::string>& windowNames();

}  // namespace vesk_tracking

#endif
