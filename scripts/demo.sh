#!/usr/bin/env bash
# The whole job on a fresh machine: installs what is missing, builds, starts
# a local tile service on a free port, points a configuration at it, and
# downloads a sample area (42 tiles of Beijing at zoom 13) at the program's
# own pace with tessellon-cli.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
make --no-print-directory build

bin=build/bin
demo=$(pwd)/build/demo
rm -rf "$demo"
mkdir -p "$demo"

"$bin/tessellon-tileserver" --port 0 --log "$demo/tileserver.log" >"$demo/tileserver.out" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    port=$(head -n 1 "$demo/tileserver.out" 2>/dev/null | tr -dc '0-9')
    [[ -n $port ]] && break
    sleep 0.1
done
if [[ -z ${port:-} ]]; then
    echo "the tile service did not start" >&2
    exit 1
fi
echo "Tile service: http://127.0.0.1:$port/ (tessellon-tileserver)"

printf '[TileService]\r\nMapHost=127.0.0.1:%s\r\nSatelliteHost=127.0.0.1:%s\r\n' "$port" "$port" \
    >"$demo/config.ini"

echo "Downloading 116.3..116.5 east, 39.8..40.0 north at zoom 13 (42 tiles, 8 workers, one tile per worker a second)"
echo
status=0
"$bin/tessellon-cli" download --name demo.tsln --type map \
    --left 116.3 --right 116.5 --top 40 --bottom 39.8 --zoom 13 \
    --path "$demo/maps" --config "$demo/config.ini" || status=$?

echo
echo "Tiles:        $demo/maps/demo/ ($(ls "$demo/maps/demo" | wc -l) files)"
echo "Tile list:    $demo/maps/demo_list.txt"
echo "Log:          $demo/maps/demo_log.txt"
echo "Project:      $demo/maps/demo.tsln (tessellon-cli open continues it)"
echo "Failed tiles: $demo/maps/demo_failed.ftl"
exit "$status"
