// level-judge ONSETS BPM FRAME...: the level classifier's verdict on one window
// of beats, as the meter stage computes it: the onsets per frame as
// level-features writes them, beats on the given frames (LevelClassifier::kBeats
// + 1 of them) at BPM. Prints the odds of the four verdicts (right, faster,
// slower, off-beat), then those of the beat lying at each twelfth of the
// interval after the beats (BeatPhase), one per line.
// eval/check_level_features.py holds them against eval/train_level.py's and
// eval/train_phase.py's own computation.
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <vector>

#include "conditioning/after_node/LevelClassifier.h"

using vesk_conditioning::LevelClassifier;

int main(int argc, char** argv) {
  if (argc != 3 + LevelClassifier::kBeats + 1) {
    std::cerr << "usage: level-judge ONSETS BPM FRAME x " << LevelClassifier::kBeats + 1 << "\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::vector<float> onsets;
  for (float v; in.read(reinterpret_cast<char*>(&v), sizeof v);) onsets.push_back(v);
  const double bpm = std::atof(argv[2]);
  std::vector<long> beats;
  for (int i = 3; i < argc; ++i) beats.push_back(std::atol(argv[i]));
  LevelClassifier level(6000.0 / 40.0, 100.0);
  std::size_t next = 0;
  for (std::size_t f = 0; f + 4 <= onsets.size() && level.judged() == 0; f += 4) {
    level.push({onsets[f], onsets[f + 1], onsets[f + 2], onsets[f + 3]});
    const long frame = static_cast<long>(f / 4);
    if (next < beats.size() && beats[next] == frame) level.beat(beats[next++], bpm);
  }
  if (level.judged() == 0) {
    std::cerr << "level-judge: the onsets end before the window can be judged\n";
    return 1;
  }
  for (auto v : {LevelClassifier::kRight, LevelClassifier::kFaster, LevelClassifier::kSlower,
                 LevelClassifier::kOffBeat})
    std::cout << level.share(v) << "\n";
  for (int place = 0; place < vesk_conditioning::BeatPhase::kPlaces; ++place)
    std::cout << level.phase().share(place) << "\n";
  return 0;
}
