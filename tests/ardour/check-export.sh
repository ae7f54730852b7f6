#!/bin/bash
# Plays a file through one plug-in in Ardour and checks what Ardour exports:
#   check-export.sh [--free-running] [--twice-within TOL] [--tempo BPM] [--lv2 <bundle.lv2>]
#                   <plugin.so> <orvex> <wavtool> <name> [NAME=VALUE ...]
# where <plugin.so> is the VST 2.x plug-in, <orvex> the command-line host, <wavtool>
# the test's audio tool, <name> the effect name Ardour lists, and every NAME=VALUE a
# parameter setting (normalised 0..1) that makes the effect plain to hear, applied in
# the order given.
#
# With --lv2, Ardour plays the LV2 bundle instead (found through LV2_PATH, which holds
# the bundle's folder alone), <name> is its URI and every setting NAME=PORT/VALUE: the
# port's value Ardour sets (in the port's unit), then the normalised value `orvex
# render` gives the VST 2.x plug-in for it. Ardour hands each setting to the plug-in in
# a run of its own, so of two solos the one set last plays, as in `orvex render`. The
# first export's session is saved with the plug-in; the second export is that session
# reopened (its LV2 state restored), so check 2 below asks that a reopened session
# plays what was heard before it was saved. Ardour must also offer each preset of the
# bundle by its name.
#
# Ardour's VST 2.x scanner indexes the plug-in into a private cache; Ardour's headless
# Lua session (export.lua) then plays the input through the plug-in on the dummy
# backend and exports the master bus, twice, each time in a fresh session. The check
# passes when
#   1. the export is as long as the input, at its rate, finite, and differs from it,
#   2. the two exports are sample-identical,
#   3. `orvex render` of the same input with the same settings, tempo and block size
#      is the same as the export to within ARDOUR_TOLERANCE (default 1e-6), without
#      any shift. The two hosts hand the plug-in the same samples, blocks and song
#      positions; what is left is rounding where its state took another way to the
#      same values (the panner's pan gains gliding in from the pre-roll: 1.2e-7).
# With --twice-within TOL, check 2 allows the two exports to differ by TOL: for a
# plug-in that keeps a trace of how long Ardour ran it in silence before the export
# (the phaser's all-pass stages, an anti-denormal residue of 1e-20).
# With --free-running, for a plug-in whose modulation runs freely from the moment it
# is made rather than following the song (the phaser's sweeps): what it plays depends
# on how long Ardour ran it before the export, so 2 and 3 become what such a plug-in
# allows: the second export is as long, finite and wet as the first, and the level
# (RMS) of each export is within ARDOUR_LEVEL_DB (default 1) dB of `orvex render`'s.
#
# The input is 2048 frames of silence, then one bar of the demo loop, at 48 kHz and
# 93.75 BPM (or --tempo) in blocks of 512. Why these:
#   - Ardour hands a VST 2.x plug-in its song position rounded to its tick (1/1920
#     quarter note). At this rate and tempo a tick is 16 samples, so every block starts
#     on a tick and Ardour's position is as exact as orvex's. (At 44.1 kHz and 120 BPM
#     a tick is 11.48 samples and an LFO locked to it is up to half a tick off.)
#   - Ardour runs the plug-in with the transport standing still before it plays: while
#     the session sets up, then for its 2-second export pre-roll at the export's start.
#     The LFOs run free while the position stands and lock again when the transport
#     starts, but the pan gains glide for up to 64 samples from wherever the free run
#     left them (so that starting the transport never clicks). export.lua parks the
#     transport elsewhere before the export, so that the pre-roll itself starts with a
#     lock and the export does not depend on how long the set-up took, down to the
#     last bit; the silence keeps the first blocks free of anything but that.
#
# Ardour 7.3 crashes now and then in its own code, also without any plug-in. An
# Ardour run that crashes, aborts or hangs (stopped after ARDOUR_TIMEOUT seconds,
# default 60, with SIGABRT for a core dump) is looked into with gdb on its core dump:
#   - a frame of the plug-in's library on the crashing thread (for a hang: on any
#     thread) fails the check at once;
#   - no such frame: Ardour's own fault, and that export is made again, with at most
#     ARDOUR_ATTEMPTS (default 3) runs for each export;
#   - an abort by the C library's heap checks ("corrupted size vs. prev_size",
#     "double free or corruption" ...) is retried the same way wherever it stopped:
#     the check runs when the next block is freed, so the frame that freed it (after
#     an export, often the plug-in's destructor) says nothing of who damaged the
#     heap. Ardour 7.3's export now and then does (it was also found damaged in
#     Ardour's own save_state after an export, with no plug-in frame anywhere), and
#     memcheck runs of these exports found no error in our libraries. Our own heap use
#     is checked where it can be told: the sanitizer build and the fuzzers. The check
#     fails if it happens in every attempt;
#   - no core dump or no gdb, so nobody can tell: the check fails.
# A run that ends with a Lua error fails at once: Ardour ran, and the script found
# something wrong.
#
# Environment: ARDOUR_LUA (default /usr/bin/ardour7-lua), ARDOUR_LIBDIR (default
# /usr/lib/ardour7), ARDOUR_TIMEOUT, ARDOUR_ATTEMPTS, ARDOUR_TOLERANCE,
# ARDOUR_LEVEL_DB, ARDOUR_KEEP=1 to keep the temporary folder.
set -u

