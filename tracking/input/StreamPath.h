#ifndef VESK_TRACKING_STREAMPATH_H
#define VESK_TRACKING_STREAMPATH_H

#include <functional>
#include <memory>
#include <string>

#include "tracking/input/AudioReader.h"
#include "tracking/input/RawFormat.h"

namespace vesk_tracking {

// A path that delivers bytes as they come rather than a file: a FIFO, a
// character device or a socket. Such an input is read like standard input
// (a stream with a header or raw PCM), so that Ctrl-C ends it while it waits.
bool isStreamPath(const std::string& path);

// Opens a stream path, waiting for a writer as a FIFO does; Ctrl-C ends the
// wait with Interrupted. Throws AudioError naming the input.
std::unique_ptr<AudioReader> openStreamPath(const std::string& path, const std::string& name,
                                            const RawFormat& raw);

// The same for a host that keeps its own signal handlers: every wait, for
// the writer or for data, lasts at most 50 ms at a time and `waitHook` is
// called between the waits; it may throw to give up.
std::unique_ptr<AudioReader> openStreamPath(const std::string& path, const std::string& name,
                                            const RawFormat& raw,
                                            const std::function<void()>& waitHook);

}  // namespace vesk_tracking

#endif
