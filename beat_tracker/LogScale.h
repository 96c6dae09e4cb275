#ifndef VESK_BEAT_TRACKER_LOGSCALE_H
#define VESK_BEAT_TRACKER_LOGSCALE_H

// log10(value) + offset, clipped below at 0: every value up to 10^(-offset)
// maps to 0, and so do a value that is not a number and a value not above 0.
double convert_log_scale(double value, double offset);

#endif
