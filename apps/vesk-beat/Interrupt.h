#ifndef VESK_BEAT_INTERRUPT_H
#define VESK_BEAT_INTERRUPT_H

namespace vesk_beat {

// Ctrl-C (SIGINT) and SIGTERM set a flag instead of killing the tool, so that
// a live stream can end cleanly (summary and output files written) and a file
// run can stop without leaving half-written files.
void installInterruptHandler();
bool interrupted();

}  // namespace vesk_beat

#endif
