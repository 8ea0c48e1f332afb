#!/usr/bin/env bash
# Refreshing an unchanged task against nginx, which sends ETag and
# Last-Modified with every tile and answers a conditional request with 304.
# nginx on 127.0.0.1 serves about 10,000 tiles of 20 KiB; tessellon-cli
# downloads them once (unpaced: a source with PauseMs=0 and 8 workers). Then,
# in turns: a whole download of the same task into a fresh folder,
# `tessellon-cli refresh` of the first one, and a curl loop sending the same
# conditional requests (--etag-compare with the ETag each tile came with, 8
# in parallel). The bytes nginx sends for a refresh are counted in one
# refresh before the pairs, as the download's are in the first download;
# every timed refresh must end with the same line. Prints the bytes nginx
# sent for the download and for a refresh, each side's median time, the
# median of the per-pair ratio of the refresh's time to the download's and
# of ours to curl's, with their spread.
# Targets: a refresh transfers at most 5% of the download's bytes and takes
# at most a fifth of its time.
#
# Usage: bench/refresh_vs_curl.sh BIN_DIR [PAIRS]
set -euo pipefail
bin=$(cd "$1" && pwd)
pairs=${2:-7}
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[[ -x $nginx ]] || { echo "refresh benchmark: nginx is missing (scripts/install-deps.sh)" >&2; exit 1; }
scratch=$(mktemp -d)
chmod 755 "$scratch"  # nginx's workers read the tiles as another user
pid=""
cleanup() {
    [[ -n $pid ]] && kill "$pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

# The area: zoom 14, 100 columns by 100 rows from tile (8704, 5632).
zoom=14 x0=8704 y0=5632 n=100
read -r left right top bottom < <(python3 - "$zoom" "$x0" "$y0" "$n" <<'PY'
import math, sys
z, x0, y0, n = map(int, sys.argv[1:])
size = 2 ** z
lon = lambda x: x / size * 360 - 180
lat = lambda y: math.degrees(math.atan(math.sinh(math.pi * (1 - 2 * y / size))))
# A hair inside the edges, so the area covers exactly n x n tiles.
e = 1e-7
print(lon(x0) + e, lon(x0 + n) - e, lat(y0) - e, lat(y0 + n) + e)
PY
)

# One 20 KiB PNG, hard-linked under every tile's path.
mkdir -p "$scratch/www" "$scratch/nginx"
python3 - "$scratch/tile.png" <<'PY'
import struct, sys, zlib, random
random.seed(1)
w = h = 90
raw = b"".join(b"\0" + bytes(random.randrange(256) for _ in range(w * 3)) for _ in range(h))
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
PY
for ((x = x0; x < x0 + n; ++x)); do
    mkdir -p "$scratch/www/$zoom/$x"
    for ((y = y0; y < y0 + n; ++y)); do
        ln "$scratch/tile.png" "$scratch/www/$zoom/$x/$y.png"
    done
done

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat >"$scratch/nginx/nginx.conf" <<CONF
daemon off;
worker_processes 2;
pid $scratch/nginx/nginx.pid;
error_log $scratch/nginx/error.log;
events { worker_connections 256; }
http {
    log_format bytes '\$status \$bytes_sent';
    # Buffered, as a busy server's is: a write per request would cost nginx
    # as much as the request. Flushed by reopening (USR1) before a count.
    access_log $scratch/nginx/access.log bytes buffer=256k;
    client_body_temp_path $scratch/nginx;
    keepalive_requests 100000;
    server {
        listen 127.0.0.1:$port;
        root $scratch/www;
        default_type image/png;
    }
}
CONF
"$nginx" -c "$scratch/nginx/nginx.conf" -p "$scratch/nginx" &
pid=$!
for _ in $(seq 50); do curl -fs -o /dev/null "http://127.0.0.1:$port/$zoom/$x0/$y0.png" && break; sleep 0.1; done

cat >"$scratch/sources.ini" <<INI
[nginx]
Url=http://127.0.0.1:$port/{z}/{x}/{y}.png
Format=png
Workers=8
PauseMs=0
INI
# The pace a user runs with: the source has no pause, the timer ticks each second.
# nginx writes its buffered log out when told to reopen it.
flush_log() { kill -USR1 "$pid"; sleep 0.5; }
sent() { awk '{s += $2} END {print s + 0}' "$scratch/nginx/access.log"; }
flush_log
: >"$scratch/nginx/access.log"
now() { date +%s.%N; }

# Downloads the task into the folder $1.
download() {
    "$bin/tessellon-cli" download --name fresh.tsln --source nginx --sources "$scratch/sources.ini" \
        --left "$left" --right "$right" --top "$top" --bottom "$bottom" --zoom "$zoom" \
        --path "$1" --yes >/dev/null 2>"$scratch/download.err" ||
        { cat "$scratch/download.err" >&2; exit 1; }
}
download "$scratch/task"
flush_log
full_bytes=$(sent)
tiles=$(grep -c . "$scratch/nginx/access.log")

# Refreshes the task; its end line goes to $scratch/refresh.err.
refresh() {
    "$bin/tessellon-cli" refresh "$scratch/task/fresh.tsln" >/dev/null 2>"$scratch/refresh.err" ||
        { cat "$scratch/refresh.err" >&2; exit 1; }
}
: >"$scratch/nginx/access.log"
refresh
flush_log
refresh_bytes=$(sent)
unchanged=$(grep -c '^304 ' "$scratch/nginx/access.log" || true)
end_line=$(tail -1 "$scratch/refresh.err")

# curl's side: every tile with the ETag nginx gave it, kept per tile.
mkdir -p "$scratch/curl"
curl -s -I "http://127.0.0.1:$port/$zoom/$x0/$y0.png" | tr -d '\r' |
    sed -n 's/^[Ee][Tt]ag: //p' >"$scratch/etag"
{
    for ((x = x0; x < x0 + n; ++x)); do
        for ((y = y0; y < y0 + n; ++y)); do
            # "next" goes between transfers: one after the last would be a
            # transfer without a URL.
            ((x == x0 && y == y0)) || echo next
            printf 'url = "http://127.0.0.1:%s/%s/%s/%s.png"\noutput = "%s/curl/%s_%s.png"\netag-compare = "%s/etag"\n' \
                "$port" "$zoom" "$x" "$y" "$scratch" "$x" "$y" "$scratch"
        done
    done
} >"$scratch/curl.cfg"

# Shortly after many files were deleted (another benchmark's scratch folder,
# a test suite's), a file system such as ext4 may create files slowly for
# minutes: the download side would be slow and the ratio better than it is.
# The pairs start once as many empty files as a download makes (10,000) take
# less than 1.5 s again; a few thousand can be quick while the rest are not.
quiet_files() {
    # Each probe keeps its files: deleting them would slow the next.
    local probe="$scratch/probe$1" start
    mkdir "$probe"
    start=$(now)
    for ((k = 0; k < 10000; ++k)); do : >"$probe/$k"; done
    echo "$(now) - $start < 1.5" | bc
}
slow_files=""
for ((round = 0; ; ++round)); do
    [[ $(quiet_files "$round") == 1 ]] && break
    if ((round == 30)); then
        slow_files="creating files stayed slow (freed inodes): the downloads are slow and the ratio too good"
        echo "$slow_files" >&2
        break
    fi
    ((round == 0)) && echo "waiting until creating files is fast again (freed inodes)" >&2
    sleep 10
done

# Each side starts with nothing of the sides before it still to be written:
# a download leaves about 250 MB for the system to write back within the next
# half minute, and a side that syncs its own files while that goes to disk
# would wait for it too. And each starts right after the side before it and
# its sync (a few tens of milliseconds), none after a sleep: on the virtual
# machine this was measured on, a program started after half a second of
# sleep ran 10 to 30 ms longer than one started right after another
# (/bin/true 13.5 against 2.2 ms), which would weigh on that side alone.
downloads=() ours=() theirs=() shares=() ratios=()
for ((i = 0; i < pairs; ++i)); do
    sync
    start=$(now)
    download "$scratch/again$i"
    downloads+=("$(echo "$(now) - $start" | bc)")
    # Emptied, not removed: the freed inodes would slow the runs after it.
    find "$scratch/again$i" -type f -exec truncate -s 0 {} +
    sync
    start=$(now)
    refresh
    ours+=("$(echo "$(now) - $start" | bc)")
    if [[ $(tail -1 "$scratch/refresh.err") != "$end_line" ]]; then
        echo "refresh benchmark: a refresh ended otherwise than the one counted:" >&2
        tail -1 "$scratch/refresh.err" >&2
        exit 1
    fi
    sync
    start=$(now)
    curl -s --parallel --parallel-max 8 -K "$scratch/curl.cfg" 2>/dev/null
    theirs+=("$(echo "$(now) - $start" | bc)")
    shares+=("$(echo "${ours[-1]} / ${downloads[-1]}" | bc -l)")
    ratios+=("$(echo "${ours[-1]} / ${theirs[-1]}" | bc -l)")
done

python3 - "$tiles" "$full_bytes" "$refresh_bytes" "$unchanged" "${downloads[*]}" \
    "${ours[*]}" "${theirs[*]}" "${shares[*]}" "${ratios[*]}" \
    "$end_line" "$slow_files" <<'PY'
import statistics as st, sys
tiles, full_b, ref_b, unchanged = sys.argv[1:5]
downloads, ours, theirs, shares, ratios = ([float(v) for v in a.split()] for a in sys.argv[5:10])
full_b, ref_b = int(full_b), int(ref_b)
print(f"tiles: {tiles}; download median {st.median(downloads):.2f} s, {full_b:,} bytes from nginx")
print(f"refresh: {unchanged} answered 304, {ref_b:,} bytes = {100 * ref_b / full_b:.2f}% of the download's (target <= 5%)")
print(f"refresh median {st.median(ours):.2f} s; refresh / download: median {st.median(shares):.3f}, spread {min(shares):.3f}..{max(shares):.3f} (target <= 0.2)")
print(f"curl --etag-compare loop median {st.median(theirs):.2f} s")
print(f"ours / curl: median {st.median(ratios):.2f}x, spread {min(ratios):.2f}..{max(ratios):.2f} over {len(ratios)} pairs")
print(f"our end line: {sys.argv[10]}")
if sys.argv[11]:
    print(f"WARNING: {sys.argv[11]}")
PY
