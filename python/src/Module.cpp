// The extension vesk_music._native: the tracking library's file tracking and
// live tracker, with its errors as Python exceptions. The package around it
// (vesk_music) loads the plug-in and takes the settings by keyword.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "python/src/BeatArrays.h"
#include "python/src/FileTracking.h"
#include "python/src/PyTracker.h"
#include "python/src/TrackConfig.h"
#include "python/src/WithoutGil.h"
#include "tracking/SettingError.h"
#include "tracking/frames/WindowNames.h"
#include "tracking/input/AudioReader.h"
#include "tracking/network/NodeSession.h"
#include "tracking/network/PluginLoader.h"

namespace py = pybind11;
using namespace vesk_python;
using namespace vesk_tracking;

namespace {

void translateErrors(std::exception_ptr p) {
  try {
    if (p) std::rethrow_exception(p);
  } catch (const SettingError& e) {
    PyErr_SetString(PyExc_ValueError, e.what());
  } catch (const AudioError& e) {
    PyErr_SetString(PyExc_OSError, e.what());
  } catch (const PluginError& e) {
    PyErr_SetString(PyExc_ImportError, e.what());
  } catch (const TrackingError& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  }
}

// The C++ object of `object`. One made by __new__ alone has none (pybind11
// would hand over raw memory for it): it is refused, not used.
template <class T>
T& initialised(py::handle object, const char* type) {
  if (!py::isinstance<T>(object))
    throw py::type_error(std::string("expected a ") + type + ", not " +
                         py::str(py::type::handle_of(object).attr("__name__")).cast<std::string>());
  auto* instance = reinterpret_cast<py::detail::instance*>(object.ptr());
  const py::detail::value_and_holder v =
      instance->get_value_and_holder(py::detail::get_type_info(typeid(T)));
  if (!v || !v.holder_constructed())
    throw py::type_error(std::string(type) + " object is not initialised: make it with " + type +
                         "(...)");
  return *v.value_ptr<T>();
}

py::dict trackFileArrays(const std::string& path, py::handle config, bool readAhead) {
  const TrackConfig& checked = initialised<TrackConfig>(config, "TrackConfig");
  InterruptPoll poll;
  // Ctrl-C stops a long file: the poll throws out of the loop.
  FileBeats result =
      withoutGil([&] { return trackFile(path, checked, readAhead, std::ref(poll)); });
  py::dict d = beatArrays(result.beats);
  d["summary"] = summaryDict(result.summary);
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
  registerExitAndForkHandlers();

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
          "as_dict",
          [](py::handle c) {
            return settingsDict(initialised<TrackConfig>(c, "TrackConfig").values);
          },
          "The settings by name.");

  m.def("track_file", &trackFileArrays, py::arg("path"), py::arg("config"),
        py::arg("read_ahead") = true,
        "Beats of an audio file as vesk-beat finds them: a dict of arrays and a summary.");

  using T = PyTracker;
  // Every method takes its object through initialised().
  using H = py::handle;
  const auto self = [](H t) -> T& { return initialised<T>(t, "Tracker"); };
  py::class_<T>(m, "Tracker", "The tracker of one live input.")
      .def(py::init([](int sampleRate, int channels, H config, bool features) {
             return new T(sampleRate, channels, initialised<TrackConfig>(config, "TrackConfig"),
                          features);
           }),
           py::arg("sample_rate"), py::arg("channels"), py::arg("config"), py::arg("features"))
      .def(
          "process", [=](H t, const py::array& samples) { return self(t).process(samples); },
          py::arg("samples"),
          "Analyses a block; the beats that fell due in it, as a dict of arrays.")
      .def(
          "finish", [=](H t) { return self(t).finish(); },
          "Ends the input; the beats of its last frames.")
      .def(
          "take_features", [=](H t) { return self(t).takeFeatures(); },
          "The features of the frames computed since the last call, as a dict of arrays.")
      .def(
          "summary", [=](H t, const std::string& name) { return self(t).summary(name); },
          py::arg("name"), "Median tempo and mean confidence of the reliable beats so far.")
      .def(
          "settings", [=](H t) { return settingsDict(self(t).config().values); },
          "The settings by name.")
      .def_property_readonly("features", [=](H t) { return self(t).features(); })
      .def_property_readonly("finished", [=](H t) { return self(t).finished(); })
      .def_property_readonly("sample_rate", [=](H t) { return self(t).sampleRate(); })
      .def_property_readonly("channels", [=](H t) { return self(t).channels(); })
      .def_property_readonly("seconds", [=](H t) { return self(t).seconds(); })
      .def_property_readonly("frame_seconds", [=](H t) { return self(t).frameSeconds(); })
      .def_property_readonly("pattern_intervals", [=](H t) { return self(t).patternIntervals(); });
}
