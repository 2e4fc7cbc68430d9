#!/usr/bin/env python3
"""Writes the Ordix demo data into a folder.

    python3 demo/make_demo.py [DIR]      (DIR defaults to the current folder)

Files written (Windows-1251, CR LF line ends):

    ZOLT.TXT      the current price list of the wholesaler, about 5,000 parts
    ZOLT_OLD.TXT  the previous edition: some prices differ, a few codes differ
    rmodel.txt    car models with their brands
    rms_asg.txt   which part codes fit which car model

Every name, maker, part number and price is made up here from word lists
and a fixed random seed, so each run writes the same bytes.
"""

import os
import random
import sys

SEED = 20261208
PART_COUNT = 5000          # parts in the current price list
OLD_ONLY_COUNT = 35        # parts that only the previous edition still lists
HIGH_CODE_COUNT = 24       # codes above 32767 (they cannot be linked to car models)
LOW_CODE_COUNT = 16        # codes below 1000

SEP = "|"
EOL = "\r\n"

HEADER = ["КодРодителя", "Код", "Наименование", "Артикул", "Производитель",
          "НормаУпаковки", "Цена", "ЦенаМелОпт", "ЦенаОпт", "Статус",
          "Каталоги", "Аналоги(Коды)"]

# Widths of the price table's text fields; longer values would be cut on load.
WIDTHS = {"name": 200, "article": 100, "maker": 100, "pack": 20,
          "groups": 200, "analogues": 200}

# ---------------------------------------------------------------------------
# Car models: brand, model, the pattern of the car maker's part numbers.
# A pattern writes "#" as a random digit, "@" as a random Latin capital and
# "{m}" as the leading digits of the model.

MODELS = [
    ("ВАЗ", ["2101", "2103", "2105", "2106", "2107", "2108", "2109", "21099",
             "2110", "2111", "2112", "2113", "2114", "2115", "2121 Нива",
             "1118 Калина", "2170 Приора"]),
    ("ГАЗ", ["3110 Волга", "31105 Волга", "3302 Газель", "2705 Газель фургон",
             "2217 Соболь", "3307"]),
    ("УАЗ", ["469", "3151", "3303", "3741", "3962"]),
    ("Москвич", ["2140", "2141", "2137"]),
    ("AUDI", ["80 B3", "80 B4", "100 C4", "A4 B5", "A6 C5"]),
    ("FORD", ["Focus I", "Focus II", "Fiesta V", "Mondeo III", "Transit"]),
    ("OPEL", ["Astra F", "Astra G", "Vectra A", "Vectra B", "Corsa B"]),
    ("RENAULT", ["Logan", "Sandero", "Megane II", "Symbol"]),
    ("DAEWOO", ["Nexia", "Matiz", "Lanos"]),
    ("VOLKSWAGEN", ["Golf II", "Golf III", "Golf IV", "Passat B3", "Passat B5",
                    "Polo III"]),
    ("KIA", ["Rio II", "Spectra", "Sportage II"]),
]

# The model that deliberately has no parts assigned.
MODEL_WITHOUT_PARTS = ("Москвич", "2137")

OEM_PATTERNS = {
    "ВАЗ": "{m}-#######", "ГАЗ": "{m}-#######", "УАЗ": "{m}-#######",
    "Москвич": "{m}-#######", "AUDI": "### ### ###@", "VOLKSWAGEN": "### ### ###@",
    "FORD": "#######", "OPEL": "## ## ###", "RENAULT": "## ## ### ###",
    "DAEWOO": "########", "KIA": "#####-#@###",
}

# Fitments: the text written in a part's name, the brand, the models it fits,
# and how often parts for it appear.  Domestic cars dominate the list.
FITMENTS = [
    ("ВАЗ 2101-2107", "ВАЗ", ["2101", "2103", "2105", "2106", "2107"], 9),
    ("ВАЗ 2105, 2107", "ВАЗ", ["2105", "2107"], 3),
    ("ВАЗ 2101-2107, 2121", "ВАЗ", ["2101", "2103", "2105", "2106", "2107", "2121 Нива"], 3),
    ("ВАЗ 2108-21099", "ВАЗ", ["2108", "2109", "21099"], 6),
    ("ВАЗ 2108-2115", "ВАЗ", ["2108", "2109", "21099", "2113", "2114", "2115"], 9),
    ("ВАЗ 2113-2115", "ВАЗ", ["2113", "2114", "2115"], 4),
    ("ВАЗ 2110-2112", "ВАЗ", ["2110", "2111", "2112"], 8),
    ("ВАЗ 2110-2112, 2170", "ВАЗ", ["2110", "2111", "2112", "2170 Приора"], 3),
    ("ВАЗ 2121 Нива", "ВАЗ", ["2121 Нива"], 5),
    ("ВАЗ 1118 Калина", "ВАЗ", ["1118 Калина"], 4),
    ("ВАЗ 2170 Приора", "ВАЗ", ["2170 Приора"], 4),
    ("ГАЗ 3110", "ГАЗ", ["3110 Волга"], 3),
    ("ГАЗ 3110, 31105", "ГАЗ", ["3110 Волга", "31105 Волга"], 3),
    ("ГАЗ 3302", "ГАЗ", ["3302 Газель"], 3),
    ("ГАЗель, Соболь", "ГАЗ", ["3302 Газель", "2705 Газель фургон", "2217 Соболь"], 4),
    ("ГАЗ 3307", "ГАЗ", ["3307"], 2),
    ("УАЗ 469, 3151", "УАЗ", ["469", "3151"], 3),
    ("УАЗ 3741, 3303, 3962", "УАЗ", ["3303", "3741", "3962"], 3),
    ("УАЗ (все модели)", "УАЗ", ["469", "3151", "3303", "3741", "3962"], 1),
    ("Москвич 2140", "Москвич", ["2140"], 1),
    ("Москвич 2141", "Москвич", ["2141"], 2),
    ("AUDI 80 B3/B4", "AUDI", ["80 B3", "80 B4"], 2),
    ("AUDI 80/100", "AUDI", ["80 B3", "80 B4", "100 C4"], 1),
    ("AUDI 100 C4", "AUDI", ["100 C4"], 1),
    ("AUDI A4 B5, A6 C5", "AUDI", ["A4 B5", "A6 C5"], 2),
    ("FORD Focus I/II", "FORD", ["Focus I", "Focus II"], 2),
    ("FORD Focus II", "FORD", ["Focus II"], 2),
    ("FORD Fiesta V", "FORD", ["Fiesta V"], 1),
    ("FORD Mondeo III", "FORD", ["Mondeo III"], 1),
    ("FORD Transit", "FORD", ["Transit"], 2),
    ("OPEL Astra F, Vectra A", "OPEL", ["Astra F", "Vectra A"], 2),
    ("OPEL Astra G", "OPEL", ["Astra G"], 2),
    ("OPEL Vectra B", "OPEL", ["Vectra B"], 1),
    ("OPEL Corsa B", "OPEL", ["Corsa B"], 1),
    ("RENAULT Logan, Sandero", "RENAULT", ["Logan", "Sandero"], 4),
    ("RENAULT Logan", "RENAULT", ["Logan"], 2),
    ("RENAULT Megane II", "RENAULT", ["Megane II"], 1),
    ("RENAULT Symbol", "RENAULT", ["Symbol"], 1),
    ("DAEWOO Nexia", "DAEWOO", ["Nexia"], 3),
    ("DAEWOO Nexia, Lanos", "DAEWOO", ["Nexia", "Lanos"], 2),
    ("DAEWOO Matiz", "DAEWOO", ["Matiz"], 2),
    ("DAEWOO Lanos", "DAEWOO", ["Lanos"], 1),
    ("VW Golf II, Passat B3", "VOLKSWAGEN", ["Golf II", "Passat B3"], 2),
    ("VW Golf II/III", "VOLKSWAGEN", ["Golf II", "Golf III"], 2),
    ("VW Golf III", "VOLKSWAGEN", ["Golf III"], 1),
    ("VW Golf IV", "VOLKSWAGEN", ["Golf IV"], 1),
    ("VW Passat B5", "VOLKSWAGEN", ["Passat B5"], 1),
    ("VW Polo III", "VOLKSWAGEN", ["Polo III"], 1),
    ("KIA Rio II", "KIA", ["Rio II"], 2),
    ("KIA Spectra", "KIA", ["Spectra"], 1),
    ("KIA Sportage II", "KIA", ["Sportage II"], 1),
]

