#include "clilayout.h"

#include <QFileInfo>

#include "clioptions.h"
#include "importcells.h"
#include "layoutstore.h"
#include "ordixerror.h"
#include "supplierlist.h"

namespace
{
    QString delimiterName(char delimiter)
    {
        switch (delimiter) {
        case '\t':
            return QStringLiteral("TAB");
        case 0:
            return QStringLiteral("нет");
        default:
            return QString(QLatin1Char(delimiter));
        }
    }

    QString mapping(const ImportLayout &layout)
    {
        QStringList parts;
        for (int f = 0; f < ImportFields::count; ++f) {
            const int c = layout.columns[size_t(f)];
            if (c >= 0)
                parts << ImportFields::key(ImportField(f)) + QLatin1Char('=') + ImportLayout::columnLetter(c);
        }
        return parts.join(QLatin1Char(' '));
    }

    QString quoted(const QString &text)
    {
        if (!text.isEmpty() && !text.contains(QLatin1Char(' ')) && !text.contains(QLatin1Char('"'))
            && !text.contains(QLatin1Char('\'')))
            return text;
        QString t = text;
        t.replace(QLatin1Char('"'), QLatin1String("\\\""));
        return QLatin1Char('"') + t + QLatin1Char('"');
    }

    // A column named by its header text or its letter; -1 for "-".
    int columnOf(const QString &name, const QStringList &header, bool *ok)
    {
        *ok = true;
        if (name == QLatin1String("-"))
            return -1;
        for (int c = 0; c < header.size(); ++c) {
            if (header.at(c).compare(name, Qt::CaseInsensitive) == 0)
                return c;
        }
        const int letter = ImportLayout::columnFromLetter(name);
        if (letter >= 0)
            return letter;
        *ok = false;
        return -1;
    }

    ImportField fieldNamed(const QString &name)
    {
        const ImportField byKey = ImportFields::fromKey(name);
        if (byKey != ImportField::None)
            return byKey;
        for (int f = 0; f < ImportFields::count; ++f) {
            if (ImportFields::title(ImportField(f)).compare(name, Qt::CaseInsensitive) == 0)
                return ImportField(f);
        }
        return ImportField::None;
    }
}

