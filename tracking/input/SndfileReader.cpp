#include "tracking/input/SndfileReader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tracking/input/OpenFailure.h"

namespace vesk_tracking {

void checkInputFile(const std::string& path, const std::string& name) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0)
    throw AudioError("cannot open '" + name + "': " + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) throw AudioError("cannot open '" + name + "': it is a directory");
  if (::access(path.c_str(), R_OK) != 0)
    throw AudioError("cannot open '" + name + "': " + std::strerror(errno));
}

SndfileReader::SndfileReader(const std::string& filePath, const std::string& shownName)
    : path(filePath), name(shownName.empty() ? filePath : shownName) {
  checkInputFile(path, name);
  errno = 0;
  file = sf_open(path.c_str(), SFM_READ, &info);
  // Out of descriptors, libsndfile would blame the file.
  if (!file && errno == EMFILE)
    throw AudioError("cannot open '" + name + "': " + openFailure(EMFILE));
  if (!file)
    throw AudioError("cannot read '" + name + "': unsupported or damaged audio file (" +
                     sf_strerror(nullptr) + ")");
  if (info.channels < 1 || info.samplerate < 1) {
    sf_close(file);
    throw AudioError("cannot read '" + name + "': no audio channels or no sample rate");
  }
  // Integer files are scaled to [-1, 1]; float files are taken as they are.
  sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
}

SndfileReader::~SndfileReader() {
  if (file) sf_close(file);
}

std::size_t SndfileReader::read(float* out, std::size_t frames) {
  sf_count_t n = sf_readf_float(file, out, static_cast<sf_count_t>(frames));
  if (n < 0 || (n == 0 && sf_error(file) != SF_ERR_NO_ERROR))
    throw AudioError("cannot read '" + name + "': " + sf_strerror(file));
  return static_cast<std::size_t>(n);
}

}  // namespace vesk_tracking
