#include "recordtable.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cstring>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <optional>

#include "cp1251.h"
#include "filterexpr.h"
#include "ordixerror.h"
#include "recordtablestorage.h"
#include "textfile.h"

namespace
{
    using Column = RecordTableStorage::Column;

    // A value kept for a field while the row is being edited.
    struct Cell
    {
        bool unset = true;
        qint64 integer = 0;
        double number = 0;
        QByteArray text;
    };

    // A read-only look at one cell, stored or being edited.
    struct CellRef
    {
        FieldType type = FieldType::String;
        bool unset = true;
        qint64 integer = 0;
        double number = 0;
        const char *text = "";
        uint32_t length = 0;
    };

    bool isBlankChar(char16_t ch)
    {
        return ch == u' ' || ch == u'\t';
    }

    // An integer: optional sign, decimal digits, blanks around allowed.
    template<typename View>
    bool parseInteger(View text, qint64 *value)
    {
        qsizetype i = 0;
        qsizetype end = text.size();
        auto unit = [&](qsizetype k) -> char16_t {
            if constexpr (std::is_same_v<View, QStringView>)
                return text[k].unicode();
            else
                return char16_t(static_cast<unsigned char>(text[k]));
        };
        while (i < end && isBlankChar(unit(i)))
            ++i;
        while (end > i && isBlankChar(unit(end - 1)))
            --end;
        bool negative = false;
        if (i < end && (unit(i) == u'-' || unit(i) == u'+')) {
            negative = unit(i) == u'-';
            ++i;
        }
        if (i == end)
            return false;
        qint64 result = 0;
        for (; i < end; ++i) {
            const char16_t ch = unit(i);
            if (ch < u'0' || ch > u'9')
                return false;
            if (result > (std::numeric_limits<qint64>::max() - 9) / 10)
                return false;
            result = result * 10 + (ch - u'0');
        }
        *value = negative ? -result : result;
        return true;
    }

    template<typename View>
    bool isBlankText(View text)
    {
        for (qsizetype i = 0; i < text.size(); ++i) {
            char16_t ch;
            if constexpr (std::is_same_v<View, QStringView>)
                ch = text[i].unicode();
            else
                ch = char16_t(static_cast<unsigned char>(text[i]));
            if (!isBlankChar(ch))
                return false;
        }
        return true;
    }

    qint64 minOf(FieldType type)
    {
        return type == FieldType::I2 ? -32768 : qint64(std::numeric_limits<qint32>::min());
    }

    qint64 maxOf(FieldType type)
    {
        return type == FieldType::I2 ? 32767 : qint64(std::numeric_limits<qint32>::max());
    }

    [[noreturn]] void throwOutOfRange(const FieldDef &def, const QString &value)
    {
        throw OrdixError(QStringLiteral("Value %1 is out of range for field %2 (%3..%4)")
                             .arg(value, def.name)
                             .arg(minOf(def.type))
                             .arg(maxOf(def.type)));
    }

    [[noreturn]] void throwNotConvertible(const FieldDef &def, const QString &value)
    {
        throw OrdixError(def.type == FieldType::R8
                             ? QStringLiteral("'%1' is not a valid number for field %2").arg(value, def.name)
                             : QStringLiteral("'%1' is not a valid integer for field %2").arg(value, def.name));
    }

    qint64 checkedInteger(const FieldDef &def, qint64 value)
    {
        if (value < minOf(def.type) || value > maxOf(def.type))
            throwOutOfRange(def, QString::number(value));
        return value;
    }

    qint64 integerFromFloat(const FieldDef &def, double value)
    {
        if (!std::isfinite(value))
            throwNotConvertible(def, QString::number(value));
        const double rounded = std::round(value);
        if (rounded < double(minOf(def.type)) || rounded > double(maxOf(def.type)))
            throwOutOfRange(def, RecordTableStorage::numberText(value));
        return qint64(rounded);
    }

    // Converts a text (as characters or as Windows-1251 bytes) for a field.
    template<typename View>
    void convertText(const FieldDef &def, View text, Cell &cell)
    {
        cell = Cell();
        if (def.type == FieldType::String) {
            if constexpr (std::is_same_v<View, QStringView>)
                cell.text = Cp1251::encode(text.left(def.width));
            else
                cell.text = QByteArray(text.data(), std::min<qsizetype>(text.size(), def.width));
            cell.unset = false;
            return;
        }
        auto shown = [&] {
            if constexpr (std::is_same_v<View, QStringView>)
                return text.toString();
            else
                return Cp1251::decode(text);
        };
        if (isBlankText(text))
            return; // empty text for a number: unset
        if (def.type == FieldType::R8) {
            double value = 0;
            if (!Decimal::parse(text, &value))
                throwNotConvertible(def, shown());
            cell.number = value;
        } else {
            qint64 value = 0;
            if (!parseInteger(text, &value))
                throwNotConvertible(def, shown());
            if (value < minOf(def.type) || value > maxOf(def.type))
                throwOutOfRange(def, shown().trimmed());
            cell.integer = value;
        }
        cell.unset = false;
    }

    void convertInteger(const FieldDef &def, qint64 value, Cell &cell)
    {
        cell = Cell();
        cell.unset = false;
        switch (def.type) {
        case FieldType::I2:
        case FieldType::I4:
            cell.integer = checkedInteger(def, value);
            break;
        case FieldType::R8:
            cell.number = double(value);
            break;
        case FieldType::String:
            cell.text = QByteArray::number(value).left(def.width);
            break;
        }
    }

    void convertFloat(const FieldDef &def, double value, Cell &cell)
    {
        cell = Cell();
        cell.unset = false;
        switch (def.type) {
        case FieldType::I2:
        case FieldType::I4:
            cell.integer = integerFromFloat(def, value);
            break;
        case FieldType::R8:
            if (!std::isfinite(value))
                throwNotConvertible(def, QString::number(value));
            cell.number = value;
            break;
        case FieldType::String:
            cell.text = Cp1251::encode(RecordTableStorage::numberText(value)).left(def.width);
            break;
        }
    }

    void convertVariant(const FieldDef &def, const QVariant &value, Cell &cell)
    {
        if (!value.isValid() || value.isNull()) {
            cell = Cell();
            return;
        }
        switch (value.typeId()) {
        case QMetaType::QString:
            convertText(def, QStringView(value.toString()), cell);
            return;
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            convertText(def, QByteArrayView(bytes), cell);
            return;
        }
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::UChar:
        case QMetaType::Long:
        case QMetaType::LongLong:
            convertInteger(def, value.toLongLong(), cell);
            return;
        case QMetaType::ULong:
        case QMetaType::ULongLong: {
            const qulonglong v = value.toULongLong();
            if (v > qulonglong(std::numeric_limits<qint64>::max()))
                throwOutOfRange(def, QString::number(v));
            convertInteger(def, qint64(v), cell);
            return;
        }
        case QMetaType::Double:
        case QMetaType::Float:
            convertFloat(def, value.toDouble(), cell);
            return;
        default:
            break;
        }
        if (value.canConvert<QString>()) {
            convertText(def, QStringView(value.toString()), cell);
            return;
        }
        throw OrdixError(QStringLiteral("The value cannot be stored in field %1").arg(def.name));
    }

    CellInput inputOf(const Cell &cell)
    {
        CellInput in;
        in.unset = cell.unset;
        in.integer = cell.integer;
        in.number = cell.number;
        in.text = cell.text.constData();
        in.length = uint32_t(cell.text.size());
        return in;
    }

    QString cellString(const CellRef &c)
    {
        if (c.unset)
            return QString();
        switch (c.type) {
        case FieldType::I2:
        case FieldType::I4:
            return QString::number(c.integer);
        case FieldType::R8:
            return RecordTableStorage::numberText(c.number);
        case FieldType::String:
            return Cp1251::decode(QByteArrayView(c.text, c.length));
        }
        return QString();
    }

    qint64 cellInteger(const CellRef &c)
    {
        if (c.unset)
            return 0;
        switch (c.type) {
        case FieldType::I2:
        case FieldType::I4:
            return c.integer;
        case FieldType::R8:
            return std::isfinite(c.number) ? qint64(std::llround(c.number)) : 0;
        case FieldType::String: {
            const QByteArrayView bytes(c.text, c.length);
            qint64 v = 0;
            if (parseInteger(bytes, &v))
                return v;
            double d = 0;
            if (Decimal::parse(bytes, &d) && std::fabs(d) < 9.2e18)
                return qint64(std::llround(d));
            return 0;
        }
        }
        return 0;
    }

    double cellFloat(const CellRef &c)
    {
        if (c.unset)
            return 0;
        switch (c.type) {
        case FieldType::I2:
        case FieldType::I4:
            return double(c.integer);
        case FieldType::R8:
            return c.number;
        case FieldType::String: {
            double d = 0;
            return Decimal::parse(QByteArrayView(c.text, c.length), &d) ? d : 0;
        }
        }
        return 0;
    }

    QVariant cellValue(const CellRef &c)
    {
        if (c.unset)
            return QVariant();
        switch (c.type) {
        case FieldType::I2:
        case FieldType::I4:
            return QVariant(int(c.integer));
        case FieldType::R8:
            return QVariant(c.number);
        case FieldType::String:
            return QVariant(Cp1251::decode(QByteArrayView(c.text, c.length)));
        }
        return QVariant();
    }

    QString cellDisplay(const CellRef &c, const QString &mask)
    {
        if (c.unset)
            return QString();
        if (!mask.isEmpty() && c.type != FieldType::String)
            return RecordTable::formatByMask(cellFloat(c), mask);
        return cellString(c);
    }

    bool isPlaceholder(QChar ch)
    {
        return ch == QLatin1Char('#') || ch == QLatin1Char('0');
    }
}

