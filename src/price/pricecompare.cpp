#include "pricecompare.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "cp1251.h"

#include "gridposition.h"
#include "ordixerror.h"
#include "priceloader.h"
#include "progressreporter.h"
#include "textencoding.h"
#include "supplierlist.h"
#include "supplierlistloader.h"
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
    workspace.setOldPriceFileName(QString());
    // A supplier's list is compared with the edition it replaced.
    QString candidate = candidateName(workspace.priceFileName());
    if (!workspace.priceLayoutName().isEmpty() && !QFileInfo(candidate).isFile()
        && QFileInfo(workspace.previousEditionFile()).isFile())
        candidate = workspace.previousEditionFile();
    UserPrompts &prompts = workspace.prompts();
    if (QFileInfo(candidate).isFile()) {
        const QString question =
            QStringLiteral("Вы хотите сравнить цены текущего прайс-листа со старым?\nТекущий файл: ")
            + describe(workspace.priceFileName()) + QStringLiteral("\nСтарый файл: ") + describe(candidate);
        if (prompts.askYesNo(question) == UserPrompts::Answer::Yes)
            workspace.setOldPriceFileName(candidate);
    }
    if (workspace.oldPriceFileName().isEmpty()) {
        if (prompts.askYesNo(
                QStringLiteral("Подходящий старый файл прайс-листа не найден.\nВы хотите указать его вручную?"))
            == UserPrompts::Answer::Yes) {
            UserPrompts::FileDialog dialog;
            dialog.title = QStringLiteral("Открыть старый файл прайс-листа");
            dialog.defaultExtension = QStringLiteral("txt");
            dialog.filter = PriceLoader::openDialogFilter();
            workspace.setOldPriceFileName(prompts.openFile(dialog));
        }
    }
    if (workspace.oldPriceFileName().isEmpty())
        return;
    compareWith(workspace, workspace.oldPriceFileName());
}

void PriceCompare::compareWith(Workspace &workspace, const QString &oldFileName)
{
    workspace.setOldPriceFileName(oldFileName);
    applyOldPrices(workspace, readOldPrices(workspace, oldFileName));
}

