#include "tracking/process/PluginLoader.h"

#include <dlfcn.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include "node/host/Node.h"

namespace vesk_tracking {

namespace {

std::string executableDir() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  std::string exe(buffer, static_cast<std::size_t>(n));
  return exe.substr(0, exe.rfind('/'));
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat sa {
  }, sb{};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

}  // namespace

std::string defaultPluginPath() {
  // Installed: the library sits in the lib directory beside our bin directory
  // (wherever the prefix was moved); in the build tree: where it was built.
  const std::string relative =
      executableDir() + "/../" + VESK_TRACKING_LIBDIR + "/" + VESK_TRACKING_PLUGIN_FILE_NAME;
  struct stat st {};
  for (const std::string& candidate : {relative, std::string(VESK_TRACKING_BUILT_PLUGIN)})
    if (::stat(candidate.c_str(), &st) == 0) return candidate;
  return VESK_TRACKING_INSTALLED_PLUGIN;
}

std::string loadPlugin(const std::string& path) {
  // A bare name would make dlopen search the library path; the user means a file.
  std::string file = path.find('/') == std::string::npos ? "./" + path : path;
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0)
    throw PluginError("cannot load the plug-in '" + path + "': no such file");
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (!handle) {
    const char* why = ::dlerror();
    throw PluginError("cannot load the plug-in '" + path + "': " + (why ? why : "unknown error"));
  }
  RL::_NodeFactory* factory = RL::Node::getFactoryNamed("BeatTracker");
  if (!factory)
    throw PluginError("the plug-in '" + path + "' registers no node type \"BeatTracker\"");
  // The factory's vtable lies in the library that registered it. When that is
  // another copy (the one this program was linked with), the copy given here
  // was not registered and would silently not be used.
  Dl_info info{};
  void* vtable = *reinterpret_cast<void**>(factory);
  if (::dladdr(vtable, &info) && info.dli_fname && !sameFile(info.dli_fname, file))
    throw PluginError("the plug-in '" + path +
                      "' was loaded, but \"BeatTracker\" is already "
                      "provided by '" +
                      info.dli_fname +
                      "' (the library vesk-beat was built with); use a vesk-beat built with "
                      "that plug-in");
  return file;
}

}  // namespace vesk_tracking
