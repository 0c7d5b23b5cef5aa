#!/usr/bin/env bash
# install.sh BUILD PREFIX: installs the built tree, stripped, into
# $DESTDIR$PREFIX. Writes BUILD/install_manifest.txt (the files) and
# BUILD/install_folders.txt (the folders that did not exist before), which
# uninstall.sh reads. Without DESTDIR the prefix's MIME, desktop and icon
# caches are refreshed where their tools exist.
set -euo pipefail
build=$(realpath "$1") prefix=$2
root=${DESTDIR:-}

# A staged install first names every folder the real one will fill.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage cmake --install "$build" --prefix "$prefix" >/dev/null
: >"$build/install_folders.txt"
(cd "$stage" && find . -mindepth 1 -type d | sed 's|^\.||' | sort) | while read -r folder; do
  [ -d "$root$folder" ] || echo "$folder" >>"$build/install_folders.txt"
done

DESTDIR=$root cmake --install "$build" --prefix "$prefix" --strip
if [ -z "$root" ]; then
  bash "$(dirname "$0")/refresh-caches.sh" "$prefix"
fi
