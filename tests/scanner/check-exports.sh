#!/usr/bin/env bash
# A plug-in exports its two entry points and nothing else, so that several of ours
# (whose classes share names) can live in one host process side by side.
set -euo pipefail
so="$1"
symbols="$(nm -D --defined-only "$so" | awk '{print $3}' | sort | tr '\n' ' ')"
if [ "$symbols" != "VSTPluginMain main_macho " ]; then
  echo "unexpected exported symbols in $so: $symbols" >&2
  exit 1
fi
echo "$so exports: $symbols"
