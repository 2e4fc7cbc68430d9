#!/usr/bin/env python3
"""Two windows of the built ordix in one folder on a real X server.

    scenario_twowindows.py --ordix PATH --demo demo/make_demo.py --out DIR

Each window adds a part without saving; the first is killed with SIGKILL,
the second saves and is closed. The first, started again, is offered its own
lines only, restores and saves them. Real X input on its own Xvfb with
openbox (the helpers of scenario_xdisplay.py); screenshots land in DIR.
"""

import glob
import os
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scenario_xdisplay import USER_INI, Failure, main, read_order  # noqa: E402

MAIN, QUESTION, QUANTITY = r"^ZOLT Ordix 3 :: ", r"^ZOLT Ordix 3$", r"^Добавить в заказ$"


class Window:
    """One running ordix, its windows found by its process id."""

    def __init__(self, s, ordix, work, name):
        self.s, self.name = s, name
        env = dict(s.env, QT_QPA_PLATFORM="xcb", LC_ALL="C.UTF-8")
        self.proc = subprocess.Popen([ordix], cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        s.procs.append(self.proc)

    def find(self, title):
        out = self.s.run(["xdotool", "search", "--all", "--onlyvisible", "--pid", str(self.proc.pid), "--name", title],
                         check=False)
        return out.split()

    def answer(self, title, label, *keys):
        # Waits for the window, brings it up, shoots it, types, waits it away.
        window = self.s.poll(lambda: self.find(title), 30, "%s: no window %s" % (self.name, label))[-1]
        self.s.run(["xdotool", "windowactivate", "--sync", window], check=False)
        time.sleep(0.4)
        self.s.shot("%s-%s" % (self.name, label))
        for key in keys:
            self.s.run(["xdotool", "type", "--delay", "60", key[1:]] if key.startswith("=") else ["xdotool", "key", key])
        self.s.poll(lambda: window not in self.find(title), 10, "%s: %s stays open" % (self.name, label))

    def main_keys(self, *keys):
        window = self.s.poll(lambda: self.find(MAIN), 30, "%s: no main window" % self.name)[-1]
        self.s.run(["xdotool", "windowactivate", "--sync", window], check=False)
        time.sleep(0.4)
        self.s.run(["xdotool", "key", "--delay", "60"] + list(keys))

    def add(self, downs, quantity):
        self.main_keys(*(["Down"] * downs + ["Return"]))
        self.answer(QUANTITY, "quantity", "=%d" % quantity, "Return")

    def save(self, name):
        self.main_keys("ctrl+s")
        self.answer(r"^Сохранить файл заказа$", "save", "ctrl+a", "=" + name, "Return")


def scenario(s, ordix, demo_script, work):
    subprocess.run([sys.executable, demo_script, work], check=True, stdout=subprocess.DEVNULL)
    data = s.env["XDG_DATA_HOME"] = os.path.join(work, "data")
    with open(os.path.join(work, "user.ini"), "wb") as f:
        f.write("".join(line + "\r\n" for line in USER_INI).encode("cp1251"))
    files = lambda pid="": glob.glob(os.path.join(data, "**", "recovery", "order-%s*.txt" % pid), recursive=True)
    s.start_display()

    a = Window(s, ordix, work, "A")
    a.answer(QUESTION, "compare", "Return")
    a.add(3, 2)
    own = s.poll(lambda: files(a.proc.pid), 10, "A wrote no recovery file")[0]
    b = Window(s, ordix, work, "B")
    b.answer(QUESTION, "compare", "Return")
    time.sleep(1.5)
    if b.find(QUESTION):
        raise Failure("B was offered something while A runs")
    b.add(6, 3)
    s.poll(lambda: files(b.proc.pid), 10, "B wrote no recovery file")
    a.proc.send_signal(signal.SIGKILL)
    a.proc.wait(10)

    b.save("b.txt")
    s.poll(lambda: not files(b.proc.pid), 10, "B's recovery file stays after saving")
    b.main_keys("alt+F4")
    b.proc.wait(20)
    if not os.path.exists(own):
        raise Failure("A's recovery file went with B")
    b_order = read_order(os.path.join(work, "b.txt"))

    a2 = Window(s, ordix, work, "A2")
    a2.answer(QUESTION, "compare", "Return")
    a2.answer(QUESTION, "recovery", "Return")
    a2.save("a.txt")
    s.poll(lambda: os.path.exists(os.path.join(work, "a.txt")), 10, "A wrote no order")
    a_order = read_order(os.path.join(work, "a.txt"))
    s.note("B saved %r; A restored and saved %r" % (b_order, a_order))
    if sorted(count for _, count in a_order.values()) != [2] or set(a_order) & set(b_order):
        raise Failure("A's restored order %r is not its own line of 2" % a_order)
    s.poll(lambda: not files(), 10, "a recovery file stays")
    s.shot("A2-saved")
    a2.main_keys("alt+F4")
    a2.proc.wait(20)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main(scenario, "ordix-twowindows-"))
