#include "apps/vesk-beat/command_line/Options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

#include "conditioning/after_node/AfterNodeStage.h"
#include "node/TempoRange.h"
#include "tracking/SettingError.h"
#include "tracking/frames/WindowNames.h"
#include "tracking/input/StreamPath.h"
#include "tracking/settings/SettingsCheck.h"
#include "tracking/settings/SettingsTable.h"

namespace vesk_beat {

using namespace vesk_tracking;

namespace {

using vesk_tracking::CaptureDevice;

std::string range(long lo, long hi) {
  return std::to_string(lo) + ".." + std::to_string(hi);
}

int parseInt(const std::string& option, const std::string& text, int lo, int hi) {
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0)
    throw UsageError(option + ": '" + text + "' is not an integer (allowed: " + range(lo, hi) +
                     ")");
  if (v < lo || v > hi)
    throw UsageError(option + ": " + text + " is out of range (allowed: " + range(lo, hi) + ")");
  return static_cast<int>(v);
}

// A number within [lo, hi] for `option`.
double parseNumber(const std::string& option, const std::string& text, double lo, double hi) {
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(text.c_str(), &end);
  std::ostringstream allowed;
  allowed << " (allowed: " << lo << ".." << hi << ")";
  if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(v))
    throw UsageError(option + ": '" + text + "' is not a number" + allowed.str());
  if (v < lo || v > hi) throw UsageError(option + ": " + text + " is out of range" + allowed.str());
  return v;
}

// `text` broken at blanks into lines of at most `width` characters, each
// starting with `indent`.
std::string wrapped(const std::string& text, const std::string& indent, std::size_t width) {
  std::string out, line = indent;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (line.size() > indent.size() && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line = indent;
    }
    if (line.size() > indent.size()) line += ' ';
    line += word;
  }
  return out + line + "\n";
}

// The options of the tool alone (the tracking settings come from the
// settings table): how they are spelt, the help and what each does with its
// value. A flag has no metavar.
struct ToolOption {
  const char* names;    // for CLI11: "-o,--output"
  const char* metavar;  // empty for a flag
  const char* help;
  void (*apply)(Options& o, const std::string& value);
  bool input;                  // listed under "Input:", else under "Output:"
  bool optionalValue = false;  // "--name" or "--name=VALUE"
};

void setDevice(Options& o, CaptureDevice::Kind kind, const std::string& name) {
  const char* option = kind == CaptureDevice::Kind::Jack ? "--jack" : "--device";
  if (o.device)
    throw UsageError(std::string(option) + ": one device at a time (--device or --jack, once)");
  if (name.empty()) throw UsageError(std::string(option) + ": empty name");
  o.device.emplace();
  o.device->kind = kind;
  o.device->name = name;
}

// The device options go with a device, and that device is the only input.
void applyDeviceOptions(Options& o, const std::vector<std::string>& used) {
  auto given = [&](const char* n) { return std::find(used.begin(), used.end(), n) != used.end(); };
  if (!o.device) {
    for (const char* n : {"--connect", "--no-connect", "--channels", "--device-rate"})
      if (given(n)) throw UsageError(std::string(n) + ": goes with --device or --jack");
    return;
  }
  if (!o.inputs.empty())
    throw UsageError(o.device->label() + ": the device is the input; give no INPUT as well (got '" +
                     o.inputs.front() + "')");
  const bool jack = o.device->kind == CaptureDevice::Kind::Jack;
  if (!jack)
    for (const char* n : {"--connect", "--no-connect"})
      if (given(n)) throw UsageError(std::string(n) + ": goes with --jack");
  if (jack && given("--device-rate"))
    throw UsageError("--device-rate: JACK runs at its server's rate; goes with --device");
  const CaptureDevice& s = o.deviceSettings;
  o.device->connect = s.connect;
  o.device->autoConnect = s.autoConnect && s.connect.empty();
  o.device->channels = s.channels;
  o.device->rate = s.rate;
}

NodeOutput nodeOutputNamed(const std::string& value, std::string& path) {
  if (value == "none") return NodeOutput::None;
  if (value == "stderr") return NodeOutput::Stderr;
  if (value.empty())
    throw UsageError("--node-output: empty value (allowed: none, stderr or a file name)");
  path = value;
  return NodeOutput::File;
}

