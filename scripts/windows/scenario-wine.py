#!/usr/bin/env python3
"""The Windows installer and the installed ordix.exe under Wine, on a real X
server, driven by real keys.

    scenario-wine.py --setup ordix-X-setup.exe --demo demo/make_demo.py --out DIR

In a fresh Wine prefix (and a home folder of its own) it installs the
program silently into C:\\Ordix, checks what was installed (the programs, the
Qt DLLs and plug-ins, no test program, the Start-menu entry, the user's
working folder), puts the demo data and a user.ini into that working folder,
starts ordix.exe through its Start-menu shortcut and: answers the comparison
question, presses Enter on a row, types a quantity, saves with Ctrl+S
through the file dialog, and reads the saved order file. Then it uninstalls
silently and checks that the user's files stayed. Screenshots of each step
land in DIR.
"""

import argparse
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests"))
from scenario_xdisplay import Failure, QUESTION, QUANTITY, USER_INI, Scenario, read_order  # noqa: E402

MAIN = r"^ZOLT Ordix 3 :: "
SAVE_DIALOG = r"^Сохранить файл заказа$"


def wine(s, args, cwd=None, timeout=180):
    s.note("wine " + " ".join(args))
    result = subprocess.run(["wine"] + args, env=s.env, cwd=cwd, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=timeout)
    return result.returncode, result.stdout.decode("utf-8", "replace")


def wineserver_wait(s):
    subprocess.run(["wineserver", "-w"], env=s.env, timeout=300)


