"""Scores of one tracker's beats against the annotations, and their means.

Beat scores come from mir_eval with the customary first 5 s removed from both
reference and estimate. Tempo accuracy: Acc1 within 4 % of the reference tempo,
Acc2 also at 2, 1/2, 3 or 1/3 times it. The warm-up is the time from the start
of the music to the first reported beat. Beat errors (estimate minus nearest
annotation) show a constant lag as an off-centre peak.
"""

import warnings

import numpy as np

import mir_eval

METRICS = ["f_measure", "precision", "recall", "cmlt", "amlt", "cemgil", "acc1", "acc2"]
TEMPO_TOLERANCE = 0.04
TEMPO_FACTORS = (1.0, 2.0, 0.5, 3.0, 1.0 / 3.0)
HIT_WINDOW_S = 0.07


def reference_tempo(ref):
    """The annotations' tempo: median inter-beat interval after the first 5 s."""
    r = mir_eval.beat.trim_beats(np.asarray(ref))
    if len(r) < 2:
        r = np.asarray(ref)
    return 60.0 / float(np.median(np.diff(r)))


def beat_errors(ref, est):
    """Estimate minus nearest annotation, for estimates after 5 s lying within half a beat of one."""
    ref = np.asarray(ref)
    est = mir_eval.beat.trim_beats(np.asarray(est))
    if len(ref) < 2 or len(est) == 0:
        return []
    idx = np.clip(np.searchsorted(ref, est), 1, len(ref) - 1)
    left, right = ref[idx - 1], ref[idx]
    nearest = np.where(est - left < right - est, left, right)
    ibi = right - left
    err = est - nearest
    keep = np.abs(err) <= 0.5 * ibi
    return [float(e) for e in err[keep]]


def score_track(ref, est, est_tempo, music_start, resume=None):
    ref_t = mir_eval.beat.trim_beats(np.asarray(ref, dtype=float))
    est_t = mir_eval.beat.trim_beats(np.asarray(est, dtype=float))
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        f = mir_eval.beat.f_measure(ref_t, est_t, HIT_WINDOW_S)
        _, cmlt, _, amlt = mir_eval.beat.continuity(ref_t, est_t)
        cem = mir_eval.beat.cemgil(ref_t, est_t)[0]
    # Precision: share of reported beats (after 5 s) within 70 ms of an annotation; recall the reverse.
    precision = recall = 0.0
    if len(est_t) and len(ref_t):
        precision = float(np.mean([np.min(np.abs(ref_t - e)) <= HIT_WINDOW_S for e in est_t]))
        recall = float(np.mean([np.min(np.abs(est_t - r)) <= HIT_WINDOW_S for r in ref_t]))
    tr = reference_tempo(ref)
    acc1 = acc2 = 0.0
    if est_tempo:
        acc1 = float(abs(est_tempo - tr) <= TEMPO_TOLERANCE * tr)
        acc2 = float(any(abs(est_tempo - k * tr) <= TEMPO_TOLERANCE * k * tr for k in TEMPO_FACTORS))
    after = [b for b in est if b >= music_start]
    s = {"f_measure": float(f), "precision": precision, "recall": recall, "cmlt": float(cmlt), "amlt": float(amlt), "cemgil": float(cem),
         "acc1": acc1, "acc2": acc2, "ref_tempo": tr, "est_tempo": est_tempo, "beats": len(est),
         "warmup": (after[0] - music_start) if after else None}
    errs = beat_errors(ref, est)
    hits = [e for e in errs if abs(e) <= HIT_WINDOW_S]
    s["lag_median"] = float(np.median(hits)) if hits else None
    s["errors"] = errs
    if resume is not None:
        back = [b for b in est if b >= resume]
        s["recovery"] = (back[0] - resume) if back else None
    return s


def mean_scores(rows):
    """Means of the metrics, the warm-up (over tracks with a beat) and the pooled lag."""
    out = {"tracks": len(rows)}
    for m in METRICS:
        out[m] = float(np.mean([r[m] for r in rows])) if rows else None
    w = [r["warmup"] for r in rows if r["warmup"] is not None]
    out["warmup"] = float(np.mean(w)) if w else None
    out["no_beats"] = sum(1 for r in rows if r["beats"] == 0)
    out["beats"] = float(np.mean([r["beats"] for r in rows])) if rows else None
    errs = [e for r in rows for e in r["errors"] if abs(e) <= HIT_WINDOW_S]
    out["lag_median"] = float(np.median(errs)) if errs else None
    out["lag_mean"] = float(np.mean(errs)) if errs else None
    return out
