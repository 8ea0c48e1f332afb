#!/usr/bin/env bash
# Runs every benchmark of a benchmark build and prints each figure beside its
# target. Usage: bench/run-all.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "== Coordinate functions (target: at most 20 ns per call)"
"$build/bin/bench_geo" --benchmark_min_time=0.2 2>/dev/null | grep '^BM_'

echo
echo "== Tile source URL templates: parsing one, expanding one URL (target: at most 200 ns per URL)"
"$build/bin/bench_template" --benchmark_min_time=0.2 2>/dev/null | grep '^BM_'

echo
echo "== INI files at the 1 MiB limit: a sources.ini of 150,000 keys, a project whose SOURCE section holds 115,000 lines (target: each well within 0.1 s)"
"$build/bin/bench_ini" --benchmark_min_time=0.2 2>/dev/null | grep '^BM_'

echo
echo "== Area files, generated: a 1,000 km GPX track read, and read and buffered by 2 km; a 10,000-point outline read, and buffered (targets: track and buffer well within 0.5 s; outline read within 0.1 s)"
"$build/bin/bench_area" --benchmark_min_time=1 2>/dev/null | grep '^BM_'

echo
echo "== Tile covers at zoom 16: tessellon-cli estimate as a process, in turns with @mapbox/tile-cover 3.0.2 on Node.js (targets: a 10,000-point outline within 0.5 s, a 1,000 km track with a 2 km corridor within 1 s, at least 5x tile-cover, the same tile set)"
npm install --silent --no-audit --no-fund --prefix "$build/node-peers" @mapbox/tile-cover@3.0.2 >/dev/null
mkdir "$scratch/cover"
"$build/bin/bench_cover" "$build/bin" "$scratch/cover" "$build/node-peers/node_modules" "$here/tile_cover_peer.js"
rm -rf "$scratch/cover"

echo
echo "== A task of 17.5 million tiles: tessellon-cli from its start to the first tile saved, new and continued, against tessellon-tileserver --fast (target: within 1 s)"
mkdir "$scratch/first"
"$build/bin/bench_first_request" "$build/bin" "$scratch/first"
rm -rf "$scratch/first"

