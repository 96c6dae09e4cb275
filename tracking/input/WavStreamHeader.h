#ifndef VESK_TRACKING_WAVSTREAMHEADER_H
#define VESK_TRACKING_WAVSTREAMHEADER_H

#include "tracking/input/ByteStream.h"
#include "tracking/input/RawFormat.h"

namespace vesk_tracking {

// Reads a WAV header from a stream whose first four bytes ("RIFF") were
// already taken, up to the start of the sample data, and returns the sample
// layout. The stream's limit is set to the data chunk's size unless that size
// is unknown (0 or all ones, as recorders write when piping). Throws
// AudioError for a damaged header or a sample format other than 16/24/32-bit
// integer or 32-bit float PCM.
RawFormat readWavStreamHeader(ByteStream& in);

}  // namespace vesk_tracking

#endif