# Fitments of rear-wheel-drive cars (propeller shafts, rear axles).
REAR_DRIVE = {"ВАЗ 2101-2107", "ВАЗ 2105, 2107", "ВАЗ 2101-2107, 2121", "ВАЗ 2121 Нива",
              "ГАЗ 3110", "ГАЗ 3110, 31105", "ГАЗ 3302", "ГАЗель, Соболь", "ГАЗ 3307",
              "УАЗ 469, 3151", "УАЗ 3741, 3303, 3962", "УАЗ (все модели)",
              "Москвич 2140", "FORD Transit"}
DOMESTIC = {"ВАЗ", "ГАЗ", "УАЗ", "Москвич"}

# ---------------------------------------------------------------------------
# Makers: name (empty for unbranded goods), country, pattern of their own
# part numbers, price factor.  All brand names are invented.

MAKERS = [
    ("Ветлуга-Мотор", "Россия", "ВМ-####.##", 0.85),
    ("Северный привод", "Россия", "СП####-##", 0.80),
    ("Техноузел-М", "Россия", "ТУ ###.####", 0.90),
    ("Рубеж-Авто", "Россия", "РА-#####", 0.75),
    ("Norvalt", "Германия", "NV ### ###", 1.50),
    ("Trelsen", "Германия", "##.#####-####", 1.60),
    ("Velmor", "Италия", "VM####", 1.30),
    ("Mirelto", "Италия", "M@-####", 1.25),
    ("Ardentix", "Франция", "AX.##.####", 1.35),
    ("Quimbor", "Испания", "Q#####", 1.15),
    ("Halvex", "Польша", "HX###-##", 1.05),
    ("Dantorix", "Турция", "DT-####@", 0.95),
    ("Kovrax", "Китай", "KX-#####", 0.60),
    ("Zhenlai Motor", "Китай", "ZL####-@", 0.55),
    ("Korimaru", "Япония", "KM-###-####", 1.45),
    ("Daesol Motech", "Корея", "DS####-###", 1.10),
    ("", "Россия", "", 0.70),
    ("", "Китай", "", 0.50),
    ("", "Турция", "", 0.65),
    ("", "Тайвань", "", 0.60),
]
MAKER_WEIGHTS = [6, 5, 5, 4, 3, 2, 3, 2, 2, 2, 3, 3, 5, 4, 2, 2, 5, 4, 1, 1]

SYSTEMS = ["Двигатель", "Фильтры", "Система зажигания", "Тормозная система", "Подвеска",
           "Рулевое управление", "Трансмиссия", "Система охлаждения",
           "Электрооборудование", "Освещение", "Кузов", "Выхлопная система", "Крепёж",
           "Масла и автохимия", "Инструмент", "Аксессуары"]
PARENT_CODES = {s: 100 * (i + 1) for i, s in enumerate(SYSTEMS)}

LATIN_SUFFIXES = ["Premium", "Sport", "Heavy Duty", "Long Life", "Comfort", "Standard",
                  "Extra", "Pro Line", "Eco", "Super Grip"]


def fill(rng, pattern, model=""):
    """Expands a part-number pattern."""
    out = []
    for ch in pattern.replace("{m}", model):
        if ch == "#":
            out.append(str(rng.randrange(10)))
        elif ch == "@":
            out.append(chr(ord("A") + rng.randrange(26)))
        else:
            out.append(ch)
    return "".join(out)


def model_digits(model):
    head = model.split()[0]
    return head if head.isdigit() else "0000"


# ---------------------------------------------------------------------------
# Part kinds that belong to a car: system, name words, price range in
# roubles, pack sizes, relative frequency, the fitments or brands allowed
# (None: any).  The name takes one alternative from each word list, left to
# right; "{}" adds nothing, and an alternative written (text, (low, high))
# brings its own price range.

