#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a bounded time, starting from
# its starting corpus in fuzz/corpus/<target>/. New inputs go to the build
# folder, never into the committed corpus. Exits non-zero when a target fails.
set -euo pipefail
build=${1:?build folder}
seconds=${2:?seconds per target}
here=$(cd "$(dirname "$0")" && pwd)

# Each corpus folder names its target, so a binary left over from a target
# that is gone is not run.
for inputs in "$here"/corpus/*/; do
    name=$(basename "$inputs")
    binary="$build/bin/$name"
    work="$build/corpus/$name"
    mkdir -p "$work" "$build/artifacts"
    echo "fuzz: $name for ${seconds}s"
    if ! "$binary" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
        "$work" "$here/corpus/$name" >"$build/$name.log" 2>&1; then
        tail -n 40 "$build/$name.log"
        echo "fuzz: $name failed (log: $build/$name.log)" >&2
        exit 1
    fi
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/$name.log" |
        sed "s/^/fuzz: $name /"
done
