#!/usr/bin/env bash
# Fails when code reaches up the layers:
# - every #include "AREA/..." must name the file's own area or one below it;
# - each layer's library (src/AREA/CMakeLists.txt) links only libraries of
#   layers below it, so the linker, which refuses a call into a layer the
#   library does not link, and this script agree on the order;
# - only src/ui/ may include Qt.
# The order (lowest first): platform, geo, then task, area and net beside
# each other, download, control and output beside each other, then the front
# ends and the companion programs. Usage: scripts/check-layers.sh [SOURCE_ROOT]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

declare -A rank=(
    [platform]=0 [geo]=1 [task]=2 [area]=2 [net]=2 [download]=3 [control]=4 [output]=4
    [cli]=5 [ui]=5 [combiner]=6 [mapviewer]=6 [tileserver]=6
)

faults=0
complain() {
    echo "$1" >&2
    faults=$((faults + 1))
}

while IFS= read -r file; do
    area=$(cut -d/ -f2 <<<"$file")
    [[ -n ${rank[$area]:-} ]] || continue
    while IFS=: read -r line text; do
        target=$(sed -E 's/^#include "([a-z_]+)\/.*/\1/' <<<"$text")
        if [[ -z ${rank[$target]:-} ]]; then
            continue  # a header beside the file, not an area of ours
        fi
        if [[ $target != "$area" && ${rank[$target]} -ge ${rank[$area]} ]]; then
            complain "$file:$line: $area may not include $target ($text)"
        fi
    done < <(grep -nE '^#include "[a-z_]+/' "$file" || true)
    if [[ $area != ui ]]; then
        while IFS=: read -r line text; do
            complain "$file:$line: only src/ui/ may include Qt ($text)"
        done < <(grep -nE '^#include <Q[A-Za-z]*(/|>)' "$file" || true)
    fi
done < <(find src tools -name '*.h' -o -name '*.cpp' | sort)

while IFS= read -r cmake; do
    area=$(cut -d/ -f2 <<<"$cmake")
    [[ -n ${rank[$area]:-} ]] || continue
    while IFS= read -r linked; do
        if [[ -n ${rank[$linked]:-} && $linked != "$area" && ${rank[$linked]} -ge ${rank[$area]} ]]; then
            complain "$cmake: $area may not link tessellon_$linked"
        fi
    done < <(tr '\n' ' ' <"$cmake" | grep -oE 'target_link_libraries\([^)]*\)' |
        grep -oE '\btessellon_[a-z]+\b' | sed 's/^tessellon_//' || true)
done < <(find src tools -name CMakeLists.txt | sort)

if ((faults > 0)); then
    echo "layers: $faults include(s) or link(s) reach up the layers" >&2
    exit 1
fi
echo "layers: every include and library points down"
