#ifndef VESK_BEAT_REFERENCEBEATS_H
#define VESK_BEAT_REFERENCEBEATS_H

#include <string>
#include <vector>

namespace vesk_beat {

// The beat times of an annotation file: the first number of every line, in
// seconds (what --beats writes; a second column such as the beat's position
// in the bar is ignored). Blank lines and lines starting with '#' are
// skipped. Throws UsageError naming the file, and the line when it holds no
// time.
std::vector<double> readReferenceBeats(const std::string& path);

}  // namespace vesk_beat

#endif
