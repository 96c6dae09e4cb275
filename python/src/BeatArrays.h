#ifndef VESK_PYTHON_BEATARRAYS_H
#define VESK_PYTHON_BEATARRAYS_H

#include <pybind11/pybind11.h>

#include <vector>

#include "tracking/LiveTracker.h"
#include "tracking/beats/BeatEvent.h"

namespace vesk_python {

// Beats as numpy arrays, one entry per beat: "frame", "time", "tempo",
// "confidence", "reliable". Needs the GIL.
pybind11::dict beatArrays(const std::vector<vesk_tracking::BeatEvent>& beats);

// "file", "duration", "beats", "median_tempo", "mean_confidence".
pybind11::dict summaryDict(const vesk_tracking::FileSummary& summary);

// Features as numpy arrays, one row per frame: "frame", "time", "confidence",
// "tempo", and "onset" (n x 64), "pattern" (n x `patternLength`), "chroma"
// (n x 12). Needs the GIL.
pybind11::dict featureArrays(const std::vector<vesk_tracking::FrameFeatures>& frames,
                             int patternLength);

}  // namespace vesk_python

#endif
