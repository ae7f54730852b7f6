#!/usr/bin/env bash
# lilv finds exactly our four plug-ins in the build's folder of LV2 bundles:
#   check-list.sh LV2_DIR
set -euo pipefail
found="$(LV2_PATH="$1" lv2ls | sort | tr '\n' ' ')"
echo "lv2ls: $found"
want="urn:harmoxel:orvex:distortion urn:harmoxel:orvex:filter urn:harmoxel:orvex:panner urn:harmoxel:orvex:phaser "
[ "$found" = "$want" ] || { echo "FAIL: expected $want" >&2; exit 1; }
