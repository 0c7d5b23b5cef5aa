#!/usr/bin/env bash
# refresh-caches.sh PREFIX: brings the MIME, desktop and icon caches of the
# prefix up to date with its files, with whichever of the tools exist.
prefix=$1
share=$prefix/share
if command -v update-mime-database >/dev/null && [ -d "$share/mime/packages" ]; then
  update-mime-database "$share/mime" || echo "refresh: update-mime-database $share/mime failed" >&2
fi
if command -v update-desktop-database >/dev/null && [ -d "$share/applications" ]; then
  update-desktop-database -q "$share/applications" ||
    echo "refresh: update-desktop-database $share/applications failed" >&2
fi
if command -v gtk-update-icon-cache >/dev/null && [ -d "$share/icons/hicolor" ]; then
  gtk-update-icon-cache -q -t -f "$share/icons/hicolor" ||
    echo "refresh: gtk-update-icon-cache $share/icons/hicolor failed" >&2
fi
exit 0