// --- the cursor ------------------------------------------------------------------

class RecordTable::Impl final : public StorageObserver
{
public:
    struct IndexDef
    {
        QString name;
        QString fieldName;
        bool descending = false;
        bool caseInsensitive = false;
    };

    struct Snapshot
    {
        std::optional<uint32_t> row;
    };

    Impl(RecordTable *owner, const QString &tableName)
        : q(owner)
        , name(tableName)
    {
    }

    ~Impl() override
    {
        detachFromMaster();
        for (Impl *detail : details) {
            detail->master = nullptr;
            detail->dirty = true;
            detail->linkStale = false;
        }
        details.clear();
        if (s)
            s->removeObserver(this);
    }

    RecordTable *q;
    QString name;
    std::shared_ptr<RecordTableStorage> s;

    // filter
    QString filterText;
    bool filtered = false;
    std::unique_ptr<FilterExpr> expr; // set while filtered with a text that parsed

    // order
    std::vector<IndexDef> indexDefs;
    QString indexName;
    QString indexFieldsName;
    int keyField = -1;
    bool keyDescending = false;
    bool keyCaseInsensitive = false;

    // link
    Impl *master = nullptr;
    int detailField = -1;
    int masterField = -1;
    std::vector<Impl *> details;
    bool linkStale = false;
    bool linkHasValue = false;
    double linkNumber = 0;
    QByteArray linkText;

    // view
    std::optional<std::vector<uint32_t>> choice; // setRowChoice(): the rows and their order
    std::vector<uint32_t> view;
    bool identity = false; // view[i] == i for every row
    bool dirty = false;    // rebuild on next use
    std::optional<uint32_t> keepRow; // row to keep current over a rebuild
    std::optional<uint32_t> wantCurrent; // appended row to make current
    uint32_t seen = 0; // rows of the store that the view accounts for
    std::vector<int32_t> positions; // row -> view position, -1 when not in view
    bool positionsValid = false;
    // Exact look-up of an integer field whose values lie close together:
    // value - denseBase -> first view position, -1 when none.
    std::vector<int32_t> denseFirst;
    int denseField = -1;
    qint64 denseBase = 0;
    int cur = -1;
    bool atEnd = true;
    bool atBegin = true;

    // editing
    bool editing = false;
    uint32_t editRow = 0;
    std::vector<std::optional<Cell>> pending;

    // notifications
    int suspendCount = 0;
    int nextListenerId = 1;
    std::map<int, Callback> viewListeners;
    std::map<int, std::function<void(int)>> rowListeners;
    Callback afterScrollHandler;
    Callback afterPostHandler;

    // field lookup cache for locate and fieldByName in loops
    QString lastLookupName;
    int lastLookupField = -1;

    // --- helpers -----------------------------------------------------------

    // The view changed: look-up aids over positions are out of date.
    void viewTouched()
    {
        positionsValid = false;
        denseField = -1;
    }

    // First view position whose integer field holds `value`, through a table
    // indexed by value; false when the field's values are too spread out
    // for one (the caller looks up otherwise).
    bool denseLocate(int field, double value, int *found)
    {
        *found = -1;
        if (denseField != field) {
            qint64 lo = 0;
            qint64 hi = 0;
            s->integerRange(field, &lo, &hi);
            const qint64 range = hi - lo + 1;
            if (range > 4 * qint64(view.size()) + 4096)
                return false;
            if (denseFirst.capacity() < size_t(range)) {
                std::vector<int32_t>().swap(denseFirst);
                denseFirst.reserve(size_t(range));
                adviseHugePages(denseFirst.data(), size_t(range) * sizeof(int32_t));
            }
            denseFirst.assign(size_t(range), -1);
            const Column &c = s->column(field);
            for (size_t p = 0; p < view.size(); ++p) {
                int32_t &slot = denseFirst[size_t(c.integer(view[p]) - lo)];
                if (slot < 0)
                    slot = int32_t(p);
            }
            denseField = field;
            denseBase = lo;
        }
        if (!(value >= double(denseBase) && value < double(denseBase) + double(denseFirst.size())))
            return true;
        const auto k = static_cast<qint64>(value);
        if (double(k) != value)
            return true;
        *found = denseFirst[size_t(k - denseBase)];
        return true;
    }

    void requireActive() const
    {
        if (!s)
            throw OrdixError(QStringLiteral("Table %1 is not open").arg(name.isEmpty() ? QStringLiteral("(unnamed)") : name));
    }

    const FieldDef &fieldDef(int position) const
    {
        requireActive();
        if (position < 0 || position >= s->fieldCount())
            throw OrdixError(QStringLiteral("Field number %1 is out of range").arg(position));
        return s->fields()[position];
    }

