#ifndef VESK_TRACKING_BEATEVENT_H
#define VESK_TRACKING_BEATEVENT_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vesk_tracking {

// One beat the node signalled.
struct BeatEvent {
  std::string file;        // input name as given ("-" for standard input)
  std::int64_t frame = 0;  // frame on which the node signalled it
  double time = 0.0;       // seconds from the start of the input
  double tempo = 0.0;      // beats per minute; 0 below the reliability threshold
  double confidence = 0.0;
  double interval = 0.0;  // seconds between beats, as the node measured it; 0 below the threshold
  bool reliable = false;
  // A beat announced before it falls due (the tool's --ahead), `lead`
  // seconds of input before its time; its frame and time are predicted.
  bool predicted = false;
  double lead = 0.0;
};

// What a user wants to know about a whole input.
struct FileSummary {
  std::string file;
  double duration = 0.0;  // seconds
  int beats = 0;          // reliable beats
  double medianTempo = 0.0;
  double meanConfidence = 0.0;  // over the reliable beats
  std::string warning;          // why the input is suspect (cut short); empty when it is not
};

// Median tempo and mean confidence of the reliable beats, gathered beat by
// beat. Tempi are counted per distinct value (a whole number of frames per
// beat gives few of them), so a stream of any length takes bounded memory.
class SummaryCounter {
 public:
  void add(const BeatEvent& beat);
  FileSummary result(const std::string& file, double duration) const;

 private:
  std::map<double, std::int64_t> tempi;  // reliable tempo -> number of beats
  std::int64_t reliable = 0;
  double confidence = 0.0;
};

// The same for beats already gathered.
FileSummary summarise(const std::string& file, double duration,
                      const std::vector<BeatEvent>& beats);

}  // namespace vesk_tracking

#endif
