#include "tracking/input/SndfileReader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "common/OpenErrorText.h"

namespace vesk_tracking {

namespace {

// Whether a stream's header gave the length of its audio. A header without
// one makes it a very long stream; recorders that write to a pipe put a
// size of 2 GiB or more (0xFFFFFFFF, 0x7FFFFFFF) where it is unknown.
bool promisesLength(const SF_INFO& info) {
  const std::int64_t frameBytes = sndfileSampleBytes(info.format) * info.channels;
  return info.frames < (std::int64_t{1} << 40) && info.frames * frameBytes < 0x7FFFF000;
}

std::string seconds(std::int64_t frames, int rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(frames) / rate);
  return text;
}

// libsndfile reads a WAV or AIFF whose data chunk runs past the end of the
// file up to that end, and only says so in its log: "data : 1920000 (should
// be 192000)". Empty unless the chunk promised more than the file holds.
std::string headerShortfall(SNDFILE* file, const SF_INFO& info) {
  char log[8192] = {};
  sf_command(file, SFC_GET_LOG_INFO, log, sizeof log - 1);  // the last byte stays 0
  for (const char* line = log; *line != '\0';) {
    const char* end = std::strchr(line, '\n');
    const std::string text(line, end ? end : line + std::strlen(line));
    line = end ? end + 1 : line + text.size();
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos ||
        (text.compare(start, 4, "data") != 0 && text.compare(start, 4, "SSND") != 0))
      continue;
    std::int64_t declared = 0, present = 0;
    if (std::sscanf(text.c_str() + start, "%*4s : %" SCNd64 " (should be %" SCNd64 ")", &declared,
                    &present) != 2 ||
        declared <= present)
      continue;
    const int frameBytes = sndfileSampleBytes(info.format) * info.channels;
    if (frameBytes == 0)
      return "cut short: its header promises more audio than the file holds (" +
             seconds(info.frames, info.samplerate) + ")";
    return "cut short: its header promises " + seconds(declared / frameBytes, info.samplerate) +
           " of audio, the file holds " + seconds(info.frames, info.samplerate);
  }
  return std::string();
}

}  // namespace

void checkInputFile(const std::string& path, const std::string& name) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw AudioError("cannot open '" + name + "': " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) throw AudioError("cannot open '" + name + "': it is a directory");
  if (::access(path.c_str(), R_OK) != 0)
    throw AudioError("cannot open '" + name + "': " + std::strerror(errno));
}

SndfileReader::SndfileReader(const std::string& filePath, const std::string& shownName)
    : path(filePath), name("'" + (shownName.empty() ? filePath : shownName) + "'") {
  checkInputFile(path, shownName.empty() ? filePath : shownName);
  errno = 0;
  file = sf_open(path.c_str(), SFM_READ, &info);
  // Out of descriptors, libsndfile would blame the file.
  if (!file && errno == EMFILE)
    throw AudioError("cannot open " + name + ": " + vesk_common::OpenErrorText(EMFILE));
  if (!file)
    throw AudioError("cannot read " + name + ": unsupported or damaged audio file (" +
                     sf_strerror(nullptr) + ")");
  checkLayout();
  shortNotice = headerShortfall(file, info);
}

SndfileReader::SndfileReader(std::unique_ptr<SndfileStream> in)
    : name(in->name()), stream(std::move(in)) {
  file = stream->open(info);
  checkLayout();
}

void SndfileReader::checkLayout() {
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(file);
    file = nullptr;
    throw AudioError("cannot read " + name + ": no audio channels or no sample rate");
  }
  // Integer files are scaled to [-1, 1]; float files are taken as they are.
  sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
  sixteenBit = (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16;
}

SndfileReader::~SndfileReader() {
  if (file) sf_close(file);
}

std::size_t SndfileReader::read(float* out, std::size_t frames) {
  // libsndfile decodes until a read is full: asked for a lot, it would hold
  // the samples of a block that has come until the next ones have come too.
  if (stream && stream->decodesBlocks()) frames = std::min<std::size_t>(frames, 256);
  sf_count_t n;
  if (sixteenBit) {
    // s / 32768 is exact in a float: the very value libsndfile's own
    // conversion gives.
    shorts.resize(frames * static_cast<std::size_t>(info.channels));
    n = sf_readf_short(file, shorts.data(), static_cast<sf_count_t>(frames));
    const std::size_t count = n > 0 ? static_cast<std::size_t>(n) * info.channels : 0;
    const short* in = shorts.data();
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<float>(in[i]) * (1.0f / 32768.0f);
  } else {
    n = sf_readf_float(file, out, static_cast<sf_count_t>(frames));
  }
  if (stream) stream->check();
  if (n < 0 || (n == 0 && sf_error(file) != SF_ERR_NO_ERROR))
    throw AudioError("cannot read " + name + ": " + sf_strerror(file));
  delivered += n;
  if (n == 0 && delivered < info.frames && shortNotice.empty()) {
    if (!stream)
      shortNotice = "cut short while read: the file ended after " +
                    seconds(delivered, info.samplerate) + " of the " +
                    seconds(info.frames, info.samplerate) + " it held when opened";
    else if (promisesLength(info))
      shortNotice = "cut short: its header promises " + seconds(info.frames, info.samplerate) +
                    " of audio, the stream held " + seconds(delivered, info.samplerate);
  }
  return static_cast<std::size_t>(n);
}

}  // namespace vesk_tracking