const std::vector<ToolOption>& toolOptions() {
  static const std::vector<ToolOption> options = {
      {"--raw", "FMT:RATE:CH",
       "raw PCM layout, FMT s16le, s24le, s32le or f32le (e.g. s16le:16000:1)",
       [](Options& o, const std::string& v) {
         try {
           o.raw = parseRawFormat(v);
         } catch (const SettingError& e) {
           throw UsageError(e.what());
         }
       },
       true},
      {"--realtime", "", "pace files at their real rate, as a live source would",
       [](Options& o, const std::string&) { o.realtime = true; }, true},
      {"--device", "NAME",
       "capture from the ALSA device NAME (default, hw:1,0, plughw:1,0, ...): the only input",
       [](Options& o, const std::string& v) { setDevice(o, CaptureDevice::Kind::Alsa, v); }, true},
      {"--device-rate", "HZ", "the ALSA device's capture rate (default 48000)",
       [](Options& o, const std::string& v) {
         o.deviceSettings.rate = parseInt("--device-rate", v, 1000, 768000);
       },
       true},
      {"--jack", "[NAME]",
       "capture through a JACK server as client NAME (default vesk-beat), one input port per "
       "channel, at the server's rate: the only input",
       [](Options& o, const std::string& v) {
         setDevice(o, CaptureDevice::Kind::Jack, v.empty() ? "vesk-beat" : v);
       },
       true, true},
      {"--connect", "PORT",
       "connect this JACK port to the next of ours (repeatable; default: the system's capture "
       "ports)",
       [](Options& o, const std::string& v) { o.deviceSettings.connect.push_back(v); }, true},
      {"--no-connect", "", "connect no JACK port (connect them yourself)",
       [](Options& o, const std::string&) { o.deviceSettings.autoConnect = false; }, true},
      {"--channels", "N",
       "the device's channels (ALSA default 1; JACK default one per port to connect, at most 2)",
       [](Options& o, const std::string& v) {
         o.deviceSettings.channels = parseInt("--channels", v, 1, 64);
       },
       true},
      {"--list-devices", "", "list the ALSA capture devices and the JACK ports, then end",
       [](Options& o, const std::string&) { o.listDevices = true; }, true},
      {"--format", "FMT", "text (default), csv or json (one JSON object per line)",
       [](Options& o, const std::string& v) {
         if (v == "text")
           o.format = OutputFormat::Text;
         else if (v == "csv")
           o.format = OutputFormat::Csv;
         else if (v == "json")
           o.format = OutputFormat::Json;
         else
           throw UsageError("--format: unknown format '" + v + "' (allowed: text, csv, json)");
       },
       false},
      {"-o,--output", "FILE",
       "write the beats and summaries to FILE instead of standard output (written whole when "
       "the run ends)",
       [](Options& o, const std::string& v) { o.outputPath = v; }, false},
      {"--beats", "FILE",
       "write the beat times, one per line in seconds (a symlink is followed; a device, FIFO "
       "or an input is never overwritten)",
       [](Options& o, const std::string& v) { o.beatsPath = v; }, false},
      {"--plot", "FILE.svg",
       "draw onset strength, beats, tempo and confidence over time (with several inputs, '{}' "
       "in FILE is replaced by the input's name)",
       [](Options& o, const std::string& v) { o.plotPath = v; }, false},
      {"--reference", "FILE",
       "known beat times (one per line, in seconds) drawn over the plot ('{}' as for --plot)",
       [](Options& o, const std::string& v) { o.referencePath = v; }, false},
      {"--clicks", "FILE.wav",
       "the input with a click on every reported beat, for listening (16-bit WAV at the "
       "input's rate; files only, not streams)",
       [](Options& o, const std::string& v) { o.clicksPath = v; }, false},
      {"--log-dir", "DIR",
       "turn on the tracker's diagnostic files and keep them, with its beat log "
       "bt_quendabt.dat, in DIR (one folder per input when there are several; without "
       "--log-dir nothing is kept). They take about 1 GB per hour of audio. One run at a time "
       "uses DIR.",
       [](Options& o, const std::string& v) { o.logDir = v; }, false},
      {"--node-output", "WHERE",
       "the tracker's own console lines: none (default), stderr or a file name",
       [](Options& o, const std::string& v) {
         o.nodeOutput = nodeOutputNamed(v, o.nodeOutputPath);
       },
       false},
      {"--robot", "HOST:PORT",
       "send UDP messages to a robot: \"s\" at start, \"a,TIME,INTERVAL\" for each reported "
       "reliable beat (TIME: the beat's time in seconds; INTERVAL: the beat interval in "
       "seconds), \"e\" at the end",
       [](Options& o, const std::string& v) { o.robot = v; }, false},
      {"--ahead", "MS",
       "report each beat the stage after the node predicts MS milliseconds before its time "
       "(0..1000; once the audio reaches that point, or at once when predicted later), with the "
       "robot's message then; an announced beat that does not come is withdrawn (JSON type "
       "\"withdrawn\", text \"withdrawn\"). Needs --after-node predict or meter",
       [](Options& o, const std::string& v) { o.aheadMs = parseInt("--ahead", v, 0, 1000); },
       false},
      {"-q,--quiet", "", "nothing on standard error but errors (no progress bar, no CSV summary)",
       [](Options& o, const std::string&) { o.quiet = true; }, false},
      {"-j,--jobs", "N", "process N files at once (default 1)",
       [](Options& o, const std::string& v) { o.jobs = parseInt("--jobs", v, 1, 256); }, false},
      {"--plugin", "PATH",
       "the plug-in library to load (default: the one built or installed with this program)",
       [](Options& o, const std::string& v) { o.plugin = v; }, false},
      {"-h,--help", "", "this text", [](Options& o, const std::string&) { o.help = true; }, false},
      {"--version", "", "the version", [](Options& o, const std::string&) { o.version = true; },
       false},
  };
  return options;
}

