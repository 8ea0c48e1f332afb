#!/usr/bin/env bash
# Soak: a task of about 2,000 tiles from a tile service that answers 5% of
# the requests with a random recoverable fault, while tessellon-cli is killed
# with SIGKILL at random moments and started again each time with the same
# command; every third kill comes within the first milliseconds, during the
# start, by SIGKILL or SIGTERM in turn. At the end every tile file must exist
# and be either byte-equal to what the service serves or the blank image with
# a record in the failed-tile list; no file may be truncated, no failed record
# lost, and no temporary file of the task's own files left beside them.
# The same again for a shaped task over two zooms (a triangle of the same
# extent, zooms 12-13), whose workers resume by whole positions.
#
# Usage: scripts/soak.sh BIN_DIR [--short]
#   --short: about 300 tiles and 5 kills a task (a part of `make test`).
set -euo pipefail
bin=$(cd "$1" && pwd)
kills=20
# 50 columns by 40 rows at zoom 13 (2,000 tiles)
left=116.30; right=118.45; top=40.0; bottom=38.67
pace=10
if [[ ${2:-} == --short ]]; then
    kills=5
    left=116.30; right=116.80; top=40.0; bottom=39.2
    pace=5
fi

work=$(mktemp -d)
servers=()
cleanup() {
    for pid in "${servers[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

start_server() {  # NAME ARGS... -> sets port_NAME
    local name=$1; shift
    "$bin/tessellon-tileserver" --port 0 "$@" >"$work/$name.out" &
    servers+=($!)
    local port=
    for _ in $(seq 100); do
        port=$(head -n 1 "$work/$name.out" 2>/dev/null | tr -dc '0-9')
        [[ -n $port ]] && break
        sleep 0.05
    done
    [[ -n $port ]] || { echo "soak: $name server did not start" >&2; exit 1; }
    printf -v "port_$name" '%s' "$port"
}

start_server faulty --fault-rate 0.05 --seed "$RANDOM" --log "$work/faulty.log"
start_server clean
printf '[TileService]\r\nMapHost=127.0.0.1:%s\r\nSatelliteHost=127.0.0.1:%s\r\n' \
    "$port_faulty" "$port_faulty" >"$work/config.ini"

export TESSELLON_PACE_MS=$pace
printf '{"type":"Polygon","coordinates":[[[%s,%s],[%s,%s],[%s,%s],[%s,%s]]]}\n' \
    "$left" "$top" "$right" "$top" "$left" "$bottom" "$left" "$top" >"$work/triangle.geojson"

failures=0
soak_task() {  # NAME DOWNLOAD_ARGS...
    local task=$1; shift
    local download=("$bin/tessellon-cli" download --name "$task.tsln" --type map "$@"
                    --path "$work/maps" --config "$work/config.ini")
    for ((i = 1; i <= kills; i++)); do
        "${download[@]}" >>"$work/out.log" 2>>"$work/err.log" &
        pid=$!
        if ((i % 3 == 0)); then
            sleep "0.00$((RANDOM % 10))"
            signal=$([[ $((i % 2)) == 0 ]] && echo TERM || echo KILL)
        else
            sleep "0.$((RANDOM % 9 + 1))$((RANDOM % 10))"
            signal=KILL
        fi
        kill -"$signal" "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    local status=0
    "${download[@]}" >>"$work/out.log" 2>>"$work/err.log" || status=$?
    if ((status != 0 && status != 2)); then
        echo "soak: the last run of $task ended with status $status" >&2
        tail -n 5 "$work/err.log" >&2
        exit 1
    fi

    # What the service serves, fetched from the clean server into a folder
    # of its own with the program's own re-download.
    local tiles x y z name
    tiles=$(tail -n +2 "$work/maps/${task}_list.txt" | cut -d: -f1)
    mkdir -p "$work/reference"
    for name in $tiles; do
        IFS=_ read -r _ x y z <<<"${name%.png}"
        printf '%s|http://127.0.0.1:%s/hx/tl?v=4.3&r=1&x=%s&y=%s&z=%s\r\n' \
            "$work/reference/$name" "$port_clean" "$x" "$(((1 << (z - 1)) - 1 - y))" "$((z + 1))"
    done >"$work/reference.ftl"
    "$bin/tessellon-cli" redownload "$work/reference.ftl" >"$work/reference.log"

    local blank="$bin/blankimg/blank.png"
    local total=0 fetched=0 blanks=0 bad=0 file
    for name in $tiles; do
        total=$((total + 1))
        file="$work/maps/$task/$name"
        if cmp -s "$file" "$work/reference/$name"; then
            fetched=$((fetched + 1))
        elif cmp -s "$file" "$blank" && grep -q "^$file|" "$work/maps/${task}_failed.ftl"; then
            blanks=$((blanks + 1))
        else
            bad=$((bad + 1))
            echo "soak: $name is neither the served tile nor a recorded blank" >&2
        fi
    done
    local orphans
    orphans=$(find "$work/maps" -maxdepth 1 -name "$task*.tmp*" | wc -l)
    if ((orphans != 0)); then
        bad=$((bad + orphans))
        echo "soak: $orphans temporary files of the task's own files were left" >&2
    fi
    local records requests faults
    records=$(grep -c . "$work/maps/${task}_failed.ftl" || true)
    requests=$(grep -c . "$work/faulty.log" || true)
    faults=$(grep -c 'fault=' "$work/faulty.log" || true)
    echo "soak: $task, $total tiles after $kills kills: $fetched as served, $blanks blank with a" \
         "record, $bad wrong; $records failed records; $requests requests so far, $faults of them" \
         "with a fault"
    if ((bad != 0 || fetched + blanks != total)); then
        failures=$((failures + 1))
    fi
}

soak_task soak --left "$left" --right "$right" --top "$top" --bottom "$bottom" --zoom 13
soak_task shaped --area "$work/triangle.geojson" --zoom 12-13
((failures == 0))
