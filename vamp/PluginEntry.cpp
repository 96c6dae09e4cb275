// The library's entry point: the one symbol a Vamp host looks up.
#include <vamp-sdk/PluginAdapter.h>

#include "vamp/BeatTrackerPlugin.h"

extern "C" const VampPluginDescriptor* vampGetPluginDescriptor(unsigned int version,
                                                               unsigned int index) {
  if (version < 1) return nullptr;
  static Vamp::PluginAdapter<vesk_vamp::BeatTrackerPlugin> adapter;
  return index == 0 ? adapter.getDescriptor() : nullptr;
}
