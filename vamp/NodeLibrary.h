#ifndef VESK_VAMP_NODELIBRARY_H
#define VESK_VAMP_NODELIBRARY_H

#include <string>

namespace vesk_vamp {

// Loads the node's library (libvesk-music) once per process: the one in the
// lib directory above this Vamp library (an install, or the build tree),
// else the one this library was built with. Returns an empty string when it
// is loaded, else why not. Safe from several threads.
std::string loadNodeLibrary();

}  // namespace vesk_vamp

#endif
