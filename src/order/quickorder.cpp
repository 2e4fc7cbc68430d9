#include "quickorder.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

#include <QHash>
#include <QVariantList>

#include "gridposition.h"
#include "inordermark.h"
#include "orderhistory.h"
#include "ordertable.h"
#include "pricecodes.h"
#include "pricelinefields.h"
#include "progressreporter.h"
#include "unfilteredprice.h"
#include "userprompts.h"
#include "workspace.h"

namespace
{
    // Escape pressed while a quick order's lines go in.
    struct Stopped
    { };

    // Runs the step that puts a quick order's lines in as one step of the
    // undo history; false, and the order as it was, when Escape stopped it.
    bool recordUnlessStopped(Workspace &workspace, const std::function<void()> &step)
    {
        try {
            OrderHistory::of(workspace).recordWhole(QStringLiteral("вставка заказа из буфера"), step);
            return true;
        } catch (const Stopped &) {
            return false;
        }
    }

    // The most codes the report names one by one.
    constexpr int NamedCodes = 20;
    // Lines looked up between two looks at the progress window.
    constexpr int StepLines = 1000;

    bool isSeparator(char16_t ch)
    {
        return ch == u';' || QChar::isSpace(ch);
    }

    // A part found in the price list, with what goes into its order line.
    struct Found
    {
        uint32_t priceRow = 0; // stored row
        qint64 code = 0;
        qint32 quantity = 0;
        double unitPrice = 0;
        qint64 flag = 0;
        QByteArrayView name;
        QByteArrayView catalog;
        QByteArrayView producer;
    };

    // Codes met so far and where their line is: open addressing over a
    // power-of-two table, doubled at half full.
    class CodeLines final
    {
    public:
        // The index of the code's line, or -1 after noting `line` as it.
        qsizetype findOrAdd(qint32 code, qsizetype line)
        {
            if (2 * (m_count + 1) > m_slots.size())
                grow();
            size_t at = bucket(code);
            while (m_slots[at].line >= 0) {
                if (m_slots[at].code == code)
                    return m_slots[at].line;
                at = (at + 1) & (m_slots.size() - 1);
            }
            m_slots[at] = {code, qint32(line)};
            ++m_count;
            return -1;
        }

        // Room for `codes` codes without growing.
        void reserve(qsizetype codes)
        {
            int bits = 10;
            while ((size_t(1) << bits) < 2 * size_t(codes) + 2)
                ++bits;
            if (bits > m_bits) {
                m_bits = bits - 1;
                grow();
            }
        }

    private:
        struct Slot
        {
            qint32 code = 0;
            qint32 line = -1; // a text of 2^31 lines is beyond any clipboard
        };

        size_t bucket(qint32 code) const
        {
            return size_t((uint64_t(uint32_t(code)) * 0x9E3779B97F4A7C15ULL) >> (64 - m_bits));
        }

        void grow()
        {
            std::vector<Slot> old = std::move(m_slots);
            m_bits = std::max(10, m_bits + 1);
            m_slots.assign(size_t(1) << m_bits, Slot());
            m_count = 0;
            for (const Slot &slot : old) {
                if (slot.line >= 0)
                    findOrAdd(slot.code, slot.line);
            }
        }

        std::vector<Slot> m_slots;
        size_t m_count = 0;
        int m_bits = 0;
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
    parsed.text = text;
    CodeLines byCode;
    const qsizetype most = QStringView(text).count(QLatin1Char('\n')) + 1;
    byCode.reserve(most);
    // Written in place and cut to the lines found at the end.
    parsed.lines.resize(most);
    Line *const lines = parsed.lines.data();
    qsizetype count = 0;
    const char16_t *const begin = reinterpret_cast<const char16_t *>(text.utf16());
    const char16_t *const end = begin + text.size();
    const auto lineEnd = [](char16_t ch) { return ch == u'\n' || ch == u'\r'; };
    const char16_t *p = begin;
    while (p < end) {
        // A spreadsheet row copied with empty cells after it ends in TABs or ";".
        int fields = 0;
        const char16_t *codeAt = nullptr;
        qsizetype codeLength = 0;
        qint64 numbers[2]{0, 0}; // 0: not a number from 1 to 2147483647
        while (p < end && !lineEnd(*p)) {
            if (isSeparator(*p)) {
                ++p;
                continue;
            }
            const char16_t *const from = p;
            qint64 number = 0;
            for (; p < end && !lineEnd(*p) && !isSeparator(*p); ++p) {
                if (number >= 0 && *p >= u'0' && *p <= u'9') {
                    number = number * 10 + (*p - u'0');
                    if (number > std::numeric_limits<qint32>::max())
                        number = -1;
                } else {
                    number = -1;
                }
            }
            if (fields < 2)
                numbers[fields] = std::max<qint64>(number, 0);
            if (fields == 0) {
                codeAt = from;
                codeLength = p - from;
            }
            ++fields;
        }
        if (p < end) {
            if (*p == u'\r' && p + 1 < end && p[1] == u'\n')
                ++p;
            ++p;
        }
        if (fields == 0)
            continue;
        if (fields > 2 || numbers[0] == 0 || (fields == 2 && numbers[1] == 0)) {
            ++parsed.skipped;
            continue;
        }
        const qint32 code = qint32(numbers[0]);
        const qint64 quantity = fields == 2 ? numbers[1] : 1;
        const qsizetype known = byCode.findOrAdd(code, count);
        if (known >= 0) {
            lines[known].quantity += quantity;
            continue;
        }
        lines[count++] = {codeAt - begin, codeLength, code, quantity};
    }
    parsed.lines.resize(count);
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
    PriceCodes codes(price);

