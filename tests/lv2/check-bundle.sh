#!/usr/bin/env bash
# One LV2 bundle of ours through the LV2 tools themselves:
#   check-bundle.sh LV2_DIR NAME ORVEX WAVTOOL
# its Turtle validated against the installed schemas (no error, no warning), its one
# exported symbol, the plug-in and its ports as lilv reads them (lv2info), and lv2apply's
# render of a bar of the demo loop, at the defaults, with the Mix port at its maximum
# and with every control but the menus at its maximum, equal sample for sample to `orvex render` of the VST 2.x bundle with the
# same settings (no transport, one sample per call as lv2apply runs); the presets listed
# by lilv, and each one's port values rendered as its VST 2.x program; two solos on, and
# the phaser's link with the right ports elsewhere, rendered as VST 2.x leaves them.
set -euo pipefail
lv2dir="$1" name="$2" orvex="$3" wavtool="$4"
bundle="$lv2dir/orvex-$name.lv2"
uri="urn:harmoxel:orvex:$name"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export LV2_PATH="$lv2dir"

# The Turtle.
status=0
lv2_validate "$bundle/manifest.ttl" "$bundle/$name.ttl" "$bundle/presets.ttl" >"$work/validate.txt" 2>&1 || status=$?
cat "$work/validate.txt"
[ "$status" -eq 0 ] || fail "lv2_validate exited with $status"
if grep -qiE '^(error|warning)' "$work/validate.txt"; then fail "lv2_validate reports problems"; fi
grep -q '^Found 0 errors' "$work/validate.txt" || fail "lv2_validate does not report 0 errors"

# The binary exports the two descriptor functions only, the plug-in's and its UI's.
symbols="$(nm -D --defined-only "$bundle/orvex-$name.so" | awk '{print $3}' | tr '\n' ' ')"
[ "$symbols" = "lv2_descriptor lv2ui_descriptor " ] || fail "exported symbols: $symbols"

# lilv's reading: four audio ports, one control port per parameter and the two atom inputs.
lv2info "$uri" >"$work/info.txt"
controls="$(grep -c 'lv2:ControlPort' "$bundle/$name.ttl")"
ports="$(grep -cE '^\s*Port [0-9]+:' "$work/info.txt")"
[ "$ports" -eq $((6 + controls)) ] || fail "lv2info shows $ports ports, the Turtle has $((6 + controls))"
audio="$(grep -c 'http://lv2plug.in/ns/lv2core#AudioPort' "$work/info.txt")"
[ "$audio" -eq 4 ] || fail "lv2info shows $audio audio ports"
atom="$(grep -c 'http://lv2plug.in/ns/ext/atom#AtomPort' "$work/info.txt")"
[ "$atom" -eq 2 ] || fail "lv2info shows $atom atom ports"
echo "lv2info: $ports ports ($controls controls)"
# Its X11 UI, in the same binary.
grep -qF "$uri#ui" "$work/info.txt" || fail "lv2info does not list the UI $uri#ui"
grep -qF 'ui#X11UI' "$work/info.txt" || fail "lv2info does not list an X11 UI"

# The presets: lilv lists every one by its name.
npresets="$(grep -c 'a pset:Preset' "$bundle/presets.ttl")"
[ "$npresets" -gt 0 ] || fail "no presets"
[ "$(grep -c 'a pset:Preset' "$bundle/manifest.ttl")" -eq "$npresets" ] || fail "the manifest lists other presets"
while read -r label; do
  grep -qF "$label" "$work/info.txt" || fail "lv2info does not list the preset $label"
done < <(sed -n 's/^ *rdfs:label "\(.*\)" ;$/\1/p' "$bundle/presets.ttl")
echo "lv2info: $npresets presets listed"

# Renders.
"$wavtool" synth "$work/in.wav"
render() {  # OUT [--set ...]
  local out="$1"; shift
  "$orvex" render "$name" "$work/in.wav" "$out" --no-transport --block 1 -q "$@"
}
same() {  # A B WHAT
  "$wavtool" compare "$1" "$2" >"$work/compare.txt"
  local diff frames_a frames_b
  diff="$(sed -n 's/^max_abs_diff=//p' "$work/compare.txt")"
  frames_a="$(sed -n 's/^frames_a=//p' "$work/compare.txt")"
  frames_b="$(sed -n 's/^frames_b=//p' "$work/compare.txt")"
  echo "$3: frames $frames_a / $frames_b, largest difference $diff"
  [ "$frames_a" = "$frames_b" ] && [ "$frames_a" -gt 0 ] || fail "$3: lengths differ"
  [ "$diff" = "0" ] || fail "$3: the samples differ"
}
lv2apply -i "$work/in.wav" -o "$work/lv2.wav" "$uri"
render "$work/vst.wav"
same "$work/lv2.wav" "$work/vst.wav" "defaults"