    int findField(const QString &fieldName)
    {
        if (!s)
            return -1;
        if (lastLookupField >= 0 && fieldName == lastLookupName)
            return lastLookupField;
        const QList<FieldDef> &fields = s->fields();
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (fields[i].name.compare(fieldName, Qt::CaseInsensitive) == 0) {
                lastLookupName = fieldName;
                lastLookupField = int(i);
                return int(i);
            }
        }
        return -1;
    }

    int fieldByName(const QString &fieldName)
    {
        const int f = findField(fieldName);
        if (f < 0)
            throw OrdixError(QStringLiteral("Field '%1' not found").arg(fieldName));
        return f;
    }

    std::optional<uint32_t> currentRow() const
    {
        if (cur >= 0 && size_t(cur) < view.size())
            return view[size_t(cur)];
        return std::nullopt;
    }

    Snapshot snapshot() const { return Snapshot{currentRow()}; }

    uint32_t requireCurrentRow()
    {
        requireActive();
        ensure();
        const auto row = currentRow();
        if (!row)
            throw OrdixError(QStringLiteral("Table %1 has no current row").arg(name));
        return *row;
    }

    CellRef cellAt(uint32_t row, int field) const
    {
        CellRef ref;
        const Column &c = s->column(field);
        ref.type = c.type;
        if (editing && row == editRow && pending[size_t(field)]) {
            const Cell &cell = *pending[size_t(field)];
            ref.unset = cell.unset;
            ref.integer = cell.integer;
            ref.number = cell.number;
            ref.text = cell.text.constData();
            ref.length = uint32_t(cell.text.size());
            return ref;
        }
        ref.unset = c.isUnset(row);
        switch (c.type) {
        case FieldType::I2:
        case FieldType::I4:
            ref.integer = c.integer(row);
            break;
        case FieldType::R8:
            ref.number = c.f64[row];
            break;
        case FieldType::String:
            ref.text = c.text(row);
            ref.length = c.length(row);
            break;
        }
        return ref;
    }

    uint32_t viewRowAt(int viewRow, int field)
    {
        requireActive();
        ensure();
        if (viewRow < 0 || size_t(viewRow) >= view.size())
            throw OrdixError(QStringLiteral("Row %1 is outside the view of table %2").arg(viewRow).arg(name));
        if (field < 0 || field >= s->fieldCount())
            throw OrdixError(QStringLiteral("Field number %1 is out of range").arg(field));
        return view[size_t(viewRow)];
    }

    // The stored rows of `count` view rows from `first` on, checked like
    // viewRowAt(); null when count is not positive.
    const uint32_t *viewRowsAt(int first, int count, int field)
    {
        if (count <= 0)
            return nullptr;
        viewRowAt(first + count - 1, field);
        viewRowAt(first, field);
        return view.data() + first;
    }

    // --- the view -------------------------------------------------------------

    bool ordered() const { return keyField >= 0; }

    bool less(uint32_t a, uint32_t b) const
    {
        const int cmp = s->compareRows(keyField, keyCaseInsensitive, a, b);
        return keyDescending ? cmp > 0 : cmp < 0;
    }

    size_t insertionPoint(uint32_t row) const
    {
        return size_t(std::lower_bound(view.begin(), view.end(), row,
                                       [this](uint32_t element, uint32_t value) { return less(element, value); })
                      - view.begin());
    }

    bool linkMatches(uint32_t row) const
    {
        if (!linkHasValue)
            return false;
        const Column &c = s->column(detailField);
        if (c.type == FieldType::String)
            return QByteArrayView(c.text(row), c.length(row)) == QByteArrayView(linkText);
        return c.number(row) == linkNumber;
    }

    bool passes(uint32_t row)
    {
        if (master && !linkMatches(row))
            return false;
        if (expr) {
            expr->prepare(*s, false);
            return expr->matches(*s, row);
        }
        return true;
    }

    // The master's current value of the master field, as the detail field
    // compares it.
    void computeLinkValue()
    {
        linkHasValue = false;
        linkText.clear();
        if (!master || !master->s)
            return;
        master->ensure();
        const auto row = master->currentRow();
        if (!row)
            return;
        const Column &mc = master->s->column(masterField);
        const Column &dc = s->column(detailField);
        if (dc.type != FieldType::String) {
            if (mc.type != FieldType::String) {
                linkNumber = mc.number(*row);
                linkHasValue = true;
                return;
            }
            const QByteArrayView text(mc.text(*row), mc.length(*row));
            qint64 whole = 0;
            if (parseInteger(text, &whole)) {
                linkNumber = double(whole);
                linkHasValue = true;
            } else if (Decimal::parse(text, &linkNumber)) {
                linkHasValue = true;
            }
            return;
        }
        if (mc.type != FieldType::String)
            linkText = RecordTableStorage::numberBytes(mc.number(*row), mc.type);
        else
            linkText = QByteArray(mc.text(*row), mc.length(*row));
        linkHasValue = true;
    }

    void rebuild(std::optional<uint32_t> keep)
    {
        view.clear();
        viewTouched();
        identity = false;
        const uint32_t n = s->rowCount();
        if (choice) {
            view.reserve(choice->size());
            for (uint32_t r : *choice)
                if (r < n && passes(r))
                    view.push_back(r);
        } else if (master) {
            computeLinkValue();
            if (linkHasValue) {
                const Column &dc = s->column(detailField);
                if (dc.type != FieldType::String) {
                    s->forEachRowWithValue(detailField, linkNumber, [this](uint32_t r) { view.push_back(r); });
                    std::sort(view.begin(), view.end());
                } else {
                    for (uint32_t r = 0; r < n; ++r)
                        if (linkMatches(r))
                            view.push_back(r);
                }
                if (expr) {
                    expr->prepare(*s, false);
                    view.erase(std::remove_if(view.begin(), view.end(),
                                              [this](uint32_t r) { return !expr->matches(*s, r); }),
                               view.end());
                }
                if (ordered())
                    std::sort(view.begin(), view.end(), [this](uint32_t a, uint32_t b) { return less(a, b); });
            }
        } else {
            std::vector<uint64_t> bits;
            const bool useBits = expr && !expr->isEmpty();
            if (useBits) {
                expr->prepare(*s, true);
                expr->evaluate(*s, bits);
            }
            auto passing = [&](uint32_t r) { return (bits[r >> 6] >> (r & 63)) & 1u; };
            if (useBits) {
                size_t count = 0;
                for (uint64_t w : bits)
                    count += size_t(std::popcount(w));
                view.reserve(count);
            }
            if (ordered()) {
                const std::vector<uint32_t> &perm = s->permutation(keyField, keyCaseInsensitive);
                if (!useBits)
                    view.reserve(perm.size());
                if (!keyDescending) {
                    for (uint32_t r : perm)
                        if (!useBits || passing(r))
                            view.push_back(r);
                } else {
                    for (auto it = perm.rbegin(); it != perm.rend(); ++it)
                        if (!useBits || passing(*it))
                            view.push_back(*it);
                }
            } else if (useBits) {
                for (size_t w = 0; w < bits.size(); ++w) {
                    uint64_t word = bits[w];
                    while (word) {
                        view.push_back(uint32_t(w * 64 + size_t(std::countr_zero(word))));
                        word &= word - 1;
                    }
                }
            } else {
                view.resize(n);
                std::iota(view.begin(), view.end(), 0u);
                identity = true;
            }
        }
        seen = n;
        dirty = false;
        linkStale = false;
        keepRow.reset();

        cur = view.empty() ? -1 : 0;
        if (keep && !view.empty()) {
            const int p = positionOf(*keep);
            if (p >= 0)
                cur = p;
        }
        atEnd = atBegin = view.empty();
        markDetailsStale();
    }

    // Position of a row in the view, -1 when it is not there.
    int positionOf(uint32_t row)
    {
        if (identity)
            return row < view.size() ? int(row) : -1;
        if (view.size() < 64) {
            const auto it = std::find(view.begin(), view.end(), row);
            return it == view.end() ? -1 : int(it - view.begin());
        }
        if (!positionsValid) {
            if (positions.capacity() < s->rowCount()) {
                std::vector<int32_t>().swap(positions);
                positions.reserve(s->rowCount());
                adviseHugePages(positions.data(), s->rowCount() * sizeof(int32_t));
            }
            positions.assign(s->rowCount(), -1);
            for (size_t p = 0; p < view.size(); ++p)
                positions[view[p]] = int(p);
            positionsValid = true;
        }
        return row < positions.size() ? positions[row] : -1;
    }

    void placeNewRow(uint32_t row)
    {
        if (choice || !passes(row))
            return;
        const size_t p = ordered() ? insertionPoint(row) : view.size();
        view.insert(view.begin() + std::ptrdiff_t(p), row);
        if (identity && p != row)
            identity = false;
        viewTouched();
        if (cur < 0) {
            cur = 0;
            atEnd = atBegin = false;
        } else if (int(p) <= cur) {
            ++cur;
        }
    }

    // Brings the view up to date with the store.
    void ensure()
    {
        if (!s)
            return;
        if (linkStale && !dirty) {
            rebuild(std::nullopt);
        } else if (dirty || linkStale) {
            rebuild(keepRow);
        } else if (seen < s->rowCount()) {
            const uint32_t n = s->rowCount();
            if (n - seen <= 32) {
                for (uint32_t r = seen; r < n; ++r)
                    placeNewRow(r);
                seen = n;
            } else {
                rebuild(currentRow());
            }
        }
        if (wantCurrent) {
            const int p = positionOf(*wantCurrent);
            wantCurrent.reset();
            if (p >= 0) {
                cur = p;
                atEnd = atBegin = false;
            }
        }
    }

    // The row that is current once the view is brought up to date.
    std::optional<uint32_t> logicalCurrent() const
    {
        if (wantCurrent)
            return wantCurrent;
        if (dirty)
            return keepRow;
        if (linkStale)
            return std::nullopt;
        return currentRow();
    }

    // Rebuilds the view at once (after a change of filter, order or link).
    void rebuildNow(std::optional<uint32_t> keep)
    {
        wantCurrent.reset();
        rebuild(keep);
    }

    void markDirty()
    {
        if (!dirty) {
            keepRow = currentRow();
            dirty = true;
        }
        viewTouched();
    }

    // --- notifications --------------------------------------------------------

    void markDetailsStale()
    {
        if (details.empty())
            return;
        const auto list = details;
        for (Impl *detail : list)
            detail->masterMoved();
    }

    void masterMoved()
    {
        linkStale = true;
        viewTouched();
        if (suspendCount == 0 && (!viewListeners.empty() || afterScrollHandler)) {
            ensure();
            fireView();
            if (afterScrollHandler)
                afterScrollHandler();
        }
    }

    void fireView()
    {
        const auto listeners = viewListeners;
        for (const auto &entry : listeners)
            if (entry.second)
                entry.second();
    }

    void finish(const Snapshot &before, bool viewChanged, int changedRow = -1)
    {
        const bool moved = currentRow() != before.row;
        if (moved || viewChanged)
            markDetailsStale();
        if (suspendCount > 0)
            return;
        if (viewChanged) {
            fireView();
        } else if (changedRow >= 0) {
            const auto listeners = rowListeners;
            for (const auto &entry : listeners)
                if (entry.second)
                    entry.second(changedRow);
        }
        if ((moved || viewChanged) && afterScrollHandler)
            afterScrollHandler();
    }

    // Stores a pending edit before the cursor moves or the view changes.
    void checkBrowse()
    {
        if (editing)
            q->post();
    }

    // --- storage observer -----------------------------------------------------

    void storageRowRemoved(uint32_t row) override
    {
        if (editing) {
            if (editRow == row) {
                editing = false;
                pending.clear();
            } else if (editRow > row) {
                --editRow;
            }
        }
        if (wantCurrent) {
            if (*wantCurrent == row)
                wantCurrent.reset();
            else if (*wantCurrent > row)
                wantCurrent = *wantCurrent - 1;
        }
        if (choice) {
            std::vector<uint32_t> &rows = *choice;
            rows.erase(std::remove(rows.begin(), rows.end(), row), rows.end());
            for (uint32_t &r : rows)
                if (r > row)
                    --r;
        }
        if (dirty || linkStale) {
            if (seen > row)
                --seen;
            if (keepRow && *keepRow > row)
                keepRow = *keepRow - 1;
            return;
        }
        if (row >= seen)
            return; // not taken into the view yet
        --seen;
        const int p = positionOf(row);
        viewTouched();
        if (p >= 0)
            view.erase(view.begin() + p);
        for (uint32_t &r : view)
            if (r > row)
                --r;
        if (p < 0)
            return;
        if (view.empty()) {
            cur = -1;
            atEnd = atBegin = true;
        } else if (p < cur) {
            --cur;
        } else if (p == cur && size_t(cur) >= view.size()) {
            cur = int(view.size()) - 1;
            atEnd = true;
        }
    }

    void storageRowsReordered(const std::vector<uint32_t> &newRowOfOld) override
    {
        std::optional<uint32_t> keep = dirty ? keepRow : currentRow();
        if (keep)
            keep = newRowOfOld[*keep];
        if (editing)
            editRow = newRowOfOld[editRow];
        if (wantCurrent)
            wantCurrent = newRowOfOld[*wantCurrent];
        if (choice)
            for (uint32_t &r : *choice)
                r = newRowOfOld[r];
        dirty = true;
        keepRow = keep;
        viewTouched();
    }

    void storageRowUpdated(uint32_t) override { markDirty(); }

    void storageCleared() override
    {
        choice.reset();
        editing = false;
        pending.clear();
        view.clear();
        view.shrink_to_fit();
        positions.clear();
        positions.shrink_to_fit();
        std::vector<int32_t>().swap(denseFirst);
        viewTouched();
        seen = 0;
        dirty = false;
        keepRow.reset();
        wantCurrent.reset();
        identity = !master && !expr && !ordered();
        cur = -1;
        atEnd = atBegin = true;
    }

    // --- filter and order -----------------------------------------------------

    std::unique_ptr<FilterExpr> parseFilter(const QString &text) const
    {
        auto parsed = FilterExpr::parse(text);
        if (s)
            parsed->bind(s->fields());
        return parsed;
    }

    // After the active order changed: resolve it, rebuild the view keeping
    // the current row, and tell the grids.
    void applyOrder(const Snapshot &before)
    {
        resolveOrder();
        if (s) {
            rebuildNow(logicalCurrent());
            finish(before, true);
        }
    }

    void resolveOrder()
    {
        keyField = -1;
        if (!s)
            return;
        if (!indexName.isEmpty()) {
            for (const IndexDef &def : indexDefs) {
                if (def.name.compare(indexName, Qt::CaseInsensitive) == 0) {
                    keyField = fieldByName(def.fieldName);
                    keyDescending = def.descending;
                    keyCaseInsensitive = def.caseInsensitive;
                    return;
                }
            }
            throw OrdixError(QStringLiteral("Index '%1' not found").arg(indexName));
        }
        if (!indexFieldsName.isEmpty()) {
            keyField = fieldByName(indexFieldsName);
            keyDescending = false;
            keyCaseInsensitive = false;
        }
    }

    void detachFromMaster()
    {
        if (master) {
            auto &list = master->details;
            list.erase(std::remove(list.begin(), list.end(), this), list.end());
            master = nullptr;
        }
        linkStale = false;
        linkHasValue = false;
    }
};

