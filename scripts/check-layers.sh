#!/usr/bin/env bash
# Fails when code reaches up the layers or past the platform layer:
# - every #include "AREA/..." must name the file's own area or one below it;
# - each layer's library (src/AREA/CMakeLists.txt) links only libraries of
#   layers below it, so the linker, which refuses a call into a layer the
#   library does not link, and this script agree on the order;
# - only src/ui/ may include Qt;
# - only src/platform/ may include the operating system's headers, and
#   src/net/socket_* those of sockets, so a port to another system touches
#   those files alone (docs/porting.md). tools/ is exempt: the tile server is
#   a Linux test tool beside the product, not part of a port.
# The order (lowest first): platform, geo, then task, area and net beside
# each other, download, control and output beside each other, then the front
# ends and the companion programs. Usage: scripts/check-layers.sh [SOURCE_ROOT]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

declare -A rank=(
    [platform]=0 [geo]=1 [area]=2 [task]=2 [net]=2 [download]=3 [control]=4 [output]=4
    [cli]=5 [ui]=5 [combiner]=6 [mapviewer]=6 [tileserver]=6
)

# POSIX and Win32 headers; the C and C++ standard headers are portable.
system_headers='unistd\.h|fcntl\.h|sys/[a-z_/]+\.h|signal\.h|csignal|dirent\.h|netdb\.h|arpa/[a-z_]+\.h'
system_headers+='|netinet/[a-z_]+\.h|poll\.h|pthread\.h|termios\.h|pwd\.h|grp\.h|langinfo\.h|spawn\.h'
system_headers+='|dlfcn\.h|sched\.h|windows\.h|winsock2\.h|ws2tcpip\.h|io\.h|direct\.h'

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
    if [[ $file == src/* && $area != platform && $file != src/net/socket_* ]]; then
        while IFS=: read -r line text; do
            complain "$file:$line: only src/platform/ (sockets: src/net/socket_*) may include this ($text)"
        done < <(grep -nE "^#[[:space:]]*include[[:space:]]*<($system_headers)>" "$file" || true)
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
    echo "layers: $faults fault(s): code reaches up the layers or past the platform layer" >&2
    exit 1
fi
echo "layers: every include and library points down; the system is behind src/platform/"
