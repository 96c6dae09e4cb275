#ifndef VESK_BEAT_EXITCODE_H
#define VESK_BEAT_EXITCODE_H

namespace vesk_beat {

// The tool's exit status; a batch exits with the worst of its inputs'.
enum ExitCode {
  kExitOk = 0,
  kExitFailed = 1,
  kExitUsage = 2,
  kExitPlugin = 3,
  kExitInterrupted = 130
};

}  // namespace vesk_beat

#endif
