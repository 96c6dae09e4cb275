#ifndef VESK_VOICE_CANCEL_SEMIBLIND_H
#define VESK_VOICE_CANCEL_SEMIBLIND_H

/* Frequency-domain semi-blind ICA canceller: removes a known reference signal
 * (the robot's own voice) from an observed mixture, one independent adaptive
 * complex FIR filter per frequency bin.
 *
 * Complex values are two doubles, real part first; an array of n complex
 * values is an array of 2n doubles. A row array is an array of pointers to
 * double, one per bin; row k holds the complex values of bin k.
 *
 * All functions use the process-wide rand() generator for their dither and
 * take no lock: keep every use on one thread. Null pointers are refused (or
 * allowed) as each function says; an array shorter than its count cannot be
 * told from a good one and is the caller's to size. */

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The canceller of one bin. */
typedef struct FD_ICA {
  int taps;                   /* number of filter taps */
  double* coef;               /* taps complex coefficients */
  double* ref_history;        /* ring of past reference values */
  double* scaled_ref_history; /* ring of centred and scaled reference values */
  int pos;                    /* ring index of the current sample */
  int stride;                 /* distance in samples between successive taps */
  int mask;                   /* ring length - 1; the ring length is a power of two */
  double error_scale;
  double ref_scale;
  double error_mean[2];
  double ref_mean[2];
  double mu;
  double error_scale_step;
  double ref_scale_step;
  double mean_rate;
  double power_floor; /* samples whose reference power is below it pass through */
} FD_ICA;

/* The cancellers of a whole spectrum: bins 0 .. nfft/2. */
typedef struct SemiBlind {
  int nfft;
  int stored_taps; /* coefficients per bin in a saved state file */
  FD_ICA** bins;
} SemiBlind;

/* Creates the canceller of one bin. A negative power_floor is replaced by
 * 1e-10. Returns null (nothing allocated) when taps is negative, when
 * |taps x stride| exceeds 2^31, or when an allocation fails. */
FD_ICA* new_FD_ICA(int taps, int stride, double error_scale, double ref_scale, double mu,
                   double error_scale_step, double ref_scale_step, double mean_rate,
                   double power_floor);

/* Frees the canceller; null is allowed. */
void delete_FD_ICA(FD_ICA* ica);

/* Cleans count successive samples of one bin: out[i] = mix[i] minus the echo of
 * ref estimated by the filter, which then adapts. Returns 0, or -1 with a
 * message on standard error and nothing changed when ica is null, or when
 * count > 0 and mix, out or ref is null. */
int cancel_FD_ICA(FD_ICA* ica, const double* mix, double* out, const double* ref, int count);

/* Creates one canceller per bin; bin k gets
 * trunc(k (taps_end - taps_begin) / (nfft/2 + 1) + taps_begin) taps. With a
 * file, then loads the state saved by delete_SemiBlind and closes the file.
 * Returns null, with everything freed and the file left open and the
 * caller's, when nfft is negative, a bin cannot be created or an allocation
 * fails, the file holds another nfft ("mismatch of nfft." on standard
 * output), the file ends early or holds a negative coefficient count (a
 * message on standard error). */
SemiBlind* new_SemiBlind(FILE* file, int nfft, int taps_begin, int taps_end, int stride,
                         double error_scale, double ref_scale, double mu, double error_scale_step,
                         double ref_scale_step, double mean_rate, double power_floor);

/* Runs cancel_FD_ICA for bins 2 .. nfft/2 on the rows of the same bin. Bins 0
 * and 1 are never processed and their rows are not touched (they may be
 * null); with count 0 or less no row is. Returns 0, or -1 with a message on
 * standard error and nothing changed when blind is null, or when count > 0
 * and mix, out, ref or one of their rows 2 .. nfft/2 is null. */
int separate_SemiBlind(SemiBlind* blind, double** mix, double** out, double** ref, int count);

/* With a file, first saves the scales and coefficients of every bin (native
 * byte order, no padding; the file is not closed), then frees everything.
 * Null is allowed for either argument. */
void delete_SemiBlind(SemiBlind* blind, FILE* file);

/* One zeroed block holding a table of rows pointers followed by rows rows of
 * cols elements of elem_size bytes; entry i points to row i. Release it with a
 * single free(). Returns null when the allocation fails or its size overflows. */
void* calloc2dim(unsigned elem_size, unsigned rows, unsigned cols);

#ifdef __cplusplus
}
#endif

#endif
