#!/usr/bin/python3
"""Writes the Excel 97-2003 workbooks the .xls reader is tested on.

Each workbook is made with openpyxl as .xlsx and converted by LibreOffice
(soffice --headless), so the .xls files are what a real office program
writes. The test checks the contents given here; change both together.
Needs python3-openpyxl, libreoffice-calc-nogui and, for the workbook with
a password, python3-uno. Run it from anywhere; it writes beside itself.
"""
import datetime
import os
import shutil
import subprocess
import sys
import tempfile
import time

import openpyxl
from openpyxl.styles import Font, PatternFill

HERE = os.path.dirname(os.path.abspath(__file__))


def long_text():
    # Longer than one record: the string goes on in a CONTINUE record.
    return "Очень длинное описание: " + "абвгдеёжзийклмнопрстуфхцчшщъыьэюя" * 130


def strings_book(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Строки"
    for i in range(80):
        ws.cell(row=i + 1, column=1, value="Деталь №%d %s" % (i, "ЖжЁё"[i % 4] * (i % 25)))
        ws.cell(row=i + 1, column=2, value="Part-%d-%s" % (i, "x" * (i % 30)))
    ws["C1"] = long_text()
    # The same text again: one shared string for both cells.
    ws["C2"] = "Деталь №7 " + "ё" * 7
    wb.save(path)


def numbers_book(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Цены"
    ws.append(["Код", "Наименование", "Цена", "Кол-во", "Сумма", "Дата", "Есть"])
    ws.append([42, "Болт М8", 1234.5, 3, "=C2*D2", datetime.date(2024, 3, 15), True])
    ws["A2"].number_format = "000000"
    ws["C2"].number_format = "#,##0.00"
    ws["E2"].number_format = "0.00"
    ws["F2"].number_format = "DD.MM.YYYY"
    # Numbers that take each of the packed forms, and two that do not fit.
    ws.append([5, -7, 12.34, 0.5, 536870911, 3.14159265358979, 1e15])
    # Formulas whose results are a text, a truth value, an error, nothing.
    ws.append(['=B2&" шт"', "=D2>2", "=1/0", '=""', False, "=A2+0.25"])
    wb.save(path)


def layout_book(path):
    wb = openpyxl.Workbook()
    ws = wb.active
    ws.title = "Прайс"
    ws["A1"] = "Прайс-лист ООО «Ромашка»"
    ws.merge_cells("A1:D1")
    ws.append([])
    ws.append(["Код", "Наименование", "Закупка", "Цена"])
    for i in range(5):
        ws.append(["A-%d" % (i + 1), "Товар %d" % (i + 1), 10 * (i + 1), 15 * (i + 1)])
    ws.row_dimensions[6].hidden = True
    ws.column_dimensions["C"].hidden = True
    ws.column_dimensions["F"].hidden = True
    # A row that holds only a coloured empty cell.
    ws["B10"].fill = PatternFill("solid", fgColor="FFFF00")
    ws["A11"] = "Конец"
    ws["A11"].font = Font(bold=True)
    stock = wb.create_sheet("Остатки")
    stock.append(["Код", "Остаток"])
    stock.append(["A-1", 7])
    hidden = wb.create_sheet("Служебный")
    hidden["A1"] = "служебная"
    hidden.sheet_state = "hidden"
    wb.save(path)


def dates1904_book(path):
    wb = openpyxl.Workbook()
    wb.epoch = openpyxl.utils.datetime.CALENDAR_MAC_1904
    ws = wb.active
    ws["A1"] = datetime.date(2024, 3, 15)
    ws["A1"].number_format = "DD.MM.YYYY"
    wb.save(path)


def convert(xlsx, outdir):
    subprocess.run(["soffice", "--headless", "--convert-to", "xls", "--outdir", outdir, xlsx],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def save_with_password(xlsx, xls, password, profile):
    """LibreOffice's converter takes no password; its UNO interface does."""
    import uno
    from com.sun.star.beans import PropertyValue

    def prop(name, value):
        p = PropertyValue()
        p.Name = name
        p.Value = value
        return p

    pipe = "ordix_xls_%d" % os.getpid()
    office = subprocess.Popen(["soffice", "-env:UserInstallation=" + uno.systemPathToFileUrl(profile),
                               "--headless", "--invisible", "--accept=pipe,name=%s;urp;" % pipe],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        local = uno.getComponentContext()
        resolver = local.ServiceManager.createInstanceWithContext("com.sun.star.bridge.UnoUrlResolver", local)
        for _ in range(150):
            try:
                remote = resolver.resolve("uno:pipe,name=%s;urp;StarOffice.ComponentContext" % pipe)
                break
            except Exception:
                time.sleep(0.2)
        else:
            sys.exit("LibreOffice did not start")
        desktop = remote.ServiceManager.createInstanceWithContext("com.sun.star.frame.Desktop", remote)
        doc = desktop.loadComponentFromURL(uno.systemPathToFileUrl(xlsx), "_blank", 0, (prop("Hidden", True),))
        doc.storeToURL(uno.systemPathToFileUrl(xls),
                       (prop("FilterName", "MS Excel 97"), prop("Password", password)))
        doc.close(True)
        try:
            desktop.terminate()
        except Exception:
            pass  # the bridge goes down with the office
        office.wait(timeout=60)
    finally:
        if office.poll() is None:
            office.kill()


def main():
    books = {
        "strings": strings_book,
        "numbers": numbers_book,
        "layout": layout_book,
        "dates1904": dates1904_book,
    }
    with tempfile.TemporaryDirectory() as work:
        for name, make in books.items():
            xlsx = os.path.join(work, name + ".xlsx")
            make(xlsx)
            convert(xlsx, work)
            shutil.copy(os.path.join(work, name + ".xls"), os.path.join(HERE, name + ".xls"))
        # Opened with the password "secret".
        save_with_password(os.path.join(work, "numbers.xlsx"), os.path.join(HERE, "encrypted.xls"), "secret",
                           os.path.join(work, "profile"))


if __name__ == "__main__":
    main()
