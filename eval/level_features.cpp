// level-features [--activation] FILE OUT: for each frame of FILE as vesk-beat
// tracks it (default settings), the onsets the meter stage weighs, written to
// OUT as float32 values in the machine's byte order. Without --activation,
// four per frame, those its level classifier weighs: all bands (the onset
// energy), low, high and middle band (eval/train_level.py trains the
// classifier on them). With it, twenty: the beat activation's inputs
// (BeatActivation::Inputs), then the activation the stage computed from them
// (eval/train_activation.py).
#include <cstring>
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
  const bool activation = argc == 4 && std::strcmp(argv[1], "--activation") == 0;
  if (argc != 3 && !activation) {
    std::cerr << "usage: level-features [--activation] FILE OUT\n";
    return 2;
  }
  const char* file = argv[argc - 2];
  const char* path = argv[argc - 1];
  try {
    loadPlugin(defaultPluginPath());
    Settings settings;
    settings.frontEnd = frontEndSettings(FrontEndChoice(), settings.rate, settings.hop);
    TrackingCore core(std::make_unique<SndfileReader>(file), settings, TrackingCore::Options());
    std::ofstream out(path, std::ios::binary);
    while (core.next()) {
      // The meter stage (the default) has its onsets computed with their bands
      // and the activation.
      const vesk_conditioning::OnsetEnergy::Value& o = *core.record().onset;
      if (activation) {
        const float a = static_cast<float>(o.activation);
        out.write(reinterpret_cast<const char*>(o.activationInputs.data()),
                  sizeof o.activationInputs);
        out.write(reinterpret_cast<const char*>(&a), sizeof a);
        continue;
      }
      const float v[4] = {static_cast<float>(o.energy), static_cast<float>(o.bands.low),
                          static_cast<float>(o.bands.high), static_cast<float>(o.bands.mid)};
      out.write(reinterpret_cast<const char*>(v), sizeof v);
    }
    if (!out) {
      std::cerr << "level-features: cannot write " << path << "\n";
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << "level-features: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
