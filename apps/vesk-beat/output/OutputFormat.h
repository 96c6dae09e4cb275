#ifndef VESK_BEAT_OUTPUTFORMAT_H
#define VESK_BEAT_OUTPUTFORMAT_H

namespace vesk_beat {

// How beats and summaries are printed.
enum class OutputFormat { Text, Csv, Json };

}  // namespace vesk_beat

#endif