// "-o,--output" as help shows it: "-o, --output".
std::string shownNames(const char* names) {
  std::string shown;
  for (const char* c = names; *c; ++c) shown += *c == ',' ? std::string(", ") : std::string(1, *c);
  return shown;
}

// The long name of an option CLI11 names in a message ("--rate: ..." or
// "quiet was given ...").
std::string optionInMessage(const std::string& message) {
  const std::size_t end = message.find_first_of(": ");
  const std::string name = message.substr(0, end);
  return name.rfind("-", 0) == 0 ? name : "--" + name;
}

// Sets the setting of `row` from the option's text.
void parseSetting(const SettingRow& row, const std::string& name, const std::string& text,
                  SettingValues& values) {
  std::visit(
      [&](auto field) {
        auto& value = values.*field;
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, int>) {
          value = parseInt(name, text, static_cast<int>(row.low), static_cast<int>(row.high));
        } else if constexpr (std::is_same_v<T, double>) {
          value = parseNumber(name, text, row.low, row.high);
        } else if constexpr (std::is_same_v<T, std::optional<double>>) {
          if (row.none && text == row.none)
            value.reset();
          else
            value = parseNumber(name, text, row.low, row.high);
        } else if constexpr (std::is_same_v<T, std::string>) {
          value = text;
        } else {
          value = true;
        }
      },
      row.field);
  try {
    checkSettingValue(row, values, Spelling::Option);
  } catch (const SettingError& e) {
    throw UsageError(e.what());
  }
}

}  // namespace

void validateParameters(const Options& o) {
  try {
    checkSettingValues(o.values, Spelling::Option);
  } catch (const SettingError& e) {
    throw UsageError(e.what());
  }
}

vesk_tracking::TrackingSettings Options::tracking() const {
  return checkSettingValues(values, Spelling::Option);
}

Options parseOptions(int argc, const char* const* argv) {
  Options o;
  // CLI11 reads the command line: every option is collected as text, then
  // applied in the order given, so that the first bad value is the one named.
  CLI::App app{"", "vesk-beat"};
  app.set_help_flag();
  app.allow_extras();  // unknown options are ours to name
  struct Handler {
    const SettingRow* row = nullptr;
    const ToolOption* tool = nullptr;
  };
  std::map<const CLI::Option*, Handler> handlers;
  const auto add = [&](const std::string& names, bool flag, Handler handler,
                       bool optionalValue = false) {
    CLI::Option* option = flag ? app.add_flag(names)->disable_flag_override()
                          : optionalValue
                              ? app.add_option(names)->expected(0, 1)
                              : app.add_option(names)->expected(1)->allow_extra_args(false);
    option->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    handlers[option] = handler;
  };
  for (const SettingRow& row : settingRows())
    add(spelled(row, Spelling::Option), row.kind == SettingRow::Kind::Flag, Handler{&row, nullptr});
  for (const ToolOption& tool : toolOptions())
    add(tool.names, !*tool.metavar, Handler{nullptr, &tool}, tool.optionalValue);
  app.add_option("inputs", o.inputs);
  try {
    app.parse(argc, const_cast<char**>(argv));
  } catch (const CLI::ArgumentMismatch& e) {
    const std::string message = e.what();
    throw UsageError(optionInMessage(message) + (message.find("flag override") != std::string::npos
                                                     ? ": takes no value"
                                                     : ": missing value"));
  } catch (const CLI::ParseError& e) {
    throw UsageError(e.what());
  }
  for (const std::string& extra : app.remaining())
    if (extra != "--") throw UsageError("unknown option '" + extra + "'");
  std::map<const CLI::Option*, std::size_t> taken;
  std::vector<std::string> given;  // the long name of every option given
  for (const CLI::Option* option : app.parse_order()) {
    const auto handler = handlers.find(option);
    if (handler == handlers.end()) continue;  // an input
    given.push_back(option->get_name());
    const std::size_t i = taken[option]++;
    const std::string value = i < option->results().size() ? option->results()[i] : "";
    if (handler->second.row) {
      const SettingRow& row = *handler->second.row;
      parseSetting(row, spelled(row, Spelling::Option), value, o.values);
    } else {
      handler->second.tool->apply(o, value);
    }
  }
  if (o.help || o.version || o.listDevices) return o;
  validateParameters(o);
  if (o.aheadMs) {
    const vesk_conditioning::AfterNode stage = o.tracking().stage.afterNode;
    if (stage == vesk_conditioning::AfterNode::None || stage == vesk_conditioning::AfterNode::Phase)
      throw UsageError("--ahead: the stage after the node '" +
                       vesk_conditioning::afterNodeName(stage) +
                       "' does not predict its beats (allowed with: predict, meter)");
  }
  applyDeviceOptions(o, given);
  if (o.device) return o;
  if (o.inputs.empty())
    throw UsageError("no input: give one or more audio files, or - for standard input");
  int stdinCount = 0;
  for (const std::string& in : o.inputs) stdinCount += in == "-";
  if (stdinCount > 1) throw UsageError("standard input (-) given more than once");
  if (o.inputs.size() > 1) {
    for (const std::string* path : {&o.beatsPath, &o.plotPath})
      if (!path->empty() && path->find("{}") == std::string::npos)
        throw UsageError(
            "with several inputs, --beats and --plot need '{}' in the file name "
            "(replaced by each input's name), got '" +
            *path + "'");
    if (!o.clicksPath.empty() && o.clicksPath.find("{}") == std::string::npos)
      throw UsageError("with several inputs, --clicks needs '{}' in the file name, got '" +
                       o.clicksPath + "'");
  }
  if (!o.referencePath.empty() && o.plotPath.empty())
    throw UsageError("--reference: draws known beats over the plot, but no --plot is given");
  if (o.raw.given && stdinCount == 0 &&
      std::none_of(o.inputs.begin(), o.inputs.end(), isStreamPath))
    throw UsageError("--raw describes standard input or a FIFO, but no input is one");
  return o;
}

