// The extension vesk_music._native: the tracking library's file tracking and
// live tracker, with its errors as Python exceptions. The package around it
// (vesk_music) loads the plug-in and takes the settings by keyword.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cstring>

#include "python/src/BeatArrays.h"
#include "python/src/FileTracking.h"
#include "python/src/PyTracker.h"
#include "python/src/TrackConfig.h"
#include "tracking/SettingError.h"
#include "tracking/frames/WindowNames.h"
#include "tracking/input/AudioReader.h"
#include "tracking/network/NodeSession.h"
#include "tracking/network/PluginLoader.h"

namespace py = pybind11;
using namespace vesk_python;
using namespace vesk_tracking;

namespace {

// Messages may quote a file name that is not UTF-8: its bytes are kept as
// surrogate escapes, as os.fsdecode() would show them.
void setError(PyObject* type, const char* message) {
  PyObject* text = PyUnicode_DecodeUTF8(message, std::strlen(message), "surrogateescape");
  if (!text) return;
  PyErr_SetObject(type, text);
  Py_DECREF(text);
}

void translateErrors(std::exception_ptr p) {
  try {
    if (p) std::rethrow_exception(p);
  } catch (const SettingError& e) {
    setError(PyExc_ValueError, e.what());
  } catch (const AudioError& e) {
    setError(PyExc_OSError, e.what());
  } catch (const PluginError& e) {
    setError(PyExc_ImportError, e.what());
  } catch (const TrackingError& e) {
    setError(PyExc_RuntimeError, e.what());
  }
}

// Any name the file system takes: str (surrogate escapes included), bytes
// or os.PathLike. The summary names the file as it was given.
py::dict trackFileArrays(const py::object& given, const TrackConfig& config, bool readAhead) {
  const py::module_ os = py::module_::import("os");
  const py::object name = os.attr("fspath")(given);
  const std::string path = os.attr("fsencode")(name).cast<std::string>();
  FileBeats result;
  {
    py::gil_scoped_release unlocked;
    // Ctrl-C stops a long file: the poll throws out of the loop.
    result = trackFile(path, config, readAhead, [] {
      py::gil_scoped_acquire locked;
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    });
  }
  py::dict d = beatArrays(result.beats);
  result.summary.file.clear();  // bytes that may not be UTF-8
  py::dict summary = summaryDict(result.summary);
  summary["file"] = name;
  summary["warning"] = result.summary.warning;
  d["summary"] = summary;
  return d;
}

py::dict settingsDict(const SettingValues& v) {
  py::dict d;
  d["rate"] = v.rate;
  d["frame"] = v.frame;
  d["hop"] = v.hop;
  d["window"] = v.window;
  d["min_bpm"] = v.minBpm;
  d["max_bpm"] = v.maxBpm;
  d["threshold"] = v.threshold;
  d["front_end"] = v.frontEnd;
  d["compress"] = v.compress;
  d["whiten"] = v.whiten;
  d["low_pass"] = v.lowPass;
  d["gate"] = v.gate;
  d["after_node"] = v.afterNode;
  d["all_beats"] = v.allBeats;
  return d;
}

}  // namespace

PYBIND11_MODULE(_native, m) {
  m.doc() = "The native part of vesk_music; use the package's functions instead.";
  py::register_exception_translator(&translateErrors);

  m.def("load_plugin", &loadPlugin, py::arg("path"),
        "Loads the plug-in library that provides the node \"BeatTracker\"; returns the path.");
  m.attr("VERSION") = VESK_PYTHON_VERSION;
  m.attr("DEFAULTS") = settingsDict(SettingValues());
  m.attr("WINDOW_NAMES") = windowNameList();

  py::class_<TrackConfig>(m, "TrackConfig", "Checked tracking settings.")
      .def(py::init([](int rate, int frame, int hop, const std::string& window, int minBpm,
                       int maxBpm, double threshold, const std::string& frontEnd,
                       std::optional<double> compress, std::optional<double> whiten,
                       std::optional<double> lowPass, std::optional<double> gate,
                       const std::string& afterNode, bool allBeats) {
             return makeTrackConfig(SettingValues{rate, frame, hop, window, minBpm, maxBpm,
                                                  threshold, frontEnd, compress, whiten, lowPass,
                                                  gate, afterNode, allBeats});
           }),
           py::kw_only(), py::arg("rate"), py::arg("frame"), py::arg("hop"), py::arg("window"),
           py::arg("min_bpm"), py::arg("max_bpm"), py::arg("threshold"), py::arg("front_end"),
           py::arg("compress"), py::arg("whiten"), py::arg("low_pass"), py::arg("gate"),
           py::arg("after_node"), py::arg("all_beats"))
      .def(
          "as_dict", [](const TrackConfig& c) { return settingsDict(c.values); },
          "The settings by name.");

  m.def("track_file", &trackFileArrays, py::arg("path"), py::arg("config"),
        py::arg("read_ahead") = true,
        "Beats of an audio file as vesk-beat finds them: a dict of arrays and a summary.");

  py::class_<PyTracker>(m, "Tracker", "The tracker of one live input.")
      .def(py::init<int, int, const TrackConfig&, bool>(), py::arg("sample_rate"),
           py::arg("channels"), py::arg("config"), py::arg("features"))
      .def("process", &PyTracker::process, py::arg("samples"),
           "Analyses a block; the beats that fell due in it, as a dict of arrays.")
      .def("finish", &PyTracker::finish, "Ends the input; the beats of its last frames.")
      .def("take_features", &PyTracker::takeFeatures,
           "The features of the frames computed since the last call, as a dict of arrays.")
      .def("summary", &PyTracker::summary, py::arg("name"),
           "Median tempo and mean confidence of the reliable beats so far.")
      .def(
          "settings", [](const PyTracker& t) { return settingsDict(t.config().values); },
          "The settings by name.")
      .def_property_readonly("features", &PyTracker::features)
      .def_property_readonly("finished", &PyTracker::finished)
      .def_property_readonly("sample_rate", &PyTracker::sampleRate)
      .def_property_readonly("channels", &PyTracker::channels)
      .def_property_readonly("seconds", &PyTracker::seconds)
      .def_property_readonly("frame_seconds", &PyTracker::frameSeconds)
      .def_property_readonly("pattern_intervals", &PyTracker::patternIntervals);
}
