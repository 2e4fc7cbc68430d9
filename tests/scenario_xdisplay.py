#!/usr/bin/env python3
"""A buyer's first minutes with the built ordix on a real X server.

    scenario_xdisplay.py --ordix PATH --demo demo/make_demo.py --out DIR

Starts its own Xvfb (a free display) with the openbox window manager, writes
the demo data and a user.ini into a temporary folder, starts ordix there and
drives it with real X input (XTest through xdotool): the comparison question,
the keyboard on the price grid at once, incremental search by name and by
code with Enter and a quantity, the mouse wheel, adding, changing and
removing order lines, Ctrl+S with a name typed into the file dialog,
reopening the order, F9, and the export to a workbook. The results are read
from the files the program writes and from the window titles; a screenshot of
each step is kept in DIR. Exits 77 (skipped) when Xvfb or xdotool is missing.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
SCREEN_HEIGHT = 1024
MAIN = r"^ZOLT Ordix 3 :: "
QUESTION = r"^ZOLT Ordix 3$"
PROGRESS = r"^Please wait\.\.\.$"
QUANTITY = r"^Добавить в заказ$"
USER_INI = [
    "Customer=ООО Ромашка", "Discount=5.00", "UserWSL=1", "Pack=yes", "Delivery=no", "Payment=cash",
    "Addr=г. Энск, ул. Заводская, 1", "Phone=+7 000 000-00-00", "Contact=Иванов И. И.", "Bank=", "BIK=",
    "SettlementAccount=", "CorrespondentAccount=", "INN=", "", "URL=http://www.zolt.example/data/pricetxt.exe",
    "AutoLoadPrice=yes", "defaultDecimalSeparator=.", "defaultPriceSeparator=|", "ShowLegend=yes",
    "DefaultCurrency=р.",
]


class Failure(Exception):
    pass


class Scenario:
    platform = "xcb"

    def __init__(self, out_dir):
        self.out = out_dir
        self.env = dict(os.environ)
        self.procs = []
        self.shots = 0
        self.log = open(os.path.join(out_dir, "scenario.log"), "w", encoding="utf-8")

    # --- the X server ----------------------------------------------------
    def start_display(self):
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x%dx24" % SCREEN_HEIGHT, "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        self.procs.append(xvfb)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    break
                number += chunk
        if not number.strip():
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number.decode().strip()
        self.note("display " + self.env["DISPLAY"])
        if shutil.which("openbox"):
            wm = {"proc": None}

            def wm_running():
                # A window manager that gave up while the machine was busy
                # (its first connection refused) is started again.
                if wm["proc"] is None or wm["proc"].poll() is not None:
                    wm["proc"] = subprocess.Popen(["openbox", "--sm-disable"], env=self.env,
                                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                    self.procs.append(wm["proc"])
                return "window id" in self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False)

            self.poll(wm_running, 60, "openbox did not start")

    def stop(self):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                proc.terminate()
                try:
                    proc.wait(5)
                except subprocess.TimeoutExpired:
                    proc.kill()
        self.log.close()

    # --- helpers -----------------------------------------------------------
    def note(self, text):
        print(text, flush=True)
        self.log.write(text + "\n")
        self.log.flush()

    def run(self, args, check=True):
        result = subprocess.run(args, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        if check and result.returncode != 0:
            raise Failure("%s: %s" % (" ".join(args), result.stderr.strip()))
        return result.stdout

    def poll(self, test, timeout, message):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            value = test()
            if value:
                return value
            time.sleep(0.1)
        raise Failure(message)

    def windows(self, pattern):
        out = self.run(["xdotool", "search", "--onlyvisible", "--name", pattern], check=False)
        return [w for w in out.split() if w.strip()]

    def wait_window(self, pattern, timeout=20, what=None):
        found = self.poll(lambda: self.windows(pattern), timeout, "no window %s" % (what or pattern))
        return found[-1]

    def wait_gone(self, pattern, timeout=30):
        self.poll(lambda: not self.windows(pattern), timeout, "window %s stays open" % pattern)

    def idle(self, quiet=0.8):
        # No progress window for a while (an operation may show it several
        # times, and holds the user's input back meanwhile), and the main
        # window active again.
        end = time.monotonic() + 60
        calm_since = time.monotonic()
        while time.monotonic() - calm_since < quiet:
            if self.windows(PROGRESS) or self.windows(QUESTION):
                calm_since = time.monotonic()
            if time.monotonic() > end:
                raise Failure("the program stays busy")
            time.sleep(0.1)
        main = self.wait_window(MAIN)
        self.poll(lambda: self.active_window() == main, 10,
                  "the main window does not become active")
        time.sleep(0.3)  # let the window repaint before the screenshot
        return main

    def active_window(self):
        return self.run(["xdotool", "getactivewindow"], check=False).strip()

    def key(self, *keys):
        self.run(["xdotool", "key", "--delay", "60"] + list(keys))

    def type(self, text):
        self.run(["xdotool", "type", "--delay", "80", text])

    def shot(self, label):
        self.shots += 1
        path = os.path.join(self.out, "%02d-%s.png" % (self.shots, label))
        if shutil.which("import"):
            self.run(["import", "-window", "root", path], check=False)
        elif shutil.which("xwd"):
            self.run(["sh", "-c", "xwd -root -silent > '%s.xwd'" % path], check=False)
        self.note("step %d: %s" % (self.shots, label))

    def activate(self, window):
        self.run(["xdotool", "windowactivate", "--sync", window], check=False)

    def main_rect(self):
        # Left, top, width and height of the main window's inside.
        main = self.wait_window(MAIN)
        geometry = self.run(["xdotool", "getwindowgeometry", "--shell", main])
        g = dict(line.split("=") for line in geometry.split() if "=" in line)
        # The window is maximized: its foot is the screen's (the position that
        # xdotool reports counts the window manager's frame twice).
        left, width, height = int(g["X"]), int(g["WIDTH"]), int(g["HEIGHT"])
        return left, SCREEN_HEIGHT - height, width, height

    def click_at(self, x, y):
        self.run(["xdotool", "mousemove", str(x), str(y), "click", "1"])

    def wheel_at(self, x, y, notches):
        self.run(["xdotool", "mousemove", str(x), str(y)])
        self.run(["xdotool", "click", "--repeat", str(notches), "--delay", "50", "5"])

    def choose_in_menu(self, *keys):
        # The keys that walk an open menu; a screenshot before the last.
        self.key(*keys[:-1])
        time.sleep(0.3)
        self.shot("export-menu")
        self.key(keys[-1])

    def answer_quantity(self, quantity, label):
        dialog = self.wait_window(QUANTITY, 10, "quantity dialog (%s)" % label)
        self.activate(dialog)
        self.shot(label + "-quantity")
        self.type(str(quantity))
        self.key("Return")
        self.wait_gone(QUANTITY, 10)
        self.idle()

    def answer_questions(self, label, key="Return", timeout=3):
        # Answers each question box that appears within the timeout.
        answered = 0
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            boxes = self.windows(QUESTION)
            if boxes:
                self.activate(boxes[-1])
                self.shot("%s-question%d" % (label, answered + 1))
                self.key(key)
                self.poll(lambda: boxes[-1] not in self.windows(QUESTION), 10, "the question stays open")
                answered += 1
                end = time.monotonic() + timeout
            time.sleep(0.1)
        return answered

    def file_dialog(self, title, name):
        dialog = self.wait_window("^%s$" % re.escape(title), 10, "file dialog " + title)
        self.activate(dialog)
        time.sleep(0.3)
        self.key("ctrl+a")
        self.type(name)
        self.shot("file-" + os.path.splitext(name)[0])
        self.key("Return")
        self.wait_gone("^%s$" % re.escape(title), 10)


def read_order(path):
    with open(path, "rb") as f:
        lines = f.read().decode("cp1251").splitlines()
    start = lines.index("ЗАКАЗ:") + 1
    order = {}
    for line in lines[start:]:
        if line.strip():
            fields = line.split("|")
            order[fields[0]] = (fields[1], int(fields[4]))
    return order


def pick_code(price_path):
    # A code of the demo price list that is no other code's beginning, so
    # that typing it finds exactly that part.
    with open(price_path, "rb") as f:
        lines = f.read().decode("cp1251").splitlines()
    header = next(i for i, l in enumerate(lines) if "|Наименование|" in l)
    columns = lines[header].split("|")
    code_at, name_at = columns.index("Код"), columns.index("Наименование")
    rows = [l.split("|") for l in lines[header + 1:] if l.count("|") >= len(columns) - 1]
    codes = [r[code_at] for r in rows]
    for row in rows[len(rows) // 3:]:
        code = row[code_at]
        if not any(c != code and c.startswith(code) for c in codes):
            return code, row[name_at]
    raise Failure("no code to search for in the demo price list")


def scenario(s, ordix, demo_script, work, before_mouse=None):
    subprocess.run([sys.executable, demo_script, work], check=True, stdout=subprocess.DEVNULL)
    # The program keeps an unsaved order's recovery file in the user's data
    # folder: a folder of the run's own, so no earlier run's order is offered.
    s.env["XDG_DATA_HOME"] = os.path.join(work, "data")
    with open(os.path.join(work, "user.ini"), "wb") as f:
        f.write("".join(line + "\r\n" for line in USER_INI).encode("cp1251"))
    code, code_name = pick_code(os.path.join(work, "ZOLT.TXT"))

    s.start_display()
    env = dict(s.env, QT_QPA_PLATFORM=s.platform, LC_ALL="C.UTF-8")
    log = open(os.path.join(s.out, "ordix.log"), "w")
    program = subprocess.Popen([ordix], cwd=work, env=env, stdout=log, stderr=subprocess.STDOUT)
    s.procs.append(program)

    # The automatic load asks whether to compare with the previous edition.
    box = s.wait_window(QUESTION, 30, "comparison question")
    s.activate(box)
    s.shot("compare-question")
    s.key("Return")  # "Да"
    s.wait_gone(QUESTION)
    s.idle()
    s.shot("price-loaded")

    # The keyboard works on the grid at once: down three rows, Enter adds.
    s.key("Down", "Down", "Down", "Return")
    s.answer_quantity(2, "keyboard-add")

    # Incremental search by name, Enter, quantity.
    s.type("Ам")
    s.type("ор")
    time.sleep(0.3)
    s.shot("search-name")
    s.key("Return")
    s.answer_quantity(3, "search-name-add")

    # By code: one column to the left of the name.
    # Typed in two goes, as a slow hand does: the box stays between them
    # (a Wayland compositor hands the keyboard round in between).
    s.key("Left")
    s.type(code[:2])
    s.type(code[2:])
    time.sleep(0.3)
    s.shot("search-code")
    s.key("Return")
    s.answer_quantity(4, "search-code-add")

    # The wheel over the grid moves the current row; Enter adds that part.
    if before_mouse:
        before_mouse()
    left, top, width, height = s.main_rect()
    s.wheel_at(left + width // 2, top + height // 3, 6)
    time.sleep(0.3)
    s.shot("wheel")
    s.key("Return")
    s.answer_quantity(1, "wheel-add")

    # The order grid (150 pixels at the foot of the window, over the status
    # line): its first line is changed, its second removed.
    s.click_at(left + width // 2, top + height - 110)
    time.sleep(0.3)
    s.key("ctrl+Home")
    s.key("Return")
    s.answer_quantity(7, "change")
    s.key("Down", "Delete")
    s.answer_questions("remove")
    s.idle()
    s.shot("removed")

    # Ctrl+S: the file dialog, a typed name.
    s.key("ctrl+s")
    s.file_dialog("Сохранить файл заказа", "scenario.txt")
    s.idle()
    order_path = os.path.join(work, "scenario.txt")
    s.poll(lambda: os.path.exists(order_path), 10, "no order file written")
    saved = read_order(order_path)
    s.note("saved order: %r" % saved)
    if len(saved) != 3:
        raise Failure("the saved order has %d lines, expected 3" % len(saved))
    if code not in saved or saved[code][1] != 4:
        raise Failure("the part found by code %s (%s) is not ordered 4 times" % (code, code_name))
    if any(name.startswith("Амор") for name, _ in saved.values()):
        raise Failure("the removed line (found by name) is still in the order")
    if sorted(count for _, count in saved.values()) != [1, 4, 7]:
        raise Failure("quantities %r, expected 7 (changed), 4 and 1" % saved)
    s.shot("saved")

    # Reopen the order.
    s.key("ctrl+alt+o")
    s.answer_questions("reopen", timeout=1)
    s.file_dialog("Открыть файл заказа", "scenario.txt")
    s.idle()
    s.shot("reopened")

    # F9: coordinate the order with the price list.
    s.key("F9")
    if not s.answer_questions("coordinate"):
        raise Failure("F9 asked nothing")
    s.idle()
    s.shot("coordinated")

    # Export to a workbook: menu "Заказ", its last entry "Экспорт", the first
    # entry of that.
    s.note("window at %d,%d %dx%d" % (left, top, width, height))
    s.click_at(left + 257, top + 9)
    time.sleep(0.5)
    s.shot("menu")
    s.choose_in_menu("Up", "Right", "Return")
    s.file_dialog("Экспорт заказа в формате MS Excel", "scenario.xlsx")
    s.answer_questions("export", timeout=2)
    s.idle()
    workbook = os.path.join(work, "scenario.xlsx")
    s.poll(lambda: os.path.exists(workbook), 10, "no workbook written")
    s.shot("exported")
    try:
        import openpyxl
    except ImportError:
        s.note("python3-openpyxl missing: the workbook is not read")
        return
    sheet = openpyxl.load_workbook(workbook).active
    cells = [str(c.value) for row in sheet.iter_rows() for c in row if c.value is not None]
    if not any(code == c or c.startswith(code) for c in cells):
        raise Failure("the workbook does not list code %s" % code)
    s.note("workbook: %d cells, code %s listed" % (len(cells), code))
    if program.poll() is not None:
        raise Failure("ordix ended by itself (exit %s)" % program.returncode)


def main(run=None, prefix="ordix-scenario-"):
    # Other scenarios on a display of their own run through here too.
    run = run or scenario
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
    return run_reported(Scenario(args.out), args.out, prefix, lambda s, work: run(s, args.ordix, args.demo, work))


def run_reported(s, out, prefix, body):
    """Runs body(s, work) in a fresh work folder; notes how it ended, with a
    last screenshot on failure, and ends the session."""
    started = time.monotonic()
    work = tempfile.mkdtemp(prefix=prefix)
    try:
        body(s, work)
        s.note("passed in %.1f s; screenshots in %s" % (time.monotonic() - started, out))
        return 0
    except Failure as failure:
        try:
            s.shot("failure")
        except Exception:
            pass
        s.note("FAILED: %s (after %.1f s; screenshots in %s)" % (failure, time.monotonic() - started, out))
        return 1
    finally:
        s.stop()
        shutil.rmtree(work, ignore_errors=True)

if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