// One entry per setting of the table: the option, its help, what it allows
// and its default.
// "  --name METAVAR     help", the help wrapped at 80 columns under column 22.
std::string helpEntry(const std::string& names, const std::string& metavar,
                      const std::string& text) {
  std::string head = "  " + names;
  if (!metavar.empty()) head += " " + metavar;
  const std::string indent(21, ' ');
  if (head.size() < indent.size() - 1) return head + wrapped(text, indent, 80).substr(head.size());
  return head + "\n" + wrapped(text, indent, 80);
}

std::string settingsHelp() {
  std::string out;
  for (const SettingRow& row : settingRows()) {
    std::string text = row.help;
    if (row.kind == SettingRow::Kind::Integer || row.kind == SettingRow::Kind::Number)
      text += "; " + allowedRange(row);
    if (row.kind == SettingRow::Kind::Name) text += "; one of " + nameList(row);
    if (row.none && std::string(row.none) == "off") text += "; off: none";
    if (row.kind != SettingRow::Kind::Flag) text += " (default " + defaultText(row) + ")";
    out += helpEntry(spelled(row, Spelling::Option), row.metavar, text);
  }
  return out;
}

// One entry per tool option of the input or the output.
std::string toolHelp(bool input) {
  std::string out;
  for (const ToolOption& tool : toolOptions())
    if (tool.input == input) out += helpEntry(shownNames(tool.names), tool.metavar, tool.help);
  return out;
}

std::string usageText() {
  std::ostringstream u;
  u << "Usage: vesk-beat [OPTIONS] INPUT...\n"
       "Tracks the musical beat of audio files (WAV, FLAC, Ogg, ... anything libsndfile reads)\n"
       "or of a live stream on standard input (INPUT '-'), and reports each beat as it is\n"
       "found: its time in seconds, the tempo and the confidence of the beat interval.\n"
       "\n"
       "Tracking settings (the input is resampled to --rate first; beat intervals in\n"
       "frames, rate/hop*60/bpm, must be at least 6 and fit the tracker's 3000-frame\n"
       "histories, about 1000 frames):\n"
    << settingsHelp()
    << "\n"
       "Input:\n"
       "  -                  read standard input: an audio stream with a header (WAV, RF64,\n"
       "                     AIFF, AU, FLAC, Ogg, ...: detected by it) or raw PCM described\n"
       "                     by --raw; a FIFO or device is read alike\n"
    << toolHelp(true) << "\n"
    << "Output:\n"
    << toolHelp(false)
    << "\n"
       "Each input ends with a summary: duration, beats, median tempo and mean confidence of the\n"
       "reported beats (on standard error for --format csv).\n"
       "Exit status: 0 on success, 1 when an input or output failed, 2 for a bad command line,\n"
       "3 when the plug-in cannot be loaded.\n";
  return u.str();
}

}  // namespace vesk_beat
