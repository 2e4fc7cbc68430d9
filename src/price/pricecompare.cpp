#include "pricecompare.h"

#include <cmath>

#include <QFileInfo>

#include "gridposition.h"
#include "ordixerror.h"
#include "priceloader.h"
#include "progressreporter.h"
#include "textfile.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    constexpr int OldPriceField = 9;
    constexpr int PriceField = 6;
    constexpr int CodeField = 1;

    QString describe(const QString &path)
    {
        return path + QStringLiteral(" (") + TextFile::dateTimeText(TextFile::fileDateTime(path)) + QLatin1Char(')');
    }
}

QString PriceCompare::candidateName(const QString &priceFileName)
{
    const QFileInfo info(priceFileName);
    const QString suffix = info.suffix();
    QString base = priceFileName;
    if (!suffix.isEmpty() && !info.fileName().startsWith(QLatin1Char('.')))
        base.chop(suffix.size() + 1);
    return base + QStringLiteral("_OLD") + (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

void PriceCompare::comparePrices(Workspace &workspace)
{
    workspace.oldPriceFileName.clear();
    const QString candidate = candidateName(workspace.priceFileName);
    UserPrompts &prompts = workspace.prompts();
    if (QFileInfo(candidate).isFile()) {
        const QString question = QStringLiteral("Вы хотите сравнить цены текущего прайс-листа со старым?\nТекущий файл: ")
            + describe(workspace.priceFileName) + QStringLiteral("\nСтарый файл: ") + describe(candidate);
        if (prompts.askYesNo(question) == UserPrompts::Answer::Yes)
            workspace.oldPriceFileName = candidate;
    }
    if (workspace.oldPriceFileName.isEmpty()) {
        if (prompts.askYesNo(QStringLiteral("Подходящий старый файл прайс-листа не найден.\nВы хотите указать его вручную?"))
            == UserPrompts::Answer::Yes) {
            UserPrompts::FileDialog dialog;
            dialog.title = QStringLiteral("Открыть старый файл прайс-листа");
            dialog.defaultExtension = QStringLiteral("txt");
            dialog.filter = QStringLiteral("Прайс-лист (*.txt)|*.txt");
            workspace.oldPriceFileName = prompts.openFile(dialog);
        }
    }
    if (workspace.oldPriceFileName.isEmpty())
        return;
    compareWith(workspace, workspace.oldPriceFileName);
}

void PriceCompare::compareWith(Workspace &workspace, const QString &oldFileName)
{
    workspace.oldPriceFileName = oldFileName;
    applyOldPrices(workspace, readOldPrices(workspace, oldFileName));
}

QHash<qint32, double> PriceCompare::readOldPrices(Workspace &workspace, const QString &path)
{
    ProgressReporter &progress = workspace.progress();
    const QChar separator = workspace.settings().priceSeparator;
    const int priceMode = workspace.settings().priceMode;

    progress.startProgress(QStringLiteral("Loading old prices..."), 0, 100);
    QStringList lines;
    try {
        lines = TextFile::readLines(path);
    } catch (...) {
        progress.stepProgress(101);
        throw;
    }
    progress.stepProgress(10);

    int codeColumn = 0;
    int priceColumn = 0;
    bool headerSeen = false;
    qsizetype first = 0;
    while (first < lines.size()) {
        const QString &line = lines.at(first);
        int position = 1;
        qint32 value = 0;
        if (isWholeNumber(SplitField(line, position, separator), &value) && value != -10101)
            break;
        if (PriceLoader::isRussianHeader(line)) {
            const PriceColumns columns = PriceLoader::columnsFromHeader(line, separator, priceMode, false);
            // A further header line names the price column anew; the code
            // column stays the first header's.
            if (!headerSeen)
                codeColumn = columns.code;
            headerSeen = true;
            priceColumn = columns.price;
        }
        ++first;
    }

    const int m = qMax(codeColumn, priceColumn);
    const qsizetype count = lines.size() - first;
    QHash<qint32, double> prices;
    prices.reserve(count);
    for (qsizetype r = 0; r < count; ++r) {
        const QString &line = lines.at(first + r);
        qint32 code = 0;
        double price = 0;
        int position = 1;
        int read = 0;
        while (position <= line.size() && read < m) {
            const QString field = SplitField(line, position, separator);
            ++read;
            if (read == codeColumn && !isWholeNumber(field, &code))
                code = 0;
            if (read == priceColumn && !Decimal::parse(field, &price))
                price = 0;
        }
        prices.insert(code, price);
        if (r % 10 == 0 && count > 1)
            progress.stepProgress(int(std::lround(double(r) / double(count - 1) * 90.0 + 10.0)));
    }
    return prices;
}

void PriceCompare::applyOldPrices(Workspace &workspace, const QHash<qint32, double> &prices)
{
    ProgressReporter &progress = workspace.progress();
    RecordTable &table = workspace.price();
    progress.startProgress(QStringLiteral("Comparing prices..."), 0, 100);
    const int total = table.rowCount();
    int counter = 1;
    int lastShown = 0;
    bool stopped = false;
    {
        GridFreeze freeze(workspace, Workspace::Grid::Price);
        table.first();
        while (!table.atEnd()) {
            try {
                const qint32 code = qint32(table.asInteger(CodeField));
                table.edit();
                const auto found = prices.constFind(code);
                double value;
                if (found != prices.constEnd() && std::llround(found.value() * 10000.0) > 0)
                    value = found.value();
                else
                    value = table.asFloat(PriceField);
                table.setFloat(OldPriceField, value);
                table.post();
            } catch (const OrdixError &) {
                if (table.isEditing())
                    table.cancel();
            }
            table.next();
            ++counter;
            if (counter % 10 == 0 && total > 0) {
                const int percent = int(std::lround(double(counter) / double(total) * 100.0));
                if (percent != lastShown) {
                    progress.stepProgress(percent);
                    lastShown = percent;
                }
            }
            if (progress.stopRequested()) {
                stopped = true;
                break;
            }
        }
    }
    progress.stepProgress(101);
    if (stopped)
        workspace.prompts().message(QStringLiteral("Action stopped"), UserPrompts::Icon::Information);
}
