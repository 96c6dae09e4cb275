#ifndef VESK_BEAT_UTF8_H
#define VESK_BEAT_UTF8_H

#include <string>

namespace vesk_beat {

// `text` with every ill-formed UTF-8 sequence (a stray byte, or a lead byte
// with the continuation bytes that follow it) replaced by one U+FFFD. File
// names are bytes; JSON and SVG must be valid Unicode.
std::string validUtf8(const std::string& text);

}  // namespace vesk_beat

#endif