free_running=0
tempo=93.75
lv2=
twice_within=0
while [ $# -gt 0 ]; do
    case "$1" in
        --free-running) free_running=1; shift ;;
        --twice-within) twice_within=$2; shift 2 ;;
        --tempo) tempo=$2; shift 2 ;;
        --lv2) lv2=$2; shift 2 ;;
        *) break ;;
    esac
done
if [ $# -lt 4 ]; then
    echo "usage: $0 [--free-running] [--twice-within TOL] [--tempo BPM] [--lv2 <bundle.lv2>] <plugin.so> <orvex>" \
        "<wavtool> <name>" \
        "[NAME=VALUE ...]" >&2
    exit 2
fi
plugin=$1
orvex=$2
wavtool=$3
name=$4
shift 4
settings=("$@")
# What Ardour sets and what orvex render sets: the same but for LV2 (NAME=PORT/VALUE).
ardour_settings=() orvex_settings=()
for setting in "${settings[@]}"; do
    if [ -n "$lv2" ]; then
        [[ "$setting" =~ ^(.+)=([^=/]+)/([^=/]+)$ ]] || { echo "an LV2 setting is NAME=PORT/VALUE, not $setting" >&2; exit 2; }
        ardour_settings+=("${BASH_REMATCH[1]}=${BASH_REMATCH[2]}")
        orvex_settings+=("${BASH_REMATCH[1]}=${BASH_REMATCH[3]}")
    else
        ardour_settings+=("$setting")
        orvex_settings+=("$setting")
    fi
done

here=$(cd "$(dirname "$0")" && pwd)
lua=${ARDOUR_LUA:-/usr/bin/ardour7-lua}
libdir=${ARDOUR_LIBDIR:-/usr/lib/ardour7}
scanner=$libdir/ardour-vst-scanner
limit=${ARDOUR_TIMEOUT:-60}
attempts=${ARDOUR_ATTEMPTS:-3}
tolerance=${ARDOUR_TOLERANCE:-1e-6}
level_db=${ARDOUR_LEVEL_DB:-1}
rate=48000
block=512
lead=2048

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ -x "$lua" ] || fail "no Ardour Lua session at $lua"
[ -n "$lv2" ] || [ -x "$scanner" ] || fail "no scanner at $scanner"
[ -f "$plugin" ] || fail "no plug-in at $plugin"
[ -z "$lv2" ] || [ -f "$lv2/manifest.ttl" ] || fail "no LV2 bundle at $lv2"
[ -x "$orvex" ] || fail "no orvex at $orvex"
[ -x "$wavtool" ] || fail "no wavtool at $wavtool"
case "$plugin" in
    /*) ;;
    *) plugin=$PWD/$plugin ;;
esac
library=$(basename "$plugin")
if [ -n "$lv2" ]; then
    lv2=$(cd "$lv2" && pwd)
    # The plug-in's binary, listed first (its UI lives in the same one).
    library=$(sed -n 's/^ *lv2:binary <\(.*\)> *;$/\1/p' "$lv2/manifest.ttl" | head -n 1)
    [ -f "$lv2/$library" ] || fail "no binary in $lv2"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/orvex-ardour.XXXXXX") || fail "cannot make a temporary folder"
if [ "${ARDOUR_KEEP:-0}" = 1 ]; then
    echo "keeping $work"
else
    trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work/home" "$work/cache" "$work/config/ardour7/export"
cp "$here/float.format" "$here/float.preset" "$work/config/ardour7/export/" || fail "cannot copy the export preset"
# Nothing of the user's is read or touched; the plug-in folder holds our library alone.
export HOME=$work/home XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config
unset DISPLAY
started=$(date +%s.%N)
unset ORVEX_PRESETS
if [ -n "$lv2" ]; then
    mkdir -p "$work/none"
    export LV2_PATH=$(dirname "$lv2") LXVST_PATH=$work/none
    modes=(lv2 reopen)
    # The bundle's presets, which Ardour must offer by their names.
    ORVEX_PRESETS=$(sed -n 's/^ *rdfs:label "\(.*\)" ;$/\1/p' "$lv2/presets.ttl" 2>/dev/null)
    [ -n "$ORVEX_PRESETS" ] || fail "no presets in $lv2"
    export ORVEX_PRESETS
else
    export LXVST_PATH=$(dirname "$plugin")
    modes=(vst vst)

# The scanner writes the index the session reads. Ardour takes an index only when it is
# newer than the library, by the second: one written in the second the library was
# linked in would be ignored, so it is dated a second after the library.
env LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    timeout 60 "$scanner" -f "$plugin" </dev/null >"$work/scan.txt" 2>&1
status=$?
[ $status -eq 0 ] || { cat "$work/scan.txt"; fail "the scanner exited with status $status"; }
mapfile -t indexes < <(find "$work/cache" -name '*.v2i' -type f)
[ ${#indexes[@]} -eq 1 ] || { cat "$work/scan.txt"; fail "expected one scanner index, found ${#indexes[@]}"; }
grep -qF "name=\"$name\"" "${indexes[0]}" || { cat "${indexes[0]}"; fail "the scanner did not index \"$name\""; }
touch -d "@$(($(stat -c %Y "$plugin") + 1))" "${indexes[0]}"
fi

input=$work/input.wav
"$wavtool" synth "$input" --rate $rate --tempo $tempo --lead $lead || fail "cannot write the input"
frames=$("$wavtool" compare "$input" "$input" | sed -n 's/^frames_a=//p')
[ -n "$frames" ] || fail "cannot read the input back"

# One figure from the output of `wavtool compare`.
figure() {
    sed -n "s/^$1=//p" "$2"
}

# Whether the first number is above the second.
above() {
    awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'
}

crashes=0
# How glibc's heap checks say they found the heap damaged, before they abort.
heap_check='^(corrupted |double free or corruption|free\(\): |malloc\(\): |malloc_consolidate\(\): |realloc\(\): )'
offered=0
# export_once <label> <mode>: one export into $work/<label>.wav (export.lua's mode),
# retried after a crash of Ardour's own as described above. An "lv2" run's session is
# kept in $work/saved for the "reopen" runs, each of which opens a copy of it.
export_once() {
    local label=$1 mode=$2 attempt status core trace frame
    for ((attempt = 1; attempt <= attempts; attempt++)); do
        local run=$work/$label-$attempt
        mkdir -p "$run"
        if [ "$mode" = reopen ]; then
            cp -a "$work/saved" "$run/session" || fail "cannot copy the saved session"
            rm -f "$run/session/out.wav"
        fi
        # The core lands in the working folder.
        (
            cd "$run" || exit 1
            ulimit -c unlimited 2>/dev/null || ulimit -c "$(ulimit -H -c)"
            exec timeout -s ABRT -k 10 "$limit" "$lua" "$here/export.lua" "$mode" "$run/session" "$input" "$frames" \
                $rate $block $tempo "$name" out "${ardour_settings[@]}" </dev/null >"$run/output.txt" 2>&1
        )
        status=$?
        if [ $status -eq 0 ]; then
            if grep -q '^ardour: closed$' "$run/output.txt" && [ -f "$run/session/out.wav" ]; then
                cp "$run/session/out.wav" "$work/$label.wav"
                if [ "$mode" = lv2 ]; then
                    grep -q '^ardour: saved$' "$run/output.txt" || fail "$label: the session was not saved"
                    offered=$(grep -c '^ardour: preset ' "$run/output.txt")
                    [ "$offered" = "$(printf '%s\n' "$ORVEX_PRESETS" | wc -l)" ] ||
                        fail "$label: Ardour offered $offered of the bundle's presets"
                    cp -a "$run/session" "$work/saved" || fail "cannot keep the saved session"
                fi
                echo "$label: exported in attempt $attempt"
                return 0
            fi
            cat "$run/output.txt"
            fail "$label: Ardour's Lua session ended before its export was done"
        fi
        if [ $status -ne 124 ] && [ $status -le 128 ]; then
            cat "$run/output.txt"
            fail "$label: Ardour's Lua session ended with status $status"
        fi
        # Killed by a signal (128 + n), or stopped by the time limit (124).
        crashes=$((crashes + 1))
        tail -n 20 "$run/output.txt"
        core=$(find "$run" -maxdepth 1 -name 'core*' -type f | head -n 1)
        [ -n "$core" ] || fail "$label: Ardour stopped with status $status and left no core dump" \
            "(core pattern: $(cat /proc/sys/kernel/core_pattern 2>/dev/null)), so whose fault it was cannot be told"
        command -v gdb >/dev/null || fail "$label: Ardour stopped with status $status; no gdb to read its core dump"
        trace=$run/backtrace.txt
        gdb -q -batch -ex "set pagination off" -ex "set width 0" -ex bt -x "$here/frames.py" \
            "$libdir/luasession" "$core" </dev/null >"$trace" 2>&1
        rm -f "$core"
        grep -q '^crash ' "$trace" || { cat "$trace"; fail "$label: gdb could not read the core dump"; }
        if [ $status -eq 124 ]; then
            # A hang: a thread stuck in the plug-in is as bad as a crash in it.
            frame=$(grep -F "/$library " "$trace" | grep '^thread ' | head -n 3)
        else
            frame=$(grep -F "/$library " "$trace" | grep '^crash ' | head -n 3)
        fi
        if [ $status -eq 134 ] && grep -qE "$heap_check" "$run/output.txt"; then
            echo "$label: attempt $attempt: the C library found the heap damaged:"
            grep -E "$heap_check" "$run/output.txt" | head -n 1
            grep '^crash ' "$trace" | head -n 24
            continue
        fi
        if [ -n "$frame" ]; then
            grep '^#' "$trace" | head -n 40
            fail "$label: Ardour stopped with status $status in $library:"$'\n'"$frame"
        fi
        echo "$label: attempt $attempt: Ardour stopped with status $status in its own code (no frame of $library):"
        grep '^crash ' "$trace" | head -n 24
    done
    fail "$label: Ardour stopped in all $attempts attempts"
}

export_once first "${modes[0]}"
export_once second "${modes[1]}"
ardour_done=$(date +%s.%N)

# 1. An export: the input's length, rate and channels, finite, and wet.
check_export() {
    local label=$1 value wet_rms dry_rms
    "$wavtool" compare "$work/$label.wav" "$input" >"$work/wet-$label.txt" ||
        fail "cannot compare the $label export with the input"
    value=$(figure frames_a "$work/wet-$label.txt")
    [ "$value" = "$frames" ] || fail "the $label export has $value frames, the input $frames"
    value=$(figure rate_a "$work/wet-$label.txt")
    [ "$value" = $rate ] || fail "the $label export is at $value Hz, not $rate"
    value=$(figure channels_a "$work/wet-$label.txt")
    [ "$value" = 2 ] || fail "the $label export has $value channels, not 2"
    value=$(figure nonfinite_a "$work/wet-$label.txt")
    [ "$value" = 0 ] || fail "the $label export holds $value samples that are not finite"
    wet_rms=$(figure rms_diff "$work/wet-$label.txt")
    dry_rms=$(figure rms_a "$work/wet-$label.txt")
    # The effect changes at least a tenth of the signal (RMS of the difference over RMS
    # of the export, -20 dB).
    above "$wet_rms" "$(awk -v r="$dry_rms" 'BEGIN { print r / 10 }')" ||
        fail "the $label export hardly differs from the input (RMS of the difference $wet_rms, of the export $dry_rms)"
}
check_export first
check_export second
wet_rms=$(figure rms_diff "$work/wet-first.txt")
dry_rms=$(figure rms_a "$work/wet-first.txt")

# 2. Two exports, sample for sample (both are already the input's length).
if [ $free_running = 0 ]; then
    "$wavtool" compare "$work/first.wav" "$work/second.wav" --blocks $block >"$work/twice.txt" ||
        fail "cannot compare the two exports"
    twice=$(figure max_abs_diff "$work/twice.txt")
    [ "$twice" = 0 ] || ! above "$twice" "$twice_within" || {
        grep '^block' "$work/twice.txt" | head -n 10
        fail "the two exports differ: largest difference $twice, first at frame $(figure first_diff "$work/twice.txt")"
    }
fi

# 3. The same through orvex.
sets=()
for setting in "${orvex_settings[@]}"; do
    sets+=(--set "$setting")
done
"$orvex" render "$plugin" "$input" "$work/orvex.wav" --tempo $tempo --block $block "${sets[@]}" -q ||
    fail "orvex render failed"
value=$("$wavtool" compare "$work/orvex.wav" "$input" | sed -n 's/^frames_a=//p')
[ "$value" = "$frames" ] || fail "orvex wrote $value frames, not $frames"
if [ $free_running = 1 ]; then
    # The level of each export against orvex's, in dB.
    levels=""
    for label in first second; do
        "$wavtool" compare "$work/$label.wav" "$work/orvex.wav" >"$work/orvex-$label.txt" ||
            fail "cannot compare the $label export with orvex render"
        db=$(awk -v a="$(figure rms_a "$work/orvex-$label.txt")" -v b="$(figure rms_b "$work/orvex-$label.txt")" \
            'BEGIN { if (a <= 0 || b <= 0) print "inf"; else printf "%.3f", 20 * log(a / b) / log(10) }')
        awk -v d="$db" -v l="$level_db" 'BEGIN { exit !(d != "inf" && d <= l && -d <= l) }' ||
            fail "the $label export's level is $db dB from orvex render's (at most $level_db dB allowed)"
        levels="$levels $db"
    done
    outcome="two exports of the same length, levels within$levels dB of orvex render"
else
    "$wavtool" compare "$work/first.wav" "$work/orvex.wav" --search 64 --blocks $block >"$work/orvex.txt" ||
        fail "cannot compare the export with orvex render"
    difference=$(figure max_abs_diff "$work/orvex.txt")
    offset=$(figure best_offset "$work/orvex.txt")
    if above "$difference" "$tolerance" || [ "$offset" != 0 ]; then
        grep '^block' "$work/orvex.txt" | sort -k3 -g | tail -n 10
        fail "Ardour and orvex render differ by up to $difference (tolerance $tolerance) at frame" \
            "$(figure worst_frame "$work/orvex.txt"), first at frame $(figure first_diff "$work/orvex.txt");" \
            "closest with orvex shifted by $offset frames ($(figure best_max_abs_diff "$work/orvex.txt"))"
    fi
    if [ "$twice" = 0 ]; then twice=identical; else twice="within $twice"; fi
    outcome="two exports $twice, orvex render within $difference at offset 0"
fi

finished=$(date +%s.%N)
timing=$(awk -v a="$started" -v b="$ardour_done" -v c="$finished" \
    'BEGIN { printf "%.1f s in Ardour, %.1f s in all", b - a, c - a }')
[ -z "$lv2" ] || outcome="$outcome, its $offered presets offered by name"
echo "PASS: $name in Ardour: $frames frames at $rate Hz, wet (RMS of the difference from the input $wet_rms," \
    "of the export $dry_rms), $outcome;" \
    "$crashes Ardour crash(es) retried; $timing"
