#!/usr/bin/env bash
# Installs every Debian package that building, testing and benchmarking need.
# Idempotent: packages already present are not touched, and apt is not asked
# at all when nothing is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkg-config ccache
    libgtest-dev libgmock-dev libbenchmark-dev
    zlib1g-dev libjpeg62-turbo-dev libpng-dev
    # HTTPS; the tests make their certificates with the library itself.
    libssl-dev
    clang libclang-rt-14-dev
    # `make test` checks the code against .clang-format.
    clang-format
    # The desktop program; a face of Tahoma's width for its forms; a
    # display server for `make screenshots`.
    qt6-base-dev fonts-liberation2 xvfb xauth
    # The download benchmarks' peer; the refresh benchmark's server, which
    # sends ETag and Last-Modified and answers 304.
    curl nginx-light
    # The HTTPS demo makes its server's certificate with it.
    openssl
    # The combiner's GeoTIFF output and its WebP tiles; MBTiles export.
    libtiff-dev libgeotiff-dev libwebp-dev libsqlite3-dev
    # Area files (GeoJSON, KML, KMZ, GPX) through GDAL's OGR; their buffers
    # through GEOS.
    libgdal-dev libgeos-dev
    # Service descriptions: WMTS capabilities (XML) and TileJSON.
    libxml2-dev nlohmann-json3-dev
    # The field's reference readers check the combiner's and the export's
    # outputs; the combiner and export benchmarks' peers.
    gdal-bin imagemagick python3 sqlite3
    # GDAL's validator of Cloud Optimized GeoTIFFs, for the combiner's.
    python3-gdal
)
# `make package` reads the programs' library needs with dpkg-shlibdeps and
# checks the package with lintian.
if [[ ${1:-} == package ]]; then
    packages+=(dpkg-dev lintian)
fi
# The benchmarks compare against a Node.js peer; a node that came from
# elsewhere (with its own npm) is as good as Debian's.
if ! command -v node >/dev/null; then
    packages+=(nodejs)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]} > 0)); then
    echo "Installing: ${missing[*]}"
    if [[ $(id -u) -ne 0 ]]; then
        sudo=sudo
    else
        sudo=
    fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# The PMTiles export test reads its archives back with the npm pmtiles
# package, kept beside the test's reader.
reader="$(dirname "$0")/../tests/output/pmtiles_reader"
if command -v npm >/dev/null && [[ ! -d $reader/node_modules/pmtiles ]]; then
    echo "Installing the npm packages of $reader"
    npm install --silent --no-audit --no-fund --prefix "$reader" >/dev/null
fi
