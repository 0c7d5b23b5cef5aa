#!/usr/bin/env python3
"""Random use of the real viewer as a test.

Seeded random input through xdotool: drags with each mouse button, the
wheel, keys, popup and menu commands, dialogs opened and closed, damaged
files opened through File > Open and on the command line. The viewer is
restarted whenever it exits. A finding is a sanitizer report, an exit that
is not status 0, a hang (no answer to X pings for --hang-seconds) or a box
that does not get the keyboard; each is saved with its seed and the events
since the viewer started, and `--replay FILE` plays those events again.
Needs an X display with a window manager; exits 1 when anything was found.
"""

import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import time

import xdrive

START_SECONDS = 180  # a sanitizer build starts and loads slowly
EXIT_SECONDS = 120  # the leak check at exit takes a while
KEYS = ["Left", "Right", "Up", "Down", "shift+Left", "shift+Right", "ctrl+Up", "ctrl+Down",
        "b", "r", "t", "w", "shift+b", "Escape", "Return", "space", "Tab", "Page_Up", "Home",
        "plus", "minus", "ctrl+o", "ctrl+q"]
# The menu bar's titles with the middle of each from the window's left edge,
# as the default style lays them out, and how many items each has.
# Help > Help is left out: it would start a browser.
MENUS = [("File", 20, 4), ("Options", 68, 3), ("Setup", 123, 1), ("Help", 169, 2)]
DIALOG_ANSWERS = ["Escape", "Return", "Tab Return", "click", "alt+F4"]


class Finding(Exception):
    def __init__(self, kind, detail):
        super().__init__("%s: %s" % (kind, detail))
        self.kind = kind
        self.detail = detail


class Files:
    """The sample assets and damaged copies of them, made from the event's
    own description so that a replay makes the same bytes."""

    def __init__(self, work, sample_writer):
        self.sample = os.path.join(work, "sample")
        self.damaged = os.path.join(work, "damaged")
        # Written afresh, so that damage descriptions always apply to the
        # samples of this build.
        shutil.rmtree(self.sample, ignore_errors=True)
        shutil.rmtree(self.damaged, ignore_errors=True)
        subprocess.run([sample_writer, "--out", self.sample], check=True, capture_output=True, timeout=120)
        os.makedirs(self.damaged)
        self.wagon = os.path.join(self.sample, "wagon", "wagon.im")
        self.traincar = os.path.join(self.sample, "velmora", "userdata", "editing", "locomotive")
        self.sources = sorted(
            os.path.relpath(os.path.join(d, f), self.sample)
            for d, _, fs in os.walk(self.sample)
            for f in fs
            if f.lower().endswith((".im", ".pm", ".txt", ".tga", ".bmp", ".jpg", ".texture"))
        )

    def damage(self, rng):
        source = rng.choice(self.sources)
        size = os.path.getsize(os.path.join(self.sample, source))
        if rng.random() < 0.4:
            ops = [["truncate", rng.randrange(0, max(size, 1))]]
        else:
            ops = [["flip", rng.randrange(0, max(size, 1)), 1 << rng.randrange(8)] for _ in range(rng.randint(1, 16))]
        return {"source": source, "ops": ops, "id": rng.randrange(1 << 30)}

    def make(self, damage):
        """The file or folder to open for a damage description."""
        source = os.path.join(self.sample, damage["source"])
        folder = os.path.join(self.damaged, str(damage["id"]))
        shutil.rmtree(folder, ignore_errors=True)
        # A traincar's file is damaged in a copy of its whole folder, which
        # is what gets opened; a mesh or texture alone is opened as a mesh.
        parent = os.path.dirname(source)
        in_traincar = os.path.exists(os.path.join(parent, "config.txt"))
        if in_traincar:
            shutil.copytree(parent, os.path.join(folder, os.path.basename(parent)))
            target = os.path.join(folder, os.path.basename(parent), os.path.basename(source))
            opened = os.path.dirname(target)
        else:
            os.makedirs(folder)
            shutil.copytree(parent, folder, dirs_exist_ok=True)
            target = os.path.join(folder, os.path.basename(source))
            opened = target if target.lower().endswith((".im", ".pm")) else None
        with open(target, "r+b") as f:
            data = bytearray(f.read())
            for op in damage["ops"]:
                if op[0] == "truncate":
                    del data[op[1] :]
                elif op[1] < len(data):
                    data[op[1]] ^= op[2]
            f.seek(0)
            f.truncate()
            f.write(data)
        if opened is None:
            # A damaged texture is seen through the mesh beside it.
            meshes = sorted(n for n in os.listdir(folder) if n.lower().endswith((".im", ".pm")))
            opened = os.path.join(folder, meshes[0]) if meshes else target
        return opened

    def target(self, choice):
        if choice.get("damage"):
            return self.make(choice["damage"])
        return self.wagon if choice.get("good") == "wagon" else self.traincar