// --- RecordTable -------------------------------------------------------------------

RecordTable::RecordTable()
    : d(std::make_unique<Impl>(this, QString()))
{
}

RecordTable::RecordTable(const QString &tableName)
    : d(std::make_unique<Impl>(this, tableName))
{
}

RecordTable::~RecordTable() = default;

QString RecordTable::tableName() const
{
    return d->name;
}

void RecordTable::open(const QList<FieldDef> &fields)
{
    if (d->s)
        throw OrdixError(QStringLiteral("Table %1 is already open").arg(d->name));
    if (fields.isEmpty())
        throw OrdixError(QStringLiteral("Table %1 has no fields").arg(d->name));
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const FieldDef &f = fields[i];
        if (f.name.trimmed().isEmpty())
            throw OrdixError(QStringLiteral("Field number %1 of table %2 has no name").arg(i).arg(d->name));
        for (qsizetype j = 0; j < i; ++j)
            if (fields[j].name.compare(f.name, Qt::CaseInsensitive) == 0)
                throw OrdixError(QStringLiteral("Field '%1' is defined twice").arg(f.name));
        if (f.type == FieldType::String && (f.width < 1 || f.width > 65535))
            throw OrdixError(QStringLiteral("Text field '%1' needs a width from 1 to 65535").arg(f.name));
    }
    const Impl::Snapshot before = d->snapshot();
    d->s = std::make_shared<RecordTableStorage>(fields);
    d->s->addObserver(d.get());
    d->lastLookupField = -1;
    d->view.clear();
    d->seen = 0;
    d->cur = -1;
    d->atEnd = d->atBegin = true;
    d->dirty = false;
    d->keepRow.reset();
    d->wantCurrent.reset();
    d->viewTouched();
    d->editing = false;
    // A filter or an order chosen while the table was closed applies now
    // when it fits the fields; otherwise it is dropped.
    d->expr.reset();
    if (d->filtered) {
        try {
            d->expr = d->parseFilter(d->filterText);
        } catch (const OrdixError &) {
            d->filtered = false;
        }
    }
    try {
        d->resolveOrder();
    } catch (const OrdixError &) {
        d->indexName.clear();
        d->indexFieldsName.clear();
        d->keyField = -1;
    }
    d->identity = !d->master && !d->expr && d->keyField < 0;
    d->linkStale = d->master != nullptr;
    d->finish(before, true);
}

void RecordTable::close()
{
    if (!d->s)
        return;
    const Impl::Snapshot before = d->snapshot();
    d->choice.reset();
    d->editing = false;
    d->pending.clear();
    d->s->removeObserver(d.get());
    d->s.reset();
    d->view.clear();
    d->view.shrink_to_fit();
    d->positions.clear();
    d->positions.shrink_to_fit();
    std::vector<int32_t>().swap(d->denseFirst);
    d->viewTouched();
    d->seen = 0;
    d->cur = -1;
    d->atEnd = d->atBegin = true;
    d->dirty = false;
    d->keepRow.reset();
    d->wantCurrent.reset();
    d->filterText.clear();
    d->filtered = false;
    d->expr.reset();
    d->indexDefs.clear();
    d->indexName.clear();
    d->indexFieldsName.clear();
    d->keyField = -1;
    d->detachFromMaster();
    d->lastLookupField = -1;
    d->markDetailsStale();
    d->finish(before, true);
}

bool RecordTable::isActive() const
{
    return d->s != nullptr;
}

void RecordTable::empty()
{
    d->requireActive();
    const Impl::Snapshot before = d->snapshot();
    d->s->clear();
    d->markDetailsStale();
    d->finish(before, true);
}

// --- fields -------------------------------------------------------------------------

int RecordTable::fieldCount() const
{
    return d->s ? d->s->fieldCount() : 0;
}

const FieldDef &RecordTable::field(int position) const
{
    return d->fieldDef(position);
}

int RecordTable::findField(const QString &name) const
{
    return d->findField(name);
}

int RecordTable::fieldByName(const QString &name) const
{
    d->requireActive();
    return d->fieldByName(name);
}

void RecordTable::setDisplayFormat(int position, const QString &mask)
{
    d->fieldDef(position);
    d->s->setDisplayFormat(position, mask);
}

QString RecordTable::displayFormat(int position) const
{
    d->fieldDef(position);
    return d->s->displayFormat(position);
}

RecordTable::NumberMask::NumberMask(const QString &mask)
{
    // The number part runs from the first "#" or "0" over "#", "0", ",",
    // "." and blanks that stand between placeholders; the text before and
    // after it is copied as it is.
    qsizetype begin = 0;
    while (begin < mask.size() && !isPlaceholder(mask[begin]))
        ++begin;
    if (begin == mask.size())
        return;
    plain = false;
    qsizetype end = begin;
    while (end < mask.size()) {
        const QChar ch = mask[end];
        if (isPlaceholder(ch) || ch == QLatin1Char('.') || ch == QLatin1Char(',')) {
            ++end;
        } else if (ch == QLatin1Char(' ') && end + 1 < mask.size() && isPlaceholder(mask[end + 1])) {
            ++end;
        } else {
            break;
        }
    }
    prefix = QStringView(mask).left(begin).toUtf8();
    const QStringView number = QStringView(mask).mid(begin, end - begin);
    suffix = QStringView(mask).mid(end).toUtf8();

    const qsizetype point = number.indexOf(QLatin1Char('.'));
    const QStringView intPart = point < 0 ? number : number.left(point);
    const QStringView fracPart = point < 0 ? QStringView() : number.mid(point + 1);
    grouped = intPart.contains(QLatin1Char(' ')) || intPart.contains(QLatin1Char(','));
    for (QChar ch : intPart)
        if (ch == QLatin1Char('0'))
            ++minInt;
    for (QChar ch : fracPart) {
        if (isPlaceholder(ch)) {
            ++decimals;
            if (ch == QLatin1Char('0'))
                minDecimals = decimals;
        }
    }
}

namespace
{
    // The digits of a non-negative finite number in fixed notation with
    // `decimals` decimals, rounded half away from zero on the number's
    // decimal form as Decimal::fixed() rounds money. Away from a halfway
    // point that is the nearest rounding of the binary value, which to_chars
    // gives without allocating; near one, and for large values, the exact
    // decimal path decides.
    qsizetype fixedDigits(double value, int decimals, char *buffer, qsizetype size)
    {
        if (decimals <= 8) {
            static const double powers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8};
            const double scaled = value * powers[decimals];
            if (scaled < 1e9 && std::fabs(scaled - std::floor(scaled) - 0.5) > 1e-5) {
                const auto result = std::to_chars(buffer, buffer + size, value, std::chars_format::fixed, decimals);
                if (result.ec == std::errc())
                    return result.ptr - buffer;
            }
        }
        const QByteArray text = Decimal::fixed(value, decimals).toLatin1();
        const qsizetype n = std::min(size, text.size());
        std::memcpy(buffer, text.constData(), size_t(n));
        return n;
    }
}

