#ifndef VESK_VAMP_BEATTRACKERPLUGIN_H
#define VESK_VAMP_BEATTRACKERPLUGIN_H

#include <vamp-sdk/Plugin.h>
#include <memory>
#include <optional>
#include <string>

#include "tracking/LiveTracker.h"
#include "vamp/HostBlocks.h"
#include "vamp/PluginParameters.h"

namespace vesk_vamp {

// The beat tracker as a Vamp plug-in: the host's time-domain blocks go
// through the tool's code path (vesk_tracking::LiveTracker: resampling,
// channel mix, front end, node, stage after the node), so the beats are the
// tool's on the same file and settings.
class BeatTrackerPlugin : public Vamp::Plugin {
 public:
  explicit BeatTrackerPlugin(float inputSampleRate);
  ~BeatTrackerPlugin() override;

  std::string getIdentifier() const override { return "beattracker"; }
  std::string getName() const override { return "Vesk Beat Tracker"; }
  std::string getDescription() const override;
  std::string getMaker() const override { return "libvesk-music"; }
  std::string getCopyright() const override;
  int getPluginVersion() const override;

  InputDomain getInputDomain() const override { return TimeDomain; }
  // Any block works: the tracker frames the audio itself.
  size_t getPreferredBlockSize() const override { return 1024; }
  size_t getPreferredStepSize() const override { return 1024; }
  size_t getMinChannelCount() const override { return 1; }
  size_t getMaxChannelCount() const override { return kMaxChannels; }

  ParameterList getParameterDescriptors() const override { return parameterDescriptors(); }
  float getParameter(std::string id) const override { return values.get(id); }
  void setParameter(std::string id, float value) override { values.set(id, value); }

  OutputList getOutputDescriptors() const override;

  // Refuses (false, with the reason on std::cerr) channel counts, block and
  // step sizes and parameter values the tracker cannot use.
  bool initialise(size_t channels, size_t stepSize, size_t blockSize) override;
  void reset() override;
  FeatureSet process(const float* const* inputBuffers, Vamp::RealTime timestamp) override;
  FeatureSet getRemainingFeatures() override;

  static constexpr size_t kMaxChannels = 64;

 private:
  // Why the tracker cannot be made with these values; empty when it can.
  std::string refusal(size_t channels, size_t stepSize, size_t blockSize) const;
  void start();
  void stop();
  void collect(std::vector<vesk_tracking::BeatEvent>& beats, FeatureSet& out);

  ParameterValues values;
  int channels = 0;
  size_t blockSize = 0;
  vesk_tracking::Settings settings;
  vesk_conditioning::AfterNode afterNode = vesk_tracking::defaults::kAfterNode;
  std::unique_ptr<vesk_tracking::LiveTracker> tracker;
  std::optional<HostBlocks> blocks;
  bool failed = false;  // the tracker threw: no more features until reset
};

}  // namespace vesk_vamp

#endif
