#!/usr/bin/env bash
# uninstall.sh BUILD: removes what install.sh installed from that build
# (under $DESTDIR when set, as the install was), the folders it made that
# are left empty, and refreshes the prefix's caches so that no file type
# still names the program.
set -euo pipefail
build=$1
root=${DESTDIR:-}
manifest=$build/install_manifest.txt
folders=$build/install_folders.txt
if [ ! -f "$manifest" ]; then
  echo "uninstall: nothing to uninstall: $manifest does not exist (run make install first)" >&2
  exit 1
fi
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
# The prefix the install was given on the command line, from the manifest:
# the folder that holds bin/kelvane.
installed_bin=$(grep -m1 '/bin/kelvane$' "$manifest" || true)
[ -n "$installed_bin" ] && prefix=${installed_bin%/bin/kelvane}

while read -r file; do
  [ -n "$file" ] || continue
  if [ -e "$root$file" ] || [ -L "$root$file" ]; then
    rm -f "$root$file"
    echo "removed $root$file"
  fi
done < <(cat "$manifest"; echo)

# A folder of ours that holds nothing but what the cache tools generated
# from our files goes with them; deeper folders first.
only_cache() {  # folder cache-file
  [ "$(find "$1" -mindepth 1 | wc -l)" -eq 1 ] && [ -f "$1/$2" ]
}
if [ -f "$folders" ]; then
  sort -r "$folders" | while read -r folder; do
    dir=$root$folder
    [ -d "$dir" ] || continue
    case "$folder" in
      "$prefix/share/mime")
        [ -n "$(find "$dir/packages" -type f 2>/dev/null)" ] || rm -rf "$dir" ;;
      "$prefix/share/applications")
        only_cache "$dir" mimeinfo.cache && rm -f "$dir/mimeinfo.cache" ;;
      "$prefix/share/icons/hicolor")
        only_cache "$dir" icon-theme.cache && rm -f "$dir/icon-theme.cache" ;;
    esac
    if [ -d "$dir" ] && rmdir "$dir" 2>/dev/null; then echo "removed folder $dir"; fi
  done
fi
rm -f "$folders"

if [ -z "$root" ]; then
  bash "$(dirname "$0")/refresh-caches.sh" "$prefix"
fi
