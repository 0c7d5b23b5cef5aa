"""tumbler_client.py PATH=MIME...: asks the session's thumbnail service
(org.freedesktop.thumbnails.Thumbnailer1) for "normal" thumbnails and prints
one line per file: its path, then "Ready" or "Error <code> <message>"."""
import sys

from gi.repository import Gio, GLib

files = [a.split("=", 1) for a in sys.argv[1:]]
bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
proxy = Gio.DBusProxy.new_sync(bus, Gio.DBusProxyFlags.NONE, None,
                               "org.freedesktop.thumbnails.Thumbnailer1",
                               "/org/freedesktop/thumbnails/Thumbnailer1",
                               "org.freedesktop.thumbnails.Thumbnailer1", None)
results, finished = {}, set()
loop = GLib.MainLoop()
handle = None


def on_signal(_proxy, _sender, name, params):
    if name == "Ready":
        for uri in params[1]:
            results.setdefault(uri, "Ready")
    elif name == "Error":
        for uri in params[1]:
            results[uri] = "Error %d %s" % (params[2], params[3].replace("\n", " "))
    elif name == "Finished":
        finished.add(params[0])
        if params[0] == handle:
            loop.quit()


def timed_out():
    print("FAIL: no Finished signal from tumbler for request %s within 120 s" % handle)
    loop.quit()
    return False


proxy.connect("g-signal", on_signal)
uris = [Gio.File.new_for_path(path).get_uri() for path, _ in files]
handle = proxy.call_sync("Queue",
                         GLib.Variant("(asasssu)", (uris, [m for _, m in files], "normal",
                                                    "foreground", 0)),
                         Gio.DBusCallFlags.NONE, 60000, None)[0]
GLib.timeout_add_seconds(120, timed_out)
if handle not in finished:
    loop.run()
for (path, _), uri in zip(files, uris):
    print(path, results.get(uri, "nothing"))
