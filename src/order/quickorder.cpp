#include "quickorder.h"

#include <QRegularExpression>

#include "gridposition.h"
#include "orderhistory.h"
#include "orderlines.h"
#include "textfile.h"
#include "unfilteredprice.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    // The most codes the report names one by one.
    constexpr int NamedCodes = 20;

    bool positiveNumber(const QString &text, qint32 *value)
    {
        for (const QChar ch : text) {
            if (!ch.isDigit() || ch.unicode() > 127)
                return false;
        }
        qint32 number = 0;
        if (text.isEmpty() || !isWholeNumber(QStringView(text), &number) || number < 1)
            return false;
        *value = number;
        return true;
    }
}

QuickOrder::Parsed QuickOrder::parse(const QString &text)
{
    static const QRegularExpression separators(QStringLiteral("[\\t;\\s]+"));
    Parsed parsed;
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\\r\\n|\\r|\\n")));
    for (const QString &raw : lines) {
        // A spreadsheet row copied with empty cells after it ends in TABs or ";".
        QString line = raw;
        line.replace(QChar(0x00A0), QLatin1Char(' '));
        const QStringList fields = line.split(separators, Qt::SkipEmptyParts);
        if (fields.isEmpty())
            continue;
        Line entry;
        if (fields.size() > 2 || !positiveNumber(fields.at(0), &entry.code)) {
            ++parsed.skipped;
            continue;
        }
        qint32 quantity = 1;
        if (fields.size() == 2 && !positiveNumber(fields.at(1), &quantity)) {
            ++parsed.skipped;
            continue;
        }
        entry.codeText = fields.at(0);
        entry.quantity = quantity;
        parsed.lines.append(entry);
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
    OrderHistory::of(workspace).record(QStringLiteral("вставка заказа из буфера"), [&] {
        const GridFreeze freeze(workspace, Workspace::Grid::Price);
        // A part hidden by the price list's filter is still in the list.
        const UnfilteredPrice unfiltered(price);
        for (const Line &line : parsed.lines) {
            if (!price.locate(QStringLiteral("Code"), line.code)) {
                if (!result.notFound.contains(line.codeText))
                    result.notFound.append(line.codeText);
                continue;
            }
            OrderLines::addPart(workspace, line.quantity);
            ++result.added;
        }
    });
    return result;
}

QString QuickOrder::report(const Result &result)
{
    QString text = QStringLiteral("Добавлено: %1; не найдено в прайс-листе: %2").arg(result.added).arg(result.notFound.size());
    if (!result.notFound.isEmpty()) {
        QStringList named = result.notFound.mid(0, NamedCodes);
        if (result.notFound.size() > NamedCodes)
            named.append(QStringLiteral("…"));
        text += QStringLiteral(" (коды %1)").arg(named.join(QStringLiteral(", ")));
    }
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
    workspace.prompts().message(report(result),
                                result.notFound.isEmpty() && result.skipped == 0 ? UserPrompts::Icon::Information
                                                                                   : UserPrompts::Icon::Warning);
}
