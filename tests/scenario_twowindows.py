#!/usr/bin/env python3
"""Two windows of the built ordix on a real X server, one killed.

    scenario_twowindows.py --ordix PATH --demo demo/make_demo.py --out DIR

In one folder two windows each add a part without saving; the first is
killed with SIGKILL, the second saves its order and is closed. The first is
started again: it is offered its own lines (not the second's), restores them
and saves them. Driven by real X input on its own Xvfb with openbox (the
helpers of scenario_xdisplay.py); a screenshot of each step lands in DIR.
Exits 77 (skipped) when Xvfb or xdotool is missing.
"""

import argparse
import glob
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scenario_xdisplay import SKIP, USER_INI, Failure, Scenario, read_order  # noqa: E402

MAIN = r"^ZOLT Ordix 3 :: "
QUESTION = r"^ZOLT Ordix 3$"
QUANTITY = r"^Добавить в заказ$"


class Window:
    """One running ordix and its windows, found by its process id."""

    def __init__(self, s, ordix, work, env, name):
        self.s, self.name = s, name
        self.log = open(os.path.join(s.out, "ordix-%s.log" % name), "w")
        self.proc = subprocess.Popen([ordix], cwd=work, env=env, stdout=self.log, stderr=subprocess.STDOUT)
        s.procs.append(self.proc)

    def find(self, pattern):
        out = self.s.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.proc.pid), "--name", pattern],
                         check=False)
        return [w for w in out.split() if w.strip()]

    def wait(self, pattern, timeout=30, what=None):
        return self.s.poll(lambda: self.find(pattern), timeout, "%s: no window %s" % (self.name, what or pattern))[-1]

    def activate(self, window):
        self.s.run(["xdotool", "windowactivate", "--sync", window], check=False)
        time.sleep(0.4)

    def question(self, label, key="Return", timeout=30):
        box = self.wait(QUESTION, timeout, label)
        self.activate(box)
        text = self.s.run(["xdotool", "getwindowname", box], check=False).strip()
        self.s.shot("%s-%s" % (self.name, label))
        self.s.key(key)
        self.s.poll(lambda: box not in self.find(QUESTION), 10, "%s: the question stays open" % self.name)
        return text

    def main(self):
        window = self.wait(MAIN)
        self.activate(window)
        return window

    def add(self, downs, quantity, label):
        self.main()
        self.s.key(*(["Down"] * downs + ["Return"]))
        dialog = self.wait(QUANTITY, 10, "quantity dialog")
        self.activate(dialog)
        self.s.type(str(quantity))
        self.s.key("Return")
        self.s.poll(lambda: not self.find(QUANTITY), 10, "%s: the quantity dialog stays" % self.name)
        time.sleep(0.5)
        self.s.shot("%s-%s" % (self.name, label))

    def save(self, name):
        self.main()
        self.s.key("ctrl+s")
        title = r"^Сохранить файл заказа$"
        dialog = self.s.poll(lambda: self.find(title), 10, "%s: no save dialog" % self.name)[-1]
        self.activate(dialog)
        self.s.key("ctrl+a")
        self.s.type(name)
        self.s.shot("%s-save-%s" % (self.name, os.path.splitext(name)[0]))
        self.s.key("Return")
        self.s.poll(lambda: not self.find(title), 10, "%s: the save dialog stays" % self.name)


def recovery_files(data, pid=None):
    pattern = "order-%d-*.txt" % pid if pid else "order*.txt"
    return sorted(glob.glob(os.path.join(data, "**", "recovery", pattern), recursive=True))


def scenario(s, ordix, demo_script, work):
    subprocess.run([sys.executable, demo_script, work], check=True, stdout=subprocess.DEVNULL)
    data = os.path.join(work, "data")
    s.env["XDG_DATA_HOME"] = data
    with open(os.path.join(work, "user.ini"), "wb") as f:
        f.write("".join(line + "\r\n" for line in USER_INI).encode("cp1251"))
    s.start_display()
    env = dict(s.env, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")

    # Window A: the price list, one part ordered 2 times, not saved.
    a = Window(s, ordix, work, env, "A")
    a.question("compare")
    a.add(3, 2, "added")
    s.poll(lambda: recovery_files(data, a.proc.pid), 10, "A wrote no recovery file")

    # Window B in the same folder: nothing offered (A runs), another part.
    b = Window(s, ordix, work, env, "B")
    b.question("compare")
    b.main()
    time.sleep(1.5)
    if b.find(QUESTION):
        raise Failure("B was offered something while A runs")
    b.add(6, 3, "added")
    s.poll(lambda: recovery_files(data, b.proc.pid), 10, "B wrote no recovery file")
    s.shot("both-windows")

    a_file = recovery_files(data, a.proc.pid)[0]
    a.proc.send_signal(signal.SIGKILL)
    a.proc.wait(10)
    s.note("A killed; its recovery file %s stays" % os.path.basename(a_file))

    # B saves and closes: only its own file goes.
    b.save("b.txt")
    s.poll(lambda: os.path.exists(os.path.join(work, "b.txt")), 10, "B wrote no order")
    s.poll(lambda: not recovery_files(data, b.proc.pid), 10, "B's recovery file stays after saving")
    b.main()
    s.key("alt+F4")
    b.proc.wait(20)
    if not os.path.exists(a_file):
        raise Failure("A's recovery file went with B")
    b_order = read_order(os.path.join(work, "b.txt"))
    s.note("B's order: %r" % b_order)

    # A again: offered its own two pieces, Да restores them, Ctrl+S saves.
    a2 = Window(s, ordix, work, env, "A2")
    a2.question("compare")
    box = a2.wait(QUESTION, 30, "recovery question")
    a2.activate(box)
    s.shot("A2-recovery-question")
    s.key("Return")
    s.poll(lambda: not a2.find(QUESTION), 10, "the recovery question stays")
    time.sleep(1)
    s.shot("A2-restored")
    a2.save("a.txt")
    a_path = os.path.join(work, "a.txt")
    s.poll(lambda: os.path.exists(a_path), 10, "A wrote no order")
    a_order = read_order(a_path)
    s.note("A's restored order: %r" % a_order)
    if sorted(count for _, count in a_order.values()) != [2]:
        raise Failure("A's restored order %r is not its one line of 2" % a_order)
    if set(a_order) & set(b_order):
        raise Failure("A's order holds B's part")
    s.poll(lambda: not os.path.exists(a_file), 10, "the restored recovery file stays")
    s.shot("A2-saved")
    a2.main()
    s.key("alt+F4")
    a2.proc.wait(20)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ordix", required=True)
    parser.add_argument("--demo", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    args.ordix, args.demo, args.out = (os.path.abspath(p) for p in (args.ordix, args.demo, args.out))
    for tool in ("Xvfb", "xdotool"):
        if not shutil.which(tool):
            print("%s is not installed: skipped" % tool)
            return SKIP
    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    os.makedirs(args.out)
    s = Scenario(args.out)
    started = time.monotonic()
    work = tempfile.mkdtemp(prefix="ordix-twowindows-")
    try:
        scenario(s, args.ordix, args.demo, work)
        s.note("passed in %.1f s; screenshots in %s" % (time.monotonic() - started, args.out))
        return 0
    except Failure as failure:
        try:
            s.shot("failure")
        except Exception:
            pass
        s.note("FAILED: %s (after %.1f s; screenshots in %s)" % (failure, time.monotonic() - started, args.out))
        return 1
    finally:
        s.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
