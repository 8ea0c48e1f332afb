#!/usr/bin/env bash
# The whole job on a fresh machine: installs what is missing, builds, starts
# a local tile service on a free port, points a configuration at it, and
# downloads a sample area (42 tiles of Beijing at zoom 13) at the program's
# own pace with tessellon-cli; then does the same over HTTPS through a tile
# source, with a second service whose certificate the download verifies.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
make --no-print-directory build

bin=build/bin
demo=$(pwd)/build/demo
rm -rf "$demo"
mkdir -p "$demo"

servers=()
trap 'for s in "${servers[@]}"; do kill "$s" 2>/dev/null; wait "$s" 2>/dev/null || true; done' EXIT

# Starts a tile service whose output goes to $demo/NAME.out; sets `port`.
start_server() {
    local name=$1
    shift
    "$bin/tessellon-tileserver" --port 0 "$@" >"$demo/$name.out" &
    servers+=($!)
    port=
    for _ in $(seq 50); do
        port=$(head -n 1 "$demo/$name.out" 2>/dev/null | tr -dc '0-9')
        [[ -n $port ]] && break
        sleep 0.1
    done
    if [[ -z $port ]]; then
        echo "the tile service did not start" >&2
        exit 1
    fi
}

start_server tileserver --log "$demo/tileserver.log"
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

# HTTPS: a certificate for the address the source names, trusted through
# SSL_CERT_FILE rather than Insecure=1, so the download really verifies it.
echo
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 \
    -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$demo/tls.key" -out "$demo/tls.pem" 2>/dev/null
start_server tls-tileserver --cert "$demo/tls.pem" --key "$demo/tls.key" \
    --log "$demo/tls-tileserver.log"
echo "HTTPS tile service: https://127.0.0.1:$port/ (tessellon-tileserver, certificate $demo/tls.pem)"
printf '[DemoTiles]\nUrl=https://127.0.0.1:%s/{z}/{x}/{y}.png\nWorkers=2\nPauseMs=200\n' "$port" \
    >"$demo/sources.ini"
echo "Source DemoTiles in $demo/sources.ini:"
sed 's/^/    /' "$demo/sources.ini"

echo "Downloading 116.38..116.42 east, 39.88..39.92 north at zoom 14 through DemoTiles (2 workers, 0.2 s pause)"
echo
tls_status=0
SSL_CERT_FILE="$demo/tls.pem" "$bin/tessellon-cli" download --name demo-https \
    --source DemoTiles --sources "$demo/sources.ini" \
    --left 116.38 --right 116.42 --top 39.92 --bottom 39.88 --zoom 14 \
    --path "$demo/maps" || tls_status=$?

echo
echo "Tiles:        $demo/maps/demo-https/ ($(ls "$demo/maps/demo-https" | wc -l) files)"
echo "Log:          $demo/maps/demo-https_log.txt"
echo "Project:      $demo/maps/demo-https.tsln"
echo "Failed tiles: $demo/maps/demo-https_failed.ftl"
if ((status == 0)); then
    status=$tls_status
fi
exit "$status"
