#!/usr/bin/env bash
# How much faster one `orvex render ... --out-dir` is than one `orvex render` call per
# file: writes COUNT files of one second of stereo 16-bit noise at 44.1 kHz, renders
# them through PLUGIN one call after another, then all in one batch, and prints both
# wall times, their ratio and whether every batch output equals its single render byte
# for byte.
#
#   scripts/batch-timing.sh [COUNT] [PLUGIN] [BUILD_DIR]   (defaults: 200 panner build)
#
# Further options for both (--jobs N applies to the batch only) go in ORVEX_BATCH_OPTIONS.
set -euo pipefail
count="${1:-200}"
plugin="${2:-panner}"
build="${3:-build}"
orvex="$build/tools/orvex/orvex"
[ -x "$orvex" ] || { echo "no $orvex: build first" >&2; exit 1; }
read -r -a extra <<< "${ORVEX_BATCH_OPTIONS:-}"
jobs=()
single=()
for ((i = 0; i < ${#extra[@]}; ++i)); do
  if [ "${extra[i]}" = --jobs ]; then jobs=(--jobs "${extra[i + 1]}"); i=$((i + 1)); else single+=("${extra[i]}"); fi
done

work="$(mktemp -d "${TMPDIR:-/tmp}/batch-timing-XXXXXX")"
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/single" "$work/batch"

# A WAV header for one second of 16-bit stereo at 44100 Hz (176400 bytes of data),
# then the noise.
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
header() {
  printf 'RIFF'; le32 $((36 + 176400)); printf 'WAVEfmt '; le32 16
  printf '\x01\x00\x02\x00'; le32 44100; le32 176400; printf '\x04\x00\x10\x00'
  printf 'data'; le32 176400
}
header > "$work/header"
for ((i = 0; i < count; ++i)); do
  name="$(printf 'take-%03d.wav' "$i")"
  cat "$work/header" <(head -c 176400 /dev/urandom) > "$work/in/$name"
done

now() { date +%s.%N; }
start="$(now)"
for file in "$work"/in/*.wav; do
  "$orvex" render "$plugin" "$file" "$work/single/$(basename "$file")" -q "${single[@]}"
done
middle="$(now)"
"$orvex" render "$plugin" "$work"/in/*.wav --out-dir "$work/batch" -q "${single[@]}" "${jobs[@]}"
end="$(now)"

same=0
for file in "$work"/single/*.wav; do
  cmp -s "$file" "$work/batch/$(basename "$file")" && same=$((same + 1))
done
awk -v n="$count" -v p="$plugin" -v a="$start" -v b="$middle" -v c="$end" -v same="$same" -v cores="$(nproc)" 'BEGIN {
  singles = b - a; batch = c - b
  printf "%d files of 1 s (stereo, 44.1 kHz) through %s, %d cores\n", n, p, cores
  printf "  %d single calls  %.2f s (%.1f ms a file)\n", n, singles, 1000 * singles / n
  printf "  one batch        %.2f s (%.1f ms a file)\n", batch, 1000 * batch / n
  printf "  batch / singles  %.2f\n", batch / singles
  printf "  outputs equal    %d of %d\n", same, n
}'
[ "$same" -eq "$count" ]