std::vector<double> PriceCompare::readOldPrices(Workspace &workspace, const QString &path)
{
    ProgressReporter &progress = workspace.progress();
    const QChar separator = workspace.settings().priceSeparator;
    const char byteSeparator = char(Cp1251::fromUnicode(separator.unicode()));
    const int priceMode = workspace.settings().priceMode;

    progress.startProgress(QStringLiteral("Loading old prices..."), 0, 100);
    if (QFileInfo(path).isFile() && SupplierList::detectFormat(path, separator) != ListFormat::Native) {
        // Another supplier's list: read through its layout, by code.
        const ProgressFinish end(progress);
        const QHash<qint32, double> byCode = SupplierListLoader::editionPrices(workspace, path);
        RecordTable &table = workspace.price();
        std::vector<double> prices(table.isActive() ? table.storedRowCount() : 0,
                                   std::numeric_limits<double>::quiet_NaN());
        for (uint32_t r = 0; r < prices.size(); ++r) {
            const auto it = byCode.constFind(qint32(table.storedInteger(r, CodeField)));
            if (it != byCode.constEnd())
                prices[r] = it.value();
        }
        return prices;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        progress.finishProgress();
        throw OrdixError(
            QStringLiteral("Не удалось прочитать файл %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    qint64 fileSize = file.size();
    // An old list saved as UTF-8 is read whole and becomes Windows-1251
    // bytes once; any other is read in blocks where it lies.
    QByteArray converted;
    QBuffer convertedSource;
    QIODevice *source = &file;
    if (TextEncoding::readWholeIfUtf8(file, &converted) && file.error() == QFileDevice::NoError) {
        fileSize = converted.size();
        convertedSource.setBuffer(&converted);
        convertedSource.open(QIODevice::ReadOnly);
        source = &convertedSource;
    }
    progress.stepProgress(10);

    // The lines are read as bytes where they lie; only the lines before the
    // data are decoded, to find the header.
    int codeColumn = 0;
    int priceColumn = 0;
    bool headerSeen = false;
    int m = 0;
    bool inData = false;
    qint64 r = 0;
    // Each line's price goes straight to the rows of its code, found through
    // the table's look-up of codes; a later line overwrites an earlier one.
    RecordTable &table = workspace.price();
    std::vector<double> prices(table.isActive() ? table.storedRowCount() : 0, std::numeric_limits<double>::quiet_NaN());
    std::vector<uint32_t> rows;
    // Editions of a list mostly keep their order: while every code is held
    // by one row only, the row after the last one found is tried before the
    // look-up, and the rows are met in stored order.
    const bool codesUnique = !prices.empty() && table.storedValuesUnique(CodeField);
    const uint32_t storedRows = uint32_t(prices.size());
    uint32_t expected = 0;
    const auto readLine = [&](QByteArrayView line, qint64 bytesRead) -> bool {
        if (!inData) {
            int position = 1;
            qint32 value = 0;
            if (!isWholeNumber(SplitField(line, position, byteSeparator), &value) || value == -10101) {
                const QString text = Cp1251::decode(line);
                if (PriceLoader::isRussianHeader(text)) {
                    const PriceColumns columns = PriceLoader::columnsFromHeader(text, separator, priceMode, false);
                    // A further header line names the price column anew;
                    // the code column stays the first header's.
                    if (!headerSeen)
                        codeColumn = columns.code;
                    headerSeen = true;
                    priceColumn = columns.price;
                }
                return true;
            }
            inData = true;
            m = qMax(codeColumn, priceColumn);
        }
        qint32 code = 0;
        double price = 0;
        int position = 1;
        int read = 0;
        while (position <= line.size() && read < m) {
            const QByteArrayView field = SplitField(line, position, byteSeparator);
            ++read;
            if (read == codeColumn && !isWholeNumber(field, &code))
                code = 0;
            if (read == priceColumn && !Decimal::parse(field, &price))
                price = 0;
        }
        if (codesUnique && expected < storedRows && table.storedInteger(expected, CodeField) == code) {
            prices[expected++] = price;
        } else if (!prices.empty()) {
            table.storedRowsWithValue(CodeField, code, rows);
            for (uint32_t row : rows)
                prices[row] = price;
            if (rows.size() == 1)
                expected = rows.front() + 1;
        }
        if (r % 10 == 0 && fileSize > 0)
            progress.stepProgress(int(std::lround(qMin(1.0, double(bytesRead) / double(fileSize)) * 90.0 + 10.0)));
        ++r;
        return true;
    };
    bool read = false;
    try {
        read = file.error() == QFileDevice::NoError && TextFile::forEachLine(*source, readLine);
    } catch (...) {
        progress.finishProgress();
        throw;
    }
    if (!read) {
        progress.finishProgress();
        throw OrdixError(
            QStringLiteral("Не удалось прочитать файл %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    return prices;
}

void PriceCompare::applyOldPrices(Workspace &workspace, const std::vector<double> &oldByRow)
{
    ProgressReporter &progress = workspace.progress();
    RecordTable &table = workspace.price();
    progress.startProgress(QStringLiteral("Comparing prices..."), 0, 100);
    bool stopped = false;
    if (table.isActive()) {
        GridFreeze freeze(workspace, Workspace::Grid::Price);
        // The rows of the view in stored order: straight runs through the
        // columns, and one step that sets every old price at the end.
        const std::vector<uint32_t> rows = table.viewRowsInStoredOrder();
        const int total = int(rows.size());
        std::vector<double> values;
        values.reserve(rows.size());
        int counter = 1;
        int lastShown = 0;
        // Escape counts after every row; it is asked for a piece of rows at
        // a time, and the rows up to the one it came after stay.
        constexpr size_t piece = 4096;
        for (size_t from = 0; from < rows.size() && !stopped; from += piece) {
            const size_t to = std::min(rows.size(), from + piece);
            for (size_t i = from; i < to; ++i) {
                const uint32_t row = rows[i];
                const double old = row < oldByRow.size() ? oldByRow[row] : std::numeric_limits<double>::quiet_NaN();
                if (!std::isnan(old) && std::llround(old * 10000.0) > 0)
                    values.push_back(old);
                else
                    values.push_back(table.storedFloat(row, PriceField));
                ++counter;
                if (counter % 10 == 0 && total > 0) {
                    const int percent = int(std::lround(double(counter) / double(total) * 100.0));
                    if (percent != lastShown) {
                        progress.stepProgress(percent);
                        lastShown = percent;
                    }
                }
            }
            const int stopAt = progress.stopRequestedWithin(int(to - from));
            if (stopAt >= 0) {
                stopped = true;
                values.resize(from + size_t(stopAt) + 1);
            }
        }
        std::vector<uint32_t> done(rows.begin(), rows.begin() + std::ptrdiff_t(values.size()));
        table.setStoredFloats(OldPriceField, done, values);
    }
    progress.finishProgress();
    if (stopped)
        workspace.prompts().message(QStringLiteral("Action stopped"), UserPrompts::Icon::Information);
}
