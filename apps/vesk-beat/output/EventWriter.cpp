#include "apps/vesk-beat/output/EventWriter.h"

#include <cerrno>
#include <cmath>
#include <string>

#include "apps/vesk-beat/output/Utf8.h"

namespace vesk_beat {

using namespace vesk_tracking;

namespace {

// Non-finite numbers cannot appear in JSON or in a beat list; they never
// should, but a 0 is better than an unreadable line.
double finite(double v) {
  return std::isfinite(v) ? v : 0.0;
}

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", finite(v));
  return text;
}

void summaryText(std::FILE* f, const FileSummary& s) {
  std::fprintf(f, "%s: %.2f s, %d beats, median tempo %.1f bpm, mean confidence %.2f\n",
               s.file.c_str(), finite(s.duration), s.beats, finite(s.medianTempo),
               finite(s.meanConfidence));
}

class TextWriter : public EventWriter {
 public:
  TextWriter(std::FILE* out, bool showFile) : out(out), showFile(showFile) {}
  void beat(const BeatEvent& e) override {
    if (showFile) std::fprintf(out, "%s: ", e.file.c_str());
    if (e.predicted)
      std::fprintf(out, "beat at %9.3f s  tempo %6.1f bpm  confidence %.2f  ahead %.3f s\n",
                   finite(e.time), finite(e.tempo), finite(e.confidence), finite(e.lead));
    else if (e.reliable)
      std::fprintf(out, "beat at %9.3f s  tempo %6.1f bpm  confidence %.2f\n", finite(e.time),
                   finite(e.tempo), finite(e.confidence));
    else
      std::fprintf(out, "beat at %9.3f s  (below threshold)  confidence %.2f\n", finite(e.time),
                   finite(e.confidence));
    endLine(out);
  }
  void withdrawn(const BeatEvent& e) override {
    if (showFile) std::fprintf(out, "%s: ", e.file.c_str());
    std::fprintf(out, "beat at %9.3f s  withdrawn\n", finite(e.time));
    endLine(out);
  }
  void summary(const FileSummary& s) override {
    summaryText(out, s);
    endLine(out);
  }

 private:
  std::FILE* out;
  bool showFile;
};

class CsvWriter : public EventWriter {
 public:
  CsvWriter(std::FILE* out, std::FILE* info) : out(out), info(info) {}
  void header() override {
    std::fputs("file,time,tempo,confidence,frame,reliable\n", out);
    endLine(out);
  }
  void beat(const BeatEvent& e) override {
    std::fprintf(out, "%s,%.3f,%.2f,%.4f,%lld,%d\n", csvField(e.file).c_str(), finite(e.time),
                 finite(e.tempo), finite(e.confidence), static_cast<long long>(e.frame),
                 e.reliable ? 1 : 0);
    endLine(out);
  }
  void summary(const FileSummary& s) override {
    if (!info) return;
    summaryText(info, s);
    std::fflush(info);
  }

 private:
  std::FILE* out;
  std::FILE* info;
};

class JsonWriter : public EventWriter {
 public:
  explicit JsonWriter(std::FILE* out) : out(out) {}
  void beat(const BeatEvent& e) override {
    std::fprintf(out,
                 "{\"type\":\"beat\",\"file\":%s,\"time\":%.3f,\"tempo\":%.2f,"
                 "\"confidence\":%.4f,\"frame\":%lld,\"reliable\":%s%s}\n",
                 jsonString(e.file).c_str(), finite(e.time), finite(e.tempo), finite(e.confidence),
                 static_cast<long long>(e.frame), e.reliable ? "true" : "false",
                 e.predicted ? (",\"predicted\":true,\"lead\":" + number(e.lead)).c_str() : "");
    endLine(out);
  }
  // An announced beat (time and frame as announced) that will not come there.
  void withdrawn(const BeatEvent& e) override {
    std::fprintf(out, "{\"type\":\"withdrawn\",\"file\":%s,\"time\":%.3f,\"frame\":%lld}\n",
                 jsonString(e.file).c_str(), finite(e.time), static_cast<long long>(e.frame));
    endLine(out);
  }
  void summary(const FileSummary& s) override {
    std::fprintf(out,
                 "{\"type\":\"summary\",\"file\":%s,\"duration\":%.3f,\"beats\":%d,"
                 "\"median_tempo\":%.2f,\"mean_confidence\":%.4f%s}\n",
                 jsonString(s.file).c_str(), finite(s.duration), s.beats, finite(s.medianTempo),
                 finite(s.meanConfidence),
                 s.warning.empty() ? "" : (",\"warning\":" + jsonString(s.warning)).c_str());
    endLine(out);
  }

 private:
  std::FILE* out;
};

}  // namespace

void EventWriter::endLine(std::FILE* out) {
  errno = 0;
  if ((std::fflush(out) != 0 || std::ferror(out)) && error == 0) error = errno != 0 ? errno : EIO;
}

std::string jsonString(const std::string& text) {
  std::string s = "\"";
  for (unsigned char c : validUtf8(text)) {
    if (c == '"' || c == '\\') {
      s += '\\';
      s += static_cast<char>(c);
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      s += buffer;
    } else {
      s += static_cast<char>(c);
    }
  }
  return s + "\"";
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string s = "\"";
  for (char c : text) {
    if (c == '"') s += '"';
    s += c;
  }
  return s + "\"";
}

std::unique_ptr<EventWriter> makeEventWriter(OutputFormat format, std::FILE* out, std::FILE* info,
                                             bool showFile) {
  switch (format) {
    case OutputFormat::Csv:
      return std::make_unique<CsvWriter>(out, info);
    case OutputFormat::Json:
      return std::make_unique<JsonWriter>(out);
    case OutputFormat::Text:
      break;
  }
  return std::make_unique<TextWriter>(out, showFile);
}

}  // namespace vesk_beat
