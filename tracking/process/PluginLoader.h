#ifndef VESK_TRACKING_PLUGINLOADER_H
#define VESK_TRACKING_PLUGINLOADER_H

#include <stdexcept>
#include <string>

namespace vesk_tracking {

class PluginError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The plug-in the tool loads when --plugin is not given: the installed one
// when the tool runs from an install prefix, else the one of its build tree.
std::string defaultPluginPath();

// Loads the plug-in with dlopen (its static initialisation registers the node
// type "BeatTracker" in the framework's registry) and checks that the
// registered "BeatTracker" comes from that file. Returns the path used.
// Throws PluginError with dlerror()'s text or the reason.
std::string loadPlugin(const std::string& path);

}  // namespace vesk_tracking

#endif
