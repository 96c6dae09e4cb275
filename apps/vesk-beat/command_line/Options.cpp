#include "apps/vesk-beat/command_line/Options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
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

// The setting an option sets, if it is one.
const SettingRow* settingOption(const std::string& name) {
  for (const SettingRow& row : settingRows())
    if (name == spelled(row, Spelling::Option)) return &row;
  return nullptr;
}

// Options that take a value, spelled "--name VALUE" or "--name=VALUE".
bool takesValue(const std::string& name) {
  static const char* const kWithValue[] = {
      "--format", "--beats", "--plot", "--log-dir", "--node-output", "--robot",  "--plugin",
      "--raw",    "--jobs",  "-j",     "-o",        "--output",      "--clicks", "--reference"};
  for (const char* n : kWithValue)
    if (name == n) return true;
  const SettingRow* row = settingOption(name);
  return row && row->kind != SettingRow::Kind::Flag;
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

vesk_tracking::Settings Options::settings() const {
  return checkSettingValues(values, Spelling::Option).settings;
}

vesk_tracking::StageChoice Options::stageChoice() const {
  return checkSettingValues(values, Spelling::Option).stage;
}

Options parseOptions(int argc, const char* const* argv) {
  Options o;
  bool onlyInputs = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (onlyInputs || arg == "-" || arg.empty() || arg[0] != '-') {
      o.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyInputs = true;
      continue;
    }
    std::string name = arg, value;
    bool hasValue = false;
    std::size_t eq = arg.find('=');
    if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      hasValue = true;
    } else if (arg.size() > 2 && (arg.rfind("-j", 0) == 0 || arg.rfind("-o", 0) == 0)) {
      name = arg.substr(0, 2);
      value = arg.substr(2);
      hasValue = true;
    }
    if (takesValue(name)) {
      if (!hasValue) {
        if (i + 1 >= argc) throw UsageError(name + ": missing value");
        value = argv[++i];
      }
    } else if (hasValue) {
      throw UsageError(name + ": takes no value");
    }

    if (const SettingRow* row = settingOption(name)) {
      parseSetting(*row, name, value, o.values);
    } else if (name == "--format") {
      if (value == "text")
        o.format = OutputFormat::Text;
      else if (value == "csv")
        o.format = OutputFormat::Csv;
      else if (value == "json")
        o.format = OutputFormat::Json;
      else
        throw UsageError("--format: unknown format '" + value + "' (allowed: text, csv, json)");
    } else if (name == "-o" || name == "--output") {
      o.outputPath = value;
    } else if (name == "--beats") {
      o.beatsPath = value;
    } else if (name == "--clicks") {
      o.clicksPath = value;
    } else if (name == "--reference") {
      o.referencePath = value;
    } else if (name == "--plot") {
      o.plotPath = value;
    } else if (name == "--log-dir") {
      o.logDir = value;
    } else if (name == "--node-output") {
      if (value == "none") {
        o.nodeOutput = NodeOutput::None;
      } else if (value == "stderr") {
        o.nodeOutput = NodeOutput::Stderr;
      } else if (!value.empty()) {
        o.nodeOutput = NodeOutput::File;
        o.nodeOutputPath = value;
      } else {
        throw UsageError("--node-output: empty value (allowed: none, stderr or a file name)");
      }
    } else if (name == "--robot") {
      o.robot = value;
    } else if (name == "--plugin") {
      o.plugin = value;
    } else if (name == "--raw") {
      try {
        o.raw = parseRawFormat(value);
      } catch (const SettingError& e) {
        throw UsageError(e.what());
      }
    } else if (name == "--jobs" || name == "-j") {
      o.jobs = parseInt(name, value, 1, 256);
    } else if (name == "--realtime") {
      o.realtime = true;
    } else if (name == "--quiet" || name == "-q") {
      o.quiet = true;
    } else if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--version") {
      o.version = true;
    } else {
      throw UsageError("unknown option '" + arg + "'");
    }
  }
  if (o.help || o.version) return o;
  validateParameters(o);
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
std::string settingsHelp() {
  std::string out;
  for (const SettingRow& row : settingRows()) {
    std::string head = "  " + spelled(row, Spelling::Option);
    if (*row.metavar) head += std::string(" ") + row.metavar;
    std::string text = row.help;
    if (row.kind == SettingRow::Kind::Integer || row.kind == SettingRow::Kind::Number)
      text += "; " + allowedRange(row);
    if (row.kind == SettingRow::Kind::Name) text += "; one of " + nameList(row);
    if (row.none && std::string(row.none) == "off") text += "; off: none";
    if (row.kind != SettingRow::Kind::Flag) text += " (default " + defaultText(row) + ")";
    const std::string indent(21, ' ');
    if (head.size() < indent.size() - 1) {
      const std::string body = wrapped(text, indent, 80);
      out += head + body.substr(head.size());
    } else {
      out += head + "\n" + wrapped(text, indent, 80);
    }
  }
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
       "  -                  read standard input: a WAV stream (detected by its header) or\n"
       "                     raw PCM described by --raw; a FIFO or device is read alike\n"
       "  --raw FMT:RATE:CH  raw PCM layout, FMT s16le, s24le, s32le or f32le (e.g.\n"
       "                     s16le:16000:1)\n"
       "  --realtime         pace files at their real rate, as a live source would\n"
       "\n"
       "Output:\n"
       "  --format FMT       text (default), csv or json (one JSON object per line)\n"
       "  -o, --output FILE  write the beats and summaries to FILE instead of standard output\n"
       "                     (written whole when the run ends)\n"
       "  --beats FILE       write the beat times, one per line in seconds (a symlink is\n"
       "                     followed; a device, FIFO or an input is never overwritten)\n"
       "  --plot FILE.svg    draw onset strength, beats, tempo and confidence over time\n"
       "                     (with several inputs, '{}' in FILE is replaced by the input's name)\n"
       "  --reference FILE   known beat times (one per line, in seconds) drawn over the plot\n"
       "                     ('{}' as for --plot)\n"
       "  --clicks FILE.wav  the input with a click on every reported beat, for listening\n"
       "                     (16-bit WAV at the input's rate; files only, not streams)\n"
       "  --log-dir DIR      turn on the tracker's diagnostic files and keep them, with its\n"
       "                     beat log bt_quendabt.dat, in DIR (one folder per input when there\n"
       "                     are several; without --log-dir nothing is kept). They take about\n"
       "                     1 GB per hour of audio. One run at a time uses DIR.\n"
       "  --node-output WHERE  the tracker's own console lines: none (default), stderr or a\n"
       "                     file name\n"
       "  --robot HOST:PORT  send UDP messages to a robot: \"s\" at start, \"a,TIME,INTERVAL\"\n"
       "                     for each reported reliable beat (TIME: the beat's time in\n"
       "                     seconds; INTERVAL: the beat interval in seconds), \"e\" at the end\n"
       "  -q, --quiet        nothing on standard error but errors (no progress bar, no CSV\n"
       "                     summary)\n"
       "  -j, --jobs N       process N files at once (default 1)\n"
       "  --plugin PATH      the plug-in library to load (default: the one built or installed\n"
       "                     with this program)\n"
       "  -h, --help         this text;  --version  the version\n"
       "\n"
       "Each input ends with a summary: duration, beats, median tempo and mean confidence of the\n"
       "reported beats (on standard error for --format csv).\n"
       "Exit status: 0 on success, 1 when an input or output failed, 2 for a bad command line,\n"
       "3 when the plug-in cannot be loaded.\n";
  return u.str();
}

}  // namespace vesk_beat
