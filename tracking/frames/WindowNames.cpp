#include "tracking/frames/WindowNames.h"

#include <cctype>

#include "voice_cancel/WindowFunction.h"

namespace vesk_tracking {

namespace {

struct Entry {
  const char* name;
  WindowFunction::Type type;
};

constexpr Entry kWindows[] = {
    {"rectangular", WindowFunction::Rectangular},
    {"hann", WindowFunction::Hann},
    {"hamming", WindowFunction::Hamming},
    {"bartlett", WindowFunction::Bartlett},
    {"bartlett-hann", WindowFunction::BartlettHann},
    {"nuttall", WindowFunction::Nuttall},
    {"blackman", WindowFunction::Blackman},
    {"blackman-harris", WindowFunction::BlackmanHarris},
    {"blackman-nuttall", WindowFunction::BlackmanNuttall},
    {"flat-top", WindowFunction::FlatTop},
    {"one-minus-cos4", WindowFunction::OneMinusCos4},
    {"welch", WindowFunction::Welch},
    {"blackman-doubled", WindowFunction::BlackmanDoubled},
};

}  // namespace

std::optional<WindowFunction::Type> windowTypeNamed(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const Entry& e : kWindows)
    if (lower == e.name) return e.type;
  return std::nullopt;
}

std::string windowNameList() {
  std::string list;
  for (const std::string& name : windowNames()) list += (list.empty() ? "" : ", ") + name;
  return list;
}

const std::vector<std::string>& windowNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (const Entry& e : kWindows) all.push_back(e.name);
    return all;
  }();
  return names;
}

}  // namespace vesk_tracking
