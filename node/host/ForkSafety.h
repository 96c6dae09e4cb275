#ifndef RILL_FORKSAFETY_H
#define RILL_FORKSAFETY_H

#include <mutex>

namespace RL {

// Makes a process-wide mutex usable in a child made by fork() while another
// thread held it: the forking thread takes it just before the fork and
// releases it on both sides after, so the child never inherits it locked,
// nor the data behind it half changed. For mutexes that live as long as the
// process and under which no other lock is taken (any order is then safe).
void holdAcrossFork(std::mutex& m);

}  // namespace RL

#endif
