#!/usr/bin/env python3
"""The buyer's first minutes of scenario_xdisplay.py on a Wayland compositor.

    scenario_wayland.py --ordix PATH --demo demo/make_demo.py --pointer PATH --out DIR

Runs inside the session of scripts/wayland-session.sh (sway, headless, no
input devices): the program runs on Qt's wayland platform, the keyboard is
the virtual keyboard of wtype, the pointer our ordix-virtual-pointer on the
virtual-pointer protocol, windows are found in sway's tree and the
screenshots are taken with grim. The keyboard part comes first, before any
pointer exists, as a desktop without a mouse has it; the pointer device is
made for the wheel, the clicks and the menus. Exits 77 (skipped) when the
session or one of the tools is missing.
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scenario_xdisplay as x  # noqa: E402

# wtype's names of the modifiers that xdotool writes in a key chord.
MODIFIERS = {"ctrl": "ctrl", "alt": "alt", "shift": "shift", "super": "logo"}


class WaylandScenario(x.Scenario):
    platform = "wayland"

    def __init__(self, out_dir, pointer_program):
        super().__init__(out_dir)
        self.pointer_program = pointer_program
        self.pointer = None

    def start_display(self):
        self.note("Wayland display %s" % self.env.get("WAYLAND_DISPLAY"))

    def start_pointer(self):
        # The seat has a pointer from here on.
        self.pointer = subprocess.Popen([self.pointer_program], env=self.env, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        self.procs.append(self.pointer)
        self.pointer_do("sleep 200")

    def pointer_do(self, command):
        self.pointer.stdin.write(command + "\n")
        self.pointer.stdin.flush()
        answer = self.pointer.stdout.readline().strip()
        if answer != "ok":
            raise x.Failure("pointer: %s" % (answer or "ended"))

    def stop(self):
        if self.pointer and self.pointer.poll() is None:
            self.pointer.stdin.close()
        super().stop()

    # --- windows from sway's tree -----------------------------------------
    def tree_windows(self):
        tree = json.loads(self.run(["swaymsg", "-t", "get_tree", "--raw"]))
        found = []

        def walk(node):
            if node.get("pid") and node.get("name") is not None and node.get("visible", True):
                found.append(node)
            for child in node.get("nodes", []) + node.get("floating_nodes", []):
                walk(child)
        walk(tree)
        return found

    def windows(self, pattern):
        return [str(n["id"]) for n in self.tree_windows() if re.search(pattern, n["name"] or "")]

    def active_window(self):
        for n in self.tree_windows():
            if n.get("focused"):
                return str(n["id"])
        return ""

    def activate(self, window):
        self.run(["swaymsg", "[con_id=%s] focus" % window], check=False)
        self.poll(lambda: self.active_window() == window, 5, "window %s does not take the keyboard" % window)

    def main_rect(self):
        main = self.wait_window(x.MAIN)
        node = next(n for n in self.tree_windows() if str(n["id"]) == main)
        rect, inner = node["rect"], node["window_rect"]
        return rect["x"] + inner["x"], rect["y"] + inner["y"], inner["width"], inner["height"]

    # --- input --------------------------------------------------------------
    # Each wtype call makes a new virtual keyboard; the compositor's switch to
    # its keymap swallows a key sent at once, hence the pause before the first.
    def key(self, *keys):
        args = ["wtype", "-s", "150"]
        for chord in keys:
            parts = chord.split("+")
            mods = [MODIFIERS[p.lower()] for p in parts[:-1]]
            for m in mods:
                args += ["-M", m]
            args += ["-k", parts[-1], "-s", "60"]
            for m in reversed(mods):
                args += ["-m", m]
        self.run(args)

    def type(self, text):
        self.run(["wtype", "-s", "150", "-d", "80", text])

    def choose_in_menu(self, *keys):
        # One call: the virtual keyboard that a call makes and ends with it
        # would take the open menu's keyboard grab away between two calls.
        self.key(*keys)

    def click_at(self, x_, y_):
        self.pointer_do("move %d %d" % (x_, y_))
        self.pointer_do("click 1")

    def wheel_at(self, x_, y_, notches):
        self.pointer_do("move %d %d" % (x_, y_))
        self.pointer_do("wheel %d" % notches)

    def shot(self, label):
        self.shots += 1
        path = os.path.join(self.out, "%02d-%s.png" % (self.shots, label))
        self.run(["grim", path], check=False)
        self.note("step %d: %s" % (self.shots, label))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ordix", required=True)
    parser.add_argument("--demo", required=True)
    parser.add_argument("--pointer", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    args.ordix, args.demo, args.pointer, args.out = (
        os.path.abspath(p) for p in (args.ordix, args.demo, args.pointer, args.out))
    if not os.environ.get("WAYLAND_DISPLAY") or not os.environ.get("SWAYSOCK"):
        print("no Wayland session (run under scripts/wayland-session.sh): skipped")
        return x.SKIP
    for tool in ("swaymsg", "wtype", "grim"):
        if not shutil.which(tool):
            print("%s is not installed: skipped" % tool)
            return x.SKIP
    os.makedirs(args.out, exist_ok=True)
    for old in os.listdir(args.out):
        os.remove(os.path.join(args.out, old))
    s = WaylandScenario(args.out, args.pointer)
    return x.run_reported(s, args.out, "ordix-scenario-",
                          lambda s, work: x.scenario(s, args.ordix, args.demo, work, before_mouse=s.start_pointer))

if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
