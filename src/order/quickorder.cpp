#include "quickorder.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QHash>
#include <QVariantList>

#include "gridposition.h"
#include "inordermark.h"
#include "orderhistory.h"
#include "ordertable.h"
#include "pricelinefields.h"
#include "progressreporter.h"
#include "textfile.h"
#include "unfilteredprice.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    // The most codes the report names one by one.
    constexpr int NamedCodes = 20;
    // Lines looked up between two looks at the progress window.
    constexpr int StepLines = 1000;

    bool positiveNumber(QStringView text, qint32 *value)
    {
        for (const QChar ch : text) {
            if (ch.unicode() < '0' || ch.unicode() > '9')
                return false;
        }
        qint32 number = 0;
        if (text.isEmpty() || !isWholeNumber(text, &number) || number < 1)
            return false;
        *value = number;
        return true;
    }

    bool isSeparator(QChar ch)
    {
        return ch == QLatin1Char(';') || ch.isSpace();
    }

    // A part found in the price list, with what goes into its order line.
    struct Found
    {
        int priceRow = 0; // in the unfiltered view
        qint64 code = 0;
        qint32 quantity = 0;
        double unitPrice = 0;
    };

    void appendNamed(QString &text, const char16_t *label, const QStringList &codes)
    {
        if (codes.isEmpty())
            return;
        QStringList named = codes.mid(0, NamedCodes);
        if (codes.size() > NamedCodes)
            named.append(QStringLiteral("…"));
        text += QString::fromUtf16(label).arg(named.join(QStringLiteral(", ")));
    }
}

QuickOrder::Parsed QuickOrder::parse(const QString &text)
{
    Parsed parsed;
    QHash<qint32, qsizetype> byCode;
    const QStringView all(text);
    qsizetype start = 0;
    const qsizetype size = all.size();
    while (start <= size) {
        qsizetype end = start;
        while (end < size && all[end] != QLatin1Char('\r') && all[end] != QLatin1Char('\n'))
            ++end;
        const QStringView line = all.sliced(start, end - start);
        start = end + 1;
        if (end < size && all[end] == QLatin1Char('\r') && end + 1 < size && all[end + 1] == QLatin1Char('\n'))
            ++start;
        if (end >= size && line.isEmpty())
            break;

        // A spreadsheet row copied with empty cells after it ends in TABs or ";".
        QStringView fields[3];
        int count = 0;
        qsizetype i = 0;
        while (i < line.size() && count < 3) {
            while (i < line.size() && isSeparator(line[i]))
                ++i;
            if (i >= line.size())
                break;
            const qsizetype from = i;
            while (i < line.size() && !isSeparator(line[i]))
                ++i;
            fields[count++] = line.sliced(from, i - from);
        }
        if (count == 0)
            continue;
        qint32 code = 0;
        qint32 quantity = 1;
        if (count > 2 || !positiveNumber(fields[0], &code) || (count == 2 && !positiveNumber(fields[1], &quantity))) {
            ++parsed.skipped;
            continue;
        }
        const auto known = byCode.constFind(code);
        if (known != byCode.constEnd()) {
            parsed.lines[*known].quantity += quantity;
            continue;
        }
        byCode.insert(code, parsed.lines.size());
        parsed.lines.append({fields[0].toString(), code, quantity});
    }
    return parsed;
}

