#ifndef VESK_TRACKING_FRAMEFEATURES_H
#define VESK_TRACKING_FRAMEFEATURES_H

#include <cstdint>
#include <vector>

namespace vesk_tracking {

class TrackingCore;

// What the node measured on one frame.
struct FrameFeatures {
  std::int64_t frame = 0;
  double time = 0.0;           // seconds: the start of the frame's newest hop
  float confidence = 0.0f;     // the reliability of the beat interval, 0..1
  double tempo = 0.0;          // of the interval the node measures, reliable or not; 0 before any
  std::vector<float> onset;    // 64 bands
  std::vector<float> pattern;  // per beat interval, see NodeSession::patternIntervals()
  std::vector<float> chroma;   // 12 bins
};

// The features of the frame the core has just computed (its node's vectors
// must be on). Until the node has measured an interval among those it
// searches, its interval is a starting value outside the tempo range, and the
// tempo is 0.
FrameFeatures frameFeatures(const TrackingCore& core);

}  // namespace vesk_tracking

#endif
