#include "apps/vesk-beat/output/Utf8.h"

#include <utf8.h>

#include <iterator>

namespace vesk_beat {

std::string validUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  utf8::replace_invalid(text.begin(), text.end(), std::back_inserter(out), 0xFFFD);
  return out;
}

}  // namespace vesk_beat
