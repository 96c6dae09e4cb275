#ifndef VESK_TESTS_APP_TESTAUDIO_H
#define VESK_TESTS_APP_TESTAUDIO_H

#include <string>
#include <vector>

// Writes a click track with libsndfile: short decaying noise bursts every
// 60/bpm seconds from `first` on, `seconds` long. `format` is a libsndfile
// format (e.g. SF_FORMAT_WAV | SF_FORMAT_PCM_16). Returns the click times.
std::vector<double> writeClickTrack(const std::string& path, int format, int rate, int channels,
                                    double bpm, double first, double seconds);
// The same with a click at each of `times`.
void writeClicksAt(const std::string& path, int format, int rate, int channels,
                   const std::vector<double>& times, double seconds);

// Seconds from `t` to the nearest of `times` (1e9 when there are none).
double nearestDistance(double t, const std::vector<double>& times);

// The samples of a 16-bit file as raw little-endian 16-bit PCM (no header).
void writeRawCopy(const std::string& audioPath, const std::string& rawPath);

#endif
