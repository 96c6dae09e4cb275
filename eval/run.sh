#!/usr/bin/env bash
# One command for the whole evaluation: installs the tools, builds vesk-beat and the
# plug-in into build/, makes the corpus if it is missing and scores vesk-beat beside
# aubiotrack. Extra arguments go to eval/run_eval.py (e.g. --vesk-args "--threshold 0.4").
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
# Debian's python3 has the python3-* packages the scripts import.
py=/usr/bin/python3

bash scripts/install-deps.sh --eval
cmake -S . -B build -G Ninja >/dev/null
ninja -C build vesk-beat vesk-music
export VESK_BEAT="${VESK_BEAT:-$root/build/apps/vesk-beat/vesk-beat}"

if [ ! -f eval/corpus/index.json ]; then
  "$py" eval/make_corpus.py
elif ! grep -q '"section": "hard"' eval/corpus/index.json; then
  # A corpus made before the hard section existed: add it alone.
  "$py" eval/make_corpus.py --section hard
fi
"$py" eval/run_eval.py "$@"
echo "tables: $root/eval/results/results.md"
echo "plot:   $root/eval/results/scores.png"