qsizetype RecordTable::NumberMask::writeUtf8(char *to, qsizetype room, double value) const
{
    if (plain || !std::isfinite(value)) {
        const QByteArray text = RecordTableStorage::numberText(value).toUtf8();
        if (text.size() > room)
            return -1;
        std::memcpy(to, text.constData(), size_t(text.size()));
        return text.size();
    }
    char digits[400];
    const qsizetype length = fixedDigits(std::fabs(value), decimals, digits, qsizetype(sizeof digits));
    const QByteArrayView all(digits, length);
    const qsizetype dot = all.indexOf('.');
    QByteArrayView whole = dot < 0 ? all : all.first(dot);
    QByteArrayView fraction = dot < 0 ? QByteArrayView() : all.sliced(dot + 1);
    while (fraction.size() > minDecimals && fraction.endsWith('0'))
        fraction.chop(1);
    bool isZero = true;
    for (char ch : all)
        if (ch >= '1' && ch <= '9')
            isZero = false;
    if (whole == "0" && minInt == 0)
        whole = QByteArrayView();

    const qsizetype padding = std::max<qsizetype>(0, minInt - whole.size());
    const qsizetype total = padding + whole.size();
    const qsizetype needed = 2 + prefix.size() + total + total / 3 + fraction.size() + suffix.size();
    if (needed > room)
        return -1;
    char *p = to;
    if (value < 0 && !isZero)
        *p++ = '-';
    std::memcpy(p, prefix.constData(), size_t(prefix.size()));
    p += prefix.size();
    for (qsizetype i = 0; i < total; ++i) {
        // Blanks between groups of three, counted from the right.
        if (grouped && i > 0 && (total - i) % 3 == 0)
            *p++ = ' ';
        *p++ = i < padding ? '0' : whole[i - padding];
    }
    if (!fraction.isEmpty()) {
        *p++ = char(Decimal::separator().unicode()); // "." or ","
        std::memcpy(p, fraction.data(), size_t(fraction.size()));
        p += fraction.size();
    }
    std::memcpy(p, suffix.constData(), size_t(suffix.size()));
    p += suffix.size();
    return p - to;
}

void RecordTable::NumberMask::appendUtf8(QByteArray &out, double value) const
{
    char text[1024];
    qsizetype length = writeUtf8(text, qsizetype(sizeof text), value);
    if (length >= 0) {
        out.append(text, length);
        return;
    }
    // A mask with long texts around the number.
    std::vector<char> large(size_t(prefix.size() + suffix.size()) + sizeof text);
    length = writeUtf8(large.data(), qsizetype(large.size()), value);
    out.append(large.data(), std::max<qsizetype>(0, length));
}

QString RecordTable::formatByMask(double value, const QString &mask)
{
    QByteArray text;
    NumberMask(mask).appendUtf8(text, value);
    return QString::fromUtf8(text);
}

// --- appending -----------------------------------------------------------------------

void RecordTable::appendRow(const QStringList &values)
{
    d->requireActive();
    d->checkBrowse();
    const QList<FieldDef> &fields = d->s->fields();
    if (values.size() > fields.size())
        throw OrdixError(QStringLiteral("Table %1 has %2 fields, %3 values given").arg(d->name).arg(fields.size()).arg(values.size()));
    std::vector<Cell> cells(size_t(fields.size()));
    for (qsizetype i = 0; i < values.size(); ++i)
        convertText(fields[i], QStringView(values[i]), cells[size_t(i)]);
    std::vector<CellInput> inputs(cells.size());
    for (size_t i = 0; i < cells.size(); ++i)
        inputs[i] = inputOf(cells[i]);
    const Impl::Snapshot before = d->snapshot();
    d->s->appendRow(inputs.data());
    d->wantCurrent = d->s->rowCount() - 1;
    if (d->suspendCount == 0) {
        d->ensure();
        d->finish(before, true);
    }
}

void RecordTable::appendRow(const QVariantList &values)
{
    d->requireActive();
    d->checkBrowse();
    const QList<FieldDef> &fields = d->s->fields();
    if (values.size() > fields.size())
        throw OrdixError(QStringLiteral("Table %1 has %2 fields, %3 values given").arg(d->name).arg(fields.size()).arg(values.size()));
    std::vector<Cell> cells(size_t(fields.size()));
    for (qsizetype i = 0; i < values.size(); ++i)
        convertVariant(fields[i], values[i], cells[size_t(i)]);
    std::vector<CellInput> inputs(cells.size());
    for (size_t i = 0; i < cells.size(); ++i)
        inputs[i] = inputOf(cells[i]);
    const Impl::Snapshot before = d->snapshot();
    d->s->appendRow(inputs.data());
    d->wantCurrent = d->s->rowCount() - 1;
    if (d->suspendCount == 0) {
        d->ensure();
        d->finish(before, true);
    }
}

namespace
{
    enum class RawCell
    {
        Stored,
        NotConvertible,
        OutOfRange
    };

    // One Windows-1251 value of a loader's line for a field, as the store
    // keeps it: text cut to the width, an empty number unset.
    RawCell convertRaw(const FieldDef &def, QByteArrayView text, CellInput &cell)
    {
        cell = CellInput();
        if (def.type == FieldType::String) {
            cell.unset = false;
            cell.text = text.data();
            cell.length = uint32_t(std::min<qsizetype>(text.size(), def.width));
            return RawCell::Stored;
        }
        if (isBlankText(text))
            return RawCell::Stored;
        if (def.type == FieldType::R8) {
            if (!Decimal::parse(text, &cell.number))
                return RawCell::NotConvertible;
        } else {
            if (!parseInteger(text, &cell.integer))
                return RawCell::NotConvertible;
            if (cell.integer < minOf(def.type) || cell.integer > maxOf(def.type))
                return RawCell::OutOfRange;
        }
        cell.unset = false;
        return RawCell::Stored;
    }

    void checkRawCount(const QString &table, int fields, int count)
    {
        if (count > fields)
            throw OrdixError(QStringLiteral("Table %1 has %2 fields, %3 values given").arg(table).arg(fields).arg(count));
    }

    // Room for one row's converted cells: on the stack for up to 64 fields.
    class RowCells final
    {
    public:
        RowCells(const RowCells &) = delete;
        RowCells &operator=(const RowCells &) = delete;
        explicit RowCells(int fields)
        {
            if (fields > 64) {
                m_many.resize(size_t(fields));
                m_cells = m_many.data();
            }
        }
        CellInput &operator[](int i) { return m_cells[i]; }
        const CellInput *data() const { return m_cells; }

    private:
        CellInput m_few[64];
        std::vector<CellInput> m_many;
        CellInput *m_cells = m_few;
    };
}

void RecordTable::appendRowRaw(const QByteArrayView *values, int count)
{
    d->requireActive();
    const QList<FieldDef> &fields = d->s->fields();
    const int n = int(fields.size());
    checkRawCount(d->name, n, count);
    RowCells in(n);
    for (int i = 0; i < n; ++i) {
        if (i >= count) {
            in[i] = CellInput();
            continue;
        }
        const FieldDef &def = fields[i];
        switch (convertRaw(def, values[i], in[i])) {
        case RawCell::Stored:
            break;
        case RawCell::NotConvertible:
            throwNotConvertible(def, Cp1251::decode(values[i]));
        case RawCell::OutOfRange:
            throwOutOfRange(def, Cp1251::decode(values[i]).trimmed());
        }
    }
    d->s->appendRow(in.data());
}

RecordTable::RowBatch::RowBatch(const RecordTable &table)
    : m_table(table.d->name)
    , m_fields(table.d->s ? table.d->s->fields() : QList<FieldDef>())
    , m_data(std::make_unique<RowBatchData>(m_fields))
{
    table.d->requireActive();
}

RecordTable::RowBatch::~RowBatch() = default;

bool RecordTable::RowBatch::addRaw(const QByteArrayView *values, int count)
{
    const int n = int(m_fields.size());
    checkRawCount(m_table, n, count);
    RowCells in(n);
    for (int i = 0; i < n; ++i) {
        if (i >= count)
            in[i] = CellInput();
        else if (convertRaw(m_fields[i], values[i], in[i]) != RawCell::Stored)
            return false;
    }
    m_data->add(in.data());
    return true;
}

int RecordTable::RowBatch::rowCount() const
{
    return int(m_data->rows);
}

size_t RecordTable::RowBatch::textBytes(int position) const
{
    return m_data->columns[size_t(position)].bytes.size();
}

void RecordTable::RowBatch::clear()
{
    m_data->clear();
}

void RecordTable::RowBatch::truncate(int rows)
{
    m_data->truncate(uint32_t(std::max(0, rows)));
}

int RecordTable::appendBatch(const RowBatch &batch)
{
    d->requireActive();
    const QList<FieldDef> &fields = d->s->fields();
    bool same = batch.m_fields.size() == fields.size();
    for (qsizetype i = 0; same && i < fields.size(); ++i)
        same = batch.m_fields[i].type == fields[i].type && batch.m_fields[i].width == fields[i].width;
    if (!same)
        throw OrdixError(QStringLiteral("The rows were prepared for another layout than table %1 has").arg(d->name));
    return int(d->s->appendBatch(*batch.m_data));
}