def v(*parts):
    return parts


VEHICLE_KINDS = [
    # Brakes
    ("Тормозная система", v(["Колодки тормозные передние", "Колодки тормозные передние дисковые"]), (300, 1500), ["1", "1", "4"], 9, None),
    ("Тормозная система", v(["Колодки тормозные задние", "Колодки тормозные задние барабанные"]), (350, 1400), ["1", "4"], 6, None),
    ("Тормозная система", v(["Диск тормозной передний", "Диск тормозной передний вентилируемый"]), (600, 3000), ["1", "2"], 6, None),
    ("Тормозная система", v(["Барабан тормозной задний"]), (500, 1800), ["1"], 3, None),
    ("Тормозная система", v(["Цилиндр тормозной главный", "Цилиндр главный тормозной с бачком"]), (500, 2500), ["1"], 3, None),
    ("Тормозная система", v(["Цилиндр тормозной рабочий задний", "Цилиндр колёсный задний"]), (150, 700), ["1", "2", "10"], 4, None),
    ("Тормозная система", v(["Шланг тормозной передний", "Шланг тормозной задний"]), (120, 500), ["1", "2", "10"], 4, None),
    ("Тормозная система", v(["Трос стояночного тормоза", "Трос ручного тормоза"]), (150, 600), ["1", "5"], 3, None),
    ("Тормозная система", v(["Суппорт тормозной передний"], ["левый", "правый"]), (1200, 4500), ["1"], 3, None),
    ("Тормозная система", v(["Ремкомплект тормозного суппорта", "Ремкомплект направляющих суппорта"]), (80, 400), ["1", "10"], 3, None),
    ("Тормозная система", v(["Регулятор давления тормозов"]), (400, 1200), ["1"], 1, None),
    ("Тормозная система", v(["Усилитель тормозов вакуумный"]), (1500, 4500), ["1"], 1, None),
    ("Тормозная система", v(["Болт крепления суппорта", "Болт направляющей суппорта", "Болт суппорта с шайбой"]), (12, 90), ["2", "10", "50"], 3, None),
    # Filters
    ("Фильтры", v(["Фильтр масляный", "Фильтр масляный полнопоточный"]), (60, 450), ["1", "10", "50"], 8, None),
    ("Фильтры", v(["Фильтр воздушный", "Элемент фильтра воздушного"]), (80, 550), ["1", "10", "20"], 7, None),
    ("Фильтры", v(["Фильтр топливный", "Фильтр топливный тонкой очистки"]), (70, 600), ["1", "10", "50"], 6, None),
    ("Фильтры", v(["Фильтр салона", "Фильтр салона угольный"]), (120, 800), ["1", "10"], 5, None),
    # Ignition
    ("Система зажигания", v(["Свеча зажигания"], ["{}", "одноэлектродная", "трёхэлектродная", "платиновая", "Long Life"]), (40, 400), ["4", "10"], 6, None),
    ("Система зажигания", v(["Катушка зажигания", "Модуль зажигания"]), (500, 3000), ["1"], 4, None),
    ("Система зажигания", v(["Провода высоковольтные (комплект)", "Провода зажигания силиконовые комплект"]), (200, 1200), ["1", "10"], 4, None),
    ("Система зажигания", v(["Датчик положения коленвала", "Датчик положения распредвала", "Датчик детонации"]), (300, 1500), ["1"], 4, None),
    ("Система зажигания", v(["Крышка распределителя зажигания", "Бегунок распределителя"]), (40, 300), ["1", "10"], 2, DOMESTIC),
    # Engine
    ("Двигатель", v(["Ремень ГРМ"], ["(111 зубьев)", "(113 зубьев)", "(136 зубьев)", "(137 зубьев)", "{}"]), (200, 1600), ["1", "10"], 6, None),
    ("Двигатель", v(["Ролик натяжной ГРМ", "Ролик обводной ГРМ"]), (250, 1500), ["1"], 4, None),
    ("Двигатель", v(["Комплект ГРМ (ремень, ролики)"]), (1200, 5000), ["1"], 3, None),
    ("Двигатель", v(["Цепь ГРМ", "Цепь ГРМ двухрядная", ("Башмак натяжителя цепи", (150, 500))]), (400, 1500), ["1"], 2, REAR_DRIVE),
    ("Двигатель", v(["Помпа водяная", "Насос водяной в сборе"]), (500, 2500), ["1"], 4, None),
    ("Двигатель", v(["Прокладка головки блока цилиндров", "Прокладка ГБЦ металлическая", "Прокладка крышки клапанов"]), (60, 800), ["1", "10"], 5, None),
    ("Двигатель", v(["Комплект прокладок двигателя"], ["полный", "верхний", "нижний"]), (400, 2000), ["1"], 2, None),
    ("Двигатель", v(["Кольца поршневые (комплект)"], ["76,0 мм", "76,4 мм", "79,0 мм", "82,0 мм", "82,4 мм", "92,0 мм"]), (500, 2500), ["1"], 3, None),
    ("Двигатель", v(["Поршни (комплект 4 шт)"], ["76,0 мм", "82,0 мм", "82,4 мм", "92,0 мм"]), (1500, 5000), ["1"], 2, None),
    ("Двигатель", v(["Вкладыши коренные", "Вкладыши шатунные"], ["стандарт", "ремонт 0,25", "ремонт 0,50"]), (200, 900), ["1"], 3, None),
    ("Двигатель", v(["Сальник коленвала передний", "Сальник коленвала задний", "Сальник распредвала"]), (30, 400), ["1", "10", "50"], 5, None),
    ("Двигатель", v(["Колпачки маслосъёмные (комплект)"]), (100, 500), ["1", "10"], 2, None),
    ("Двигатель", v(["Клапан впускной", "Клапан выпускной"]), (60, 300), ["1", "8"], 3, None),
    ("Двигатель", v([("Вал распределительный", (1000, 3500)), "Толкатель клапана гидравлический"]), (120, 450), ["1", "8"], 2, None),
    ("Двигатель", v(["Опора двигателя передняя", "Опора двигателя задняя", "Подушка двигателя левая"]), (200, 1200), ["1"], 4, None),
    ("Двигатель", v([("Болт ГБЦ (комплект 10 шт)", (250, 900)), ("Комплект болтов ГБЦ", (250, 900)), "Болт маховика", "Болт шкива коленвала", "Болт шатуна"]), (25, 150), ["1", "10"], 4, None),
    ("Двигатель", v(["Головка блока цилиндров в сборе"]), (8000, 25000), ["1"], 1, DOMESTIC),
    ("Двигатель", v(["Двигатель в сборе", "Двигатель в сборе (без навесного)"]), (38000, 95000), ["1"], 1, DOMESTIC),
    # Suspension
    ("Подвеска", v(["Амортизатор задний"], ["газовый", "масляный", "газомасляный"]), (600, 3500), ["1", "2"], 7, None),
    ("Подвеска", v(["Амортизатор передний", "Стойка амортизатора передняя"], ["газовая", "масляная"]), (900, 4000), ["1", "2"], 5, None),
    ("Подвеска", v(["Стойка стабилизатора", ("Втулка стабилизатора", (20, 180)), "Тяга стабилизатора"]), (150, 800), ["1", "2", "10"], 5, None),
    ("Подвеска", v(["Подшипник ступицы передней", "Подшипник ступицы задней", "Подшипник ступицы (комплект)"]), (300, 2000), ["1", "2"], 6, None),
    ("Подвеска", v(["Ступица задняя в сборе с подшипником", "Ступица передняя"]), (1200, 4000), ["1"], 2, None),
    ("Подвеска", v(["Опора шаровая", "Опора шаровая нижняя", "Опора шаровая верхняя"]), (150, 900), ["1", "2", "10"], 5, None),
    ("Подвеска", v(["Сайлентблок рычага", "Сайлентблок переднего рычага", "Сайлентблок заднего моста"]), (40, 400), ["1", "2", "10"], 5, None),
    ("Подвеска", v(["Рычаг подвески нижний", "Рычаг подвески верхний"], ["левый", "правый"]), (700, 3500), ["1"], 4, None),
    ("Подвеска", v(["Пружина подвески передняя", "Пружина подвески задняя"], ["{}", "усиленная"]), (600, 2500), ["2"], 4, None),
    ("Подвеска", v([("Опора амортизатора верхняя", (250, 1200)), "Отбойник амортизатора", "Пыльник амортизатора"]), (50, 300), ["1", "2", "10"], 4, None),
    ("Подвеска", v(["Болт развальный", "Болт-эксцентрик регулировки развала", "Болт крепления рычага"]), (20, 150), ["2", "10", "50"], 2, None),
    # Steering
    ("Рулевое управление", v(["Наконечник рулевой тяги"], ["левый", "правый"]), (150, 900), ["1", "2"], 5, None),
    ("Рулевое управление", v(["Тяга рулевая", "Тяга рулевая в сборе"]), (300, 1500), ["1"], 3, None),
    ("Рулевое управление", v(["Механизм рулевой (рейка)", "Рейка рулевая с ГУР"]), (3000, 12000), ["1"], 2, None),
    ("Рулевое управление", v(["Насос гидроусилителя руля"]), (3000, 9000), ["1"], 1, None),
    ("Рулевое управление", v(["Пыльник рулевой рейки", "Ремкомплект рулевой рейки", ("Вал карданный рулевой", (500, 1500))]), (60, 450), ["1", "10"], 3, None),
    # Transmission
    ("Трансмиссия", v(["Комплект сцепления", "Сцепление в сборе (корзина, диск, подшипник)"]), (1500, 6000), ["1"], 4, None),
    ("Трансмиссия", v(["Диск сцепления ведомый", "Корзина сцепления", ("Подшипник выжимной", (200, 1200))]), (500, 3500), ["1"], 5, None),
    ("Трансмиссия", v(["Трос сцепления", "Цилиндр сцепления главный", "Цилиндр сцепления рабочий"]), (150, 1200), ["1", "5"], 3, None),
    ("Трансмиссия", v(["ШРУС наружный", "ШРУС внутренний", ("Пыльник ШРУСа наружного", (60, 350)), ("Пыльник ШРУСа внутреннего", (60, 350))]), (700, 3500), ["1", "10"], 5, None),
    ("Трансмиссия", v(["Крестовина карданного вала", "Подшипник подвесной карданного вала", "Полуось задняя"]), (150, 2500), ["1"], 3, REAR_DRIVE),
    ("Трансмиссия", v(["Синхронизатор 3-4 передачи", "Синхронизатор 1-2 передачи", ("Сальник привода", (40, 200))]), (300, 1200), ["1", "10"], 2, None),
    ("Трансмиссия", v(["Коробка передач в сборе", "КПП 5-ступенчатая в сборе"]), (12000, 35000), ["1"], 1, DOMESTIC),
    # Cooling
    ("Система охлаждения", v(["Радиатор охлаждения"], ["{}", "алюминиевый", "медный"]), (1500, 6000), ["1"], 4, None),
    ("Система охлаждения", v(["Термостат"], ["(80°С)", "(85°С)", "(87°С)", "{}"]), (200, 1200), ["1", "10"], 4, None),
    ("Система охлаждения", v(["Патрубок радиатора верхний", "Патрубок радиатора нижний", "Комплект патрубков охлаждения"]), (60, 900), ["1", "10"], 4, None),
    ("Система охлаждения", v(["Бачок расширительный", "Крышка расширительного бачка"]), (60, 600), ["1", "10"], 2, None),
    ("Система охлаждения", v(["Электровентилятор охлаждения радиатора", ("Радиатор отопителя", (800, 3000)), ("Датчик температуры охлаждающей жидкости", (80, 500))]), (1200, 4500), ["1"], 4, None),
    # Electrical
    ("Электрооборудование", v(["Генератор"], ["55А", "80А", "90А", "110А"]), (3000, 9000), ["1"], 3, None),
    ("Электрооборудование", v(["Стартер", "Стартер редукторный", ("Реле втягивающее стартера", (400, 1500)), ("Бендикс стартера", (300, 1200))]), (2500, 8000), ["1"], 4, None),
    ("Электрооборудование", v(["Регулятор напряжения", "Щёточный узел генератора", "Диодный мост генератора"]), (150, 900), ["1", "10"], 3, None),
    ("Электрооборудование", v(["Датчик кислорода (лямбда-зонд)", ("Датчик скорости", (200, 900)), ("Датчик абсолютного давления", (500, 2000)), "Датчик массового расхода воздуха"]), (1200, 4500), ["1"], 5, None),
    ("Электрооборудование", v([("Форсунка топливная", (400, 2000)), "Бензонасос электрический", "Модуль топливного насоса"]), (1000, 4000), ["1", "4"], 4, None),
    ("Электрооборудование", v(["Мотор стеклоочистителя", "Моторчик отопителя", "Мотор стеклоподъёмника"]), (800, 2500), ["1"], 3, None),
    # Lighting
    ("Освещение", v(["Фара передняя", "Блок-фара"], ["левая", "правая"]), (900, 6000), ["1"], 4, None),
    ("Освещение", v(["Фонарь задний"], ["левый", "правый"]), (500, 3000), ["1"], 3, None),
    ("Освещение", v(["Фара противотуманная", ("Повторитель поворота", (50, 300)), ("Фонарь освещения номера", (40, 250))]), (400, 2500), ["1", "2"], 3, None),
    # Body
    ("Кузов", v(["Зеркало наружное", "Зеркало боковое с подогревом"], ["левое", "правое"]), (400, 2500), ["1"], 3, None),
    ("Кузов", v(["Крыло переднее"], ["левое", "правое"]), (800, 4000), ["1"], 3, None),
    ("Кузов", v([("Капот", (2500, 9000)), "Бампер передний", "Бампер задний", ("Стекло ветровое", (2000, 8000))]), (1200, 5000), ["1"], 3, None),
    ("Кузов", v(["Ручка двери наружная", "Замок двери передней", ("Стеклоподъёмник электрический передний", (700, 2500)), "Уплотнитель двери"]), (100, 900), ["1", "4"], 4, None),
    ("Кузов", v(["Коврики салона резиновые (комплект)", "Брызговики (комплект)", "Подкрылок передний"]), (250, 1500), ["1"], 3, None),
    # Exhaust
    ("Выхлопная система", v(["Глушитель основной", "Резонатор", "Труба приёмная глушителя"]), (500, 3500), ["1"], 4, None),
    ("Выхлопная система", v(["Катализатор"]), (5000, 15000), ["1"], 1, None),
    ("Выхлопная система", v(["Прокладка приёмной трубы", "Подушка глушителя", "Хомут глушителя", "Болт крепления глушителя"]), (15, 150), ["1", "10", "50"], 3, None),
    # Fasteners bound to a car
    ("Крепёж", v(["Болт крепления колеса", "Болт колёсный", "Болт-шпилька крепления колеса", "Гайка колёсная", ("Набор болтов крепления колеса (16 шт)", (250, 900))]), (10, 60), ["4", "16", "50"], 4, None),
    ("Крепёж", v(["Комплект крепежа двигателя", "Комплект болтов крепления КПП", "Набор крепежа кузова"]), (120, 900), ["1"], 2, None),
]