    // First every code is looked up, changing nothing: Escape here leaves
    // the order as it was.
    std::vector<size_t> textBytes(OrderTable::FieldCount, 0); // of the found parts, by order field
    if (showsProgress)
        progress.startProgress(QStringLiteral("Вставка заказа из буфера..."), 0, 100);
    // One pass over the list's codes finds them all.
    std::vector<qint64> wanted;
    wanted.reserve(size_t(parsed.lines.size()));
    for (const Line &line : parsed.lines)
        wanted.push_back(line.code);
    std::vector<qint64> rows;
    codes.findAll(wanted, rows);
    // The parts' fields are read a block of price rows after another, as
    // they lie in the list, rather than in the order of the lines, which
    // would fetch each from anywhere in it.
    std::vector<Found> parts(size_t(parsed.lines.size())); // by line
    {
        int shift = 0;
        while ((price.storedRowCount() >> shift) > 4096)
            ++shift;
        std::vector<uint32_t> blockStart((price.storedRowCount() >> shift) + 2, 0);
        for (const qint64 row : rows) {
            if (row >= 0)
                ++blockStart[(size_t(row) >> shift) + 1];
        }
        for (size_t b = 1; b < blockStart.size(); ++b)
            blockStart[b] += blockStart[b - 1];
        std::vector<uint32_t> byBlock(blockStart.back());
        for (size_t i = 0; i < rows.size(); ++i) {
            if (rows[i] >= 0)
                byBlock[blockStart[size_t(rows[i]) >> shift]++] = uint32_t(i);
        }
        for (const uint32_t i : byBlock) {
            const uint32_t p = uint32_t(rows[i]);
            parts[i] = {p,
                        price.storedInteger(p, priceFields.code),
                        0,
                        price.storedFloat(p, priceFields.price),
                        price.storedInteger(p, priceFields.flag),
                        price.storedBytes(p, priceFields.name),
                        price.storedBytes(p, priceFields.catalog),
                        price.storedBytes(p, priceFields.producer)};
        }
    }
    std::vector<uint32_t> found; // the lines that go in
    found.reserve(parts.size());
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
        if (rows[size_t(i)] < 0) {
            result.notFound.append(parsed.codeText(line));
            continue;
        }
        Found &part = parts[size_t(i)];
        if (line.quantity > std::numeric_limits<qint32>::max()
            || !(std::fabs(part.unitPrice * double(line.quantity)) <= OrderTable::MaxAmount)) {
            result.tooLarge.append(parsed.codeText(line));
            continue;
        }
        part.quantity = qint32(line.quantity);
        found.push_back(uint32_t(i));
        textBytes[OrderTable::Name] += size_t(part.name.size());
        textBytes[OrderTable::CatalogID] += size_t(part.catalog.size());
        textBytes[OrderTable::Producer] += size_t(part.producer.size());
    }
    if (showsProgress)
        progress.stepProgress(50);

