#ifndef VESK_BEAT_BEATSFILE_H
#define VESK_BEAT_BEATSFILE_H

#include <string>
#include <vector>

#include "tracking/beats/BeatEvent.h"

namespace vesk_beat {

// Writes the beat-annotation text: the time in seconds of every reliable beat,
// one per line. The file appears whole or not at all. Throws OutputError.
void writeBeatsFile(const std::string& path, const std::vector<vesk_tracking::BeatEvent>& beats);

}  // namespace vesk_beat

#endif
