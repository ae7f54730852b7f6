#!/usr/bin/env bash
# One LV2 bundle of ours in jalv.gtk3, a host that embeds a plug-in's X11 UI in its own
# GTK window:
#   check-jalv.sh LV2_DIR NAME
# on a private Xvfb, with a private JACK server on its dummy backend (its own name via
# JACK_DEFAULT_SERVER, so it never meets a real one), and LV2_PATH holding LV2_DIR only.
# jalv starts the plug-in with one knob's port at 40 (in its unit, percent); the check
# passes when
#   1. our UI's window (the one with _XEMBED_INFO that jalv's window holds) is inside
#      jalv's window,
#   2. a real pointer drag of 20 pixels up on that knob leaves jalv's port at 50, as
#      jalv's own saved state (File > Save) reports it (a tenth of the range on from
#      the 40 jalv gave the UI; the phaser's linked partner at 50 too),
#   3. jalv ends on SIGTERM with status 0, without an X error, its windows gone.
# Exits 77 (skipped) when jalv.gtk3 or jackd is not installed.
set -euo pipefail
lv2dir="$1" name="$2"
for tool in jalv.gtk3 jackd; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
fail() { echo "FAIL: $*" >&2; exit 1; }

# The knob each panel is dragged on (panel pixels), its port and a linked partner's.
case "$name" in
  panner) knob=(115 287) symbol=lowlfodepth partner= ;;
  distortion) knob=(84 276) symbol=low_drive partner= ;;
  filter) knob=(320 208) symbol=drive partner= ;;
  phaser) knob=(91 133) symbol=mod_depth partner=mod_depth_2 ;;
  *) fail "no knob known for $name" ;;
esac
bundle="$lv2dir/orvex-$name.lv2"
uri="urn:harmoxel:orvex:$name"
title="$(sed -n 's/^ *doap:name "\(.*\)" ;$/\1/p' "$bundle/$name.ttl" | head -1)"
[ -n "$title" ] || fail "no doap:name in $bundle/$name.ttl"

work="$(mktemp -d)"
pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap stop EXIT
# Waits up to $1 tenths of a second for the command after it to succeed.
within() {
  local tenths="$1"
  shift
  for ((i = 0; i < tenths; i++)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# The X server, on a display number it picks itself.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
within 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -1 "$work/display")"

# JACK on its dummy backend, under a server name of its own.
export JACK_DEFAULT_SERVER="orvex-jalv-$name-$$"
export JACK_NO_AUDIO_RESERVATION=1
# Servers starting at the same moment (the tests run side by side) can trip over JACK's
# shared registry: a server that did not come up is started again, up to three times.
for attempt in 1 2 3; do
  jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p 512 >"$work/jackd.log" 2>&1 &
  jackd=$!
  if jack_wait -w -t 10 >/dev/null 2>&1; then
    pids+=($jackd)
    break
  fi
  kill "$jackd" 2>/dev/null || true
  wait "$jackd" 2>/dev/null || true
  [ "$attempt" -lt 3 ] || { cat "$work/jackd.log"; fail "jackd did not start"; }
  sleep "0.$((RANDOM % 9 + 1))"
done

# jalv, in the working folder (where its save dialog starts), with a home of its own.
settings=(-c "$symbol=40")
[ -z "$partner" ] || settings+=(-c "$partner=40")
export LV2_PATH="$lv2dir" HOME="$work" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export GSETTINGS_BACKEND=memory NO_AT_BRIDGE=1
(cd "$work" && exec jalv.gtk3 "${settings[@]}" "$uri" >"$work/jalv.out" 2>"$work/jalv.err" </dev/null) &
jalv=$!
pids+=($jalv)

# 1. Our window inside jalv's: the one window with _XEMBED_INFO in jalv's window tree.
ours() {
  top="$(xdotool search --name "^$title\$" 2>/dev/null | head -1)"
  [ -n "$top" ] || return 1
  ui=
  for id in $(xwininfo -tree -id "$top" | sed -n 's/^ *\(0x[0-9a-f]*\) (has no name).*/\1/p'); do
    if xprop -id "$id" _XEMBED_INFO 2>/dev/null | grep -q '_XEMBED_INFO(_XEMBED_INFO) ='; then
      [ -z "$ui" ] || return 1
      ui="$id"
    fi
  done
  [ -n "$ui" ]
}
within 200 ours || { cat "$work/jalv.err"; xwininfo -root -tree; fail "no window of our UI inside jalv's window"; }
geometry() { xwininfo -id "$1" | sed -n "s/^ *$2: *\([-0-9]*\).*/\1/p"; }
x="$(geometry "$ui" 'Absolute upper-left X')" y="$(geometry "$ui" 'Absolute upper-left Y')"
echo "our UI: window $ui, $(geometry "$ui" Width)x$(geometry "$ui" Height) at $x,$y in jalv's $top"
topx="$(geometry "$top" 'Absolute upper-left X')" topy="$(geometry "$top" 'Absolute upper-left Y')"

# 2. The drag, then jalv's state saved through its menu: File, its first entry, a name.
sleep 0.5  # jalv's first values reach the UI at its next update
kx=$((x + knob[0])) ky=$((y + knob[1]))
xdotool mousemove "$kx" "$ky" mousedown 1 sleep 0.1 mousemove "$kx" $((ky - 10)) sleep 0.1 mousemove "$kx" $((ky - 20)) sleep 0.1 mouseup 1
sleep 0.5
xdotool mousemove $((topx + 20)) $((topy + 12)) click 1
sleep 0.5
xdotool mousemove $((topx + 40)) $((topy + 37)) click 1
dialog() { xdotool search --name '^Save State$' >/dev/null 2>&1; }
within 100 dialog || fail "jalv's save dialog did not open"
xdotool windowfocus --sync "$(xdotool search --name '^Save State$' | head -1)"
xdotool type --delay 30 saved
sleep 0.3
xdotool key Return
within 100 test -s "$work/saved/state.ttl" || fail "jalv saved no state"
valueOf() { awk -v s="lv2:symbol \"$1\"" 'index($0, s) { getline; print $2; exit }' "$work/saved/state.ttl"; }
near50() { awk -v v="$1" 'BEGIN { exit !(v != "" && v > 49.99 && v < 50.01) }'; }
value="$(valueOf "$symbol")"
echo "jalv's $symbol after the drag: $value"
near50 "$value" || fail "jalv's $symbol is $value after the drag, not 50"
if [ -n "$partner" ]; then
  value="$(valueOf "$partner")"
  echo "jalv's $partner (linked) after the drag: $value"
  near50 "$value" || fail "jalv's $partner is $value after the drag, not 50"
fi

# 3. Closed by SIGTERM: a clean exit, no X error, and none of its windows left.
kill -TERM "$jalv"
status=0
wait "$jalv" || status=$?
left=()
for pid in "${pids[@]}"; do [ "$pid" = "$jalv" ] || left+=("$pid"); done
pids=("${left[@]}")
[ "$status" -eq 0 ] || { cat "$work/jalv.err"; fail "jalv exited with $status on SIGTERM"; }
if grep -q 'X Window System error' "$work/jalv.err"; then cat "$work/jalv.err"; fail "jalv met an X error"; fi
xprop -id "$ui" >/dev/null 2>&1 && fail "our UI's window $ui is still there"
echo "jalv closed cleanly"
