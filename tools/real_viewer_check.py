#!/usr/bin/env python3
"""Runs the real viewer program on the sample wagon and the sample traincar
with real X input: a dialog of the popup menu, a thumbnail saved through its
question box, Ctrl+Q. Each run must end with status 0 and no sanitizer
report. Needs an X display with a window manager."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

import xdrive

LOAD_SECONDS = 180  # a sanitizer build reads and draws slowly
STEP_SECONDS = 60


def fail(message):
    print("FAIL: " + message, flush=True)
    sys.exit(1)


def new_window(viewer, before, what, title):
    def found():
        fresh = set(viewer.windows()) - before if viewer.running() else set()
        return {w for w in fresh if re.search(title, xdrive.window_name(w))}

    return xdrive.wait_until(what, found, STEP_SECONDS)


def popup_item(viewer, main, keys, what, title):
    """Opens the view's popup with the right button and picks an item by
    keys; returns the window the item opened."""
    x, y, w, h = xdrive.geometry(main)
    before = set(viewer.windows())

    def opened():
        # A traincar still being composed refuses the popup: click again.
        xdrive.click(3, x + w // 2, y + h // 2)
        try:
            return xdrive.wait_until("the popup", lambda: viewer.running() and (set(viewer.windows()) - before), 3)
        except xdrive.Timeout:
            return None

    popup = xdrive.wait_until("the popup menu", opened, STEP_SECONDS)
    xdrive.key(*keys, "Return")
    xdrive.wait_until("the popup menu to close", lambda: not (set(viewer.windows()) & popup), STEP_SECONDS)
    return new_window(viewer, before, what, title)


def answered(main, ping):
    return xdrive.wait_until("the viewer to answer X events", lambda: ping.ping(main, 2), STEP_SECONDS)


def check_run(args, ping, name, target, dialog, thumbnail_folder):
    work = os.path.join(args.work, name)
    os.makedirs(work, exist_ok=True)
    thumbnail = os.path.join(thumbnail_folder, "$screenshot$.jpg")
    if os.path.exists(thumbnail):
        os.remove(thumbnail)
    log = os.path.join(work, "viewer.log")
    env = xdrive.sanitizer_environment(args.viewer, args.suppressions)
    viewer = xdrive.Viewer(args.viewer, ["--settings", os.path.join(work, "kelvane.ini"), target], log, env)
    try:
        main = viewer.wait_window("showing the loaded %s" % name, r"^(Mesh|TrainCar) ", LOAD_SECONDS)
        answered(main, ping)
        # The leak check at exit stops every thread; the GL driver must have
        # started none of its own.
        threads = sorted(xdrive.thread_names(viewer.pid))
        if any(t.startswith(("llvmpipe", "disk$")) for t in threads):
            raise RuntimeError("the GL driver runs threads of its own: %s" % ", ".join(threads))
        run_steps(args, viewer, ping, main, dialog, thumbnail, work)
        xdrive.run(["xdotool", "windowactivate", str(main)], check=False)
        xdrive.wait_until("the main window to be active", lambda: xdrive.active_window() == main, STEP_SECONDS)
        xdrive.key("ctrl+q")
        status = viewer.wait_exit(LOAD_SECONDS)
    except (xdrive.Timeout, RuntimeError) as error:
        xdrive.screenshot(os.path.join(work, "at-failure.png"))
        viewer.kill()
        fail("%s: %s\n%s" % (name, error, viewer.output()[-6000:]))
    finally:
        viewer.close()
    output = viewer.output()
    report = xdrive.sanitizer_report(output)
    if report or status != 0:
        fail("%s: exit status %d, %s\n%s" % (name, status, report or "no sanitizer report", output[-12000:]))
    print("%s: dialog, thumbnail and Ctrl+Q; exit status 0, no sanitizer report" % name, flush=True)


def run_steps(args, viewer, ping, main, dialog_item, thumbnail, work):
    dialog_keys, dialog_what, dialog_title = dialog_item
    dialog = popup_item(viewer, main, dialog_keys, dialog_what, dialog_title)
    answered(main, ping)
    if args.screenshots:
        xdrive.screenshot(os.path.join(work, "dialog.png"))
    xdrive.wait_until("%s to have the keyboard" % dialog_what, lambda: xdrive.active_window() in dialog, STEP_SECONDS)
    xdrive.key("Escape")
    xdrive.wait_until("%s to close" % dialog_what, lambda: not (set(viewer.windows()) & dialog), STEP_SECONDS)

    question = popup_item(viewer, main, ["Down"], "the thumbnail's question box", r"^Confirm$")
    # The box must take the keys: Return answers it, not the window below.
    xdrive.wait_until("the question box to have the keyboard", lambda: xdrive.active_window() in question, STEP_SECONDS)
    if args.screenshots:
        xdrive.screenshot(os.path.join(work, "question.png"))
    xdrive.key("Return")
    xdrive.wait_until("the question box to close", lambda: not (set(viewer.windows()) & question), STEP_SECONDS)
    xdrive.wait_until("the thumbnail %s" % thumbnail, lambda: os.path.getsize(thumbnail) > 0 if os.path.exists(thumbnail) else False, STEP_SECONDS)


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--viewer", required=True)
    parser.add_argument("--sample-writer", required=True)
    parser.add_argument("--suppressions", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--screenshots", action="store_true")
    args = parser.parse_args()
    # File > Open takes a typed path from its own folder: paths are whole.
    args.work = os.path.abspath(args.work)
    shutil.rmtree(args.work, ignore_errors=True)
    sample = os.path.join(args.work, "sample")
    subprocess.run([args.sample_writer, "--out", sample], check=True, capture_output=True, timeout=120)
    ping = xdrive.XPing()
    wagon = os.path.join(sample, "wagon")
    # The popup of a mesh: Make Thumbnail, B-ground Colour, Mesh Data, ...
    # The Mesh Data panel has no title bar and keeps the program's name.
    mesh_data = (["Down"] * 3, "the Mesh Data dialog", r"^Kelvane$")
    check_run(args, ping, "wagon", os.path.join(wagon, "wagon.im"), mesh_data, wagon)
    # A traincar's popup has no Mesh Data; its last item is Adjust Track.
    loco = os.path.join(sample, "velmora", "userdata", "editing", "locomotive")
    check_run(args, ping, "traincar", loco, (["Up"], "the Adjust Track dialog", r"^Adjust Track$"), loco)


if __name__ == "__main__":
    main()