QString CliLayout::describe(SupplierList &list, const ImportLayout &layout, const QStringList &why)
{
    QStringList lines;
    lines << QStringLiteral("Файл\t%1").arg(list.path());
    lines << QStringLiteral("Формат\t%1").arg(SupplierList::formatName(list.format()));
    if (list.format() == ListFormat::Csv) {
        lines << QStringLiteral("Кодировка\t%1").arg(QString::fromLatin1(list.encoding()));
        lines << QStringLiteral("Разделитель\t%1").arg(delimiterName(list.delimiter()));
    } else {
        QStringList names;
        const QList<SheetInfo> sheets = list.sheets();
        for (const SheetInfo &sheet : sheets)
            names << sheet.name + (sheet.hidden ? QStringLiteral(" (скрыт)") : QString());
        lines << QStringLiteral("Лист\t%1 (листы: %2)")
                     .arg(sheets.value(list.sheet()).name, names.join(QStringLiteral(", ")));
    }
    lines << QStringLiteral("Строка заголовка\t%1")
                 .arg(layout.headerRow > 0 ? QString::number(layout.headerRow) : QStringLiteral("нет"));
    if (!layout.decimalMark.isNull())
        lines << QStringLiteral("Дробная часть цены\t«%1»").arg(layout.decimalMark);
    for (int c = 0; c < layout.columnCount; ++c) {
        const ImportField field = layout.fieldOfColumn(c);
        lines << QStringLiteral("%1\t%2\t%3\t%4")
                     .arg(ImportLayout::columnLetter(c), layout.header.value(c),
                          field == ImportField::None ? QStringLiteral("-") : ImportFields::key(field),
                          field == ImportField::None ? QString() : why.value(c));
    }
    if (!layout.isComplete())
        lines << QStringLiteral("Не найдены\t%1").arg(layout.missingFields());
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString CliLayout::saveCommand(const QString &path, const ImportLayout &layout)
{
    QString command = QStringLiteral("ordix-cli layout save %1 %2")
                          .arg(quoted(path), quoted(layout.name.isEmpty() ? QStringLiteral("NAME") : layout.name));
    for (int f = 0; f < ImportFields::count; ++f) {
        const int c = layout.columns[size_t(f)];
        command +=
            QStringLiteral(" --set %1=%2")
                .arg(ImportFields::key(ImportField(f)), c >= 0 ? ImportLayout::columnLetter(c) : QStringLiteral("-"));
    }
    if (layout.headerRow >= 0)
        command += QStringLiteral(" --header-row %1").arg(layout.headerRow);
    return command;
}

bool CliLayout::answer(PriceLayoutQuestion &question, const Print &note, const Print &report)
{
    question.remember = false; // the command line saves a layout only when told to
    if (question.fromSaved && question.layout.isComplete()) {
        note(QStringLiteral("столбцы «%1» применены по заголовку: %2")
                 .arg(question.layout.name, question.changes.join(QStringLiteral("; "))));
        return true;
    }
    if (!question.fromSaved && question.certain) {
        note(QStringLiteral("столбцы прайс-листа %1 угаданы по заголовку (не сохранены): %2")
                 .arg(question.path, mapping(question.layout)));
        return true;
    }
    QString text = QStringLiteral("Столбцы прайс-листа %1 не распознаны наверняка. Догадка:\n").arg(question.path);
    for (int c = 0; c < question.layout.columnCount; ++c) {
        const ImportField field = question.layout.fieldOfColumn(c);
        if (field != ImportField::None)
            text += QStringLiteral("  %1 %2 → %3 (%4)\n")
                        .arg(ImportLayout::columnLetter(c), question.layout.header.value(c), ImportFields::key(field),
                             question.reasons.value(c));
    }
    if (!question.changes.isEmpty())
        text += QStringLiteral("Изменения: %1\n").arg(question.changes.join(QStringLiteral("; ")));
    text += QStringLiteral("Сохраните столбцы командой:\n  %1\n").arg(saveCommand(question.path, question.layout));
    report(text);
    throw OrdixError(
        QStringLiteral("столбцы прайс-листа %1 не распознаны: сохраните их командой layout save").arg(question.path));
}

int CliLayout::run(const CliOptions &options, const Print &out)
{
    const LayoutStore store;
    if (options.layoutAction == QLatin1String("list")) {
        QStringList problems;
        const QList<ImportLayout> layouts = store.layouts(&problems);
        for (const ImportLayout &layout : layouts) {
            out(QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                    .arg(layout.name, layout.fileFormat, layout.sheet,
                         layout.headerRow > 0 ? QString::number(layout.headerRow) : QStringLiteral("-"),
                         mapping(layout)));
        }
        for (const QString &problem : problems)
            out(QStringLiteral("# %1\n").arg(problem));
        return 0;
    }
    if (!QFileInfo(options.file).isFile())
        throw OrdixError(QStringLiteral("no file %1").arg(options.file));
    SupplierList list(options.file);
    if (!options.sheet.isEmpty()) {
        const QList<SheetInfo> sheets = list.sheets();
        int chosen = -1;
        for (int s = 0; s < sheets.size(); ++s) {
            if (sheets.at(s).name == options.sheet)
                chosen = s;
        }
        bool number = false;
        const int index = options.sheet.toInt(&number);
        if (chosen < 0 && number && index >= 1 && index <= sheets.size())
            chosen = index - 1;
        if (chosen < 0)
            throw OrdixError(QStringLiteral("no sheet %1 in %2").arg(options.sheet, options.file));
        list.choose(chosen);
    }
    QStringList why;
    ImportLayout layout;
    if (options.layoutAction == QLatin1String("show")) {
        const std::optional<LayoutStore::Match> saved = list.findSaved(store);
        if (saved) {
            layout = saved->layout;
            list.guess(&why);
            QString changed;
            if (!saved->exact)
                changed = QStringLiteral(" (заголовок изменился: %1)").arg(saved->changes.join(QStringLiteral("; ")));
            out(QStringLiteral("Сохранённые столбцы\t%1%2\n").arg(layout.name, changed));
        } else {
            bool certain = false;
            layout = list.guess(&why, &certain);
            out(QStringLiteral("Догадка\t%1\n")
                    .arg(certain ? QStringLiteral("по заголовку") : QStringLiteral("не наверняка")));
        }
        out(describe(list, layout, why));
        if (layout.isComplete()) {
            const SupplierList::Result result = list.read(layout, [](const QByteArrayView *) { return true; });
            for (int k = 0; k < RowClasses::count; ++k) {
                if (result.counts[size_t(k)] > 0)
                    out(QStringLiteral("Строк «%1»\t%2\n")
                            .arg(RowClasses::title(RowClass(k)))
                            .arg(result.counts[size_t(k)]));
            }
            if (result.damagedCodes > 0)
                out(QStringLiteral("Кодов, испорченных Excel\t%1\n").arg(result.damagedCodes));
            for (const QString &note : result.notes)
                out(QStringLiteral("Замечание\t%1\n").arg(note));
        }
        return 0;
    }

    // save
    layout = list.guess(&why, nullptr, options.headerRow);
    layout.name = options.layoutName;
    const QStringList header = layout.header;
    for (const QString &set : options.layoutSets) {
        const qsizetype eq = set.indexOf(QLatin1Char('='));
        const ImportField field = fieldNamed(set.left(eq).trimmed());
        if (field == ImportField::None)
            throw OrdixError(
                QStringLiteral("no field %1 (code, name, partNumber, maker, pack, price, group, analogues, stock)")
                    .arg(set.left(eq)));
        bool ok = false;
        const int column = columnOf(set.mid(eq + 1).trimmed(), header, &ok);
        if (!ok)
            throw OrdixError(QStringLiteral("no column %1 in the header of %2").arg(set.mid(eq + 1), options.file));
        // A column feeds one field.
        const ImportField previous = layout.fieldOfColumn(column);
        if (previous != ImportField::None && previous != field)
            layout.setColumn(previous, -1);
        layout.setColumn(field, column);
        layout.columnCount = qMax(layout.columnCount, column + 1);
    }
    if (!layout.isComplete())
        throw OrdixError(QStringLiteral("the layout lacks %1: give it with --set").arg(layout.missingFields()));
    const QString path = store.save(layout);
    out(QStringLiteral("%1\n").arg(path));
    return 0;
}
