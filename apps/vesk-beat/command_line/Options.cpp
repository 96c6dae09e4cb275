#include "apps/vesk-beat/command_line/Options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "node/TempoRange.h"
#include "tracking/SettingError.h"
#include "tracking/SettingsCheck.h"
#include "tracking/beats/BeatPicker.h"
#include "tracking/frames/WindowNames.h"
#include "tracking/input/StreamPath.h"

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

// Options that take a value, spelled "--name VALUE" or "--name=VALUE".
bool takesValue(const std::string& name) {
  static const char* const kWithValue[] = {
      "--rate",      "--frame",    "--hop",    "--window",   "--min-bpm",   "--max-bpm",
      "--threshold", "--format",   "--beats",  "--plot",     "--log-dir",   "--node-output",
      "--robot",     "--plugin",   "--raw",    "--jobs",     "-j",          "--front-end",
      "--gate",      "--compress", "--whiten", "--low-pass", "--after-node"};
  for (const char* n : kWithValue)
    if (name == n) return true;
  return false;
}

}  // namespace

void validateParameters(const Options& o) {
  if (o.hop > o.frame)
    throw UsageError("--hop: " + std::to_string(o.hop) + " exceeds the frame length " +
                     std::to_string(o.frame) + " (allowed: 1.." + std::to_string(o.frame) + ")");
  if (o.minBpm + 1 >= o.maxBpm)
    throw UsageError("--min-bpm " + std::to_string(o.minBpm) + " and --max-bpm " +
                     std::to_string(o.maxBpm) +
                     ": the maximum must exceed the minimum by at least 2");
  // The tempo-range rule is the node's own; only the words are the tool's.
  const TempoRangeVerdict v = CheckTempoRange(o.rate, o.hop, o.minBpm, o.maxBpm);
  const IntervalRange& r = v.range;
  std::ostringstream at;
  at << " at --rate " << o.rate << " and --hop " << o.hop << " (" << r.frames_per_minute / 60.0
     << " frames/s)";
  std::ostringstream m;
  switch (v.failure) {
    case TempoRangeFailure::None:
      return;
    case TempoRangeFailure::FastestTooFast:
      m << "--max-bpm: " << o.maxBpm << " gives a beat interval of " << r.min_interval << " frames"
        << at.str() << ", fewer than the " << kShortestBeatInterval << " the tracker needs (";
      if (v.bound > 0)
        m << "allowed: up to " << v.bound << ", or lower --hop)";
      else
        m << "no --max-bpm works here: lower --hop)";
      break;
    case TempoRangeFailure::TooFewIntervals:
      m << "--min-bpm " << o.minBpm << " and --max-bpm " << o.maxBpm
        << " leave too few candidate beat intervals (" << r.min_interval << " to " << r.max_interval
        << " frames" << at.str() << "); widen the tempo range";
      break;
    case TempoRangeFailure::SlowestTooSlow:
      m << "--min-bpm: " << o.minBpm << " gives a beat interval of " << r.max_interval << " frames"
        << at.str() << ", longer than the tracker's histories allow (";
      if (v.bound > 0)
        m << "allowed: " << v.bound << " or more, or raise --hop)";
      else
        m << "raise --hop or --max-bpm)";
      break;
  }
  throw UsageError(m.str());
}

vesk_tracking::Settings Options::settings() const {
  vesk_tracking::Settings s{rate, frame, hop, windowType, minBpm, maxBpm, threshold, {}};
  s.frontEnd =
      vesk_tracking::frontEndSettings({frontEnd, compress, whiten, lowPass, gateDb}, rate, hop);
  return s;
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
    } else if (arg.size() > 2 && arg.rfind("-j", 0) == 0 && arg[1] == 'j') {
      name = "-j";
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

    if (name == "--rate") {
      o.rate = parseInt(name, value, defaults::kMinRate, defaults::kMaxRate);
    } else if (name == "--frame") {
      o.frame = parseInt(name, value, defaults::kMinFrame, defaults::kMaxFrame);
    } else if (name == "--hop") {
      o.hop = parseInt(name, value, 1, defaults::kMaxFrame);
    } else if (name == "--window") {
      const std::optional<WindowFunction::Type> type = windowTypeNamed(value);
      if (!type)
        throw UsageError("--window: unknown window '" + value + "' (allowed: " + windowNameList() +
                         ")");
      o.window = value;
      o.windowType = *type;
    } else if (name == "--min-bpm") {
      o.minBpm = parseInt(name, value, defaults::kMinBpmLimit, defaults::kMaxBpmLimit);
    } else if (name == "--max-bpm") {
      o.maxBpm = parseInt(name, value, defaults::kMinBpmLimit, defaults::kMaxBpmLimit);
    } else if (name == "--threshold") {
      o.threshold = static_cast<float>(parseNumber(name, value, 0, 1));
    } else if (name == "--front-end") {
      try {
        vesk_conditioning::conditionerNamed(value);
      } catch (const std::invalid_argument& e) {
        throw UsageError("--front-end: " + std::string(e.what()));
      }
      o.frontEnd = value;
    } else if (name == "--after-node") {
      if (!vesk_tracking::isAfterNodeStage(value))
        throw UsageError("--after-node: unknown stage '" + value +
                         "' (allowed: " + vesk_tracking::afterNodeNames() + ")");
      o.afterNode = value;
    } else if (name == "--gate") {
      o.gateDb = value == "off" ? std::optional<double>() : parseNumber(name, value, -200, 0);
    } else if (name == "--compress") {
      o.compress = parseNumber(name, value, 0, 1e9);
    } else if (name == "--whiten") {
      o.whiten = parseNumber(name, value, 0, 0.99999);
    } else if (name == "--low-pass") {
      o.lowPass = parseNumber(name, value, 0, 1e6);
    } else if (name == "--format") {
      if (value == "text")
        o.format = OutputFormat::Text;
      else if (value == "csv")
        o.format = OutputFormat::Csv;
      else if (value == "json")
        o.format = OutputFormat::Json;
      else
        throw UsageError("--format: unknown format '" + value + "' (allowed: text, csv, json)");
    } else if (name == "--beats") {
      o.beatsPath = value;
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
    } else if (name == "--all-beats") {
      o.allBeats = true;
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
  }
  if (o.raw.given && stdinCount == 0 &&
      std::none_of(o.inputs.begin(), o.inputs.end(), isStreamPath))
    throw UsageError("--raw describes standard input or a FIFO, but no input is one");
  return o;
}

