#include "tracking/core/FrameFeatures.h"

#include "tracking/core/TrackingCore.h"

namespace vesk_tracking {

FrameFeatures frameFeatures(const TrackingCore& core) {
  const vesk_conditioning::FrameRecord& r = core.record();
  FrameFeatures f;
  f.frame = r.frame;
  f.time = core.time().span(f.frame);
  f.confidence = r.confidence;
  const auto [fastest, pastSlowest] = core.node().patternIntervals();
  if (r.intervalFrames >= fastest && r.intervalFrames < pastSlowest)
    f.tempo = 60.0 / core.time().span(r.intervalFrames);
  core.node().onsetVector(f.onset);
  core.node().patternVector(f.pattern);
  core.node().chromaVector(f.chroma);
  return f;
}

}  // namespace vesk_tracking