void RecordTable::reserve(qint64 rows, const std::vector<size_t> &textBytes)
{
    d->requireActive();
    d->s->reserve(uint32_t(std::clamp<qint64>(rows, 0, std::numeric_limits<uint32_t>::max() - 1)), textBytes);
}

// --- bulk work in stored order ---------------------------------------------------------

std::vector<uint32_t> RecordTable::viewRowsInStoredOrder()
{
    d->requireActive();
    d->ensure();
    std::vector<uint32_t> rows;
    const uint32_t stored = d->s->rowCount();
    if (d->view.size() == stored) {
        rows.resize(stored);
        std::iota(rows.begin(), rows.end(), 0u);
        return rows;
    }
    std::vector<bool> inView(stored, false);
    for (uint32_t row : d->view)
        inView[row] = true;
    rows.reserve(d->view.size());
    for (uint32_t row = 0; row < stored; ++row)
        if (inView[row])
            rows.push_back(row);
    return rows;
}

uint32_t RecordTable::storedRowCount() const
{
    return d->s ? d->s->rowCount() : 0;
}

QByteArrayView RecordTable::storedBytes(uint32_t storedRow, int position) const
{
    const RecordTableStorage::Column &c = d->s->column(position);
    if (c.type != FieldType::String || c.isUnset(storedRow))
        return QByteArrayView();
    return QByteArrayView(c.text(storedRow), c.length(storedRow));
}

void RecordTable::storedBytes(uint32_t first, uint32_t count, int position, QByteArrayView *texts) const
{
    const RecordTableStorage::Column &c = d->s->column(position);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t row = first + k;
        texts[k] = c.type != FieldType::String || c.isUnset(row) ? QByteArrayView()
                                                                 : QByteArrayView(c.text(row), c.length(row));
    }
}

uint32_t RecordTable::storedRowAt(int viewRow) const
{
    d->requireActive();
    d->ensure();
    if (viewRow < 0 || size_t(viewRow) >= d->view.size())
        throw OrdixError(QStringLiteral("Row %1 is outside the view of table %2").arg(viewRow).arg(d->name));
    return d->view[size_t(viewRow)];
}

void RecordTable::setRowChoice(std::vector<uint32_t> storedRows)
{
    d->requireActive();
    d->checkBrowse();
    const Impl::Snapshot before = d->snapshot();
    d->choice = std::move(storedRows);
    d->rebuildNow(std::nullopt);
    d->finish(before, true);
}

void RecordTable::clearRowChoice()
{
    if (!d->choice)
        return;
    d->checkBrowse();
    const Impl::Snapshot before = d->snapshot();
    d->choice.reset();
    if (d->s) {
        d->rebuildNow(std::nullopt);
        d->finish(before, true);
    }
}

bool RecordTable::hasRowChoice() const
{
    return d->choice.has_value();
}

qint64 RecordTable::storedInteger(uint32_t storedRow, int position) const
{
    const RecordTableStorage::Column &c = d->s->column(position);
    return c.isUnset(storedRow) ? 0 : c.integer(storedRow);
}

double RecordTable::storedFloat(uint32_t storedRow, int position) const
{
    const RecordTableStorage::Column &c = d->s->column(position);
    return c.isUnset(storedRow) ? 0.0 : c.number(storedRow);
}

void RecordTable::storedRowsWithValue(int position, double value, std::vector<uint32_t> &rows)
{
    d->requireActive();
    rows.clear();
    d->s->forEachRowWithValue(position, value, [&rows](uint32_t row) { rows.push_back(row); });
}

bool RecordTable::storedValuesUnique(int position)
{
    d->requireActive();
    if (position < 0 || position >= d->s->fieldCount() || d->s->column(position).type == FieldType::String)
        throw OrdixError(QStringLiteral("Field number %1 holds no numbers").arg(position));
    return d->s->valuesUnique(position);
}

void RecordTable::setStoredFloats(int position, const std::vector<uint32_t> &storedRows, const std::vector<double> &values)
{
    d->requireActive();
    d->checkBrowse();
    if (storedRows.empty())
        return;
    const Impl::Snapshot before = d->snapshot();
    d->s->setFloats(position, storedRows, values);
    if (position == d->denseField)
        d->denseField = -1;
    d->s->notifyRowUpdated(storedRows.front(), d.get());
    // A filter or an order on the field puts the view together again.
    if (d->filtered || d->keyField == position)
        d->markDirty();
    d->ensure();
    d->markDetailsStale();
    d->finish(before, true);
}

// --- cursor -------------------------------------------------------------------------

void RecordTable::first()
{
    d->checkBrowse();
    d->ensure();
    const Impl::Snapshot before = d->snapshot();
    if (d->view.empty()) {
        d->atEnd = d->atBegin = true;
        return;
    }
    d->cur = 0;
    d->atEnd = d->atBegin = false;
    d->finish(before, false);
}

void RecordTable::last()
{
    d->checkBrowse();
    d->ensure();
    const Impl::Snapshot before = d->snapshot();
    if (d->view.empty()) {
        d->atEnd = d->atBegin = true;
        return;
    }
    d->cur = int(d->view.size()) - 1;
    d->atEnd = d->atBegin = false;
    d->finish(before, false);
}

void RecordTable::next()
{
    d->checkBrowse();
    d->ensure();
    const Impl::Snapshot before = d->snapshot();
    if (d->view.empty()) {
        d->atEnd = d->atBegin = true;
        return;
    }
    if (size_t(d->cur) + 1 < d->view.size()) {
        ++d->cur;
        d->atEnd = d->atBegin = false;
    } else {
        d->atEnd = true;
    }
    d->finish(before, false);
}

void RecordTable::prior()
{
    d->checkBrowse();
    d->ensure();
    const Impl::Snapshot before = d->snapshot();
    if (d->view.empty()) {
        d->atEnd = d->atBegin = true;
        return;
    }
    if (d->cur > 0) {
        --d->cur;
        d->atEnd = d->atBegin = false;
    } else {
        d->atBegin = true;
    }
    d->finish(before, false);
}

bool RecordTable::atEnd() const
{
    d->ensure();
    return d->view.empty() || d->atEnd;
}

bool RecordTable::atBegin() const
{
    d->ensure();
    return d->view.empty() || d->atBegin;
}

int RecordTable::rowCount() const
{
    d->ensure();
    return int(d->view.size());
}

int RecordTable::rowNumber() const
{
    d->ensure();
    return d->cur < 0 ? 0 : d->cur + 1;
}

void RecordTable::setRowNumber(int number)
{
    d->checkBrowse();
    d->ensure();
    if (number < 1 || size_t(number) > d->view.size())
        return;
    const Impl::Snapshot before = d->snapshot();
    d->cur = number - 1;
    d->atEnd = d->atBegin = false;
    d->finish(before, false);
}

// --- values of the current row ----------------------------------------------------------

bool RecordTable::isNull(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return d->cellAt(row, position).unset;
}

QString RecordTable::asString(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return cellString(d->cellAt(row, position));
}

qint64 RecordTable::asInteger(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return cellInteger(d->cellAt(row, position));
}

double RecordTable::asFloat(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return cellFloat(d->cellAt(row, position));
}

QString RecordTable::displayText(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return cellDisplay(d->cellAt(row, position), d->s->displayFormat(position));
}

QVariant RecordTable::value(int position) const
{
    const uint32_t row = d->requireCurrentRow();
    d->fieldDef(position);
    return cellValue(d->cellAt(row, position));
}

// --- values by view position -------------------------------------------------------------

bool RecordTable::isNullAt(int viewRow, int position) const
{
    return d->cellAt(d->viewRowAt(viewRow, position), position).unset;
}

QString RecordTable::stringAt(int viewRow, int position) const
{
    return cellString(d->cellAt(d->viewRowAt(viewRow, position), position));
}

QByteArrayView RecordTable::bytesAt(int viewRow, int position) const
{
    const CellRef ref = d->cellAt(d->viewRowAt(viewRow, position), position);
    if (ref.type != FieldType::String || ref.unset)
        return QByteArrayView();
    return QByteArrayView(ref.text, ref.length);
}

void RecordTable::bytesAt(int firstViewRow, int count, int position, QByteArrayView *texts) const
{
    const uint32_t *rows = d->viewRowsAt(firstViewRow, count, position);
    if (!rows)
        return;
    const RecordTableStorage::Column &c = d->s->column(position);
    if (c.type != FieldType::String) {
        for (int i = 0; i < count; ++i)
            texts[i] = QByteArrayView();
        return;
    }
    // Three passes: the offsets and lengths are fetched ahead, then the
    // text, then read.
    for (int i = 0; i < count; ++i) {
        __builtin_prefetch(c.offsets.data() + rows[i]);
        __builtin_prefetch(c.wide ? static_cast<const void *>(c.len16.data() + rows[i])
                                  : static_cast<const void *>(c.len8.data() + rows[i]));
        __builtin_prefetch(c.unsetBits.data() + (rows[i] >> 6));
    }
    for (int i = 0; i < count; ++i) {
        const uint32_t row = rows[i];
        if (c.isUnset(row)) {
            texts[i] = QByteArrayView();
            continue;
        }
        const char *text = c.text(row);
        const uint32_t length = c.length(row);
        __builtin_prefetch(text);
        if (length > 0)
            __builtin_prefetch(text + length - 1);
        texts[i] = QByteArrayView(text, length);
    }
    if (d->editing) {
        for (int i = 0; i < count; ++i)
            if (rows[i] == d->editRow)
                texts[i] = bytesAt(firstViewRow + i, position);
    }
}

