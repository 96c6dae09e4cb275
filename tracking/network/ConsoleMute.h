#ifndef VESK_TRACKING_CONSOLEMUTE_H
#define VESK_TRACKING_CONSOLEMUTE_H

namespace vesk_tracking {

// The node and its engine write progress lines to std::cout. A host whose
// standard output belongs to someone else (a Python session, a plug-in host
// that prints its features) holds a mute around every call into a tracker:
// the first mute in the process points std::cout at nothing, the last one
// released restores it. Mutes may be held in several threads at once; while
// any is held, nothing written to std::cout appears.
class ConsoleMute {
 public:
  ConsoleMute();
  ~ConsoleMute();
  ConsoleMute(const ConsoleMute&) = delete;
  ConsoleMute& operator=(const ConsoleMute&) = delete;
};

}  // namespace vesk_tracking

#endif
