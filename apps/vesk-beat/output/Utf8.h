#ifndef VESK_BEAT_UTF8_H
#define VESK_BEAT_UTF8_H

#include <string>

namespace vesk_beat {

// `text` with every byte that is not part of well-formed UTF-8 replaced by
// U+FFFD. File names are bytes; JSON and SVG must be valid Unicode.
std::string validUtf8(const std::string& text);

}  // namespace vesk_beat

#endif
