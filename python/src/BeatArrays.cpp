#include "python/src/BeatArrays.h"

#include <pybind11/numpy.h>

#include <algorithm>
#include <cstdint>

namespace py = pybind11;

namespace vesk_python {

using namespace vesk_tracking;

namespace {

template <typename T, typename Item, typename Get>
py::array_t<T> column(const std::vector<Item>& items, Get get) {
  py::array_t<T> out(static_cast<py::ssize_t>(items.size()));
  T* p = out.mutable_data();
  for (const Item& item : items) *p++ = static_cast<T>(get(item));
  return out;
}

// Rows of `width` floats; a frame whose vector is shorter is padded with 0.
template <typename Get>
py::array_t<float> matrix(const std::vector<FrameFeatures>& frames, int width, Get get) {
  const py::ssize_t w = std::max(width, 0);
  py::array_t<float> out({static_cast<py::ssize_t>(frames.size()), w});
  float* p = out.mutable_data();
  for (const FrameFeatures& f : frames) {
    const std::vector<float>& v = get(f);
    const std::size_t n = std::min(v.size(), static_cast<std::size_t>(w));
    std::copy_n(v.begin(), n, p);
    std::fill(p + n, p + w, 0.0f);
    p += w;
  }
  return out;
}

}  // namespace

py::dict beatArrays(const std::vector<BeatEvent>& beats) {
  py::dict d;
  d["frame"] = column<std::int64_t>(beats, [](const BeatEvent& b) { return b.frame; });
  d["time"] = column<double>(beats, [](const BeatEvent& b) { return b.time; });
  d["tempo"] = column<double>(beats, [](const BeatEvent& b) { return b.tempo; });
  d["confidence"] = column<double>(beats, [](const BeatEvent& b) { return b.confidence; });
  d["reliable"] = column<bool>(beats, [](const BeatEvent& b) { return b.reliable; });
  return d;
}

py::dict summaryDict(const FileSummary& s) {
  py::dict d;
  d["file"] = s.file;
  d["duration"] = s.duration;
  d["beats"] = s.beats;
  d["median_tempo"] = s.medianTempo;
  d["mean_confidence"] = s.meanConfidence;
  return d;
}

py::dict featureArrays(const std::vector<FrameFeatures>& frames, int patternLength) {
  py::dict d;
  d["frame"] = column<std::int64_t>(frames, [](const FrameFeatures& f) { return f.frame; });
  d["time"] = column<double>(frames, [](const FrameFeatures& f) { return f.time; });
  d["confidence"] = column<float>(frames, [](const FrameFeatures& f) { return f.confidence; });
  d["tempo"] = column<double>(frames, [](const FrameFeatures& f) { return f.tempo; });
  d["onset"] = matrix(
      frames, 64, [](const FrameFeatures& f) -> const auto& { return f.onset; });
  d["pattern"] = matrix(
      frames, patternLength, [](const FrameFeatures& f) -> const auto& { return f.pattern; });
  d["chroma"] = matrix(
      frames, 12, [](const FrameFeatures& f) -> const auto& { return f.chroma; });
  return d;
}

}  // namespace vesk_python
