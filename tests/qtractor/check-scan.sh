#!/bin/sh
# Qtractor's own plug-in scanner (Debian's qtractor, built with CLAP) loads one of our
# .clap files as Qtractor does when it scans its CLAP path, and must report what the
# plug-in is: its name, a stereo pair of audio ports, one MIDI input and as many
# parameters as the VST 2.x bundle of the same plug-in has (counted by `orvex info`).
# The scanner reads "CLAP:<file>" lines on its standard input and answers each plug-in
# with one line: CLAP|name|audio in:out|MIDI in:out|parameters in:out|flags|file|index|id.
# Usage: check-scan.sh ORVEX CLAP_FILE VST_FILE "EFFECT NAME"
# Exit 77 (skipped) when the scanner is not installed.
set -eu
orvex=$1 clap=$2 vst=$3 name=$4
scanner=
for candidate in /usr/lib/*/qtractor/qtractor_plugin_scan /usr/lib/qtractor/qtractor_plugin_scan; do
  [ -x "$candidate" ] && scanner=$candidate && break
done
if [ -z "$scanner" ]; then
  echo "qtractor_plugin_scan is not installed (Debian package qtractor)"
  exit 77
fi
[ -f "$clap" ] || { echo "FAIL: $clap is not built"; exit 1; }

params=$("$orvex" info "$vst" | sed -n 's/^Parameters (\([0-9]*\))$/\1/p')
[ -n "$params" ] || { echo "FAIL: orvex info $vst gave no parameter count"; exit 1; }

# Qt wants a platform even without windows; XDG_RUNTIME_DIR keeps it quiet.
runtime=$(mktemp -d)
trap 'rm -rf "$runtime"' EXIT
answer=$(printf 'CLAP:%s\n' "$clap" |
  QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime timeout 60 "$scanner" 2>"$runtime/stderr") || {
  echo "FAIL: the scanner exited with status $?"; cat "$runtime/stderr"; exit 1; }
echo "scanner: $answer"

expected="CLAP|$name|2:2|1:0|$params:0|"
case $answer in
  "$expected"*"|$clap|0|"*) echo "PASS: $name, 2 audio in and out, MIDI in, $params parameters" ;;
  *) echo "FAIL: expected a line starting with $expected, naming $clap as plug-in 0"; exit 1 ;;
esac
