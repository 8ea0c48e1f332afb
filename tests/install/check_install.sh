#!/usr/bin/env bash
# Installs the build into a scratch prefix, as the package does under /usr,
# and checks that the installed programs find their data through the
# program folder's links and keep their settings in the user's folder,
# writing nothing into the installed tree.
# Usage: check_install.sh BUILD_FOLDER
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/usr
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() {
    echo "install: $*" >&2
    exit 1
}

for link in bin/tessellon bin/tessellon-cli bin/tessellon-combiner \
    lib/tessellon/blankimg/blank.png lib/tessellon/help/help.html lib/tessellon/sources.ini; do
    [[ -e $prefix/$link ]] || fail "$link does not lead to a file"
done
[[ ! -e $prefix/lib/tessellon/ini ]] || fail "the program folder has an ini/ folder"
while read -r image; do
    [[ -e $prefix/share/tessellon/help/$image ]] || fail "the manual's $image is not installed"
done < <(grep -o 'src="[^"]*"' "$prefix/share/tessellon/help/help.html" | sed 's/^src="//; s/"$//')

touch "$scratch/before"
sleep 1
export HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/.config
mkdir -p "$HOME"
# The catalogue shipped in share/ is found: its first source is listed.
first=$(sed -n 's/^\[\(.*\)\]\r\{0,1\}$/\1/p' "$prefix/share/tessellon/sources.ini" | head -1)
listed=$("$prefix/bin/tessellon-cli" sources 2>/dev/null || true)
grep -q "^$first:" <<<"$listed" ||
    fail "tessellon-cli sources does not list the catalogue's \"$first\""
[[ -d $XDG_CONFIG_HOME/tessellon ]] || fail "no settings folder in \$XDG_CONFIG_HOME"
changed=$(find "$prefix" -newer "$scratch/before")
[[ -z $changed ]] || fail "the installed tree was written: $changed"
echo "install: the installed tree reads its data and writes only the user's settings"
