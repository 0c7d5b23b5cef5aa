"""gnome_client.py FILE MIME OUT.png: makes a "normal" thumbnail through
GNOME's thumbnail factory (which runs the thumbnailer in a bubblewrap
sandbox that shows it only the file), saves it and says whether the middle
of the picture, where the model is drawn, is black or uniform."""
import os
import sys

import gi

gi.require_version("GnomeDesktop", "3.0")
from gi.repository import Gio, GnomeDesktop  # noqa: E402

path, mime, out = sys.argv[1:4]
factory = GnomeDesktop.DesktopThumbnailFactory.new(GnomeDesktop.DesktopThumbnailSize.NORMAL)
uri = Gio.File.new_for_path(path).get_uri()
if not factory.can_thumbnail(uri, mime, int(os.stat(path).st_mtime)):
    sys.exit("FAIL: the factory knows no thumbnailer for %s" % mime)
try:
    picture = factory.generate_thumbnail(uri, mime)
except gi.repository.GLib.Error as error:
    sys.exit("FAIL: the factory's thumbnailer failed: %s" % error.message)
if picture is None:
    sys.exit("FAIL: the factory made no thumbnail")
picture.savev(out, "png", [], [])
w, h, n = picture.get_width(), picture.get_height(), picture.get_n_channels()
stride, data = picture.get_rowstride(), picture.get_pixels()
# The body of the wagon: the middle half across, the band below the centre;
# what is not the background there is the model (and an axis line or two).
background = tuple(data[2 * stride + 2 * n:2 * stride + 2 * n + 3])
model = []
for y in range(h // 2, h * 3 // 4):
    for x in range(w // 4, w * 3 // 4):
        o = y * stride + x * n
        texel = tuple(data[o:o + 3])
        if texel != background:
            model.append(texel)
if len(model) < w * h // 32:
    sys.exit("FAIL: no model in the middle of the picture (%d texels)" % len(model))
brightness = sorted(max(t) for t in model)
median = brightness[len(brightness) // 2]
print("%dx%d: %d model texels, %d colours, median brightest channel %d"
      % (w, h, len(model), len(set(model)), median))
if median < 60:
    sys.exit("FAIL: the model is black")
if len(set(model)) < 2:
    sys.exit("FAIL: the model is one colour")
