"""Drives the real viewer on an X display: starts it, finds its windows,
sends real input through xdotool and asks whether it still answers X events.

Only the Python standard library, xdotool and xwininfo are used. Every wait
has a deadline and names what it waited for when it runs out.
"""

import glob
import os
import re
import select
import signal
import socket
import struct
import subprocess
import time


class Timeout(Exception):
    pass


def _pad4(n):
    return (4 - n % 4) % 4


class XPing:
    """A minimal X11 client that sends _NET_WM_PING to a window and waits
    for the answer a window manager would get. A client answers it from its
    event loop, so no answer means the loop is not running."""

    def __init__(self, display=None):
        display = display or os.environ.get("DISPLAY", "")
        m = re.match(r"^(?:unix)?:(\d+)(?:\.\d+)?$", display)
        if not m:
            raise RuntimeError("cannot reach X display %r by its local socket" % display)
        self.number = m.group(1)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect("/tmp/.X11-unix/X" + self.number)
        self.buffer = b""
        self.sequence = 0
        self.stamp = 1
        name, data = self._cookie()
        setup = struct.pack("<BxHHHHxx", ord("l"), 11, 0, len(name), len(data))
        setup += name + b"\0" * _pad4(len(name)) + data + b"\0" * _pad4(len(data))
        self.sock.sendall(setup)
        head = self._read(8, time.monotonic() + 10)
        status, _, _, _, length = struct.unpack("<BBHHH", head)
        body = self._read(length * 4, time.monotonic() + 10)
        if status != 1:
            raise RuntimeError("X server refused the connection: %r" % body[: head[1]])
        vendor_length = struct.unpack_from("<H", body, 16)[0]
        formats = body[21]
        screen = 32 + vendor_length + _pad4(vendor_length) + 8 * formats
        self.root = struct.unpack_from("<I", body, screen)[0]
        self.wm_protocols = self._atom(b"WM_PROTOCOLS")
        self.net_wm_ping = self._atom(b"_NET_WM_PING")
        # Answers are sent to the root window for StructureNotify listeners.
        self._request(struct.pack("<BxHIII", 2, 4, self.root, 0x800, 0x00020000))

    def _cookie(self):
        path = os.environ.get("XAUTHORITY") or os.path.expanduser("~/.Xauthority")
        try:
            with open(path, "rb") as f:
                blob = f.read()
        except OSError:
            return b"", b""
        at = 0

        def counted():
            nonlocal at
            (n,) = struct.unpack_from(">H", blob, at)
            value = blob[at + 2 : at + 2 + n]
            at += 2 + n
            return value

        while at + 2 <= len(blob):
            struct.unpack_from(">H", blob, at)
            at += 2
            counted()  # address
            number = counted()
            name = counted()
            data = counted()
            if number.decode(errors="replace") == self.number and name == b"MIT-MAGIC-COOKIE-1":
                return name, data
        return b"", b""

    def _read(self, n, deadline):
        while len(self.buffer) < n:
            left = deadline - time.monotonic()
            if left <= 0:
                raise Timeout("X server data")
            ready, _, _ = select.select([self.sock], [], [], left)
            if ready:
                chunk = self.sock.recv(65536)
                if not chunk:
                    raise RuntimeError("X server closed the connection")
                self.buffer += chunk
        out, self.buffer = self.buffer[:n], self.buffer[n:]
        return out

    def _packet(self, deadline):
        packet = self._read(32, deadline)
        if packet[0] == 1 or (packet[0] & 0x7F) == 35:  # replies and generic events
            extra = struct.unpack_from("<I", packet, 4)[0] * 4
            packet += self._read(extra, deadline)
        return packet

    def _request(self, data):
        self.sock.sendall(data)
        self.sequence += 1
        return self.sequence & 0xFFFF

    def _atom(self, name):
        seq = self._request(
            struct.pack("<BBHHxx", 16, 0, 2 + (len(name) + _pad4(len(name))) // 4, len(name))
            + name
            + b"\0" * _pad4(len(name))
        )
        deadline = time.monotonic() + 10
        while True:
            packet = self._packet(deadline)
            if packet[0] == 1 and struct.unpack_from("<H", packet, 2)[0] == seq:
                return struct.unpack_from("<I", packet, 8)[0]
            if packet[0] == 0:
                raise RuntimeError("X error interning %s" % name.decode())

    def ping(self, window, timeout):
        """True when the window's client answers within timeout seconds,
        False when it does not, None when there is no such window."""
        self.stamp += 1
        event = struct.pack(
            "<BBHII5I", 33, 32, 0, window, self.wm_protocols, self.net_wm_ping, self.stamp, window, 0, 0
        )
        # An empty event mask delivers the event to the window's own client.
        self._request(struct.pack("<BBHII", 25, 0, 11, window, 0) + event)
        deadline = time.monotonic() + timeout
        while True:
            try:
                packet = self._packet(deadline)
            except Timeout:
                return False
            if packet[0] == 0:
                return None  # the window is gone
            if (packet[0] & 0x7F) != 33:
                continue
            _, _, _, win, kind, first, stamp = struct.unpack_from("<BBHIIII", packet)
            if win == self.root and kind == self.wm_protocols and first == self.net_wm_ping and stamp == self.stamp:
                return True

    def close(self):
        self.sock.close()


def run(args, timeout=20, check=True):
    """Runs an X tool; its output, or a Timeout naming it."""
    try:
        done = subprocess.run(args, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Timeout(" ".join(args))
    if check and done.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (" ".join(args), done.returncode, done.stderr.strip()))
    return done.stdout


def wait_until(what, predicate, timeout, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Timeout("%s (waited %.0f s)" % (what, timeout))
        time.sleep(interval)


def window_name(window):
    return run(["xdotool", "getwindowname", str(window)], check=False).strip()


def geometry(window):
    """(x, y, width, height) of a window on the screen."""
    text = run(["xwininfo", "-id", str(window)])
    value = lambda label: int(re.search(label + r":\s+(-?\d+)", text).group(1))
    return value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"), value("Height")


def is_popup(window):
    """Menus and tips bypass the window manager and never take the keys."""
    text = run(["xwininfo", "-id", str(window)], check=False)
    return "Override Redirect State: yes" in text


def active_window():
    out = run(["xdotool", "getactivewindow"], check=False).strip()
    return int(out) if out.isdigit() else None


def key(*names):
    run(["xdotool", "key", "--delay", "30"] + list(names))


def type_text(text):
    run(["xdotool", "type", "--delay", "10", text], timeout=60)


def move(x, y):
    run(["xdotool", "mousemove", str(int(x)), str(int(y))])


def click(button, x=None, y=None):
    if x is not None:
        move(x, y)
    run(["xdotool", "click", str(button)])


def drag(button, points):
    move(*points[0])
    run(["xdotool", "mousedown", str(button)])
    try:
        for p in points[1:]:
            move(*p)
            time.sleep(0.02)
    finally:
        run(["xdotool", "mouseup", str(button)])


def screenshot(path):
    """Saves the screen as a PNG when ImageMagick's import is there."""
    try:
        run(["import", "-window", "root", path], timeout=30)
        return True
    except (OSError, RuntimeError, Timeout):
        return False


# Before a load the window has the program's name; after it, what it shows.
MAIN_TITLE = r"^(Kelvane$|Mesh |TrainCar )"


class Viewer:
    """One run of the viewer, its standard error in a file."""

    def __init__(self, exe, args, log_path, env=None):
        self.log_path = log_path
        self.log = open(log_path, "wb")
        self.process = subprocess.Popen(
            [exe] + list(args), stdout=self.log, stderr=subprocess.STDOUT, env=env, start_new_session=True
        )
        self.pid = self.process.pid

    def windows(self):
        """The viewer's mapped top-level windows."""
        out = run(["xdotool", "search", "--onlyvisible", "--pid", str(self.pid)], check=False)
        return [int(w) for w in out.split() if w.isdigit()]

    def titled(self, pattern):
        for w in self.windows():
            if re.search(pattern, window_name(w)):
                return w
        return None

    def main_window(self):
        """The viewer's main window: the one of its titles that is no
        dialog's (dialogs and boxes are transient for it)."""
        for w in self.windows():
            if not re.match(MAIN_TITLE, window_name(w)):
                continue
            hints = run(["xprop", "-id", str(w), "WM_TRANSIENT_FOR"], check=False)
            if "window id" not in hints:
                return w
        return None

    def wait_window(self, what, pattern, timeout):
        return wait_until("the window %s" % what, lambda: self.running() and self.titled(pattern), timeout)

    def running(self):
        if self.process.poll() is not None:
            raise RuntimeError("the viewer ended early with status %d" % self.process.returncode)
        return True

    def wait_exit(self, timeout):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Timeout("the viewer to exit (waited %.0f s)" % timeout)

    def kill(self):
        if self.process.poll() is None:
            try:
                os.killpg(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait(30)

    def output(self):
        if not self.log.closed:
            self.log.flush()
        with open(self.log_path, "rb") as f:
            return f.read().decode(errors="replace")

    def close(self):
        self.kill()
        self.log.close()


SANITIZER_REPORT = re.compile(
    r"ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer)|runtime error:|"
    r"Tracer caught signal|LeakSanitizer has encountered a fatal error"
)


def thread_names(pid):
    names = []
    for task in glob.glob("/proc/%d/task/*/comm" % pid):
        try:
            with open(task) as f:
                names.append(f.read().strip())
        except OSError:
            pass  # a thread that just ended
    return names


def sanitizer_report(text):
    """The first line of a sanitizer report in the output, or None."""
    m = SANITIZER_REPORT.search(text)
    if not m:
        return None
    start = text.rfind("\n", 0, m.start()) + 1
    end = text.find("\n", m.end())
    return text[start : end if end >= 0 else len(text)]


def pinned_libraries(viewer):
    """The sanitizer runtime the viewer is linked with, then Mesa's software
    GL driver. The driver is loaded with the display and unloaded when the
    display closes at exit, before the leak check: what its globals still
    held would then look leaked, with no library name to tell whose it is.
    Loaded from the start it stays to the end; the sanitizer runtime must
    come first among preloaded libraries."""
    out = run(["ldd", viewer], check=False)
    runtime = re.search(r"=>\s*(\S*/libasan\.so[.\d]*)", out)
    drivers = sorted(glob.glob("/usr/lib/*/dri/swrast_dri.so"))
    if not runtime or not drivers:
        return []
    return [runtime.group(1), drivers[0]]


def sanitizer_environment(viewer, suppressions, base=None):
    """The environment the sanitizer build of the viewer runs in."""
    env = dict(base or os.environ)
    pinned = pinned_libraries(viewer)
    if pinned:
        env["LD_PRELOAD"] = " ".join(pinned)
    env["ASAN_OPTIONS"] = "detect_leaks=1:abort_on_error=1:" + env.get("ASAN_OPTIONS", "")
    env["LSAN_OPTIONS"] = "suppressions=%s:print_suppressions=0" % suppressions
    env["UBSAN_OPTIONS"] = "print_stacktrace=1:halt_on_error=1"
    # llvmpipe draws on the calling thread: no worker threads for
    # LeakSanitizer's tracer to stop while they come and go.
    env["LP_NUM_THREADS"] = "0"
    # Nor a thread writing compiled shaders to a cache on disk.
    env["MESA_SHADER_CACHE_DISABLE"] = "true"
    env["DBUS_SESSION_BUS_ADDRESS"] = "disabled:"
    return env