echo
echo "== Task files of about 1,000,000 tiles (target: at most 1 s and 32 MiB)"
native=$("$build/bin/bench_task_files" "$scratch")
echo "$native"
list=$(sed -n 's/.* list=//p' <<<"$native")
native_seconds=$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$native")
read -r minx miny maxx maxy < <(awk -F= '/^MinX/{a=$2}/^MinY/{b=$2}/^MaxX/{c=$2}/^MaxY/{d=$2}
    END{print a+0, b+0, c+0, d+0}' <(tr -d '\r' <"${list%_list.txt}.tsln"))

echo
echo "== The same tile list from a plain Node.js writer (target: native at least 3x faster)"
peer=$(node "$here/tile_list_peer.js" "$scratch/peer_list.txt" "$minx" "$maxx" "$miny" "$maxy" 13)
echo "node: $peer"
# V8's Math.exp and Math.asin may round the last bit differently from the C
# library; where that shows in the 14th decimal the lines differ, and the
# figure says how many.
if cmp -s "$list" "$scratch/peer_list.txt"; then
    echo "same bytes: yes"
else
    echo "same bytes: no; lines that differ: $(diff "$list" "$scratch/peer_list.txt" | grep -c '^<') of $(wc -l <"$list")"
fi
peer_seconds=${peer#seconds=}
awk -v n="$native_seconds" -v p="$peer_seconds" 'BEGIN{printf "ratio node/native: %.1fx\n", p/n}'

echo
echo "== Download pace: 8 workers, the program's own pauses, loopback (target: at least 99% of N / (1 s + mean fetch))"
"$build/bin/bench_download_rate" "$build/bin"

echo
echo "== Unpaced download as a user runs it: the tessellon-cli process with a source of Workers=8 and PauseMs=0, tasks of 100 to 5,000 tiles of 20 KiB over HTTP and HTTPS, runs in turns with curl --parallel --parallel-max 8 on the same URLs (target: at least 1.0x curl at every size)"
"$build/bin/bench_unpaced_download" "$build/bin"

echo
echo "== Endless tile bodies: 8 workers against tessellon-tileserver's never-ending fault, each body cut at the 64 MiB tile limit (target: peak resident set at most 600 MiB)"
"$build/bin/bench_endless_body" "$build/bin"

echo
echo "== HTTP GETs of 20 KiB tiles, unpaced, against tessellon-tileserver --fast (target: at least 1.0x the plain socket loop)"
"$build/bin/bench_http" "$build/bin"

echo
echo "== HTTPS keep-alive GETs of 20 KiB tiles over one connection, the certificate verified on both sides, runs in turns with curl (target: at least 1.0x curl's req/s, CPU per request no more than curl's: curl CPU/our CPU at least 1.0x); then plain HTTP, for reference"
"$build/bin/bench_https" "$build/bin"

echo
echo "== MBTiles export of 100,000 small PNG tiles, in turns with Python's sqlite3 module inserting the same files in one transaction (target: at least 1.5x Python's rate)"
mkdir "$scratch/mbtiles"
"$build/bin/bench_mbtiles_export" "$scratch/mbtiles" "$here/mbtiles_peer.py"
rm -rf "$scratch/mbtiles"

echo
echo "== GeoPackage export of the same 100,000 tiles, in turns with Python's sqlite3 module inserting them into a GeoPackage tiles table (target: at least 1.5x Python's rate)"
mkdir "$scratch/mbtiles"
"$build/bin/bench_mbtiles_export" "$scratch/mbtiles" "$here/mbtiles_peer.py" gpkg
rm -rf "$scratch/mbtiles"

echo
echo "== PMTiles export of the same 100,000 tiles, in turns with our MBTiles export (target: at least as fast)"
mkdir "$scratch/mbtiles"
"$build/bin/bench_mbtiles_export" "$scratch/mbtiles" "$here/mbtiles_peer.py" pmtiles
rm -rf "$scratch/mbtiles"

echo
echo "== Log: 10,000,000 lines through the main window, offscreen, and through the core's log, saved every 10,000 lines (targets: peak resident set at most 200 MiB; a save at 10 M lines costs about the same as at 1 M; a line alone costs about the same on a full log as on an empty one)"
QT_QPA_PLATFORM=offscreen "$build/bin/bench_log_window" "$scratch"

echo
echo "== Combining 100 x 100 tiles (25,600 x 25,600 px) into a PNG and a GeoTIFF, in turns with ImageMagick's montage -mode concatenate -tile 100x (target: combiner peak memory at most 64 MiB, at least 3x faster than montage)"
"$build/bin/bench_combine" "$build/bin" "$scratch"

echo
echo "== A Cloud Optimized GeoTIFF with overviews of 100 x 100 tiles, in turns with gdal_translate -of COG from a VRT of the same tiles, deflate and JPEG alike on both sides (target: at least 2x faster, combiner peak memory at most 128 MiB)"
mkdir "$scratch/cog"
"$build/bin/bench_cog" "$build/bin" "$scratch/cog"
rm -rf "$scratch/cog"

echo
echo "== Map Viewer: a task of 316 x 316 tiles on disk, offscreen (target: first paint well under 1 s, a frame while panning under 16 ms)"
mkdir -p "$scratch/viewer"
QT_QPA_PLATFORM=offscreen "$build/bin/bench_viewer" "$scratch/viewer"

echo
echo "== Refresh of 10,000 unchanged tiles served by nginx, in turns with a curl loop sending the same conditional requests (targets: at most 5% of the download's bytes and a fifth of its time)"
"$here/refresh_vs_curl.sh" "$build/bin"

echo
echo "== The tile store of a 10,000-tile refresh, engine only: reading every record at the start, a store's first save, the last save that renews every row, and the same after 304s, which renew only the fetch time (no target; the refresh above is the figure)"
"$build/bin/bench_tile_store" --benchmark_min_time=0.5 2>/dev/null | grep '^BM_'
