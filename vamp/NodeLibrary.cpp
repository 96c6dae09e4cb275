#include "vamp/NodeLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <mutex>

#include "tracking/process/PluginLoader.h"

namespace vesk_vamp {

namespace {

// The folder of the file this function was loaded from: the Vamp library,
// or a program the plug-in's code is linked into.
std::string ownFolder() {
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<void*>(&ownFolder), &info) || !info.dli_fname) return {};
  const std::string file = info.dli_fname;
  const std::size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string(".") : file.substr(0, slash);
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::string load() {
  // Installed, the Vamp library lies in <libdir>/vamp and the node's library
  // in <libdir>; the build tree has the same layout.
  const std::string beside = ownFolder() + "/../" + VESK_VAMP_NODE_LIBRARY_NAME;
  const std::string path = exists(beside) ? beside : std::string(VESK_VAMP_BUILT_NODE_LIBRARY);
  try {
    vesk_tracking::loadPlugin(path);
    return {};
  } catch (const vesk_tracking::PluginError& e) {
    return std::string("cannot load the node's library: ") + e.what();
  }
}

}  // namespace

std::string loadNodeLibrary() {
  static std::once_flag once;
  static std::string failure;
  std::call_once(once, [] { failure = load(); });
  return failure;
}

}  // namespace vesk_vamp
