#include "orderwriter.h"

#include <QDate>

#include "orderreader.h"
#include "ordertable.h"
#include "progressreporter.h"
#include "textfile.h"
#include "workspace.h"

namespace
{
    const QChar FileSeparator = QLatin1Char('|');
    const QChar ExportSeparator = QLatin1Char('\t');

    // A field as the order file carries it: no separator, no line break.
    QString fileField(const QString &text)
    {
        // Trimmed as the reader trims, so that a written file reads back as
        // the same lines (a name read from the older layout may end in blanks).
        QString result = OrderReader::trimField(text);
        for (QChar &ch : result) {
            if (ch == FileSeparator)
                ch = QLatin1Char('/');
            else if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
                ch = QLatin1Char(' ');
        }
        return result;
    }

    // A field of the tab-separated export: no tab, no line break.
    QString exportField(const QString &text)
    {
        QString result = text;
        for (QChar &ch : result) {
            if (ch == ExportSeparator || ch == QLatin1Char('\r') || ch == QLatin1Char('\n'))
                ch = QLatin1Char(' ');
        }
        return result;
    }

    void writeFileHead(const Workspace &workspace, QStringList &target)
    {
        const Settings &s = workspace.settings();
        target << QStringLiteral("Заказ на ") + TextFile::shortDate(QDate::currentDate())
               << QStringLiteral("  Заказчик: ") + s.customer << QStringLiteral("  Адрес: ") + s.addr
               << QStringLiteral("  Телефон/факс: ") + s.phone << QStringLiteral("  Контактное лицо: ") + s.contact
               << QStringLiteral("  Банк: ") + s.bank << QStringLiteral("  БИК: ") + s.bik
               << QStringLiteral("  Расчетный счет: ") + s.settlementAccount
               << QStringLiteral("  Кор. счет: ") + s.correspondentAccount << QStringLiteral("  ИНН: ") + s.inn
               << QStringLiteral("  Доставка товара: ") + s.delivery << QStringLiteral("  Упаковка товара: ") + s.pack
               << QStringLiteral("  Форма оплаты: ") + s.payment << QStringLiteral("ЗАКАЗ:");
    }

    void writeExportHead(QStringList &target)
    {
        target << QStringList{QStringLiteral("Код"),
                              QStringLiteral("Наименование / артикул производителя"),
                              QStringLiteral("Каталожный номер"),
                              QStringLiteral("Производство"),
                              QStringLiteral("Количество"),
                              QStringLiteral("Цена за ед."),
                              QStringLiteral("ИТОГО")}
                      .join(ExportSeparator);
    }
}

QString OrderWriter::fileLine(const QString &code, const QString &name, const QString &catalogId,
                              const QString &producer, qint64 count)
{
    return QStringList{fileField(code), fileField(name), fileField(catalogId), fileField(producer),
                       QString::number(count)}
        .join(FileSeparator);
}

void OrderWriter::write(Workspace &workspace, QStringList &target, Form form)
{
    target.clear();
    ProgressReporter &progress = workspace.progress();
    progress.startProgress(QStringLiteral("Creating order..."), 0, 100);
    const ProgressFinish end(progress);

    // Read by row, so the grid's current line stays where the buyer left it.
    const RecordTable &table = workspace.order();

    if (form == Form::File)
        writeFileHead(workspace, target);
    else
        writeExportHead(target);
    progress.stepProgress(10);

    double rate = workspace.settings().currentCurrency.rate;
    if (!(rate > 0))
        rate = 1.0;

    const int rows = table.isActive() ? table.rowCount() : 0;
    int shown = 10;
    for (int r = 0; r < rows; ++r) {
        const QString name = table.stringAt(r, OrderTable::Name);
        const QString catalogId = table.stringAt(r, OrderTable::CatalogID);
        const QString producer = table.stringAt(r, OrderTable::Producer);
        const QString code = OrderTable::codeText(table, r);
        const qint64 count = table.integerAt(r, OrderTable::Count);
        if (form == Form::File) {
            target << fileLine(code, name, catalogId, producer, count);
        } else {
            const double price = workspace.applyDiscount(table.floatAt(r, OrderTable::Price)) / rate;
            const double sum = workspace.applyDiscount(table.floatAt(r, OrderTable::SUM)) / rate;
            target << QStringList{exportField(code),      exportField(name),      exportField(catalogId),
                                  exportField(producer),  QString::number(count), Decimal::format(price, 2),
                                  Decimal::format(sum, 2)}
                          .join(ExportSeparator);
        }
        const int step = 10 + int(qint64(r + 1) * 90 / rows);
        if (step != shown) {
            shown = step;
            progress.stepProgress(step);
        }
    }

    if (form == Form::Export) {
        const QString payable = workspace.document().payableText();
        target << QStringList{QString(), QStringLiteral("ВСЕГО"), QString(), QString(), QString(), QString(), payable}
                      .join(ExportSeparator);
    }
}
