#ifndef VESK_BEAT_BATCHREPORT_H
#define VESK_BEAT_BATCHREPORT_H

#include <cstdio>
#include <string>

namespace vesk_beat {

// "vesk-beat: MESSAGE" on standard error, at once.
void reportError(const std::string& message);

// Copies a worker's result file to `out`; returns the errno of a failed write
// to `out`, or 0.
int copyFile(const std::string& path, std::FILE* out);

// The exit code a failed write to standard output adds (reported): none when
// its reader went away, which is how `| head` ends a run.
int outputVerdict(int error, const std::string& output = "standard output");

}  // namespace vesk_beat

#endif