std::string usageText() {
  using namespace defaults;
  std::ostringstream u;
  u << "Usage: vesk-beat [OPTIONS] INPUT...\n"
       "Tracks the musical beat of audio files (WAV, FLAC, Ogg, ... anything libsndfile reads)\n"
       "or of a live stream on standard input (INPUT '-'), and reports each beat as it is\n"
       "found: its time in seconds, the tempo and the confidence of the beat interval.\n"
       "\n"
       "Tracking parameters (the input is resampled to --rate first):\n"
    << "  --rate HZ          processing rate, " << kMinRate << ".." << kMaxRate << " (default "
    << kRate << ")\n"
    << "  --frame N          analysis window length in samples, " << kMinFrame << ".." << kMaxFrame
    << " (default " << kFrame << ")\n"
    << "  --hop N            new samples per frame, 1..frame (default " << kHop << ")\n"
    << "  --window NAME      analysis window (default " << kWindow << "); one of\n"
    << wrapped(windowNameList(), "                     ", 80)
    << "  --min-bpm BPM      slowest tempo searched, " << kMinBpmLimit << ".." << kMaxBpmLimit
    << " (default " << kMinBpm << ")\n"
    << "  --max-bpm BPM      fastest tempo searched, above min-bpm + 1 (default " << kMaxBpm
    << ")\n"
    << "  --threshold X      reliability a beat needs to be reported, 0..1 (default " << kThreshold
    << ")\n"
    << "                     Beat intervals in frames (rate/hop*60/bpm) must be at least 6\n"
       "                     and fit the tracker's 3000-frame histories (about 1000 frames).\n"
       "\n"
       "Front end (what the spectrum goes through before the tracker sees it):\n"
    << "  --front-end NAME   none (the plain spectrum), log (log-compressed magnitudes),\n"
       "                     log-bass (log, then bass weighted), whiten (each bin divided by\n"
       "                     its decaying peak, then log); default "
    << kFrontEnd << "\n"
    << "  --compress L       log(1 + L * magnitude) compression; 0: off\n"
       "  --whiten DECAY     per-bin peak decay per frame for whitening, 0..0.99999; 0: off\n"
       "  --low-pass HZ      weight bins by 1 / (1 + f / HZ); 0: off\n"
       "  --gate DB          frames below DB (relative to a full-scale sine) for half a\n"
       "                     second count as silence: no beat in noise or dither; off: none\n"
       "                     (default "
    << (kGateDb > -200.0 ? std::to_string(static_cast<int>(kGateDb)) : std::string("off"))
    << ")\n"
       "  --after-node NAME  none (the node's beats as they are); phase: the node's beats,\n"
       "                     moved to the off-beat when the bass onsets lie there and kept\n"
       "                     through short dips of the reliability; predict: beats placed on\n"
       "                     the onsets at the interval the node held most over the last\n"
       "                     6 s, each predicted half a beat ahead, for 8 s after the node's\n"
       "                     last beat of at least 3/4 of the threshold; meter: the same\n"
       "                     placing at the level chosen from the onsets' periodicity, the\n"
       "                     node's interval and a tempo prior, on the kicks rather than\n"
       "                     the off-beat; default "
    << kAfterNode
    << "\n"
       "\n"
       "Input:\n"
       "  -                  read standard input: a WAV stream (detected by its header) or\n"
       "                     raw PCM described by --raw; a FIFO or device is read alike\n"
       "  --raw FMT:RATE:CH  raw PCM layout, FMT s16le, s24le, s32le or f32le (e.g.\n"
       "                     s16le:16000:1)\n"
       "  --realtime         pace files at their real rate, as a live source would\n"
       "\n"
       "Output:\n"
       "  --format FMT       text (default), csv or json (one JSON object per line)\n"
       "  --all-beats        also report beats below the threshold (tempo 0)\n"
       "  --beats FILE       write the beat times, one per line in seconds (a symlink is\n"
       "                     followed; a device, FIFO or an input is never overwritten)\n"
       "  --plot FILE.svg    draw onset strength, beats, tempo and confidence over time\n"
       "                     (with several inputs, '{}' in FILE is replaced by the input's name)\n"
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