# ---------------------------------------------------------------------------
# Parts that fit any car.  Each generator returns (system, name, family,
# price range, packs); the family groups interchangeable parts.

BOLT_PURPOSES = ["крепления суппорта", "крепления колеса", "крепления глушителя",
                 "крепления рычага", "крепления двигателя", "крепления генератора",
                 "крепления бампера", "регулировочный", "с шестигранной головкой",
                 "с фланцем", "с буртиком", "крепления амортизатора", "крепления стартера",
                 "крепления радиатора", "крепления кронштейна", "оцинкованный",
                 "с мелким шагом резьбы", "высокопрочный"]
THREADS = {6: ["1,0"], 8: ["1,25", "1,0"], 10: ["1,25", "1,5"], 12: ["1,25", "1,5"],
           14: ["1,5"], 16: ["1,5"]}
LENGTHS = [12, 16, 20, 25, 30, 35, 40, 45, 50, 55, 60, 70, 80, 90, 100, 110, 120]
CLASSES = ["5.8", "8.8", "10.9", "12.9"]


def bolt(rng):
    d = rng.choice([6, 8, 8, 10, 10, 12, 14, 16])
    length = rng.choice(LENGTHS)
    form = rng.randrange(8)
    if form == 0:
        name = "БОЛТ М%dх%sх%d" % (d, rng.choice(THREADS[d]), length)
        family = name
        name += rng.choice([" оцинкованный", " кл.пр. " + rng.choice(CLASSES), ""])
    elif form == 1:
        name = "Bolt M%dx%dx%d DIN 933 %s" % (d, d + 5, length, rng.choice(CLASSES))
        family = name
    elif form == 2:
        name = "Комплект болтов М%dх%d (%d шт)" % (d, length, rng.choice([10, 20, 50]))
        family = name
    elif form == 3:
        name = "Болт М%dх%d DIN %s кл.пр. %s" % (d, length, rng.choice(["931", "933", "912"]),
                                               rng.choice(CLASSES))
        family = name
    else:
        family = "Болт М%dх%d" % (d, length)
        name = "%s %s" % (family, rng.choice(BOLT_PURPOSES))
    low = 1.5 + d * length / 80.0
    return "Крепёж", name, family, (low, low * 3), rng.choice(["10", "50", "100", "200"])


