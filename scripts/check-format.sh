#!/usr/bin/env bash
# Fails when a C++ file of ours differs from what clang-format makes of it
# under the repository's .clang-format, and names each such file.
# Usage: scripts/check-format.sh [SOURCE_ROOT]; `clang-format -i FILE` mends one.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

files=$(find src tools tests bench fuzz -name '*.h' -o -name '*.cpp' | sort)
drift=()
for file in $files; do
    if ! clang-format --style=file "$file" | cmp -s - "$file"; then
        drift+=("$file")
    fi
done

if ((${#drift[@]} > 0)); then
    printf 'format: differs from .clang-format: %s\n' "${drift[@]}" >&2
    echo "format: ${#drift[@]} file(s) to run through clang-format -i" >&2
    exit 1
fi
echo "format: every file follows .clang-format"