    if (!found.empty()) {
        const bool applied = recordUnlessStopped(workspace, [&] {
            if (!workspace.orderOpen())
                OrderTable::startNew(workspace);
            RecordTable &order = workspace.order();
            // The lines already in the order: view row and stored row by code.
            QHash<qint64, std::pair<int, uint32_t>> orderRows;
            orderRows.reserve(order.rowCount());
            for (int r = 0; r < order.rowCount(); ++r) {
                if (!order.isNullAt(r, OrderTable::Code))
                    orderRows.insert(order.integerAt(r, OrderTable::Code), {r, order.storedRowAt(r)});
            }
            const uint32_t firstNew = order.storedRowCount();
            const int firstNewRow = order.rowCount();
            // The new lines go in at the end of the table, told to the views
            // once; the new quantities of the lines already there and the
            // in-order marks of the price rows the new lines take from are
            // written all at once after the loop.
            order.reserve(qint64(firstNew) + qint64(found.size()), textBytes);
            std::vector<uint32_t> changedRows;
            std::vector<RecordTable::StoredValue> counts;
            std::vector<RecordTable::StoredValue> sums;
            std::vector<uint32_t> markRows;
            std::vector<RecordTable::StoredValue> marks;
            int lastChanged = -1; // the view row of the line handled last, when it was a changed one
            // The widest texts of the new lines are measured for the grid,
            // not every line.
            OrderTable::LongestLines longest;
            changedRows.reserve(found.size());
            counts.reserve(found.size());
            sums.reserve(found.size());
            markRows.reserve(found.size());
            marks.reserve(found.size());
            const auto flush = [&] {
                order.setStoredValues(OrderTable::Count, changedRows, counts);
                order.setStoredValues(OrderTable::SUM, changedRows, sums);
                changedRows.clear();
                counts.clear();
                sums.clear();
                price.setStoredValues(priceFields.flag, markRows, marks);
                markRows.clear();
                marks.clear();
            };
            order.suspendViews();
            try {
                size_t done = 0;
                // The price rows' texts lie anywhere in the list: those of a
                // few parts ahead are fetched while this one is copied.
                constexpr size_t Ahead = 32;
                for (const uint32_t line : found) {
                    const Found &part = parts[line];
                    if (done + Ahead < found.size()) {
                        const Found &next = parts[found[done + Ahead]];
                        for (const QByteArrayView text : {next.name, next.catalog, next.producer}) {
                            __builtin_prefetch(text.data());
                            __builtin_prefetch(text.data() + text.size());
                        }
                    }
                    ++done;
                    if (showsProgress && done % StepLines == 0) {
                        if (progress.stopRequested())
                            throw Stopped();
                        progress.stepProgress(int(50 + done * 50 / found.size()));
                    }
                    const auto existing = orderRows.constFind(part.code);
                    if (existing != orderRows.constEnd()) {
                        // The line keeps its own price, as in the quantity dialog.
                        const uint32_t stored = existing->second;
                        const double sum =
                            OrderTable::lineAmount(order.storedFloat(stored, OrderTable::Price), part.quantity);
                        changedRows.push_back(stored);
                        counts.push_back({{}, double(part.quantity)});
                        sums.push_back({{}, sum});
                        workspace.document().countLine(part.code);
                        ++result.changed;
                        lastChanged = existing->first;
                        continue;
                    }
                    const qint64 priceFlag = part.flag;
                    const double sum = OrderTable::lineAmount(part.unitPrice, part.quantity);
                    const RecordTable::StoredValue values[OrderTable::FieldCount]{
                        {{}, double(Availability::withoutInOrder(priceFlag))},
                        {{}, double(part.code)},
                        {part.name},
                        {part.catalog},
                        {part.producer},
                        {{}, double(part.quantity)},
                        {{}, part.unitPrice},
                        {{}, sum}};
                    order.appendRowValues(values, OrderTable::FieldCount);
                    longest.note(firstNewRow + result.added, values);
                    ++result.added;
                    lastChanged = -1;
                    if (!Availability::isInOrder(priceFlag)) {
                        markRows.push_back(part.priceRow);
                        marks.push_back({{}, double(Availability::withInOrder(priceFlag))});
                    }
                }
                flush();
            } catch (...) {
                try {
                    flush();
                } catch (...) {
                }
                order.resumeViews();
                workspace.document().recount();
                OrderTable::showOrderSum(workspace);
                workspace.document().setModified(true);
                throw;
            }
            order.resumeViews();
            // Every new line's price row carries the mark now.
            OrderHistory::of(workspace).noteOnlyAddedLinesMarked();
            // The line handled last is the current one, as after adding it.
            if (lastChanged >= 0)
                order.setRowNumber(lastChanged + 1);
            else if (order.storedRowCount() > firstNew)
                order.setRowNumber(order.rowCount());
            longest.notePosted(workspace);
            workspace.document().recount();
            OrderTable::showOrderSum(workspace);
            workspace.document().setModified(true);
        });
        if (!applied) {
            progress.finishProgress();
            result = Result();
            result.stopped = true;
            return result;
        }
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