QuickOrder::Result QuickOrder::apply(Workspace &workspace, const Parsed &parsed)
{
    Result result;
    result.skipped = parsed.skipped;
    RecordTable &price = workspace.price();
    if (!price.isActive() || parsed.lines.isEmpty())
        return result;

    ProgressReporter &progress = workspace.progress();
    const bool showsProgress = parsed.lines.size() > ProgressLines;
    const PriceLineFields priceFields(price);

    const GridFreeze freeze(workspace, Workspace::Grid::Price);
    // A part hidden by the price list's filter is still in the list.
    const UnfilteredPrice unfiltered(price);

    // First every code is looked up, changing nothing: Escape here leaves
    // the order as it was.
    std::vector<Found> found;
    found.reserve(size_t(parsed.lines.size()));
    if (showsProgress)
        progress.startProgress(QStringLiteral("Вставка заказа из буфера..."), 0, 100);
    for (qsizetype i = 0; i < parsed.lines.size(); ++i) {
        if (showsProgress && i % StepLines == 0) {
            if (progress.stopRequested()) {
                progress.finishProgress();
                result = Result();
                result.stopped = true;
                return result;
            }
            progress.stepProgress(int(i * 50 / parsed.lines.size()));
        }
        const Line &line = parsed.lines.at(i);
        if (!price.locate(QStringLiteral("Code"), line.code)) {
            result.notFound.append(line.codeText);
            continue;
        }
        const int row = price.rowNumber() - 1;
        const double unitPrice = price.floatAt(row, priceFields.price);
        if (line.quantity > std::numeric_limits<qint32>::max()
            || !(std::fabs(unitPrice * double(line.quantity)) <= OrderTable::MaxAmount)) {
            result.tooLarge.append(line.codeText);
            continue;
        }
        found.push_back({row, price.integerAt(row, priceFields.code), qint32(line.quantity), unitPrice});
    }
    if (showsProgress)
        progress.stepProgress(50);

    if (!found.empty()) {
        OrderHistory::of(workspace).record(QStringLiteral("вставка заказа из буфера"), [&] {
            if (!workspace.orderOpen())
                OrderTable::startNew(workspace);
            RecordTable &order = workspace.order();
            QHash<qint64, int> orderRows;
            orderRows.reserve(order.rowCount());
            for (int r = 0; r < order.rowCount(); ++r) {
                if (!order.isNullAt(r, OrderTable::Code))
                    orderRows.insert(order.integerAt(r, OrderTable::Code), r);
            }
            double amount = 0;
            // The widest texts of the new lines are measured for the grid,
            // not every line.
            std::vector<int> longest(OrderTable::FieldCount, -1);
            std::vector<qsizetype> longestLength(OrderTable::FieldCount, -1);
            order.suspendViews();
            try {
                size_t done = 0;
                for (const Found &part : found) {
                    if (showsProgress && ++done % StepLines == 0)
                        progress.stepProgress(int(50 + done * 50 / found.size()));
                    const auto existing = orderRows.constFind(part.code);
                    if (existing != orderRows.constEnd()) {
                        // The line keeps its own price, as in the quantity dialog.
                        order.setRowNumber(*existing + 1);
                        const double oldSum = order.asFloat(OrderTable::SUM);
                        const double sum = OrderTable::lineAmount(order.asFloat(OrderTable::Price), part.quantity);
                        order.edit();
                        try {
                            order.setInteger(OrderTable::Count, part.quantity);
                            order.setFloat(OrderTable::SUM, sum);
                            order.post();
                        } catch (...) {
                            order.cancel();
                            throw;
                        }
                        amount += sum - oldSum;
                        ++result.changed;
                        continue;
                    }
                    const qint64 flag = Availability::withoutInOrder(price.integerAt(part.priceRow, priceFields.flag));
                    const double sum = OrderTable::lineAmount(part.unitPrice, part.quantity);
                    const QVariantList values{int(flag), part.code, price.stringAt(part.priceRow, priceFields.name),
                                              price.stringAt(part.priceRow, priceFields.catalog),
                                              price.stringAt(part.priceRow, priceFields.producer), part.quantity,
                                              part.unitPrice, sum};
                    order.appendRow(values);
                    const int row = order.rowCount() - 1;
                    orderRows.insert(part.code, row);
                    for (int f = 0; f < OrderTable::FieldCount; ++f) {
                        const qsizetype length = values.at(f).toString().size();
                        if (length > longestLength[size_t(f)]) {
                            longestLength[size_t(f)] = length;
                            longest[size_t(f)] = row;
                        }
                    }
                    amount += sum;
                    ++result.added;
                    if (!Availability::isInOrder(price.integerAt(part.priceRow, priceFields.flag))) {
                        price.setRowNumber(part.priceRow + 1);
                        Availability::setInOrder(price, priceFields.flag, true);
                    }
                }
            } catch (...) {
                order.resumeViews();
                workspace.document().addToTotal(amount);
                OrderTable::showOrderSum(workspace);
                workspace.document().setModified(true);
                throw;
            }
            order.resumeViews();
            std::sort(longest.begin(), longest.end());
            longest.erase(std::unique(longest.begin(), longest.end()), longest.end());
            for (const int row : longest) {
                if (row >= 0)
                    OrderTable::notePosted(workspace, row);
            }
            workspace.document().addToTotal(amount);
            OrderTable::showOrderSum(workspace);
            workspace.document().setModified(true);
        });
    }
    if (showsProgress)
        progress.finishProgress();
    return result;
}

QString QuickOrder::report(const Result &result)
{
    QString text = QStringLiteral("Добавлено: %1; изменено: %2; не найдено в прайс-листе: %3")
                       .arg(result.added)
                       .arg(result.changed)
                       .arg(result.notFound.size());
    appendNamed(text, u" (коды %1)", result.notFound);
    appendNamed(text, u"\nКоличество или сумма больше допустимых, строки не добавлены (коды %1)", result.tooLarge);
    if (result.skipped > 0)
        text += QStringLiteral("\nПропущено строк не вида «код количество»: %1").arg(result.skipped);
    return text;
}

void QuickOrder::pasteFromClipboard(Workspace &workspace)
{
    if (!workspace.priceNotEmpty())
        return;
    const Parsed parsed = parse(workspace.prompts().clipboardText());
    if (parsed.lines.isEmpty()) {
        QString text = QStringLiteral("В буфере обмена нет строк заказа вида «код количество».");
        if (parsed.skipped > 0)
            text += QStringLiteral("\nПропущено строк: %1").arg(parsed.skipped);
        workspace.prompts().message(text, UserPrompts::Icon::Warning);
        return;
    }
    const Result result = apply(workspace, parsed);
    if (result.stopped) {
        workspace.prompts().message(QStringLiteral("Action stopped"), UserPrompts::Icon::Information);
        return;
    }
    const bool clean = result.notFound.isEmpty() && result.tooLarge.isEmpty() && result.skipped == 0;
    workspace.prompts().message(report(result), clean ? UserPrompts::Icon::Information : UserPrompts::Icon::Warning);
}