void RecordTable::numbersAt(int firstViewRow, int count, int position, double *values, bool *unset) const
{
    const uint32_t *rows = d->viewRowsAt(firstViewRow, count, position);
    if (!rows)
        return;
    const RecordTableStorage::Column &c = d->s->column(position);
    for (int i = 0; i < count; ++i) {
        const uint32_t row = rows[i];
        switch (c.type) {
        case FieldType::I2:
            __builtin_prefetch(c.i16.data() + row);
            break;
        case FieldType::I4:
            __builtin_prefetch(c.i32.data() + row);
            break;
        case FieldType::R8:
            __builtin_prefetch(c.f64.data() + row);
            break;
        case FieldType::String:
            break;
        }
        __builtin_prefetch(c.unsetBits.data() + (row >> 6));
    }
    for (int i = 0; i < count; ++i) {
        const CellRef ref = d->cellAt(rows[i], position);
        unset[i] = ref.unset;
        values[i] = ref.unset ? 0.0 : cellFloat(ref);
    }
}

qint64 RecordTable::integerAt(int viewRow, int position) const
{
    return cellInteger(d->cellAt(d->viewRowAt(viewRow, position), position));
}

double RecordTable::floatAt(int viewRow, int position) const
{
    return cellFloat(d->cellAt(d->viewRowAt(viewRow, position), position));
}

QString RecordTable::displayTextAt(int viewRow, int position) const
{
    const uint32_t row = d->viewRowAt(viewRow, position);
    return cellDisplay(d->cellAt(row, position), d->s->displayFormat(position));
}

// --- editing ---------------------------------------------------------------------------

void RecordTable::edit()
{
    const uint32_t row = d->requireCurrentRow();
    if (d->editing)
        return;
    d->editing = true;
    d->editRow = row;
    d->pending.assign(size_t(d->s->fieldCount()), std::nullopt);
}

bool RecordTable::isEditing() const
{
    return d->editing;
}

namespace
{
    void requireEditing(bool editing, const QString &name)
    {
        if (!editing)
            throw OrdixError(QStringLiteral("Table %1 is not being edited").arg(name));
    }
}

void RecordTable::setString(int position, const QString &value)
{
    requireEditing(d->editing, d->name);
    const FieldDef &def = d->fieldDef(position);
    Cell cell;
    convertText(def, QStringView(value), cell);
    d->pending[size_t(position)] = std::move(cell);
}

void RecordTable::setInteger(int position, qint64 value)
{
    requireEditing(d->editing, d->name);
    const FieldDef &def = d->fieldDef(position);
    Cell cell;
    convertInteger(def, value, cell);
    d->pending[size_t(position)] = std::move(cell);
}

void RecordTable::setFloat(int position, double value)
{
    requireEditing(d->editing, d->name);
    const FieldDef &def = d->fieldDef(position);
    Cell cell;
    convertFloat(def, value, cell);
    d->pending[size_t(position)] = std::move(cell);
}

void RecordTable::setValue(int position, const QVariant &value)
{
    requireEditing(d->editing, d->name);
    const FieldDef &def = d->fieldDef(position);
    Cell cell;
    convertVariant(def, value, cell);
    d->pending[size_t(position)] = std::move(cell);
}

void RecordTable::setNull(int position)
{
    requireEditing(d->editing, d->name);
    d->fieldDef(position);
    d->pending[size_t(position)] = Cell();
}

void RecordTable::post()
{
    requireEditing(d->editing, d->name);
    const Impl::Snapshot before = d->snapshot();
    const uint32_t row = d->editRow;
    const bool keyTouched = d->keyField >= 0 && d->pending[size_t(d->keyField)].has_value();
    for (size_t f = 0; f < d->pending.size(); ++f) {
        if (d->pending[f]) {
            d->s->setCell(row, int(f), inputOf(*d->pending[f]));
            if (int(f) == d->denseField)
                d->denseField = -1;
        }
    }
    d->editing = false;
    d->pending.clear();
    d->s->notifyRowUpdated(row, d.get());

    bool viewChanged = false;
    int changedRow = -1;
    if (d->dirty || d->linkStale) {
        d->keepRow = row;
        d->ensure();
        viewChanged = true;
    } else {
        d->ensure();
        const bool atCurrent = d->cur >= 0 && size_t(d->cur) < d->view.size() && d->view[size_t(d->cur)] == row;
        const int p = atCurrent ? d->cur : d->positionOf(row);
        if (p >= 0) {
            auto &view = d->view;
            if (!d->passes(row)) {
                // The row leaves the view; the one after it becomes current.
                view.erase(view.begin() + p);
                d->viewTouched();
                d->identity = false;
                if (view.empty()) {
                    d->cur = -1;
                    d->atEnd = d->atBegin = true;
                } else if (size_t(p) < view.size()) {
                    if (d->cur > p)
                        --d->cur;
                    else if (d->cur == p)
                        d->atEnd = d->atBegin = false;
                } else {
                    if (d->cur == p) {
                        d->cur = int(view.size()) - 1;
                        d->atEnd = true;
                    } else if (d->cur > p) {
                        --d->cur;
                    }
                }
                viewChanged = true;
            } else if (keyTouched
                       && ((p > 0 && d->less(row, view[size_t(p) - 1]))
                           || (size_t(p) + 1 < view.size() && d->less(view[size_t(p) + 1], row)))) {
                // The key changed: the row moves to its place in the order.
                const bool wasCurrent = d->cur == p;
                view.erase(view.begin() + p);
                if (d->cur > p)
                    --d->cur;
                const size_t at = d->insertionPoint(row);
                view.insert(view.begin() + std::ptrdiff_t(at), row);
                if (wasCurrent)
                    d->cur = int(at);
                else if (int(at) <= d->cur)
                    ++d->cur;
                d->viewTouched();
                viewChanged = true;
            } else {
                changedRow = p;
            }
        }
    }
    d->markDetailsStale();
    d->finish(before, viewChanged, changedRow);
    if (d->afterPostHandler)
        d->afterPostHandler();
}

void RecordTable::cancel()
{
    d->editing = false;
    d->pending.clear();
}

void RecordTable::deleteRow()
{
    d->requireActive();
    d->ensure();
    const auto row = d->currentRow();
    if (!row)
        throw OrdixError(QStringLiteral("Table %1 has no row to delete").arg(d->name));
    d->editing = false;
    d->pending.clear();
    const Impl::Snapshot before = d->snapshot();
    d->s->removeRow(*row);
    d->markDetailsStale();
    d->finish(before, true);
}

// --- filtering -------------------------------------------------------------------------

void RecordTable::setFilter(const QString &text)
{
    if (!d->filtered) {
        d->filterText = text;
        return;
    }
    d->filterText = text;
    setFiltered(true);
}

QString RecordTable::filter() const
{
    return d->filterText;
}

void RecordTable::setFiltered(bool on)
{
    d->checkBrowse();
    const Impl::Snapshot before = d->snapshot();
    if (!on) {
        const bool was = d->filtered;
        d->filtered = false;
        d->expr.reset();
        if (was && d->s) {
            d->rebuildNow(std::nullopt);
            d->finish(before, true);
        }
        return;
    }
    std::unique_ptr<FilterExpr> parsed;
    try {
        parsed = d->parseFilter(d->filterText);
    } catch (...) {
        const bool was = d->filtered;
        d->filtered = false;
        d->expr.reset();
        if (was && d->s) {
            d->rebuildNow(std::nullopt);
            d->finish(before, true);
        }
        throw;
    }
    d->filtered = true;
    d->expr = std::move(parsed);
    if (d->s) {
        d->rebuildNow(std::nullopt);
        d->finish(before, true);
    }
}

bool RecordTable::isFiltered() const
{
    return d->filtered;
}

// --- ordering --------------------------------------------------------------------------

void RecordTable::addIndexDef(const QString &name, const QString &fieldName, bool descending, bool caseInsensitive)
{
    if (name.isEmpty())
        throw OrdixError(QStringLiteral("An index needs a name"));
    for (const Impl::IndexDef &def : d->indexDefs)
        if (def.name.compare(name, Qt::CaseInsensitive) == 0)
            throw OrdixError(QStringLiteral("Index '%1' is already defined").arg(name));
    if (d->s)
        d->fieldByName(fieldName);
    d->indexDefs.push_back({name, fieldName, descending, caseInsensitive});
}

