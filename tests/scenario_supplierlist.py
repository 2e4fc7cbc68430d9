#!/usr/bin/env python3
"""Another supplier's workbook, from the first look to a re-priced order, on a
real X server.

    scenario_supplierlist.py --ordix PATH --out DIR

Starts its own Xvfb with openbox (the helpers of scenario_xdisplay.py) and,
in a temporary folder, writes a user.ini that loads no list at start and a
supplier's workbook sever-1.xlsx: title rows, a header, group rows and parts
with part numbers and makers but no codes. With real X input it opens the
workbook through the open dialog, names the supplier in "Столбцы
прайс-листа" (the layout lands in ORDIX_LAYOUT_DIR), orders two parts (one
found by part number in the search field, one by name in the grid) and
saves the order: its lines keep part number and maker with an empty code.
Then it opens the supplier's next edition sever-2.xlsx, which must load with
no layout question, re-prices the order with F9 and exports it to a workbook
whose prices must be the new edition's. Every wait polls window titles or
files; a screenshot of each step is kept in DIR. Exits 77 (skipped) when
Xvfb, xdotool or the system Python's openpyxl is missing.
"""

import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from scenario_xdisplay import (MAIN, QUESTION, QUANTITY, SKIP, USER_INI, Failure,  # noqa: E402
                               Scenario, run_reported)

# openpyxl comes with Debian's python3-openpyxl: the system's Python, not one
# that a version manager put first on PATH.
SYSTEM_PYTHON = "/usr/bin/python3"
LAYOUT = r"^Столбцы прайс-листа$"
OPEN_PRICE = "Открыть файл прайс-листа"
SAVE_ORDER = "Сохранить файл заказа"
OPEN_ORDER = "Открыть файл заказа"
EXPORT = "Экспорт заказа в формате MS Excel"
# Latin letters: xdotool types other scripts through a remapped key, which
# drops letters on a loaded machine.
SUPPLIER = "Sever Auto"
TIMEOUT = 60  # the longest wait for one window or file, on a loaded machine

HEADER = ["Артикул", "Номенклатура", "Производитель", "Цена, руб.", "Кратность"]
# Groups and parts: part number, name, maker, price of the first edition,
# price of the second, pack.
LIST = [
    "Тормозная система",
    ("2101-3501090", "Колодки тормозные передние", "ВАЗ", 1234.50, 1290.00, 2),
    ("0986494563", "Диск тормозной вентилируемый", "BOSCH", 2890.00, 2990.00, 2),
    ("GDB1550", "Колодки тормозные задние", "TRW", 1980.00, 1980.00, 1),
    ("21080-3505010", "Цилиндр тормозной главный", "ВАЗ", 1450.00, 1520.00, 1),
    "Фильтры",
    ("0986452041", "Фильтр масляный", "BOSCH", 310.00, 325.00, 1),
    ("W 914/2", "Фильтр масляный", "MANN", 355.00, 370.00, 1),
    ("C 2433/2", "Фильтр воздушный", "MANN", 640.00, 655.00, 1),
    ("LAF 143", "Фильтр воздушный", "LYNXauto", 420.00, 420.00, 1),
    "Зажигание и привод",
    ("BKR6E", "Свеча зажигания", "NGK", 210.00, 231.00, 4),
    ("FR7DC+", "Свеча зажигания", "BOSCH", 185.00, 199.00, 4),
    ("2112-3705110", "Катушка зажигания", "ВАЗ", 1890.00, 1950.00, 1),
    ("6PK1070", "Ремень поликлиновой", "GATES", 890.00, 979.00, 1),
]
PARTS = {row[0]: row for row in LIST if isinstance(row, tuple)}
# What the buyer orders: by part number in the search field, by name in the
# grid's own look-up.
BY_NUMBER, BY_NAME = ("BKR6E", 8), ("6PK1070", 2)


