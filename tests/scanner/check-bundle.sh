#!/bin/bash
# Checks that a plug-in loads in Ardour's own VST 2.x scanner, the way Ardour loads
# it before listing it:
#   check-bundle.sh <plugin.so> <expected name> <inputs> <outputs> [<unique id> [<has editor>]]
# where the unique id is the four-character code (e.g. HaOs) and <has editor> is 1 when
# Ardour must list the plug-in with an editor of its own, 0 when without.
#
# The scanner writes an XML index (<cache>/ardour7/vst/<hash>-x64.v2i); it is sent
# into a fresh temporary folder through HOME and XDG_CACHE_HOME so that nothing of
# the user's is read or touched. The check passes when the scanner exits 0, reports
# the plug-in as found, and its index holds exactly one entry with the expected name,
# input and output counts (and unique id), and the vendor "Harmoxel".
#
# Environment: ARDOUR_LIBDIR (default /usr/lib/ardour7), SCANNER (default
# $ARDOUR_LIBDIR/ardour-vst-scanner), SCANNER_PRELOAD (libraries to preload into the
# scanner, e.g. the sanitizer runtime of an instrumented plug-in).
set -u

if [ $# -lt 4 ] || [ $# -gt 6 ]; then
    echo "usage: $0 <plugin.so> <expected name> <inputs> <outputs> [<unique id> [<has editor>]]" >&2
    exit 2
fi
plugin=$1
name=$2
inputs=$3
outputs=$4
code=${5:-}
editor=${6:-}
vendor=Harmoxel

libdir=${ARDOUR_LIBDIR:-/usr/lib/ardour7}
scanner=${SCANNER:-$libdir/ardour-vst-scanner}

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

[ -x "$scanner" ] || fail "no scanner at $scanner"
[ -f "$plugin" ] || fail "no plug-in at $plugin"
case "$plugin" in
    /*) ;;
    *) plugin=$PWD/$plugin ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/orvex-scan.XXXXXX") || fail "cannot make a temporary folder"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/cache" "$work/config"

# -f: index the plug-in even if an index seems current; -v: say what it does.
env HOME="$work/home" XDG_CACHE_HOME="$work/cache" XDG_CONFIG_HOME="$work/config" \
    LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    ${SCANNER_PRELOAD:+LD_PRELOAD="$SCANNER_PRELOAD"} \
    timeout 60 "$scanner" -v -f "$plugin" >"$work/output.txt" 2>&1
status=$?
cat "$work/output.txt"
[ $status -eq 0 ] || fail "scanner exited with status $status"

found=$(sed -n "s/^\[Info\]: Found Plugin: '.\{4\}' //p" "$work/output.txt")
grep -qxF -- "$name" <<<"$found" || fail "scanner did not report \"$name\" as found"

mapfile -t indexes < <(find "$work/cache" -name '*.v2i' -type f)
[ ${#indexes[@]} -eq 1 ] || fail "expected one index file, found ${#indexes[@]}"
index=${indexes[0]}

entries=$(grep -c '<VST2Info ' "$index")
[ "$entries" -eq 1 ] || fail "expected one plug-in in the index, found $entries"
entry=$(grep '<VST2Info ' "$index")

# The value of one attribute of the entry, exactly as written.
attribute() {
    sed -n "s/.* $1=\"\\([^\"]*\\)\".*/\\1/p" <<<"$entry"
}

[ "$(attribute name)" = "$name" ] || fail "name is \"$(attribute name)\", expected \"$name\""
[ "$(attribute creator)" = "$vendor" ] || fail "vendor is \"$(attribute creator)\", expected \"$vendor\""
[ "$(attribute n_inputs)" = "$inputs" ] || fail "inputs are $(attribute n_inputs), expected $inputs"
[ "$(attribute n_outputs)" = "$outputs" ] || fail "outputs are $(attribute n_outputs), expected $outputs"
if [ -n "$code" ]; then
    [ ${#code} -eq 4 ] || fail "a unique id has four characters, not \"$code\""
    # Packed with the first character in the most significant byte.
    id=0
    for ((i = 0; i < 4; i++)); do
        id=$((id * 256 + $(printf '%d' "'${code:i:1}")))
    done
    [ "$(attribute id)" = "$id" ] || fail "unique id is $(attribute id), expected $id ($code)"
fi
if [ -n "$editor" ]; then
    [ "$(attribute has_editor)" = "$editor" ] || fail "has_editor is \"$(attribute has_editor)\", expected $editor"
fi
binary=$(sed -n 's/.*<VST2Cache [^>]* binary="\([^"]*\)".*/\1/p' "$index")
[ "$binary" = "$plugin" ] || fail "the index is of \"$binary\", not of $plugin"

echo "PASS: $plugin loads in Ardour's scanner as \"$name\" with $inputs inputs and $outputs outputs"
