#include <cerrno>
#include <cstring>
#include <iostream>
#include <locale>
#include <string>

#include "beat_tracker/BeatTracker.h"

namespace beat_tracker {

void BeatTracker::OpenDiagnosticFiles() {
  // Created (emptied) whatever log_flag says, so that a run always leaves the
  // same set of files. The interval_long_value file is opened just before
  // interval_value; all others in member order.
  std::ofstream* files[] = {&spec_file,
                            &inc_spec_file,
                            &melfilterbank_file,
                            &chroma_vector_file,
                            &inc_mel_file,
                            &interval_long_value_file,
                            &interval_value_file,
                            &interval_contrast_file,
                            &interval_long_contrast_file,
                            &beats_reliability_mask_file,
                            &beats_reliability_file,
                            &beats_times_file,
                            &flat_num_file,
                            &music_reli_file};
  const char* names[] = {"spec.dat",
                         "inc_spec.dat",
                         "melfilterbank.dat",
                         "chroma_vector.dat",
                         "inc_mel.dat",
                         "interval_long_value.dat",
                         "interval_value.dat",
                         "interval_contrast.dat",
                         "interval_long_contrast.dat",
                         "beats_reliability_mask.dat",
                         "beats_reliability.dat",
                         "beats_times.dat",
                         "flat_num.dat",
                         "music_reli.dat"};
  std::size_t failed = 0;
  std::string firstFailure;
  for (std::size_t i = 0; i < sizeof files / sizeof files[0]; ++i) {
    // Numbers in the files never depend on the process locale.
    files[i]->imbue(std::locale::classic());
    files[i]->open(file_prefix + names[i], std::ios::out | std::ios::trunc);
    if (!files[i]->is_open() && failed++ == 0)
      firstFailure = file_prefix + names[i] + ": " + std::strerror(errno);
  }
  // The engine works on without the files; say so once rather than dropping
  // their lines in silence.
  if (failed > 0)
    std::cerr << "beat_tracker: cannot create " << failed << " of 14 diagnostic files ("
              << firstFailure << "); their lines are dropped" << std::endl;
  // A file that will never receive a line is complete once created: closing
  // it now keeps the engine from holding a descriptor per file for nothing
  // (all fourteen while logging is off, the four unwritten ones while on).
  std::ofstream* unwritten[] = {&spec_file, &interval_value_file, &interval_contrast_file,
                                &beats_times_file};
  if (!log_flag)
    for (std::ofstream* file : files) file->close();
  else
    for (std::ofstream* file : unwritten) file->close();
}

void BeatTracker::WriteSelectionLine(const IntervalChoice& choice) {
  const double m = min_interval;
  interval_long_contrast_file << FrameTime() << ' ' << m + choice.index << ' '
                              << m + choice.first_position << ' ' << m + choice.second_position
                              << ' ' << choice.first_peak << ' ' << choice.second_peak << std::endl;
}

void BeatTracker::WriteReliabilityLine() {
  music_reli_file << FrameTime() << ' ' << music_reliability << ' ' << now_interval << std::endl;
}

}  // namespace beat_tracker