# --- the workbooks (run by the system's Python) ------------------------------
def write_list(path, edition):
    import openpyxl
    from openpyxl.styles import Font
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Прайс"
    sheet.append(["Прайс-лист ООО «Север» — автозапчасти оптом"])
    sheet.append(["Цены на %s, с НДС" % ("01.06.2025" if edition == 1 else "01.07.2025")])
    sheet.append([])
    sheet.append(HEADER)
    for cell in sheet[4]:
        cell.font = Font(bold=True)
    for row in LIST:
        if isinstance(row, str):
            sheet.append([None, row])
            sheet.cell(sheet.max_row, 2).font = Font(bold=True)
            continue
        number, name, maker, first, second, pack = row
        sheet.append([number, name, maker, first if edition == 1 else second, pack])
        sheet.cell(sheet.max_row, 1).number_format = "@"
        sheet.cell(sheet.max_row, 4).number_format = "#,##0.00"
    sheet.append([])
    sheet.append([None, "Итого позиций: %d" % len(PARTS)])
    for letter, width in zip("ABCDE", (16, 34, 16, 12, 10)):
        sheet.column_dimensions[letter].width = width
    book.save(path)


def read_export(path):
    # Every row of the exported order as its cells' texts.
    import openpyxl
    sheet = openpyxl.load_workbook(path).active
    return [["" if c.value is None else str(c.value) for c in row] for row in sheet.iter_rows()]


