#!/usr/bin/env bash
# desktop_clients_test.sh BUILD SAMPLE_TOOL SOURCE ARTEFACTS: the programs
# that use the desktop files, run as they are: the MIME lookups of gio and
# xdg-mime, tumbler's thumbnail service, GNOME's sandboxed thumbnail factory,
# and an install and uninstall into a prefix with its caches. A program that
# is missing or cannot run here is a failure that says why. The thumbnails
# made are kept in ARTEFACTS.
set -uo pipefail
build=$1 sample_tool=$2 source=$3 artefacts=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'; }
uri_md5() { printf 'file://%s' "$1" | md5sum | cut -d' ' -f1; }
mkdir -p "$artefacts"

missing=()
for tool in dbus-run-session gio xdg-mime update-mime-database update-desktop-database bwrap \
            unshare mount /usr/bin/python3; do
  command -v "$tool" >/dev/null || missing+=("$tool")
done
tumblerd=$(ls /usr/lib/*/tumbler-1/tumblerd 2>/dev/null | head -1)
[ -n "$tumblerd" ] || missing+=(tumbler)
/usr/bin/python3 -c 'import gi; gi.require_version("GnomeDesktop", "3.0")' 2>/dev/null ||
  missing+=(python3-gi gir1.2-gnomedesktop-3.0)
if [ ${#missing[@]} -gt 0 ]; then
  fail "missing on this machine: ${missing[*]} (scripts/install-deps.sh test installs them)"
  exit 1
fi

# The install writes its manifest into the build folder: the user's is put back.
manifest=$build/install_manifest.txt
keep_manifest() { [ -f "$manifest" ] && cp "$manifest" "$work/user_manifest.txt"; }
restore_manifest() {
  if [ -f "$work/user_manifest.txt" ]; then cp "$work/user_manifest.txt" "$manifest"; else rm -f "$manifest"; fi
}
keep_manifest
dest=$work/dest
DESTDIR=$dest cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
restore_manifest
update-mime-database "$dest/usr/share/mime" >/dev/null 2>&1
share=$dest/usr/share

"$sample_tool" --out "$work/sample" >/dev/null || { fail "kelvane-sample"; exit 1; }
wagon=$work/sample/wagon/wagon.im
progressive=$work/sample/wagon/wagon.pm
texture=$work/sample/wagon/roof.texture
cp "$wagon" "$progressive"
cp "$wagon" "$work/wagon-renamed.bin"
cp "$texture" "$work/roof-renamed.bin"
head -c 200 "$wagon" >"$work/damaged.im"

# 1. File types as gio and xdg-mime (on GNOME and XFCE) report them.
for pair in "$work/wagon-renamed.bin=model/x-velmora-mesh" "$texture=image/x-velmora-texture" \
            "$work/roof-renamed.bin=image/x-velmora-texture"; do
  file=${pair%%=*} want=${pair#*=}
  got=$(XDG_DATA_DIRS="$share:/usr/share" XDG_DATA_HOME="$work/none" \
        gio info -a standard::content-type "$file" | sed -n 's/.*standard::content-type: //p')
  [ "$got" = "$want" ] && pass "gio: $(basename "$file") is $got" || fail "gio: $file is $got, not $want"
  for desktop in GNOME XFCE; do
    got=$(XDG_CURRENT_DESKTOP=$desktop XDG_DATA_DIRS="$share:/usr/share" XDG_DATA_HOME="$work/none" \
          xdg-mime query filetype "$file" 2>&1)
    [ "$got" = "$want" ] && pass "xdg-mime ($desktop): $(basename "$file") is $got" ||
      fail "xdg-mime ($desktop): $file is $got, not $want"
  done
done

# 2. tumbler, started by its D-Bus service in a session of its own.
cache=$work/cache
PATH="$dest/usr/bin:$PATH" XDG_DATA_DIRS="$share:/usr/share" XDG_DATA_HOME="$work/none" \
  XDG_CACHE_HOME=$cache timeout 180 dbus-run-session -- /usr/bin/python3 \
  "$source/tests/install/tumbler_client.py" "$wagon=model/x-velmora-mesh" \
  "$progressive=model/x-velmora-mesh" "$texture=image/x-velmora-texture" \
  "$work/damaged.im=model/x-velmora-mesh" >"$work/tumbler.txt" 2>"$work/tumbler.err"
status=$?
[ $status -eq 0 ] || fail "tumbler session ended with $status: $(tail -5 "$work/tumbler.err")"
grep FAIL "$work/tumbler.txt" && failures=$((failures + 1))
for row in "$wagon:128 96" "$progressive:128 96" "$texture:64 64"; do
  file=${row%%:*} want=${row#*:}
  line=$(grep -F "$file " "$work/tumbler.txt")
  thumb=$cache/thumbnails/normal/$(uri_md5 "$file").png
  if [ "${line#"$file "}" != Ready ]; then
    fail "tumbler on $(basename "$file"): ${line#"$file "}"
  elif [ ! -f "$thumb" ]; then
    fail "tumbler said Ready for $(basename "$file") but left no $thumb"
  elif [ "$(png_size "$thumb")" != "$want" ]; then
    fail "tumbler's thumbnail of $(basename "$file") is $(png_size "$thumb"), not $want"
  else
    pass "tumbler: Ready, $(basename "$file") thumbnail $want"
    cp "$thumb" "$artefacts/tumbler-$(basename "$file").png"
  fi
done
line=$(grep -F "$work/damaged.im " "$work/tumbler.txt")
case "${line#"$work/damaged.im "}" in
  Error*) pass "tumbler: damaged mesh ${line#"$work/damaged.im "}" ;;
  *) fail "tumbler on the damaged mesh: ${line#"$work/damaged.im "}, not an Error" ;;
esac
[ -f "$cache/thumbnails/normal/$(uri_md5 "$work/damaged.im").png" ] &&
  fail "tumbler keeps a thumbnail of the damaged mesh"

# 3. GNOME's factory. Its sandbox shows the thumbnailer only /usr, so the
# installed tree is bound over /usr/local in a mount namespace of this test
# alone.
if ! unshare -m true 2>"$work/unshare.err"; then
  fail "GNOME thumbnail factory: no mount namespace for the installed tree: $(cat "$work/unshare.err")"
elif ! bwrap --ro-bind / / --unshare-all true 2>"$work/bwrap.err"; then
  fail "GNOME thumbnail factory: bubblewrap cannot run here: $(cat "$work/bwrap.err")"
else
  out=$(unshare -m --propagation private sh -c '
    mount --bind "$1/usr" /usr/local || exit 1
    PATH=/usr/local/bin:$PATH XDG_DATA_DIRS=/usr/local/share:/usr/share XDG_DATA_HOME="$2/none" \
      XDG_CACHE_HOME="$2/gnome-cache" /usr/bin/python3 "$3/tests/install/gnome_client.py" \
      "$4" model/x-velmora-mesh "$5"' sh "$dest" "$work" "$source" "$wagon" \
      "$artefacts/gnome-wagon.im.png" 2>&1)
  [ $? -eq 0 ] && pass "GNOME thumbnail factory: $out" || fail "GNOME thumbnail factory: $out"
fi

# 4. An install into a prefix whose MIME and desktop folders exist, then
# the uninstall: no file type may still name the program afterwards.
prefix=$work/prefix
mkdir -p "$prefix/share/mime/packages" "$prefix/share/applications"
cp /usr/share/mime/packages/freedesktop.org.xml "$prefix/share/mime/packages/"
update-mime-database "$prefix/share/mime" >/dev/null 2>&1
handlers() {  # the applications gio offers for the mesh type
  PATH="$prefix/bin:$PATH" XDG_DATA_DIRS="$prefix/share" XDG_DATA_HOME="$work/none" XDG_CONFIG_HOME="$work/none" \
    gio mime model/x-velmora-mesh 2>&1
}
keep_manifest
bash "$source/scripts/install.sh" "$build" "$prefix" >"$work/install2.log" 2>&1 || fail "install.sh: $(tail -3 "$work/install2.log")"
offered=$(handlers)
grep -q org.kelvane.Kelvane.desktop <<<"$offered" && pass "installed: the mesh type names the viewer" ||
  fail "installed, but the mesh type does not name the viewer: $offered"
bash "$source/scripts/uninstall.sh" "$build" >"$work/uninstall.log" 2>&1 || fail "uninstall.sh: $(tail -3 "$work/uninstall.log")"
restore_manifest
offered=$(handlers)
if grep -q org.kelvane.Kelvane.desktop <<<"$offered" || grep -rqs kelvane "$prefix/share/applications" ||
   grep -qs velmora "$prefix/share/mime/globs2"; then
  fail "uninstalled, but the caches still name the viewer: $offered"
else
  pass "uninstalled: no file type names the viewer"
fi
left=$(cd "$prefix" && find . -mindepth 1 ! -path './share' ! -path './share/mime*' ! -path './share/applications*')
[ -z "$left" ] && pass "uninstalled: its files and folders are gone" || fail "uninstall left: $left"

[ $failures -eq 0 ] && echo "desktop clients test passed" || echo "$failures failure(s)"
exit $((failures > 0))