void RecordTable::clearIndexDefs()
{
    d->indexDefs.clear();
    if (!d->indexName.isEmpty()) {
        d->checkBrowse();
        const Impl::Snapshot before = d->snapshot();
        d->indexName.clear();
        d->keyField = -1;
        if (d->s) {
            d->rebuildNow(d->logicalCurrent());
            d->finish(before, true);
        }
    }
}

QStringList RecordTable::indexNames() const
{
    QStringList names;
    for (const Impl::IndexDef &def : d->indexDefs)
        names.append(def.name);
    return names;
}

void RecordTable::setIndexName(const QString &name)
{
    QString canonical;
    if (!name.isEmpty()) {
        const Impl::IndexDef *found = nullptr;
        for (const Impl::IndexDef &def : d->indexDefs)
            if (def.name.compare(name, Qt::CaseInsensitive) == 0)
                found = &def;
        if (!found)
            throw OrdixError(QStringLiteral("Index '%1' not found").arg(name));
        if (d->s)
            d->fieldByName(found->fieldName);
        canonical = found->name;
    }
    d->checkBrowse();
    const Impl::Snapshot before = d->snapshot();
    d->indexName = canonical;
    d->indexFieldsName.clear();
    d->applyOrder(before);
}

QString RecordTable::indexName() const
{
    return d->indexName;
}

void RecordTable::setIndexFields(const QString &fieldName)
{
    if (!fieldName.isEmpty() && d->s)
        d->fieldByName(fieldName);
    d->checkBrowse();
    const Impl::Snapshot before = d->snapshot();
    d->indexFieldsName = fieldName;
    d->indexName.clear();
    d->applyOrder(before);
}

QString RecordTable::indexFields() const
{
    return d->indexFieldsName;
}

void RecordTable::sortOnField(const QString &fieldName, bool descending)
{
    d->requireActive();
    const int f = d->fieldByName(fieldName);
    d->checkBrowse();
    d->ensure();
    const uint32_t n = d->s->rowCount();
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    RecordTableStorage &s = *d->s;
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        const int cmp = s.compareKeys(f, false, a, b);
        return descending ? cmp > 0 : cmp < 0;
    });
    const Impl::Snapshot before = d->snapshot();
    s.reorder(order);
    d->ensure();
    d->markDetailsStale();
    d->finish(before, true);
}

bool RecordTable::isGroupFirst() const
{
    d->ensure();
    if (d->cur < 0)
        return false;
    if (d->cur == 0 || d->keyField < 0)
        return true;
    return !d->s->keysEqual(d->keyField, d->view[size_t(d->cur) - 1], d->view[size_t(d->cur)]);
}

// --- locating ----------------------------------------------------------------------------

bool RecordTable::locate(const QString &fieldName, const QVariant &value, bool caseInsensitive, bool partialKey)
{
    d->requireActive();
    const int f = d->fieldByName(fieldName);
    const FieldDef &def = d->s->fields()[f];
    d->checkBrowse();
    d->ensure();

    int found = -1;
    if (def.isNumeric()) {
        double number = 0;
        bool ok = false;
        const int type = value.typeId();
        if (!value.isValid() || value.isNull()) {
            ok = false;
        } else if (type == QMetaType::Int) {
            number = value.toInt();
            ok = true;
        } else if (type == QMetaType::QString || type == QMetaType::QByteArray) {
            const QString text = value.toString();
            qint64 whole = 0;
            if (parseInteger(QStringView(text), &whole)) {
                number = double(whole);
                ok = true;
            } else {
                ok = Decimal::parse(text, &number);
            }
        } else {
            number = value.toDouble(&ok);
        }
        if (!ok)
            throw OrdixError(QStringLiteral("'%1' is not a valid number for field %2").arg(value.toString(), def.name));
        if (d->view.empty())
            return false;
        const Column &c = d->s->column(f);
        // A short view is scanned; a long one is looked up through a table by
        // value or the hash of the rows.
        const bool shortView = d->view.size() <= 4096;
        if (!shortView && def.type != FieldType::R8 && d->denseLocate(f, number, &found)) {
            // found through the table by value
        } else if (shortView) {
            for (size_t p = 0; p < d->view.size(); ++p) {
                if (c.number(d->view[p]) == number) {
                    found = int(p);
                    break;
                }
            }
        } else {
            int best = INT_MAX;
            d->s->forEachRowWithValue(f, number, [&](uint32_t row) {
                const int p = d->positionOf(row);
                if (p >= 0 && p < best)
                    best = p;
            });
            if (best != INT_MAX)
                found = best;
        }
    } else {
        if (d->view.empty())
            return false;
        QString text;
        if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
            text = RecordTableStorage::numberText(value.toDouble());
        else
            text = value.toString();
        bool ok = true;
        QByteArray needle = Cp1251::encode(text, &ok);
        if (!ok)
            return false;
        const Column &c = d->s->column(f);
        const unsigned char *fold = Cp1251::foldTable();
        if (caseInsensitive)
            needle = Cp1251::folded(needle);
        const size_t m = size_t(needle.size());
        const auto *wanted = reinterpret_cast<const unsigned char *>(needle.constData());
        for (size_t p = 0; p < d->view.size(); ++p) {
            const uint32_t row = d->view[p];
            const uint32_t len = c.length(row);
            if (partialKey ? len < m : len != m)
                continue;
            const auto *bytes = reinterpret_cast<const unsigned char *>(c.text(row));
            bool same = true;
            if (caseInsensitive) {
                for (size_t k = 0; k < m && same; ++k)
                    same = fold[bytes[k]] == wanted[k];
            } else {
                same = m == 0 || std::memcmp(bytes, wanted, m) == 0;
            }
            if (same) {
                found = int(p);
                break;
            }
        }
    }
    if (found < 0)
        return false;
    // Positions of one view stand for rows: no need to read the view.
    const int before = d->view.empty() ? -1 : d->cur;
    d->cur = found;
    d->atEnd = d->atBegin = false;
    if (before != found) {
        d->markDetailsStale();
        if (d->suspendCount == 0 && d->afterScrollHandler)
            d->afterScrollHandler();
    }
    return true;
}

// --- linking and clones ---------------------------------------------------------------------

void RecordTable::linkToMaster(RecordTable *master, const QString &detailField, const QString &masterField)
{
    d->requireActive();
    if (!master || master == this)
        throw OrdixError(QStringLiteral("Table %1 cannot be linked to itself or to nothing").arg(d->name));
    for (Impl *m = master->d.get(); m; m = m->master)
        if (m == d.get())
            throw OrdixError(QStringLiteral("Linking table %1 would make a circle").arg(d->name));
    master->d->requireActive();
    const int df = d->fieldByName(detailField);
    const int mf = master->d->fieldByName(masterField);
    d->checkBrowse();
    const Impl::Snapshot before = d->snapshot();
    d->detachFromMaster();
    d->master = master->d.get();
    d->detailField = df;
    d->masterField = mf;
    master->d->details.push_back(d.get());
    d->linkStale = true;
    d->ensure();
    d->finish(before, true);
}

void RecordTable::unlink()
{
    if (!d->master)
        return;
    d->checkBrowse();
    const Impl::Snapshot before = d->snapshot();
    const auto keep = d->logicalCurrent();
    d->detachFromMaster();
    if (d->s) {
        d->rebuildNow(keep);
        d->finish(before, true);
    }
}

bool RecordTable::isLinked() const
{
    return d->master != nullptr;
}

std::unique_ptr<RecordTable> RecordTable::clone() const
{
    auto copy = std::make_unique<RecordTable>(d->name);
    if (d->s) {
        copy->d->s = d->s;
        d->s->addObserver(copy->d.get());
        copy->d->seen = 0;
        copy->d->dirty = true;
        for (const Impl::IndexDef &def : d->indexDefs)
            copy->d->indexDefs.push_back(def);
    }
    return copy;
}

// --- views and notifications --------------------------------------------------------------

void RecordTable::suspendViews()
{
    ++d->suspendCount;
}

void RecordTable::resumeViews()
{
    if (d->suspendCount == 0)
        return;
    if (--d->suspendCount == 0) {
        d->ensure();
        d->fireView();
    }
}

bool RecordTable::viewsSuspended() const
{
    return d->suspendCount > 0;
}

int RecordTable::onViewChanged(Callback cb)
{
    const int id = d->nextListenerId++;
    d->viewListeners[id] = std::move(cb);
    return id;
}

int RecordTable::onRowChanged(std::function<void(int viewRow)> cb)
{
    const int id = d->nextListenerId++;
    d->rowListeners[id] = std::move(cb);
    return id;
}

void RecordTable::removeListener(int id)
{
    d->viewListeners.erase(id);
    d->rowListeners.erase(id);
}

void RecordTable::setAfterScroll(Callback cb)
{
    d->afterScrollHandler = std::move(cb);
}

RecordTable::Callback RecordTable::afterScroll() const
{
    return d->afterScrollHandler;
}

void RecordTable::setAfterPost(Callback cb)
{
    d->afterPostHandler = std::move(cb);
}

qint64 RecordTable::memoryBytes() const
{
    qint64 total = qint64(d->view.capacity() * sizeof(uint32_t) + d->positions.capacity() * sizeof(int32_t));
    if (d->s)
        total += d->s->memoryBytes();
    return total;
}