def other_fastener(rng):
    d = rng.choice([5, 6, 8, 10, 12, 14])
    choice = rng.randrange(9)
    if choice == 0:
        name = "Гайка М%d %s" % (d, rng.choice(["самоконтрящаяся", "с фланцем", "шестигранная", "колпачковая"]))
    elif choice == 1:
        name = "Шайба %s %d мм" % (rng.choice(["плоская", "гроверная", "медная", "уплотнительная"]), d)
    elif choice == 2:
        name = "Шпилька М%dх%d" % (d, rng.choice(LENGTHS))
    elif choice == 3:
        name = "Винт М%dх%d с %s головкой" % (d, rng.choice(LENGTHS[:8]), rng.choice(["потайной", "полукруглой", "цилиндрической"]))
    elif choice == 4:
        a = rng.choice([8, 10, 12, 16, 20, 25, 32, 40, 50])
        name = "Хомут червячный %d-%d мм" % (a, a + rng.choice([8, 12, 16, 22]))
    elif choice == 5:
        name = "Заклёпка %s %dх%d" % (rng.choice(["вытяжная", "резьбовая"]), rng.choice([3, 4, 5]), rng.choice([8, 10, 12, 16]))
    elif choice == 6:
        name = "Пистон обивки %s" % rng.choice(["двери", "багажника", "капота", "крыла", "бампера"])
    elif choice == 7:
        name = "Набор болтов и гаек М%d-М%d (%d шт)" % (d, d + 4, rng.choice([60, 120, 240]))
    else:
        name = "Шплинт %dх%d" % (rng.choice([2, 3, 4]), rng.choice([20, 25, 32, 40]))
    return "Крепёж", name, name, (1.2, 60), rng.choice(["10", "20", "50", "100"])


