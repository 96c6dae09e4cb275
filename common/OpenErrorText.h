#ifndef VESK_COMMON_OPENERRORTEXT_H
#define VESK_COMMON_OPENERRORTEXT_H

#include <string>

namespace vesk_common {

// The reason an open() or similar call failed with `error` (an errno value),
// for a message. A full descriptor table names the limit to raise rather than
// the bare "Too many open files".
std::string OpenErrorText(int error);

}  // namespace vesk_common

#endif