def system_python(*args):
    result = subprocess.run([SYSTEM_PYTHON, os.path.abspath(__file__)] + list(args),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise Failure("%s %s: %s" % (SYSTEM_PYTHON, " ".join(args), result.stderr.strip()))
    return result.stdout


# --- the program's order file --------------------------------------------------
def read_order_lines(path):
    with open(path, "rb") as f:
        lines = f.read().decode("cp1251").splitlines()
    start = lines.index("ЗАКАЗ:") + 1
    return [line.split("|") for line in lines[start:] if line.strip()]


def check_order_file(path, what):
    lines = read_order_lines(path)
    by_part = {fields[2]: fields for fields in lines if len(fields) >= 5}
    expected = {number: count for number, count in (BY_NUMBER, BY_NAME)}
    if len(lines) != 2 or set(by_part) != set(expected):
        raise Failure("%s: the order file holds %r, expected the parts %s" % (what, lines, sorted(expected)))
    for number, count in expected.items():
        code, name, part, maker, ordered = by_part[number][:5]
        wanted = PARTS[number]
        if code != "":
            raise Failure("%s: line %r carries the code %r; a supplier without codes keeps it empty"
                          % (what, by_part[number], code))
        if (name, maker, int(ordered)) != (wanted[1], wanted[2], count):
            raise Failure("%s: line %r, expected |%s|%s|%s|%d" % (what, by_part[number], wanted[1], number,
                                                                wanted[2], count))
    return lines


# --- the scenario ---------------------------------------------------------------
class ListScenario(Scenario):
    def __init__(self, out_dir):
        super().__init__(out_dir)
        self.program = None
        self.layout_seen = False

    def titles(self):
        # The visible windows' titles, for the log.
        names = []
        for window in self.windows("."):
            name = self.run(["xdotool", "getwindowname", window], check=False).strip()
            if name:
                names.append(name)
        return names

    def alive(self):
        if self.program.poll() is not None:
            raise Failure("ordix ended by itself (exit %s)" % self.program.returncode)

    def wait_for(self, test, message, timeout=TIMEOUT):
        def check():
            self.alive()
            return test()
        try:
            return self.poll(check, timeout, message)
        except Failure:
            self.note("windows: %r" % self.titles())
            raise

    def settle(self):
        # The program's own waits are over: no progress or question window
        # for a while and the main window active; then a moment for the paint.
        self.alive()
        return self.idle(quiet=1.0)

    def front(self, pattern, what):
        window = self.wait_for(lambda: self.windows(pattern), "no window " + what)[-1]
        self.activate(window)
        self.wait_for(lambda: self.active_window() == window, what + " does not become active")
        return window

    def type_file(self, title, name):
        # The Qt file dialog: its name field has the focus; the name is typed
        # over whatever it proposes.
        pattern = "^%s$" % re.escape(title)
        self.front(pattern, "file dialog " + title)
        time.sleep(0.3)  # as scenario_xdisplay.py: the dialog's first paint
        self.key("ctrl+a")
        self.type(name)
        self.shot("file-" + os.path.splitext(name)[0])
        self.key("Return")
        self.wait_for(lambda: not self.windows(pattern), "file dialog %s stays open" % title)

    def open_list(self, name):
        main = self.front(MAIN, "main window")
        self.key("ctrl+o")
        self.type_file(OPEN_PRICE, name)
        return main

    def answer_no_until_idle(self, label, expect=None):
        # Each question that comes is answered No (Escape) until the program
        # is calm; a layout dialog is noted, never answered here. With
        # `expect`, a question (or the layout dialog) must come first, however
        # long the program takes to get there.
        if expect:
            self.wait_for(lambda: self.windows(QUESTION) or self.windows(LAYOUT), expect)
        answered = 0
        calm_since = time.monotonic()
        end = time.monotonic() + TIMEOUT
        while time.monotonic() - calm_since < 1.5:
            self.alive()
            if self.windows(LAYOUT):
                self.layout_seen = True
                return answered
            boxes = self.windows(QUESTION)
            if boxes:
                self.activate(boxes[-1])
                self.wait_for(lambda: self.active_window() == boxes[-1], "the question does not become active")
                time.sleep(0.3)  # the screenshot only
                self.shot("%s-question%d" % (label, answered + 1))
                self.key("Escape")
                self.wait_for(lambda: boxes[-1] not in self.windows(QUESTION), "the question stays open")
                answered += 1
                calm_since = time.monotonic()
            elif self.windows(r"^Please wait\.\.\.$"):
                calm_since = time.monotonic()
            if time.monotonic() > end:
                raise Failure("%s: the program stays busy" % label)
            time.sleep(0.1)
        return answered

    def add_quantity(self, quantity, label):
        self.front(QUANTITY, "quantity dialog (%s)" % label)
        time.sleep(0.3)  # the screenshot only
        self.shot(label + "-quantity")
        self.type(str(quantity))
        self.key("Return")
        self.wait_for(lambda: not self.windows(QUANTITY), "the quantity dialog stays open")
        self.settle()

    def program_windows(self):
        out = self.run(["xdotool", "search", "--onlyvisible", "--pid", str(self.program.pid), "--name", ""],
                       check=False)
        return set(out.split())

    def export(self, name):
        # Menu "Заказ", its last entry "Экспорт", the first entry of that
        # (as scenario_xdisplay.py reaches it); the menu is a window of its own.
        left, top, _, _ = self.main_rect()
        before = self.program_windows()
        self.click_at(left + 257, top + 9)
        self.wait_for(lambda: self.program_windows() - before, "the menu «Заказ» does not open", 20)
        time.sleep(0.3)  # the screenshot only
        self.shot("order-menu")
        self.key("Up", "Right", "Return")
        self.type_file(EXPORT, name)
        self.answer_no_until_idle("export")
        self.settle()


def scenario(s, ordix, work):
    layouts = os.path.join(work, "layouts")
    s.env["XDG_DATA_HOME"] = os.path.join(work, "data")
    with open(os.path.join(work, "user.ini"), "wb") as f:
        ini = ["AutoLoadPrice=no" if line.startswith("AutoLoadPrice=") else line for line in USER_INI]
        f.write("".join(line + "\r\n" for line in ini).encode("cp1251"))
    system_python("--write-list", os.path.join(work, "sever-1.xlsx"), "1")

    s.start_display()
    env = dict(s.env, QT_QPA_PLATFORM=s.platform, LC_ALL="C.UTF-8", ORDIX_LAYOUT_DIR=layouts)
    log = open(os.path.join(s.out, "ordix.log"), "w")
    s.program = subprocess.Popen([ordix], cwd=work, env=env, stdout=log, stderr=subprocess.STDOUT)
    s.procs.append(s.program)
    s.wait_for(lambda: s.windows(MAIN), "no main window")
    if s.answer_no_until_idle("start"):
        raise Failure("a question at start although no list loads by itself")
    s.settle()
    s.shot("started")

    # The first edition: the open dialog, then the layout dialog.
    s.open_list("sever-1.xlsx")
    dialog = s.front(LAYOUT, "«Столбцы прайс-листа» for the first list")
    time.sleep(0.5)  # the screenshot only
    s.shot("layout-dialog")
    s.key("ctrl+a")  # the supplier's name field has the focus
    s.type(SUPPLIER)
    time.sleep(0.3)  # the screenshot only
    s.shot("layout-named")
    s.key("Return")  # "Загрузить"
    s.wait_for(lambda: dialog not in s.windows(LAYOUT), "the layout dialog stays open")
    saved = s.wait_for(lambda: [n for n in os.listdir(layouts) if n.endswith(".json")] if os.path.isdir(layouts)
                       else [], "no layout saved in " + layouts)
    keep(s, os.path.join(layouts, saved[0]), "layout.json")
    with open(os.path.join(layouts, saved[0]), encoding="utf-8") as f:
        layout = json.load(f)
    s.note("layout %s: %s" % (saved[0], json.dumps(layout, ensure_ascii=False)[:400]))
    if SUPPLIER not in json.dumps(layout, ensure_ascii=False):
        raise Failure("the saved layout %s does not carry the supplier's name" % saved[0])
    # A list loaded from the dialog is followed by the offer to compare it
    # with an older one: the load is over once it shows.
    questions = s.answer_no_until_idle("list1", "no comparison offer after the first list loaded")
    if s.layout_seen:
        raise Failure("the layout dialog came back after it was confirmed")
    s.note("first list: %d question(s) answered No" % questions)
    s.settle()
    s.shot("list1-loaded")

    # A part by its number in the search field (Ctrl+K): Enter moves to the
    # first hit, Enter there adds it.
    s.key("ctrl+k")
    s.type(BY_NUMBER[0])
    time.sleep(0.5)  # the screenshot only
    s.shot("search-number")
    s.key("Return", "Return")
    s.add_quantity(BY_NUMBER[1], "number-add")
    s.key("Escape")  # the search ends, the whole list shows again

    # A part by its name, typed on the grid.
    s.type(PARTS[BY_NAME[0]][1][:6])
    time.sleep(0.5)  # the screenshot only
    s.shot("lookup-name")
    s.key("Return")
    s.add_quantity(BY_NAME[1], "name-add")
    s.shot("ordered")

    # Ctrl+S with a typed name.
    order_path = os.path.join(work, "sever-order.txt")
    s.key("ctrl+s")
    s.type_file(SAVE_ORDER, "sever-order.txt")
    s.wait_for(lambda: os.path.exists(order_path), "no order file written")
    s.settle()
    keep(s, order_path, "order-list1.txt")
    s.note("saved order: %r" % check_order_file(order_path, "saved order"))
    s.shot("order-saved")

    # The next edition: no layout question, whatever else is asked.
    system_python("--write-list", os.path.join(work, "sever-2.xlsx"), "2")
    s.open_list("sever-2.xlsx")
    questions = s.answer_no_until_idle("list2", "neither the layout dialog nor the comparison offer after the "
                                                "next edition was chosen")
    if s.layout_seen:
        s.shot("list2-layout-dialog")
        raise Failure("«Столбцы прайс-листа» was asked again for the supplier's next edition")
    s.note("second list: %d question(s) answered No" % questions)
    s.settle()
    s.shot("list2-loaded")

    # The order, kept open, is saved as it stands with the new list and
    # opened again from its file: part numbers and makers find its parts.
    s.key("ctrl+s")
    s.answer_no_until_idle("save-list2")
    s.settle()
    keep(s, order_path, "order-list2.txt")
    check_order_file(order_path, "order saved with the next edition loaded")
    s.key("ctrl+alt+o")
    s.answer_no_until_idle("reopen")
    s.type_file(OPEN_ORDER, "sever-order.txt")
    s.answer_no_until_idle("reopen")
    s.settle()
    s.shot("order-reopened")

    # F9 re-prices the order with the new edition.
    s.key("F9")
    box = s.front(QUESTION, "the question of F9")
    time.sleep(0.3)  # the screenshot only
    s.shot("coordinate-question")
    s.key("Return")  # "Да"
    s.wait_for(lambda: box not in s.windows(QUESTION), "the question of F9 stays open")
    if s.answer_no_until_idle("coordinate"):
        raise Failure("F9 reported something: a part of the order was not found in the next edition")
    s.settle()
    s.shot("repriced")

    # The re-priced order, exported: each line at the new edition's price.
    workbook = os.path.join(work, "sever-order.xlsx")
    s.export("sever-order.xlsx")
    s.wait_for(lambda: os.path.exists(workbook), "no workbook exported")
    keep(s, workbook, "sever-order.xlsx")
    rows = json.loads(system_python("--read-export", workbook))
    check_export(s, rows)
    s.shot("exported")

    # Saved again: still part numbers and makers, no code.
    s.key("ctrl+s")
    s.answer_no_until_idle("save2")
    s.settle()
    keep(s, order_path, "order-repriced.txt")
    check_order_file(order_path, "order saved after F9")
    s.alive()


def keep(s, path, name):
    # A copy of a file the program wrote, beside the screenshots.
    shutil.copyfile(path, os.path.join(s.out, name))


def amounts(cells):
    # Amounts as the grid shows them: "1 848.00 р.".
    numbers = []
    for cell in cells:
        amount = re.fullmatch(r"(\d[\d \xa0]*(?:[.,]\d+)?)\s*(?:р\.)?", cell.strip())
        if amount:
            numbers.append(float(re.sub(r"[ \xa0]", "", amount.group(1)).replace(",", ".")))
    return numbers


def check_export(s, rows):
    # The lines at the list's prices, the amount payable less the user's
    # discount.
    discount = next(float(line.split("=")[1]) for line in USER_INI if line.startswith("Discount="))
    total = sum(PARTS[number][4] * count for number, count in (BY_NUMBER, BY_NAME))
    payable = next((amounts(row) for row in rows if "К оплате:" in row), None)
    s.note("exported payable: %r, expected %.2f" % (payable, total * (1 - discount / 100)))
    if not payable or abs(payable[0] - round(total * (1 - discount / 100), 2)) > 0.005:
        raise Failure("the exported order's amount payable %r is not %.2f less %.0f%%" % (payable, total, discount))
    for number, count in (BY_NUMBER, BY_NAME):
        old, new = PARTS[number][3], PARTS[number][4]
        line = next((row for row in rows if number in row), None)
        if line is None:
            raise Failure("the exported order has no line of %s: %r" % (number, rows))
        numbers = amounts(line)
        s.note("exported %s: %r" % (number, line))
        if not any(abs(v - new) < 0.005 for v in numbers):
            raise Failure("the exported line of %s does not show the new price %.2f: %r" % (number, new, line))
        if not any(abs(v - new * count) < 0.005 for v in numbers):
            raise Failure("the exported line of %s does not show the sum %.2f: %r" % (number, new * count, line))
        if any(abs(v - old) < 0.005 for v in numbers):
            raise Failure("the exported line of %s still shows the old price %.2f: %r" % (number, old, line))


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--write-list":
        write_list(sys.argv[2], int(sys.argv[3]))
        return 0
    if len(sys.argv) > 1 and sys.argv[1] == "--read-export":
        print(json.dumps(read_export(sys.argv[2]), ensure_ascii=False))
        return 0
    parser = argparse.ArgumentParser()
    parser.add_argument("--ordix", required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args()
    args.ordix, args.out = os.path.abspath(args.ordix), os.path.abspath(args.out)
    for tool in ("Xvfb", "xdotool", SYSTEM_PYTHON):
        if not shutil.which(tool):
            print("%s is not installed: skipped" % tool)
            return SKIP
    if subprocess.run([SYSTEM_PYTHON, "-c", "import openpyxl"], stderr=subprocess.DEVNULL).returncode != 0:
        print("python3-openpyxl is not installed: skipped")
        return SKIP
    if os.path.isdir(args.out):
        shutil.rmtree(args.out)
    os.makedirs(args.out)
    return run_reported(ListScenario(args.out), args.out, "ordix-supplierlist-",
                        lambda s, work: scenario(s, args.ordix, work))


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    sys.exit(main())
