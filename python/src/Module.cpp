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
#include "python/src/WithoutGil.h"
#include "tracking/SettingError.h"
#include "tracking/frames/WindowNames.h"
#include "tracking/input/AudioReader.h"
#include "tracking/network/NodeSession.h"
#include "tracking/process/PluginLoader.h"
#include "tracking/settings/SettingsTable.h"

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

// Any name the file system takes: str (surrogate escapes included), bytes
// or os.PathLike. The summary names the file as it was given.
py::dict trackFileArrays(const py::object& given, py::handle config, bool readAhead,
                         bool features) {
  const TrackConfig& checked = initialised<TrackConfig>(config, "TrackConfig");
  const py::module_ os = py::module_::import("os");
  const py::object name = os.attr("fspath")(given);
  const std::string path = os.attr("fsencode")(name).cast<std::string>();
  InterruptPoll poll;
  // Ctrl-C stops a long file: the poll throws out of the loop.
  FileBeats result =
      withoutGil([&] { return trackFile(path, checked, readAhead, std::ref(poll), features); });
  py::dict d = beatArrays(result.beats);
  if (features) d["features"] = featureArrays(result.features, result.patternLength);
  result.summary.file.clear();  // bytes that may not be UTF-8
  py::dict summary = summaryDict(result.summary);
  summary["file"] = name;
  summary["warning"] = result.summary.warning;
  d["summary"] = summary;
  return d;
}

// Every setting by its keyword.
py::dict settingsDict(const SettingValues& v) {
  py::dict d;
  for (const SettingRow& row : settingRows())
    std::visit([&](auto field) { d[row.key] = py::cast(v.*field); }, row.field);
  return d;
}

// The settings from keywords (each of the type its row says, as the package
// checked); the others keep their defaults.
SettingValues settingValues(const py::kwargs& given) {
  SettingValues v;
  for (const auto& [key, value] : given) {
    const SettingRow* row = settingRow(py::cast<std::string>(key));
    if (!row) throw py::type_error("unknown setting " + py::cast<std::string>(key));
    std::visit(
        [&](auto field) {
          using T = std::decay_t<decltype(v.*field)>;
          v.*field = py::cast<T>(value);
        },
        row->field);
  }
  return v;
}

// The table for the package: per setting its keyword, kind, range, default,
// help and names.
py::list settingsTable() {
  static const char* const kKinds[] = {"integer", "number", "name", "flag"};
  const py::dict defaults = settingsDict(SettingValues());
  py::list rows;
  for (const SettingRow& row : settingRows()) {
    py::dict r;
    r["key"] = row.key;
    r["kind"] = kKinds[static_cast<int>(row.kind)];
    r["low"] = row.low;
    r["high"] = row.high;
    r["default"] = defaults[row.key];
    r["metavar"] = row.metavar;
    r["help"] = row.help;
    r["names"] = row.names ? py::cast(*row.names) : py::cast(std::vector<std::string>());
    r["none"] = row.none ? py::cast(std::string(row.none)) : py::none();
    rows.append(r);
  }
  return rows;
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
  m.attr("SETTINGS") = settingsTable();
  m.attr("WINDOW_NAMES") = windowNameList();

  py::class_<TrackConfig>(m, "TrackConfig", "Checked tracking settings.")
      .def(py::init(
          [](const py::kwargs& settings) { return makeTrackConfig(settingValues(settings)); }))
      .def(
          "as_dict",
          [](py::handle c) {
            return settingsDict(initialised<TrackConfig>(c, "TrackConfig").values);
          },
          "The settings by name.");

  m.def("track_file", &trackFileArrays, py::arg("path"), py::arg("config"),
        py::arg("read_ahead") = true, py::arg("features") = false,
        "Beats of an audio file as vesk-beat finds them: a dict of arrays and a summary "
        "(and the features of every frame).");

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