# The Mix port at its maximum, which is 1 as a 0..1 value whatever its unit.
mix="$(awk '/lv2:symbol "mix"/ {found = 1} found && /lv2:maximum/ {print $2; exit}' "$bundle/$name.ttl")"
[ -n "$mix" ] || fail "no mix port"
lv2apply -i "$work/in.wav" -o "$work/lv2mix.wav" -c mix "$mix" "$uri"
render "$work/vstmix.wav" --set Mix=1
same "$work/lv2mix.wav" "$work/vstmix.wav" "mix=$mix"
"$wavtool" compare "$work/lv2.wav" "$work/lv2mix.wav" >"$work/compare.txt"
grep -q '^max_abs_diff=0$' "$work/compare.txt" && fail "mix=$mix sounds as the defaults do"

# Every control port but the menus at its maximum (1 as a 0..1 value; a menu's last
# entry need not be), set in index order on both sides.
lv2args=() vstargs=()
while read -r index symbol maximum; do
  lv2args+=(-c "$symbol" "$maximum")
  vstargs+=(--set "$index=1")
done < <(awk '/lv2:ControlPort/ {c = 1} /lv2:index/ {i = $2} /lv2:symbol/ {gsub(/[";]/, "", $2); s = $2}
              /lv2:maximum/ {m = $2} /lv2:enumeration/ {e = 1}
              /^ *\]/ {if (c && !e) print i - 4, s, m; c = 0; e = 0}' "$bundle/$name.ttl")
[ ${#vstargs[@]} -gt 0 ] || fail "no control ports read from the Turtle"
lv2apply -i "$work/in.wav" -o "$work/lv2max.wav" "${lv2args[@]}" "$uri"
render "$work/vstmax.wav" "${vstargs[@]}"
same "$work/lv2max.wav" "$work/vstmax.wav" "$((${#vstargs[@]} / 2)) controls at their maximum"
# Every preset's port values through lv2apply sound as its program does in VST 2.x.
while read -r program controls; do
  read -ra lv2args <<<"$controls"
  lv2apply -i "$work/in.wav" -o "$work/lv2preset.wav" "${lv2args[@]}" "$uri"
  render "$work/vstpreset.wav" --program "$program"
  same "$work/lv2preset.wav" "$work/vstpreset.wav" "preset $program"
done < <(awk '/a pset:Preset/ {if (p != "") print p, c; p = prev; c = ""} {prev = $1}
              /lv2:symbol/ {gsub(/[";]/, "", $2); s = $2} /pset:value/ {c = c " -c " s " " $2}
              END {if (p != "") print p, c}' "$bundle/presets.ttl" | sed 's/^<[^ ]*:preset:\([0-9]*\)>/\1/')

# The effects' rules on ports the host owns. Two solos on (a restored session) play
# the higher one, as a VST 2.x host setting them in index order leaves it.
mapfile -t solos < <(awk '/lv2:index/ {i = $2} /lv2:symbol "[a-z_]*solo"/ {gsub(/[";]/, "", $2); print i - 4, $2}' "$bundle/$name.ttl")
if [ ${#solos[@]} -ge 2 ]; then
  read -r i0 s0 <<<"${solos[0]}"; read -r i1 s1 <<<"${solos[1]}"
  lv2apply -i "$work/in.wav" -o "$work/lv2solo.wav" -c "$s0" 1 -c "$s1" 1 "$uri"
  render "$work/vstsolo.wav" --set "$i0=1" --set "$i1=1"
  same "$work/lv2solo.wav" "$work/vstsolo.wav" "$s0 and $s1 on"
fi
# The phaser's link on: the right ports are ignored, the right follows the left as
# VST 2.x copies it.
if [ "$name" = phaser ]; then
  range() { awk -v s="\"$1\"" '$2 == s || $2 == s";" {f = 1} f && /lv2:minimum/ {n = $2} f && /lv2:maximum/ {print n, $2; exit}' "$bundle/$name.ttl"; }
  lv2args=()
  for control in mod_rate mod_depth feedback; do
    read -r low high < <(range "$control")
    [ -n "$high" ] || fail "no port $control"
    lv2args+=(-c "$control" "$high" -c "${control}_2" "$low")
  done
  lv2apply -i "$work/in.wav" -o "$work/lv2link.wav" "${lv2args[@]}" "$uri"
  render "$work/vstlink.wav" --set 0=1 --set 1=1 --set 2=1
  same "$work/lv2link.wav" "$work/vstlink.wav" "link on, left at the maximum, right ports at the minimum"
fi
echo "$name: all checks passed"
