// level-features FILE OUT: for each frame of FILE as vesk-beat tracks it (default
// settings), the onsets the meter stage's level classifier weighs, written to
// OUT as four float32 values in the machine's byte order: all bands (the onset
// energy), low, high and middle band. eval/train_level.py trains the
// classifier on them.
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>

#include "tracking/core/TrackingCore.h"
#include "tracking/input/SndfileReader.h"
#include "tracking/process/PluginLoader.h"
#include "tracking/settings/SettingsCheck.h"

using namespace vesk_tracking;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: level-features FILE OUT\n";
    return 2;
  }
  try {
    loadPlugin(defaultPluginPath());
    Settings settings;
    settings.frontEnd = frontEndSettings(FrontEndChoice(), settings.rate, settings.hop);
    TrackingCore core(std::make_unique<SndfileReader>(argv[1]), settings, TrackingCore::Options());
    std::ofstream out(argv[2], std::ios::binary);
    while (core.next()) {
      // The meter stage (the default) has its onsets computed with their bands.
      const vesk_conditioning::OnsetEnergy::Value& o = *core.record().onset;
      const float v[4] = {static_cast<float>(o.energy), static_cast<float>(o.bands.low),
                          static_cast<float>(o.bands.high), static_cast<float>(o.bands.mid)};
      out.write(reinterpret_cast<const char*>(v), sizeof v);
    }
    if (!out) {
      std::cerr << "level-features: cannot write " << argv[2] << "\n";
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << "level-features: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