def scenario(s, setup, demo_script, tmp):
    home = os.path.join(tmp, "home")
    os.makedirs(home)
    s.env.update(WINEPREFIX=os.path.join(tmp, "prefix"), WINEDEBUG="-all", HOME=home,
                 WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="C.UTF-8")
    s.env.pop("QT_QPA_PLATFORM", None)
    s.env.pop("QT_PLUGIN_PATH", None)
    s.env.pop("WINEPATH", None)
    s.start_display()
    subprocess.run(["wineboot", "-i"], env=s.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
    wineserver_wait(s)

    started = time.monotonic()
    code, out = wine(s, [setup, "/S", r"/D=C:\Ordix"])
    wineserver_wait(s)
    s.note("installed in %.1f s (exit %d)" % (time.monotonic() - started, code))
    drive_c = os.path.join(s.env["WINEPREFIX"], "drive_c")
    target = os.path.join(drive_c, "Ordix")
    installed = sorted(os.path.relpath(os.path.join(d, f), target)
                       for d, _, files in os.walk(target) for f in files)
    s.note("installed files: " + ", ".join(installed))
    for wanted in ["ordix.exe", "ordix-cli.exe", "Qt6Core.dll", "Qt6Gui.dll", "Qt6Widgets.dll",
                   "Qt6PrintSupport.dll", "Qt6Network.dll", "plugins/platforms/qwindows.dll",
                   "plugins/platforms/qoffscreen.dll",
                   "translations/qtbase_ru.qm", "qt.conf", "readme.html", "ordix.ico", "uninstall.exe"]:
        if wanted not in installed:
            raise Failure("the installer did not install " + wanted)
    if any(os.path.basename(f).startswith("tst_") for f in installed):
        raise Failure("the installer installed a test program")
    # The offscreen platform is ordix-cli.exe's; ordix.exe takes Qt's default,
    # the Windows one: the window it shows on the X display below proves it.
    users = glob.glob(os.path.join(drive_c, "users", "*", "Documents", "Ordix"))
    if not users:
        raise Failure("the installer made no working folder Documents\\Ordix")
    work = users[0]
    links = glob.glob(os.path.join(drive_c, "users", "*", "AppData", "Roaming", "Microsoft", "Windows",
                                   "Start Menu", "Programs", "Ordix", "Ordix.lnk"))
    if not links:
        raise Failure("the installer made no Start-menu entry")

    # The buyer's files: the demo price list, its previous edition, the car
    # models and a user.ini that loads the list at start.
    subprocess.run([sys.executable, demo_script, work], check=True, stdout=subprocess.DEVNULL)
    with open(os.path.join(work, "user.ini"), "wb") as f:
        f.write("".join(line + "\r\n" for line in USER_INI).encode("cp1251"))
    before = set(os.listdir(work))

    # Started as the Start menu starts it: its shortcut, with the working
    # folder the installer gave it.
    log = open(os.path.join(s.out, "ordix.log"), "w")
    program = subprocess.Popen(["wine", "start", "/wait", "/unix", links[0]], env=s.env,
                               stdout=log, stderr=subprocess.STDOUT)
    s.procs.append(program)
    box = s.wait_window(QUESTION, 90, "comparison question")
    s.run(["xdotool", "windowactivate", "--sync", box], check=False)
    time.sleep(0.5)
    s.shot("compare-question")
    s.key("Return")  # "Да"
    s.wait_gone(QUESTION, 60)
    main = s.idle(quiet=1.5)
    s.shot("price-loaded")

    s.key("Down", "Down", "Return")
    dialog = s.wait_window(QUANTITY, 20, "quantity dialog")
    s.run(["xdotool", "windowactivate", "--sync", dialog], check=False)
    time.sleep(0.5)
    s.type("3")
    s.shot("quantity")
    s.key("Return")
    s.wait_gone(QUANTITY, 20)
    s.idle(quiet=1.0)
    s.shot("line-added")

    s.key("ctrl+s")
    dialog = s.wait_window(SAVE_DIALOG, 30, "the save dialog")
    s.run(["xdotool", "windowactivate", "--sync", dialog], check=False)
    time.sleep(1.0)
    s.shot("save-dialog")
    s.key("Return")  # the proposed name
    s.wait_gone(SAVE_DIALOG, 30)

    def saved():
        new = [n for n in set(os.listdir(work)) - before if n.lower().endswith(".txt")]
        return new if new else None
    names = s.poll(saved, 30, "no order file was saved in the working folder")
    time.sleep(1.0)
    s.idle(quiet=1.0)
    s.shot("saved")
    path = os.path.join(work, names[0])
    order = read_order(path)
    s.note("saved %s: %s" % (names[0], order))
    if len(order) != 1 or list(order.values())[0][1] != 3:
        raise Failure("the saved order is not the one line of 3 typed: %s" % order)
    with open(path, "rb") as f:
        data = f.read()
    if b"\r\n" not in data or data.replace(b"\r\n", b"").find(b"\n") >= 0:
        raise Failure("the order file does not end its lines with CR LF")
    data.decode("cp1251")

    # Closing the program: the order is saved, so nothing is asked.
    s.run(["xdotool", "windowactivate", "--sync", main], check=False)
    s.key("alt+F4")
    try:
        program.wait(60)
    except subprocess.TimeoutExpired:
        raise Failure("the program did not close on Alt+F4")

    code, out = wine(s, [r"C:\Ordix\uninstall.exe", "/S"])
    wineserver_wait(s)
    time.sleep(1.0)
    wineserver_wait(s)
    left = [os.path.join(d, f) for d, _, files in os.walk(target) for f in files] if os.path.isdir(target) else []
    if left:
        raise Failure("the uninstaller left files: %s" % left)
    if not os.path.isfile(path) or not os.path.isfile(os.path.join(work, "ZOLT.TXT")):
        raise Failure("the uninstaller removed the user's files")
    s.note("uninstalled; the user's files stayed")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--setup", required=True)
    parser.add_argument("--demo", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    for tool in ("Xvfb", "xdotool", "wine", "wineserver"):
        if not shutil.which(tool):
            print("missing: " + tool, file=sys.stderr)
            return 1
    shutil.rmtree(args.out, ignore_errors=True)
    os.makedirs(args.out)
    tmp = tempfile.mkdtemp(prefix="ordix-wine-")
    s = Scenario(args.out)
    try:
        scenario(s, os.path.abspath(args.setup), os.path.abspath(args.demo), tmp)
        s.note("PASS")
        return 0
    except (Failure, subprocess.TimeoutExpired) as error:
        s.shot("failure")
        s.note("FAIL: %s" % error)
        return 1
    finally:
        subprocess.run(["wineserver", "-k"], env=s.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        s.stop()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
