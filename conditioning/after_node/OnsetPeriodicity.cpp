#include "conditioning/after_node/OnsetPeriodicity.h"

#include <stdexcept>

namespace vesk_conditioning {

OnsetPeriodicity::OnsetPeriodicity(const Format& f)
    : allBands(f.longestPeriod, f.frameRate, f.memorySeconds, f.combPower, true),
      lowBand(f.longestPeriod, f.frameRate, f.memorySeconds, f.combPower),
      highBand(lowBand),
      updateFrames(f.updateFrames) {
  if (f.updateFrames < 1) throw std::invalid_argument("OnsetPeriodicity: update every 0 frames");
  for (TempoEvidence* e : {&allBands, &lowBand, &highBand}) e->setPeriods(f.periods);
}

bool OnsetPeriodicity::push(const OnsetEnergy::Value& onset) {
  ++frame;
  // Silence too: between the clicks of a click track it is part of the
  // rhythm, and over a long gap the memory fades evenly, keeping its shape.
  allBands.push(onset.energy);
  lowBand.push(onset.bands.low);
  highBand.push(onset.bands.high);
  return frame % updateFrames == 0;
}

void OnsetPeriodicity::snapshot(Snapshot& out) const {
  out.frame = frame;
  out.all = allBands.autocorrelation();
  out.low = lowBand.autocorrelation();
  out.high = highBand.autocorrelation();
}

void OnsetPeriodicity::load(const Snapshot& s) {
  allBands.setAutocorrelation(s.all);
  lowBand.setAutocorrelation(s.low);
  highBand.setAutocorrelation(s.high);
  frame = s.frame;
}

}  // namespace vesk_conditioning