def lamp(rng):
    kind, watts = rng.choice([("H1", "55W"), ("H3", "55W"), ("H4", "60/55W"), ("H7", "55W"),
                              ("H11", "55W"), ("HB4", "51W"), ("W5W", "5W"), ("P21W", "21W"),
                              ("P21/5W", "21/5W"), ("R5W", "5W"), ("C5W", "5W"),
                              ("А12-21", "21 Вт"), ("А12-5", "5 Вт")])
    volts = rng.choice(["12V", "24V"]) if kind[0] != "А" else "12В"
    family = "Лампа %s %s %s" % (kind, volts, watts)
    name = family + rng.choice(["", "", " Long Life", " Extra Light", " +50%", " Blue Tone", " (2 шт)"])
    return "Освещение", name, family, (15, 450), rng.choice(["10", "50", "100"])


def oil(rng):
    if rng.random() < 0.6:
        visc = rng.choice(["0W-30", "5W-30", "5W-40", "10W-40", "15W-40", "20W-50"])
        base = rng.choice(["синтетическое", "полусинтетическое", "минеральное"])
        vol, price, pack = rng.choice([("1 л", (180, 700), "12"), ("4 л", (700, 2800), "4"),
                                       ("5 л", (850, 3400), "4"), ("20 л", (3500, 12000), "1")])
        family = "Масло моторное %s %s" % (visc, base)
        name = "%s %s" % (family, vol)
        return "Масла и автохимия", name, name, price, pack
    choice = rng.randrange(7)
    if choice == 0:
        name = "Масло трансмиссионное %s %s 1 л" % (rng.choice(["75W-90", "80W-90", "85W-140"]), rng.choice(["GL-4", "GL-5"]))
    elif choice == 1:
        name = "Антифриз %s %s" % (rng.choice(["G11 зелёный", "G12 красный", "G12+ красный", "G13 фиолетовый"]), rng.choice(["1 кг", "5 кг", "10 кг"]))
    elif choice == 2:
        name = "Жидкость тормозная %s %s" % (rng.choice(["DOT-3", "DOT-4", "DOT-5.1"]), rng.choice(["0,45 л", "0,9 л"]))
    elif choice == 3:
        name = "Очиститель %s %d мл" % (rng.choice(["карбюратора", "тормозов", "инжектора", "двигателя наружный", "стёкол"]), rng.choice([250, 400, 500, 650]))
    elif choice == 4:
        name = "Герметик %s %d г" % (rng.choice(["прокладок силиконовый красный", "прокладок силиконовый чёрный", "радиатора", "резьбовой анаэробный"]), rng.choice([25, 50, 85, 100]))
    elif choice == 5:
        name = "Смазка %s %d г" % (rng.choice(["литиевая", "графитная", "для ШРУСов", "медная противозадирная", "силиконовая"]), rng.choice([50, 100, 400, 800]))
    else:
        name = "Жидкость %s %s" % (rng.choice(["стеклоомывающая зимняя -20°С", "стеклоомывающая летняя", "гидроусилителя руля", "для промывки двигателя"]), rng.choice(["1 л", "4 л", "5 л"]))
    return "Масла и автохимия", name, name, (60, 900), rng.choice(["6", "12", "24"])


def tool(rng):
    choice = rng.randrange(10)
    if choice == 0:
        a = rng.choice([8, 10, 12, 13, 14, 17, 19, 22])
        name, price = "Ключ рожковый %dх%d мм" % (a, a + rng.choice([1, 2, 3])), (60, 350)
    elif choice == 1:
        name = "Ключ накидной %dх%d мм" % (rng.choice([10, 12, 13, 17]), rng.choice([13, 14, 19, 22]))
        price = (70, 400)
    elif choice == 2:
        name = "Ключ баллонный %s" % rng.choice(["17х19", "крестовой 17х19х21х22", "Г-образный 19 мм", "телескопический 17х19"])
        price = (120, 900)
    elif choice == 3:
        name, price = "Набор головок 1/2\" %d предметов" % rng.choice([12, 24, 32, 46, 94]), (900, 6500)
    elif choice == 4:
        name = "Домкрат %s %s т" % (rng.choice(["гидравлический бутылочный", "подкатной", "ромбический"]), rng.choice(["2", "3", "5"]))
        price = (700, 5500)
    elif choice == 5:
        name = "Съёмник %s" % rng.choice(["шаровых опор", "масляных фильтров", "подшипников трёхлапый", "пружин", "рулевых наконечников"])
        price = (250, 2500)
    elif choice == 6:
        name, price = "Ключ свечной %d мм" % rng.choice([16, 18, 21]), (80, 450)
    elif choice == 7:
        name = "Ключ динамометрический 1/2\" %s Нм" % rng.choice(["28-210", "40-200", "42-210"])
        price = (1800, 6000)
    elif choice == 8:
        name = "Отвёртка %s %s" % (rng.choice(["крестовая", "шлицевая", "ударная"]), rng.choice(["PH1", "PH2", "SL5", "SL6", "PH2х100"]))
        price = (40, 350)
    else:
        name = "Набор инструмента %s (%d предметов)" % (rng.choice(["автомобильный", "в кейсе", "Profi"]), rng.choice([24, 56, 82, 108]))
        price = (1500, 9000)
    return "Инструмент", name, name, price, rng.choice(["1", "5", "10"])


