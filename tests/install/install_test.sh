#!/usr/bin/env bash
# install_test.sh BUILD KELVANE KELVANE_SAMPLE EXPECTED_FILES: what a desktop and a user get.
set -uo pipefail
build=$1 built_kelvane=$2 sample_tool=$3 expected=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dest=$work/dest
prefix=$dest/usr
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# The width and height of a PNG from its header.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'; }

# The install writes its manifest into the build folder, where `make
# uninstall` reads it: the user's own manifest is put back afterwards.
manifest=$build/install_manifest.txt
[ -f "$manifest" ] && cp "$manifest" "$work/user_manifest.txt"
DESTDIR=$dest cmake --install "$build" --prefix /usr >"$work/install.log" 2>&1
installed=$?
if [ -f "$work/user_manifest.txt" ]; then cp "$work/user_manifest.txt" "$manifest"; else rm -f "$manifest"; fi
[ $installed -eq 0 ] || { cat "$work/install.log"; fail "cmake --install"; exit 1; }

# 1. Exactly the files a user needs, nothing of the tests.
(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort) >"$work/files.txt"
diff -u "$expected" "$work/files.txt" && pass "installed files" || fail "installed files differ"

# 2. The validators; `make test` installs them, so a missing one fails.
have() { command -v "$1" >/dev/null || { fail "no $1 on this machine (scripts/install-deps.sh test)"; false; }; }
desktop=$prefix/share/applications/org.kelvane.Kelvane.desktop
metainfo=$prefix/share/metainfo/org.kelvane.Kelvane.metainfo.xml
if have desktop-file-validate; then
  out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ] && pass "desktop-file-validate" || fail "desktop-file-validate: $out"
fi
if have appstreamcli; then
  out=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) && pass "appstreamcli" || fail "appstreamcli: $out"
  grep -q "<release version=\"$("$built_kelvane" --version | awk '{print $2}')\"" "$metainfo" &&
    pass "release is this version" || fail "the metainfo's release is not this version"
fi
if have appstream-util; then
  out=$(appstream-util validate-relax --nonet "$metainfo" 2>&1) && pass "appstream-util validate-relax" ||
    fail "appstream-util: $out"
fi
if have man; then
  out=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/kelvane.1.gz" 2>&1 >/dev/null)
  [ -z "$out" ] && pass "man page renders without warnings" || fail "man page: $out"
fi

# 3. Sample content; renamed copies are known by their first bytes only.
"$sample_tool" --out "$work/sample" >/dev/null || { fail "kelvane-sample"; exit 1; }
wagon=$work/sample/wagon/wagon.im
texture=$work/sample/wagon/roof.texture
cp "$wagon" "$work/wagon-renamed.bin" && cp "$texture" "$work/roof-renamed.bin"

if have update-mime-database && have gio; then
  update-mime-database "$prefix/share/mime" >/dev/null 2>&1
  for pair in "$wagon=model/x-velmora-mesh" "$work/wagon-renamed.bin=model/x-velmora-mesh" \
              "$texture=image/x-velmora-texture" "$work/roof-renamed.bin=image/x-velmora-texture"; do
    file=${pair%%=*} want=${pair#*=}
    got=$(XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_DATA_HOME="$work/none" \
          gio info -a standard::content-type "$file" | sed -n 's/.*standard::content-type: //p')
    [ "$got" = "$want" ] && pass "type of $(basename "$file")" || fail "type of $file: $got, not $want"
  done
fi

# 4. The thumbnailer's own Exec line, with the installed program first on
# the PATH, as the file manager runs it.
exec_line=$(sed -n 's/^Exec=//p' "$prefix/share/thumbnailers/kelvane.thumbnailer")
thumbnail() {  # input output size
  local cmd=${exec_line//%i/\'$1\'}
  cmd=${cmd//%o/\'$2\'}
  cmd=${cmd//%s/$3}
  env -u DISPLAY -u WAYLAND_DISPLAY PATH="$prefix/bin:$PATH" sh -c "$cmd" 2>"$work/thumb.err"
}
gl=yes
if thumbnail "$wagon" "$work/wagon.png" 128; then
  size=$(png_size "$work/wagon.png")
  [ "$size" = "128 96" ] && pass "mesh thumbnail $size" || fail "mesh thumbnail is $size, not 128 96"
elif grep -q "no GL context" "$work/thumb.err"; then
  gl=no
  echo "skipped: no headless GL context for the mesh thumbnail"
else
  fail "mesh thumbnail: $(cat "$work/thumb.err")"
fi
if thumbnail "$work/roof-renamed.bin" "$work/roof.png" 48; then
  read -r w h < <(png_size "$work/roof.png")
  [ "$w" -le 48 ] && [ "$h" -le 48 ] && [ $((w > h ? w : h)) -eq 48 ] &&
    pass "texture thumbnail ${w}x${h}" || fail "texture thumbnail is ${w}x${h}"
else
  fail "texture thumbnail: $(cat "$work/thumb.err")"
fi
head -c 200 "$wagon" >"$work/damaged.im"
head -c 30 "$texture" >"$work/damaged.texture"
for damaged in "$work/damaged.im" "$work/damaged.texture" "$work/missing.texture"; do
  rm -f "$work/damaged.png"
  if thumbnail "$damaged" "$work/damaged.png" 128; then
    fail "a thumbnail of the damaged $(basename "$damaged")"
  elif [ -e "$work/damaged.png" ] || ls -A "$work" | grep -q 'kelvane-part'; then
    fail "the damaged $(basename "$damaged") left a file behind"
  else
    pass "damaged $(basename "$damaged") refused, nothing written"
  fi
done

# 5. The installed program finds the track images of its prefix.
"$prefix/bin/kelvane" --version | grep -q "^kelvane " && pass "installed --version" || fail "installed --version"
if [ "$gl" = yes ]; then
  loco=$work/sample/velmora/userdata/editing/locomotive
  if "$prefix/bin/kelvane" --render "$loco" -o "$work/installed.png" 2>"$work/render.err" &&
     "$built_kelvane" --render "$loco" -o "$work/built.png" 2>>"$work/render.err"; then
    cmp -s "$work/installed.png" "$work/built.png" &&
      pass "installed --render finds the track images" ||
      fail "the installed program's traincar differs from the build's"
    # Without the prefix's images the picture must change, or the comparison proves nothing.
    mv "$prefix/share/kelvane" "$work/moved-data"
    "$prefix/bin/kelvane" --render "$loco" -o "$work/bare.png" 2>/dev/null
    cmp -s "$work/bare.png" "$work/built.png" &&
      fail "the traincar looks the same without the track images" || pass "track images make a difference"
  else
    fail "--render of the sample traincar: $(cat "$work/render.err")"
  fi
fi

[ $failures -eq 0 ] && echo "install test passed" || echo "$failures failure(s)"
exit $((failures > 0))