class Monkey:
    def __init__(self, args):
        self.args = args
        self.work = args.work
        os.makedirs(self.work, exist_ok=True)
        self.findings_dir = os.path.join(self.work, "findings")
        os.makedirs(self.findings_dir, exist_ok=True)
        self.files = Files(self.work, args.sample_writer)
        self.env = xdrive.sanitizer_environment(args.viewer, args.suppressions)
        self.ping = xdrive.XPing()
        self.viewer = None
        self.main = None
        self.session_events = []
        self.events = 0
        self.restarts = 0
        self.findings = []
        self.sessions = 0
        self.last_shot = 0.0
        self.unfocused_since = None
        self.settings_at_start = ""

    # --- the viewer's life -------------------------------------------------

    def start(self, event):
        self.sessions += 1
        self.session_events = [event]
        log = os.path.join(self.work, "viewer-%d.log" % self.sessions)
        settings = os.path.join(self.work, "kelvane.ini")
        args = ["--settings", settings]
        if event.get("open"):
            args.append(self.files.target(event["open"]))
        self.settings_at_start = open(settings).read() if os.path.exists(settings) else ""
        self.viewer = xdrive.Viewer(self.args.viewer, args, log, self.env)
        self.main = None
        self.unfocused_since = None
        deadline = time.monotonic() + START_SECONDS
        while self.main is None:
            if self.viewer.process.poll() is not None:
                return self.ended()
            self.main = self.viewer.main_window()
            if self.main is None and time.monotonic() > deadline:
                raise Finding("hang", "no window within %d s of the start" % START_SECONDS)
            time.sleep(0.2)

    def ended(self, final=False):
        """Looks at a viewer that has exited: status 0 and a clean log are a
        restart, anything else a finding."""
        status = self.viewer.process.returncode
        output = self.viewer.output()
        self.viewer.close()
        self.viewer = None
        report = xdrive.sanitizer_report(output)
        if report:
            raise Finding("sanitizer", report)
        if status != 0:
            raise Finding("exit", "exit status %d" % status)
        if final:
            print("end: the viewer exited with status 0", flush=True)
            return
        self.restarts += 1
        print("restart: the viewer exited with status 0", flush=True)

    def alive(self):
        """Raises a finding when the viewer has ended badly or stopped
        answering; returns False when it has ended well."""
        if self.viewer.process.poll() is not None:
            self.ended()
            return False
        if self.main is None:
            return True
        deadline = time.monotonic() + self.args.hang_seconds
        while True:
            answer = self.ping.ping(self.main, 2)
            if answer:
                break
            if self.viewer.process.poll() is not None:
                self.ended()
                return False
            if answer is None:
                # The window went (a close on its way); the next one is asked.
                self.main = self.viewer.main_window() or self.main
                time.sleep(0.5)
            if time.monotonic() > deadline:
                raise Finding("hang", "no answer to X pings for %d s" % self.args.hang_seconds)
        return True

    def dialogs(self):
        """The viewer's dialogs and boxes: its windows other than the main
        one and its menus."""
        return [w for w in self.viewer.windows() if w != self.main and not xdrive.is_popup(w)]

    def check_keyboard(self):
        """A box or dialog of ours that is open must be the active window."""
        open_ = self.dialogs()
        if not open_:
            self.unfocused_since = None
            return
        active = xdrive.active_window()
        if active in open_:
            self.unfocused_since = None
            return
        now = time.monotonic()
        if self.unfocused_since is None:
            self.unfocused_since = now
        elif now - self.unfocused_since > self.args.focus_seconds:
            names = ", ".join(repr(xdrive.window_name(w)) for w in open_)
            raise Finding("keyboard", "%s open but not active for %d s" % (names, self.args.focus_seconds))

    # --- events ------------------------------------------------------------

    def generate(self, rng):
        open_ = self.dialogs()
        if open_ and rng.random() < 0.7:
            return {"t": "answer", "how": rng.choice(DIALOG_ANSWERS), "at": [rng.random(), rng.random()]}
        r = rng.random()
        point = lambda: [round(rng.uniform(0.1, 0.9), 3), round(rng.uniform(0.15, 0.85), 3)]
        if r < 0.25:
            return {"t": "drag", "button": rng.choice([1, 2, 3]), "path": [point() for _ in range(rng.randint(2, 6))]}
        if r < 0.35:
            return {"t": "wheel", "button": rng.choice([4, 5]), "count": rng.randint(1, 6), "at": point()}
        if r < 0.55:
            return {"t": "key", "key": rng.choice(KEYS)}
        if r < 0.72:
            keys = ["Down"] * rng.randint(1, 11) + [rng.choice(["Return", "Return", "Escape"])]
            return {"t": "popup", "at": point(), "keys": keys}
        if r < 0.82:
            menu, x, count = rng.choice(MENUS)
            last = count - 1 if menu == "Help" else count
            keys = ["Down"] * rng.randint(1, last) + [rng.choice(["Return", "Return", "Escape"])]
            if menu == "Help":
                keys = ["Down"] + keys
            return {"t": "menu", "menu": menu, "x": x, "keys": keys}
        if r < 0.92:
            return {"t": "open", "open": self.choose_file(rng)}
        if r < 0.97:
            return {"t": "resize", "size": [rng.randint(300, 1200), rng.randint(250, 950)]}
        return {"t": "restart", "open": self.choose_file(rng)}

    def choose_file(self, rng):
        r = rng.random()
        if r < 0.15:
            return {"good": "wagon"}
        if r < 0.3:
            return {"good": "traincar"}
        return {"damage": self.files.damage(rng)}

    def point(self, fraction):
        x, y, w, h = xdrive.geometry(self.main)
        return x + int(fraction[0] * w), y + int(fraction[1] * h)

    def perform(self, event):
        kind = event["t"]
        if kind == "start":
            return self.start(event)
        if kind == "restart":
            # Closed with Ctrl+Q, so that the exit too is checked.
            self.close_viewer()
            return self.start({"t": "start", "open": event["open"]})
        if kind == "answer":
            open_ = self.dialogs()
            if not open_:
                return
            if event["how"] == "click":
                x, y, w, h = xdrive.geometry(open_[-1])
                xdrive.click(1, x + int(event["at"][0] * w), y + int(event["at"][1] * h))
            else:
                xdrive.key(*event["how"].split())
            return
        if kind == "drag":
            xdrive.drag(event["button"], [self.point(p) for p in event["path"]])
            if event["button"] == 3:
                time.sleep(0.3)
                xdrive.key("Escape")  # the popup the right button opened
        elif kind == "wheel":
            xdrive.move(*self.point(event["at"]))
            for _ in range(event["count"]):
                xdrive.click(event["button"])
        elif kind == "key":
            xdrive.key(event["key"])
        elif kind == "popup":
            xdrive.click(3, *self.point(event["at"]))
            time.sleep(0.3)
            xdrive.key(*event["keys"])
        elif kind == "menu":
            x, y, _, _ = xdrive.geometry(self.main)
            xdrive.click(1, x + event["x"], y + 10)
            time.sleep(0.3)
            xdrive.key(*event["keys"])
        elif kind == "open":
            path = self.files.target(event["open"])
            # The dialog would go into a folder: a traincar opens by its config.txt.
            if os.path.isdir(path):
                path = os.path.join(path, "config.txt")
            self.open_through_dialog(path)
        elif kind == "resize":
            xdrive.run(["xdotool", "windowsize", str(self.main)] + [str(v) for v in event["size"]])

    def open_through_dialog(self, path):
        before = set(self.viewer.windows())
        xdrive.key("ctrl+o")
        try:
            xdrive.wait_until("the Open dialog", lambda: self.viewer.process.poll() is None and (set(self.viewer.windows()) - before), 30)
        except xdrive.Timeout:
            return  # a box or a busy viewer refused it; the pings judge
        time.sleep(0.3)
        # The file name field has the keys; a full path opens whatever the filter.
        xdrive.key("ctrl+a")
        xdrive.type_text(path)
        xdrive.key("Return")

    # --- runs ----------------------------------------------------------------

    def record(self, finding, seed):
        index = len(self.findings) + 1
        folder = os.path.join(self.findings_dir, "%03d-%s" % (index, finding.kind))
        os.makedirs(folder, exist_ok=True)
        xdrive.screenshot(os.path.join(folder, "screen.png"))
        log = ""
        if self.viewer and finding.kind == "hang" and shutil.which("gdb"):
            # Where it hangs, when a debugger is at hand.
            try:
                stacks = xdrive.run(["gdb", "-batch", "-p", str(self.viewer.pid), "-ex", "thread apply all bt"],
                                    timeout=120, check=False)
                with open(os.path.join(folder, "stacks.txt"), "w") as f:
                    f.write(stacks)
            except xdrive.Timeout:
                pass
        if self.viewer:
            self.viewer.kill()
            log = self.viewer.output()
            self.viewer.close()
            self.viewer = None
        else:
            path = os.path.join(self.work, "viewer-%d.log" % self.sessions)
            log = open(path, errors="replace").read() if os.path.exists(path) else ""
        with open(os.path.join(folder, "viewer.log"), "w") as f:
            f.write(log)
        with open(os.path.join(folder, "finding.json"), "w") as f:
            json.dump(
                {"seed": seed, "kind": finding.kind, "detail": finding.detail,
                 "settings": self.settings_at_start, "events": self.session_events},
                f, indent=1)
        self.findings.append(folder)
        print("FINDING %s: %s (saved in %s)" % (finding.kind, finding.detail, folder), flush=True)
        self.main = None

    def step(self, event):
        self.events += 1
        print("event %d: %s" % (self.events, json.dumps(event)), flush=True)
        if event["t"] not in ("start", "restart"):
            self.session_events.append(event)
        try:
            self.perform(event)
        except xdrive.Timeout as error:
            print("  (input not taken: %s)" % error, flush=True)
        except RuntimeError as error:
            # A window that went away under the input.
            print("  (input not taken: %s)" % error, flush=True)
        time.sleep(self.args.pause)
        if self.viewer and self.alive():
            self.check_keyboard()
        if self.args.shots and time.monotonic() - self.last_shot > self.args.shots:
            self.last_shot = time.monotonic()
            xdrive.screenshot(os.path.join(self.work, "screen-%04d.png" % self.events))

    def close_viewer(self, final=False):
        """Ctrl+Q once its boxes are closed; the exit is judged like any
        other."""
        if not self.viewer:
            return
        if self.viewer.process.poll() is not None:
            return self.ended(final)
        xdrive.key("Escape")  # a menu left open
        deadline = time.monotonic() + EXIT_SECONDS
        while True:
            self.close_dialogs()
            if self.main:
                xdrive.run(["xdotool", "windowactivate", str(self.main)], check=False)
                time.sleep(0.3)
            xdrive.key("ctrl+q")
            try:
                # A box that a timer opened just now (the thumbnail's
                # question) takes the Ctrl+Q: it is closed and Ctrl+Q sent
                # again.
                self.viewer.wait_exit(min(5.0, max(0.1, deadline - time.monotonic())))
                break
            except xdrive.Timeout:
                if time.monotonic() >= deadline:
                    raise Finding("hang", "no exit within %d s of Ctrl+Q" % EXIT_SECONDS)
        self.ended(final)

    def close_dialogs(self):
        """Escape for every open dialog or box, the newest first."""
        for _ in range(20):
            open_ = self.dialogs()
            if not open_:
                return
            xdrive.run(["xdotool", "windowactivate", str(open_[-1])], check=False)
            xdrive.key("Escape")
            time.sleep(0.5)
        names = ", ".join(repr(xdrive.window_name(w)) for w in self.dialogs())
        raise Finding("stuck", "%s still open after 20 presses of Escape" % names)

    def run(self, seed, seconds):
        rng = random.Random(seed)
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            try:
                if self.viewer is None:
                    self.step({"t": "start", "open": self.choose_file(rng) if rng.random() < 0.7 else None})
                else:
                    self.step(self.generate(rng))
            except Finding as finding:
                self.record(finding, seed)
        try:
            self.close_viewer(final=True)
        except Finding as finding:
            self.record(finding, seed)

    def replay(self, path):
        with open(path) as f:
            saved = json.load(f)
        with open(os.path.join(self.work, "kelvane.ini"), "w") as f:
            f.write(saved.get("settings", ""))
        print("replaying %d events of seed %s (%s)" % (len(saved["events"]), saved["seed"], saved["kind"]), flush=True)
        try:
            for event in saved["events"]:
                self.step(event)
                if self.viewer is None:
                    break
            self.close_viewer(final=True)
        except Finding as finding:
            self.record(finding, saved["seed"])


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--viewer", required=True, help="the viewer program (a sanitizer build)")
    parser.add_argument("--sample-writer", required=True, help="kelvane-sample")
    parser.add_argument("--suppressions", required=True, help="LeakSanitizer suppressions for the GL driver")
    parser.add_argument("--work", required=True, help="folder for files, logs and findings")
    parser.add_argument("--seconds", type=float, default=600)
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--replay", help="a finding.json to play again")
    parser.add_argument("--hang-seconds", type=float, default=60)
    parser.add_argument("--focus-seconds", type=float, default=20)
    parser.add_argument("--pause", type=float, default=0.15, help="seconds between events")
    parser.add_argument("--shots", type=float, default=0, help="save a screenshot every this many seconds")
    args = parser.parse_args()
    # File > Open takes a typed path from its own folder: paths are whole.
    args.work = os.path.abspath(args.work)
    monkey = Monkey(args)
    started = time.monotonic()
    if args.replay:
        monkey.replay(args.replay)
    else:
        seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 31)
        print("monkey: seed %d, %.0f s" % (seed, args.seconds), flush=True)
        monkey.run(seed, args.seconds)
    print("monkey: %d events, %d restarts, %d findings in %.0f s"
          % (monkey.events, monkey.restarts, len(monkey.findings), time.monotonic() - started), flush=True)
    for folder in monkey.findings:
        print("  finding: %s (replay with --replay %s)" % (folder, os.path.join(folder, "finding.json")))
    sys.exit(1 if monkey.findings else 0)


if __name__ == "__main__":
    main()