def accessory(rng):
    choice = rng.randrange(10)
    if choice == 0:
        name = "Трос буксировочный %d т %d м" % (rng.choice([3, 5, 7]), rng.choice([4, 5]))
        price = (150, 700)
    elif choice == 1:
        name, price = "Огнетушитель порошковый ОП-%d" % rng.choice([1, 2, 3, 4]), (250, 900)
    elif choice == 2:
        name, price = "Аптечка автомобильная %s" % rng.choice(["в футляре", "в сумке", "большая"]), (150, 600)
    elif choice == 3:
        name = ("Знак аварийной остановки " + rng.choice(["", "усиленный", "в футляре"])).strip()
        price = (90, 400)
    elif choice == 4:
        name = "Щётка стеклоочистителя %d мм %s" % (rng.choice(range(330, 701, 25)), rng.choice(["каркасная", "бескаркасная", "гибридная", "зимняя"]))
        price = (120, 900)
    elif choice == 5:
        ah = rng.choice([55, 60, 62, 66, 75, 90, 190])
        name = "Аккумулятор 6СТ-%d %s" % (ah, rng.choice(["прямая полярность", "обратная полярность"]))
        price = (ah * 55, ah * 85)
    elif choice == 6:
        name = "Провода прикуривания %d А %s м" % (rng.choice([200, 400, 600]), rng.choice(["2,5", "3", "4,5"]))
        price = (250, 1500)
    elif choice == 7:
        name, price = "Компрессор автомобильный %d л/мин" % rng.choice([25, 30, 35, 40, 60]), (900, 4500)
    elif choice == 8:
        name, price = "Чехлы сидений %s (комплект)" % rng.choice(["велюр", "экокожа", "жаккард", "Sport Line"]), (1500, 7500)
    else:
        name = "Предохранитель %s %d А (%d шт)" % (rng.choice(["флажковый", "mini", "цилиндрический"]), rng.choice([5, 7, 10, 15, 20, 25, 30]), rng.choice([10, 20]))
        price = (20, 150)
    return "Аксессуары", name, name, price, rng.choice(["1", "2", "10"])


def belt_and_plug(rng):
    if rng.random() < 0.5:
        ribs = rng.choice([4, 5, 6, 7])
        length = rng.randrange(700, 2400, 5)
        name = "Ремень поликлиновой %dPK%d" % (ribs, length)
        return "Двигатель", name, name, (150, 900), rng.choice(["1", "10"])
    name = "Свеча зажигания %s" % rng.choice(["А17ДВР", "А17ДВРМ", "А20ДВРМ", "А17ДВРМ Long Life", "платиновая", "иридиевая", "Turbo Spark"])
    return "Система зажигания", name, name, (40, 450), rng.choice(["4", "10"])


UNIVERSAL_KINDS = [(bolt, 10), (other_fastener, 5), (lamp, 3), (oil, 5), (tool, 3),
                   (accessory, 4), (belt_and_plug, 2)]

# ---------------------------------------------------------------------------


def money(value):
    return "%.2f" % value


class Part:
    __slots__ = ("code", "system", "name", "family", "article", "maker", "pack",
                 "price", "status", "groups", "analogues", "models")


def pick_maker(rng):
    return rng.choices(MAKERS, weights=MAKER_WEIGHTS)[0]


def expand(rng, variants, price_range):
    """Picks one alternative from each list; an alternative written as
    (text, (low, high)) brings its own price range."""
    words = []
    for alternatives in variants:
        word = rng.choice(alternatives)
        if isinstance(word, tuple):
            word, price_range = word
        if word != "{}":
            words.append(word)
    return " ".join(words), price_range


def make_vehicle_part(rng, model_index):
    system, variants, price_range, packs, _, allowed = rng.choices(
        VEHICLE_KINDS, weights=[k[4] for k in VEHICLE_KINDS])[0]
    fits = [f for f in FITMENTS
            if allowed is None or f[0] in allowed or f[1] in allowed]
    label, brand, models, _ = rng.choices(fits, weights=[f[3] for f in fits])[0]
    base, (lo, hi) = expand(rng, variants, price_range)
    # Side words go after the car: "Рычаг подвески нижний ВАЗ 2108-2115 левый"
    tail = ""
    for side in ("левый", "правый", "левая", "правая", "левое", "правое"):
        if base.endswith(" " + side):
            base, tail = base[: -len(side) - 1], " " + side
    family = "%s %s%s" % (base, label, tail)
    maker_name, country, pattern, factor = pick_maker(rng)
    name = family
    if rng.random() < 0.08:
        name += " " + rng.choice(LATIN_SUFFIXES)
    article = fill(rng, OEM_PATTERNS[brand], model_digits(models[0]))
    if maker_name and rng.random() < 0.4:
        name += " / " + fill(rng, pattern)
    if not maker_name and rng.random() < 0.25:
        article = ""
    maker = "%s (%s)" % (maker_name, country) if maker_name else country
    price = lo * (hi / lo) ** rng.random() * factor
    return (system, name, family, article, maker, rng.choice(packs), price,
            brand, [model_index[(brand, m)] for m in models])


def make_universal_part(rng):
    generator = rng.choices([g for g, _ in UNIVERSAL_KINDS], weights=[w for _, w in UNIVERSAL_KINDS])[0]
    system, name, family, (lo, hi), pack = generator(rng)
    maker_name, country, pattern, factor = pick_maker(rng)
    article = fill(rng, pattern) if maker_name else ""
    if maker_name and rng.random() < 0.3:
        name += " / " + article
    maker = "%s (%s)" % (maker_name, country) if maker_name else country
    price = lo * (hi / lo) ** rng.random() * factor
    return system, name, family, article, maker, pack, price, "", []


def pick_status(rng):
    return rng.choices([0, 1, 2, 3, 4], weights=[9, 79.5, 1.4, 9.5, 0.6])[0]


def generate(rng):
    models = []   # (code, brand, model)
    model_index = {}
    for brand, names in MODELS:
        for name in names:
            code = len(models) + 1
            models.append((code, brand, name))
            model_index[(brand, name)] = code

    total = PART_COUNT + OLD_ONLY_COUNT
    parts = []
    seen = set()
    while len(parts) < total:
        if rng.random() < 0.72:
            row = make_vehicle_part(rng, model_index)
        else:
            row = make_universal_part(rng)
        system, name, family, article, maker, pack, price, brand, fits = row
        if (name, maker) in seen:
            continue
        seen.add((name, maker))
        p = Part()
        p.system, p.name, p.family, p.article, p.maker, p.pack = system, name, family, article, maker, pack
        p.price = round(max(price, 1.0), 2)
        p.status = pick_status(rng)
        if brand:
            p.groups = "%s,%s" % (brand, system)
        else:
            p.groups = rng.choice([system, "Универсальные," + system])
        if p.status in (2, 4):
            p.groups += ",Новинки"
        elif rng.random() < 0.015:
            p.groups += ",Распродажа"
        p.models = fits
        p.analogues = ""
        parts.append(p)

    # Codes: mostly five digits up to 32767, a few higher, a few small.
    main_count = total - HIGH_CODE_COUNT - LOW_CODE_COUNT
    codes = (rng.sample(range(10000, 32768), main_count)
             + rng.sample(range(32768, 99999), HIGH_CODE_COUNT)
             + rng.sample(range(1, 1000), LOW_CODE_COUNT))
    rng.shuffle(codes)
    for p, code in zip(parts, codes):
        p.code = code

    current = parts[:PART_COUNT]
    old_only = parts[PART_COUNT:]
    for p in old_only:
        p.status = rng.choice([0, 1, 1, 3])   # never "new" in the old edition
        p.groups = p.groups.replace(",Новинки", "")

    # Analogues: interchangeable parts of the same family, up to four of them.
    families = {}
    for p in current:
        families.setdefault(p.family, []).append(p)
    for members in families.values():
        if len(members) < 2:
            continue
        for p in members:
            if rng.random() < 0.75:
                others = [q.code for q in members if q is not p]
                chosen = rng.sample(others, min(len(others), rng.randint(1, 4)))
                p.analogues = ",".join(str(c) for c in sorted(chosen))
    return models, current, old_only


def price_columns(price, rng):
    """Retail, small-wholesale and wholesale price, in falling order."""
    small = round(price * rng.uniform(0.90, 0.96), 2)
    whole = round(small * rng.uniform(0.92, 0.97), 2)
    return price, min(small, price), min(whole, small)


def data_line(p, prices, status):
    fields = [str(PARENT_CODES[p.system]), str(p.code), p.name, p.article, p.maker, p.pack,
              money(prices[0]), money(prices[1]), money(prices[2]), str(status),
              p.groups, p.analogues]
    for key, value in (("name", p.name), ("article", p.article), ("maker", p.maker),
                       ("pack", p.pack), ("groups", p.groups), ("analogues", p.analogues)):
        assert len(value) <= WIDTHS[key], (key, value)
    assert all(SEP not in f for f in fields), fields
    return SEP.join(fields)


def sort_key(p):
    return (PARENT_CODES[p.system], p.name.lower(), p.code)


def write_text(path, lines):
    with open(path, "wb") as f:
        f.write((EOL.join(lines) + EOL).encode("cp1251"))


def write_price_lists(folder, rng, current, old_only):
    new_lines = ["курс|28.50|Доллар США|$|32.10|Евро|€",
                 "Прайс-лист на 08.12.2026",
                 "",
                 SEP.join(HEADER)]
    old_lines = ["курс|28.20|Доллар США|$|31.75|Евро|€",
                 "Прайс-лист на 24.11.2026",
                 "",
                 SEP.join(HEADER)]
    new_rows, old_rows = [], []
    for p in current:
        prices = price_columns(p.price, rng)
        new_rows.append((sort_key(p), data_line(p, prices, p.status)))
        if p.status in (2, 4):
            continue    # new in this edition: the old one did not list it
        roll = rng.random()
        if roll < 0.10:      # the price went up since the old edition
            factor = 1 / rng.uniform(1.03, 1.18)
        elif roll < 0.15:    # the price went down
            factor = 1 / rng.uniform(0.85, 0.97)
        else:
            factor = 1.0
        old_prices = tuple(round(x * factor, 2) for x in prices) if factor != 1.0 else prices
        old_status = p.status if rng.random() < 0.9 else rng.choice([0, 1, 3])
        old_rows.append((sort_key(p), data_line(p, old_prices, old_status)))
    for p in old_only:
        old_rows.append((sort_key(p), data_line(p, price_columns(p.price, rng), p.status)))
    new_lines += [line for _, line in sorted(new_rows)]
    old_lines += [line for _, line in sorted(old_rows)]
    write_text(os.path.join(folder, "ZOLT.TXT"), new_lines)
    write_text(os.path.join(folder, "ZOLT_OLD.TXT"), old_lines)


def write_models(folder, models, current):
    lines = ["Список моделей автомобилей", "Код|Марка|Модель"]
    lines += ["%d|%s|%s" % m for m in models]
    write_text(os.path.join(folder, "rmodel.txt"), lines)

    pairs = sorted({(model, p.code) for p in current if p.code <= 32767 for model in p.models})
    used = {model for model, _ in pairs}
    empty = [m for m in models if m[0] not in used]
    assert [(b, n) for _, b, n in empty] == [MODEL_WITHOUT_PARTS], empty
    lines = ["Применяемость запчастей по моделям автомобилей", "КодМодели|КодЗапчасти"]
    lines += ["%d|%d" % pair for pair in pairs]
    write_text(os.path.join(folder, "rms_asg.txt"), lines)


def main(argv):
    if len(argv) > 2 or (len(argv) == 2 and argv[1] in ("-h", "--help")):
        print("usage: make_demo.py [DIR]", file=sys.stderr)
        return 2
    folder = argv[1] if len(argv) == 2 else "."
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(SEED)
    models, current, old_only = generate(rng)
    write_price_lists(folder, rng, current, old_only)
    write_models(folder, models, current)
    print("demo data written to %s" % os.path.abspath(folder))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
