#include "filterexpr.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cp1251.h"
#include "ordixerror.h"
#include "recordtablestorage.h"
#include "textfile.h"
#include "valuekey.h"

namespace
{
    using Column = RecordTableStorage::Column;

    enum class Op
    {
        Equal,
        GreaterOrEqual,
        Like
    };

    // How a bound comparison is evaluated.
    enum class Mode
    {
        Nothing,      // no value can pass
        All,          // every value passes
        NumEqual,     // number == m_number
        NumGreater,   // number >= m_number
        TextEqual,    // text == needle, letter case folded
        TextPrefix,   // text begins with needle
        TextGreater,  // text >= needle
        TextContains, // text contains needle
        TextLike      // general pattern
    };

    [[noreturn]] void syntaxError(int position, const QString &what)
    {
        throw OrdixError(QStringLiteral("Invalid filter expression at position %1: %2").arg(position).arg(what));
    }

    // --- substring search --------------------------------------------------

    // Letter case without a folded copy of the text: the needle is folded
    // once; a stored byte matches a needle byte when it folds to it, that is
    // when it is the byte itself or its one capital partner.
    struct CaseTables
    {
        const unsigned char *fold = Cp1251::foldTable();
        unsigned char capital[256];

        CaseTables()
        {
            for (int b = 0; b < 256; ++b)
                capital[b] = static_cast<unsigned char>(b);
            // Each small letter has exactly one capital in the code page.
            for (int b = 0; b < 256; ++b)
                if (fold[b] != b)
                    capital[fold[b]] = static_cast<unsigned char>(b);
        }
    };

    const CaseTables &caseTables()
    {
        static const CaseTables tables;
        return tables;
    }

    // Bytes k..m-1 of the text fold to the (folded) needle's.
    bool foldedEqualFrom(const char *text, const char *needle, size_t k, size_t m, const unsigned char *fold)
    {
        for (; k < m; ++k)
            if (fold[static_cast<unsigned char>(text[k])] != static_cast<unsigned char>(needle[k]))
                return false;
        return true;
    }

    bool foldedEqual(const char *text, const char *needle, size_t m)
    {
        return foldedEqualFrom(text, needle, 0, m, caseTables().fold);
    }

    // First place in hay (n bytes) where the text folds to the folded needle
    // (m bytes), or null. Candidates are the places where the first and the
    // last byte match in either case, sixteen places at a time.
    const char *searchFolded(const char *hay, size_t n, const char *needle, size_t m)
    {
        if (m == 0)
            return hay;
        if (m > n)
            return nullptr;
        const CaseTables &t = caseTables();
        const auto first = static_cast<unsigned char>(needle[0]);
        const auto last = static_cast<unsigned char>(needle[m - 1]);
        size_t i = 0;
#if defined(__SSE2__)
        const __m128i first1 = _mm_set1_epi8(char(first));
        const __m128i first2 = _mm_set1_epi8(char(t.capital[first]));
        const __m128i last1 = _mm_set1_epi8(char(last));
        const __m128i last2 = _mm_set1_epi8(char(t.capital[last]));
        for (; i + m - 1 + 16 <= n; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(hay + i + m - 1));
            const __m128i fa = _mm_or_si128(_mm_cmpeq_epi8(a, first1), _mm_cmpeq_epi8(a, first2));
            const __m128i fb = _mm_or_si128(_mm_cmpeq_epi8(b, last1), _mm_cmpeq_epi8(b, last2));
            unsigned mask = unsigned(_mm_movemask_epi8(_mm_and_si128(fa, fb)));
            while (mask) {
                const unsigned bit = unsigned(std::countr_zero(mask));
                if (m <= 2 || foldedEqualFrom(hay + i + bit, needle, 1, m - 1, t.fold))
                    return hay + i + bit;
                mask &= mask - 1;
            }
        }
#endif
        for (; i + m <= n; ++i) {
            if (t.fold[static_cast<unsigned char>(hay[i])] == first
                && t.fold[static_cast<unsigned char>(hay[i + m - 1])] == last
                && (m <= 2 || foldedEqualFrom(hay + i, needle, 1, m - 1, t.fold)))
                return hay + i;
        }
        return nullptr;
    }

    // Compares the folded text with the folded needle.
    int compareFolded(const char *text, size_t lt, const char *needle, size_t ln)
    {
        const unsigned char *fold = caseTables().fold;
        const size_t k = std::min(lt, ln);
        for (size_t i = 0; i < k; ++i) {
            const int a = fold[static_cast<unsigned char>(text[i])];
            const int b = static_cast<unsigned char>(needle[i]);
            if (a != b)
                return a - b;
        }
        return lt < ln ? -1 : (lt > ln ? 1 : 0);
    }

    // --- bitmaps -----------------------------------------------------------

    size_t wordsFor(uint32_t rows)
    {
        return (size_t(rows) + 63) / 64;
    }

    void clearTail(uint64_t *bits, uint32_t rows)
    {
        if (rows & 63)
            bits[rows >> 6] &= (uint64_t(1) << (rows & 63)) - 1;
    }

    template<typename Pred>
    void fillBits(uint32_t rows, uint64_t *bits, const uint64_t *within, Pred &&pred)
    {
        const size_t words = wordsFor(rows);
        for (size_t w = 0; w < words; ++w) {
            const uint32_t base = uint32_t(w * 64);
            if (within) {
                uint64_t candidates = within[w];
                uint64_t word = 0;
                while (candidates) {
                    const int bit = std::countr_zero(candidates);
                    candidates &= candidates - 1;
                    if (pred(base + uint32_t(bit)))
                        word |= uint64_t(1) << bit;
                }
                bits[w] = word;
            } else {
                const uint32_t end = std::min<uint32_t>(rows, base + 64);
                uint64_t word = 0;
                for (uint32_t r = base; r < end; ++r)
                    word |= uint64_t(pred(r) ? 1 : 0) << (r - base);
                bits[w] = word;
            }
        }
    }

    size_t popcount(const uint64_t *bits, size_t words)
    {
        size_t n = 0;
        for (size_t w = 0; w < words; ++w)
            n += size_t(std::popcount(bits[w]));
        return n;
    }

    // --- numbers -------------------------------------------------------------

    uint64_t mix(uint64_t key)
    {
        key ^= key >> 33;
        key *= 0xff51afd7ed558ccdULL;
        key ^= key >> 33;
        return key;
    }

    // Parses the text of a text constant as a number for a numeric field.
    bool textAsNumber(const QString &text, double *value)
    {
        qint32 whole = 0;
        if (isWholeNumber(QStringView(text).trimmed(), &whole)) {
            *value = whole;
            return true;
        }
        return Decimal::parse(text, value);
    }
}

// --- the tree ------------------------------------------------------------------

struct FilterExpr::Node
{
    enum class Kind
    {
        Or,
        And,
        Not,
        Compare,
        ValueSet
    };

    Kind kind = Kind::Compare;
    std::vector<std::unique_ptr<Node>> children;

    // Compare, as parsed
    QString fieldName;
    Op op = Op::Equal;
    bool textConstant = false;
    qint64 integer = 0;
    QString text;

    // Compare and ValueSet, as bound
    int field = -1;
    FieldType type = FieldType::String;
    Mode mode = Mode::Nothing;
    bool viaText = false; // a numeric field compared by its text form
    double number = 0;
    std::string needle;                // folded Windows-1251 bytes
    std::vector<std::string> segments; // LIKE: the literal runs between "%"
    bool anchoredStart = false;
    bool anchoredEnd = false;

    // ValueSet: integer fields with values close together: one bit per value
    // from setBase on; otherwise an open-addressing set of keys
    std::vector<uint64_t> denseSet;
    qint64 setBase = 0;
    uint64_t setRange = 0;
    std::vector<uint64_t> setKeys;
    std::vector<uint8_t> setUsed;
    uint64_t setMask = 0;
    std::vector<double> setValues; // for describe()

    int cost = 0;

    bool denseContains(qint64 value) const
    {
        const uint64_t k = uint64_t(value - setBase);
        return k < setRange && ((denseSet[k >> 6] >> (k & 63)) & 1u);
    }

    bool setContains(double value) const
    {
        uint64_t key;
        if (!valueKey(type, value, &key))
            return false;
        if (!denseSet.empty())
            return denseContains(qint64(key));
        uint64_t i = mix(key) & setMask;
        while (setUsed[i]) {
            if (setKeys[i] == key)
                return true;
            i = (i + 1) & setMask;
        }
        return false;
    }
};

namespace
{
    using Node = FilterExpr::Node;

    // --- lexer -------------------------------------------------------------

    enum class Tok
    {
        End,
        LParen,
        RParen,
        Equal,
        GreaterOrEqual,
        Name,
        Integer,
        Text,
        And,
        Or,
        Not,
        Like
    };

    struct Token
    {
        Tok kind = Tok::End;
        int position = 0; // 1-based
        QString text;
        qint64 integer = 0;
    };

    class Lexer
    {
    public:
        explicit Lexer(const QString &text)
            : m_text(text)
        {
        }

        Token next()
        {
            while (m_pos < m_text.size() && m_text[m_pos].isSpace())
                ++m_pos;
            Token t;
            t.position = int(m_pos) + 1;
            if (m_pos >= m_text.size())
                return t;
            const QChar ch = m_text[m_pos];
            if (ch == QLatin1Char('(')) {
                ++m_pos;
                t.kind = Tok::LParen;
            } else if (ch == QLatin1Char(')')) {
                ++m_pos;
                t.kind = Tok::RParen;
            } else if (ch == QLatin1Char('=')) {
                ++m_pos;
                t.kind = Tok::Equal;
            } else if (ch == QLatin1Char('>')) {
                if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == QLatin1Char('=')) {
                    m_pos += 2;
                    t.kind = Tok::GreaterOrEqual;
                } else {
                    syntaxError(t.position, QStringLiteral("only \">=\" is allowed after \">\""));
                }
            } else if (ch == QLatin1Char('\'')) {
                t.kind = Tok::Text;
                ++m_pos;
                while (true) {
                    if (m_pos >= m_text.size())
                        syntaxError(t.position, QStringLiteral("the text constant is not closed"));
                    if (m_text[m_pos] == QLatin1Char('\'')) {
                        if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == QLatin1Char('\'')) {
                            t.text.append(QLatin1Char('\''));
                            m_pos += 2;
                            continue;
                        }
                        ++m_pos;
                        break;
                    }
                    t.text.append(m_text[m_pos]);
                    ++m_pos;
                }
            } else if (ch == QLatin1Char('-') || (ch >= QLatin1Char('0') && ch <= QLatin1Char('9'))) {
                t.kind = Tok::Integer;
                const bool negative = ch == QLatin1Char('-');
                if (negative)
                    ++m_pos;
                if (m_pos >= m_text.size() || !(m_text[m_pos] >= QLatin1Char('0') && m_text[m_pos] <= QLatin1Char('9')))
                    syntaxError(t.position, QStringLiteral("a digit must follow \"-\""));
                qint64 value = 0;
                while (m_pos < m_text.size() && m_text[m_pos] >= QLatin1Char('0') && m_text[m_pos] <= QLatin1Char('9')) {
                    const int digit = m_text[m_pos].unicode() - '0';
                    if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
                        syntaxError(t.position, QStringLiteral("the number is too large"));
                    value = value * 10 + digit;
                    ++m_pos;
                }
                t.integer = negative ? -value : value;
            } else if (ch.isLetter() || ch == QLatin1Char('_')) {
                const qsizetype start = m_pos;
                while (m_pos < m_text.size()
                       && (m_text[m_pos].isLetterOrNumber() || m_text[m_pos] == QLatin1Char('_')))
                    ++m_pos;
                t.text = m_text.mid(start, m_pos - start);
                t.kind = Tok::Name;
                if (t.text.compare(QLatin1String("AND"), Qt::CaseInsensitive) == 0)
                    t.kind = Tok::And;
                else if (t.text.compare(QLatin1String("OR"), Qt::CaseInsensitive) == 0)
                    t.kind = Tok::Or;
                else if (t.text.compare(QLatin1String("NOT"), Qt::CaseInsensitive) == 0)
                    t.kind = Tok::Not;
                else if (t.text.compare(QLatin1String("LIKE"), Qt::CaseInsensitive) == 0)
                    t.kind = Tok::Like;
            } else {
                syntaxError(t.position, QStringLiteral("unexpected character \"%1\"").arg(ch));
            }
            return t;
        }

    private:
        const QString &m_text;
        qsizetype m_pos = 0;
    };

    // --- parser --------------------------------------------------------------

    QString describeToken(const Token &t)
    {
        switch (t.kind) {
        case Tok::End:
            return QStringLiteral("the end of the text");
        case Tok::LParen:
            return QStringLiteral("\"(\"");
        case Tok::RParen:
            return QStringLiteral("\")\"");
        case Tok::Equal:
            return QStringLiteral("\"=\"");
        case Tok::GreaterOrEqual:
            return QStringLiteral("\">=\"");
        case Tok::Integer:
            return QStringLiteral("the number %1").arg(t.integer);
        case Tok::Text:
            return QStringLiteral("a text constant");
        case Tok::Name:
        case Tok::And:
        case Tok::Or:
        case Tok::Not:
        case Tok::Like:
            return QStringLiteral("\"%1\"").arg(t.text);
        }
        return QString();
    }

    class Parser
    {
    public:
        explicit Parser(const QString &text)
            : m_lexer(text)
        {
            advance();
        }

        std::unique_ptr<Node> parseAll()
        {
            if (m_tok.kind == Tok::End)
                return nullptr;
            auto root = parseExpression(0);
            if (m_tok.kind != Tok::End)
                syntaxError(m_tok.position, QStringLiteral("unexpected %1").arg(describeToken(m_tok)));
            return root;
        }

    private:
        void advance() { m_tok = m_lexer.next(); }

        // Adds `child` to an OR or AND list, taking over the children of a
        // parenthesised list of the same kind.
        static void append(Node &list, std::unique_ptr<Node> child)
        {
            if (child->kind == list.kind) {
                for (auto &grandChild : child->children)
                    list.children.push_back(std::move(grandChild));
            } else {
                list.children.push_back(std::move(child));
            }
        }

        std::unique_ptr<Node> parseExpression(int depth)
        {
            auto first = parseConjunction(depth);
            if (m_tok.kind != Tok::Or)
                return first;
            auto list = std::make_unique<Node>();
            list->kind = Node::Kind::Or;
            append(*list, std::move(first));
            while (m_tok.kind == Tok::Or) {
                advance();
                append(*list, parseConjunction(depth));
            }
            return list;
        }

        std::unique_ptr<Node> parseConjunction(int depth)
        {
            auto first = parseNegation(depth);
            if (m_tok.kind != Tok::And)
                return first;
            auto list = std::make_unique<Node>();
            list->kind = Node::Kind::And;
            append(*list, std::move(first));
            while (m_tok.kind == Tok::And) {
                advance();
                append(*list, parseNegation(depth));
            }
            return list;
        }

        std::unique_ptr<Node> parseNegation(int depth)
        {
            // NOT NOT x is x: a run of NOTs is counted, not nested.
            int nots = 0;
            while (m_tok.kind == Tok::Not) {
                ++nots;
                advance();
            }
            auto operand = parsePrimary(depth);
            if (nots % 2 == 0)
                return operand;
            if (operand->kind == Node::Kind::Not)
                return std::move(operand->children.front());
            auto node = std::make_unique<Node>();
            node->kind = Node::Kind::Not;
            node->children.push_back(std::move(operand));
            return node;
        }

        std::unique_ptr<Node> parsePrimary(int depth)
        {
            if (m_tok.kind == Tok::LParen) {
                if (depth >= FilterExpr::kMaxDepth)
                    syntaxError(m_tok.position, QStringLiteral("parentheses are nested too deeply"));
                const int open = m_tok.position;
                advance();
                auto inner = parseExpression(depth + 1);
                if (m_tok.kind != Tok::RParen)
                    syntaxError(m_tok.position, QStringLiteral("expected \")\" to close the \"(\" at position %1, found %2")
                                                    .arg(open)
                                                    .arg(describeToken(m_tok)));
                advance();
                return inner;
            }
            return parseComparison();
        }

        std::unique_ptr<Node> parseComparison()
        {
            if (m_tok.kind != Tok::Name)
                syntaxError(m_tok.position, QStringLiteral("expected a field name, found %1").arg(describeToken(m_tok)));
            auto node = std::make_unique<Node>();
            node->kind = Node::Kind::Compare;
            node->fieldName = m_tok.text;
            advance();
            switch (m_tok.kind) {
            case Tok::Equal:
                node->op = Op::Equal;
                break;
            case Tok::GreaterOrEqual:
                node->op = Op::GreaterOrEqual;
                break;
            case Tok::Like:
                node->op = Op::Like;
                break;
            default:
                syntaxError(m_tok.position,
                            QStringLiteral("expected \"=\", \">=\" or LIKE after the field name, found %1").arg(describeToken(m_tok)));
            }
            advance();
            if (m_tok.kind == Tok::Text) {
                node->textConstant = true;
                node->text = m_tok.text;
            } else if (m_tok.kind == Tok::Integer && node->op != Op::Like) {
                node->integer = m_tok.integer;
            } else {
                syntaxError(m_tok.position, node->op == Op::Like
                                                ? QStringLiteral("LIKE needs a text constant, found %1").arg(describeToken(m_tok))
                                                : QStringLiteral("expected a number or a text constant, found %1").arg(describeToken(m_tok)));
            }
            advance();
            return node;
        }

        Lexer m_lexer;
        Token m_tok;
    };

    // --- binding -------------------------------------------------------------

    std::string foldedBytes(const QString &text, bool *ok)
    {
        const QByteArray encoded = Cp1251::encode(text, ok);
        const QByteArray folded = Cp1251::folded(encoded);
        return std::string(folded.constData(), size_t(folded.size()));
    }

    // Sets the text mode of a comparison whose constant is `text`.
    void bindText(Node &n, const QString &text)
    {
        bool ok = true;
        if (n.op == Op::Equal) {
            if (text.endsWith(QLatin1Char('*'))) {
                n.needle = foldedBytes(text.left(text.size() - 1), &ok);
                n.mode = n.needle.empty() ? Mode::All : Mode::TextPrefix;
            } else {
                n.needle = foldedBytes(text, &ok);
                n.mode = Mode::TextEqual;
            }
        } else if (n.op == Op::GreaterOrEqual) {
            // Characters that the code page lacks cannot be compared in
            // order; such a constant is compared as encoded ("?").
            n.needle = foldedBytes(text, nullptr);
            n.mode = Mode::TextGreater;
            return;
        } else {
            const QStringList parts = text.split(QLatin1Char('%'));
            if (parts.size() == 1) {
                n.needle = foldedBytes(text, &ok);
                n.mode = Mode::TextEqual;
            } else {
                n.anchoredStart = !parts.front().isEmpty();
                n.anchoredEnd = !parts.back().isEmpty();
                for (const QString &part : parts) {
                    if (part.isEmpty())
                        continue;
                    bool partOk = true;
                    n.segments.push_back(foldedBytes(part, &partOk));
                    ok = ok && partOk;
                }
                if (n.segments.empty()) {
                    n.mode = Mode::All;
                } else if (n.segments.size() == 1 && !n.anchoredStart && !n.anchoredEnd) {
                    n.needle = n.segments.front();
                    n.mode = Mode::TextContains;
                } else if (n.segments.size() == 1 && n.anchoredStart && !n.anchoredEnd) {
                    n.needle = n.segments.front();
                    n.mode = Mode::TextPrefix;
                } else {
                    n.mode = Mode::TextLike;
                }
            }
        }
        // A character that no stored text can hold never matches.
        if (!ok)
            n.mode = Mode::Nothing;
    }

    void bindCompare(Node &n, const QList<FieldDef> &fields)
    {
        n.field = -1;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (fields[i].name.compare(n.fieldName, Qt::CaseInsensitive) == 0) {
                n.field = int(i);
                break;
            }
        }
        if (n.field < 0)
            throw OrdixError(QStringLiteral("Field '%1' not found").arg(n.fieldName));
        n.type = fields[n.field].type;

        if (n.type != FieldType::String) {
            double value = 0;
            bool numeric = false;
            if (!n.textConstant) {
                value = double(n.integer);
                numeric = true;
            } else if (n.op != Op::Like && !(n.op == Op::Equal && n.text.endsWith(QLatin1Char('*')))) {
                numeric = textAsNumber(n.text, &value);
            }
            if (numeric) {
                n.number = value;
                n.mode = n.op == Op::Equal ? Mode::NumEqual : Mode::NumGreater;
                uint64_t key;
                if (n.mode == Mode::NumEqual && !valueKey(n.type, value, &key))
                    n.mode = Mode::Nothing;
                n.cost = 1;
                return;
            }
            n.viaText = true;
            bindText(n, n.text);
            n.cost = 4;
            return;
        }
        bindText(n, n.textConstant ? n.text : QString::number(n.integer));
        n.cost = (n.mode == Mode::TextContains || n.mode == Mode::TextLike) ? 3 : 2;
    }

    // Turns the "field = number" terms of an OR that name one numeric field
    // into one set look-up.
    void mergeValueSets(Node &orNode)
    {
        std::vector<std::unique_ptr<Node>> kept;
        std::vector<std::unique_ptr<Node>> sets;
        for (auto &child : orNode.children) {
            const bool candidate = child->kind == Node::Kind::Compare && !child->viaText
                                   && (child->mode == Mode::NumEqual || child->mode == Mode::Nothing)
                                   && child->type != FieldType::String;
            if (!candidate) {
                kept.push_back(std::move(child));
                continue;
            }
            Node *set = nullptr;
            for (auto &s : sets)
                if (s->field == child->field)
                    set = s.get();
            if (!set) {
                sets.push_back(std::make_unique<Node>());
                set = sets.back().get();
                set->kind = Node::Kind::ValueSet;
                set->field = child->field;
                set->fieldName = child->fieldName;
                set->type = child->type;
                set->cost = 1;
            }
            if (child->mode == Mode::NumEqual)
                set->setValues.push_back(child->number);
        }
        for (auto &set : sets) {
            std::sort(set->setValues.begin(), set->setValues.end());
            set->setValues.erase(std::unique(set->setValues.begin(), set->setValues.end()), set->setValues.end());
            // Integer values that lie close together (codes usually do) get
            // one bit each; a row then costs one test of a bit in cache.
            qint64 lo = std::numeric_limits<qint64>::max();
            qint64 hi = std::numeric_limits<qint64>::min();
            if (set->type != FieldType::R8) {
                for (double v : set->setValues) {
                    uint64_t key;
                    if (valueKey(set->type, v, &key)) {
                        lo = std::min(lo, qint64(key));
                        hi = std::max(hi, qint64(key));
                    }
                }
            }
            if (set->type != FieldType::R8 && (lo > hi || hi - lo < (qint64(1) << 24))) {
                set->setBase = lo > hi ? 0 : lo;
                set->setRange = lo > hi ? 1 : uint64_t(hi - lo + 1);
                set->denseSet.assign((set->setRange + 63) / 64, 0);
                for (double v : set->setValues) {
                    uint64_t key;
                    if (valueKey(set->type, v, &key)) {
                        const uint64_t k = uint64_t(qint64(key) - set->setBase);
                        set->denseSet[k >> 6] |= uint64_t(1) << (k & 63);
                    }
                }
            } else {
                uint64_t capacity = 16;
                while (capacity < set->setValues.size() * 2)
                    capacity <<= 1;
                set->setKeys.assign(capacity, 0);
                set->setUsed.assign(capacity, 0);
                set->setMask = capacity - 1;
                for (double v : set->setValues) {
                    uint64_t key;
                    if (!valueKey(set->type, v, &key))
                        continue;
                    uint64_t i = mix(key) & set->setMask;
                    while (set->setUsed[i] && set->setKeys[i] != key)
                        i = (i + 1) & set->setMask;
                    set->setUsed[i] = 1;
                    set->setKeys[i] = key;
                }
            }
            kept.push_back(std::move(set));
        }
        orNode.children = std::move(kept);
    }

    void bindNode(Node &n, const QList<FieldDef> &fields)
    {
        switch (n.kind) {
        case Node::Kind::Compare:
            bindCompare(n, fields);
            return;
        case Node::Kind::ValueSet:
            return;
        case Node::Kind::Or:
        case Node::Kind::And:
        case Node::Kind::Not:
            break;
        }
        for (auto &child : n.children)
            bindNode(*child, fields);
        if (n.kind == Node::Kind::Or)
            mergeValueSets(n);
        if (n.kind == Node::Kind::And) {
            // Cheap conditions first: later ones test only the rows left.
            std::stable_sort(n.children.begin(), n.children.end(),
                             [](const auto &a, const auto &b) { return a->cost < b->cost; });
        }
        n.cost = 0;
        for (const auto &child : n.children)
            n.cost = std::max(n.cost, child->cost);
    }

    // --- describing ----------------------------------------------------------

    QString quoted(const QString &text)
    {
        QString t = text;
        t.replace(QLatin1Char('\''), QLatin1String("''"));
        return QLatin1Char('\'') + t + QLatin1Char('\'');
    }

    QString describeNumber(double v)
    {
        return QString::number(v, 'g', 17);
    }

    QString describeNode(const Node &n)
    {
        switch (n.kind) {
        case Node::Kind::Or:
        case Node::Kind::And: {
            QStringList parts;
            for (const auto &child : n.children)
                parts.append(describeNode(*child));
            return QLatin1Char('(') + parts.join(n.kind == Node::Kind::Or ? QLatin1String(" OR ") : QLatin1String(" AND "))
                   + QLatin1Char(')');
        }
        case Node::Kind::Not:
            return QLatin1String("NOT ") + describeNode(*n.children.front());
        case Node::Kind::ValueSet: {
            QStringList values;
            for (double v : n.setValues)
                values.append(describeNumber(v));
            return n.fieldName + QLatin1String(" IN (") + values.join(QLatin1String(", ")) + QLatin1Char(')');
        }
        case Node::Kind::Compare: {
            const QString op = n.op == Op::Equal ? QStringLiteral(" = ")
                               : n.op == Op::GreaterOrEqual ? QStringLiteral(" >= ")
                                                            : QStringLiteral(" LIKE ");
            return n.fieldName + op + (n.textConstant ? quoted(n.text) : QString::number(n.integer));
        }
        }
        return QString();
    }

    // --- evaluating ------------------------------------------------------------

    bool likeMatch(const Node &n, const char *s, size_t len)
    {
        size_t pos = 0;
        size_t end = len;
        size_t first = 0;
        size_t last = n.segments.size();
        if (n.anchoredStart) {
            const std::string &seg = n.segments.front();
            if (len < seg.size() || !foldedEqual(s, seg.data(), seg.size()))
                return false;
            pos = seg.size();
            first = 1;
        }
        if (n.anchoredEnd && last > first) {
            const std::string &seg = n.segments.back();
            if (len - pos < seg.size() || !foldedEqual(s + len - seg.size(), seg.data(), seg.size()))
                return false;
            end = len - seg.size();
            --last;
        }
        for (size_t i = first; i < last; ++i) {
            const std::string &seg = n.segments[i];
            const char *hit = searchFolded(s + pos, end - pos, seg.data(), seg.size());
            if (!hit)
                return false;
            pos = size_t(hit - s) + seg.size();
        }
        return true;
    }

    // A text mode on stored bytes (the needle is folded already).
    bool textMatches(const Node &n, const char *s, size_t len)
    {
        switch (n.mode) {
        case Mode::Nothing:
            return false;
        case Mode::All:
            return true;
        case Mode::TextEqual:
            return len == n.needle.size() && foldedEqual(s, n.needle.data(), len);
        case Mode::TextPrefix:
            return len >= n.needle.size() && foldedEqual(s, n.needle.data(), n.needle.size());
        case Mode::TextGreater:
            return compareFolded(s, len, n.needle.data(), n.needle.size()) >= 0;
        case Mode::TextContains:
            return searchFolded(s, len, n.needle.data(), n.needle.size()) != nullptr;
        case Mode::TextLike:
            return likeMatch(n, s, len);
        case Mode::NumEqual:
        case Mode::NumGreater:
            break;
        }
        return false;
    }

    bool compareMatches(const Node &n, const RecordTableStorage &store, uint32_t row)
    {
        const Column &c = store.column(n.field);
        switch (n.mode) {
        case Mode::Nothing:
            return false;
        case Mode::All:
            return true;
        case Mode::NumEqual:
            return c.number(row) == n.number;
        case Mode::NumGreater:
            return c.number(row) >= n.number;
        default:
            break;
        }
        if (n.viaText) {
            const QByteArray text = RecordTableStorage::numberBytes(c.number(row), c.type);
            return textMatches(n, text.constData(), size_t(text.size()));
        }
        return textMatches(n, c.text(row), c.length(row));
    }

    bool nodeMatches(const Node &n, const RecordTableStorage &store, uint32_t row)
    {
        switch (n.kind) {
        case Node::Kind::Or:
            for (const auto &child : n.children)
                if (nodeMatches(*child, store, row))
                    return true;
            return false;
        case Node::Kind::And:
            for (const auto &child : n.children)
                if (!nodeMatches(*child, store, row))
                    return false;
            return true;
        case Node::Kind::Not:
            return !nodeMatches(*n.children.front(), store, row);
        case Node::Kind::ValueSet:
            return n.setContains(store.column(n.field).number(row));
        case Node::Kind::Compare:
            return compareMatches(n, store, row);
        }
        return false;
    }

    // Whole-column substring search over the compact text arena: one pass
    // over the bytes, hits mapped to rows by their offsets.
    void containsScan(const Node &n, const Column &c, uint32_t rows, uint64_t *bits)
    {
        std::fill(bits, bits + wordsFor(rows), 0);
        const char *base = c.bytes.data();
        const size_t total = c.bytes.size();
        const uint32_t *offsets = c.offsets.data();
        const size_t m = n.needle.size();
        size_t pos = 0;
        uint32_t row = 0;
        while (pos < total && row < rows) {
            const char *hit = searchFolded(base + pos, total - pos, n.needle.data(), m);
            if (!hit)
                break;
            const size_t p = size_t(hit - base);
            const uint32_t *after = std::upper_bound(offsets + row, offsets + rows, uint32_t(p));
            if (after == offsets + row) {
                pos = p + 1;
                continue;
            }
            const uint32_t r = uint32_t(after - offsets) - 1;
            const size_t rowEnd = size_t(offsets[r]) + c.length(r);
            if (p + m <= rowEnd) {
                bits[r >> 6] |= uint64_t(1) << (r & 63);
                pos = rowEnd;
                row = r + 1;
            } else {
                pos = p + 1;
                row = r;
            }
        }
    }

    void evalNode(const Node &n, const RecordTableStorage &store, uint64_t *out, const uint64_t *within);

    void evalCompare(const Node &n, const RecordTableStorage &store, uint64_t *out, const uint64_t *within)
    {
        const uint32_t rows = store.rowCount();
        const size_t words = wordsFor(rows);
        const Column &c = store.column(n.field);
        switch (n.mode) {
        case Mode::Nothing:
            std::fill(out, out + words, 0);
            return;
        case Mode::All:
            if (within) {
                std::copy(within, within + words, out);
            } else {
                std::fill(out, out + words, ~uint64_t(0));
                clearTail(out, rows);
            }
            return;
        case Mode::NumEqual:
        case Mode::NumGreater: {
            const bool eq = n.mode == Mode::NumEqual;
            const double v = n.number;
            switch (c.type) {
            case FieldType::I2: {
                const int16_t *p = c.i16.data();
                if (eq)
                    fillBits(rows, out, within, [&](uint32_t r) { return p[r] == v; });
                else
                    fillBits(rows, out, within, [&](uint32_t r) { return p[r] >= v; });
                return;
            }
            case FieldType::I4: {
                const int32_t *p = c.i32.data();
                if (eq)
                    fillBits(rows, out, within, [&](uint32_t r) { return p[r] == v; });
                else
                    fillBits(rows, out, within, [&](uint32_t r) { return p[r] >= v; });
                return;
            }
            case FieldType::R8: {
                const double *p = c.f64.data();
                if (eq)
                    fillBits(rows, out, within, [&](uint32_t r) { return p[r] == v; });
                else
                    fillBits(rows, out, within, [&](uint32_t r) { return p[r] >= v; });
                return;
            }
            case FieldType::String:
                break;
            }
            return;
        }
        default:
            break;
        }
        if (n.viaText) {
            fillBits(rows, out, within, [&](uint32_t r) { return compareMatches(n, store, r); });
            return;
        }
        // Text modes, letter case folded on the fly.
        if (n.mode == Mode::TextContains && c.monotonic
            && (!within || popcount(within, words) * 16 > rows)) {
            containsScan(n, c, rows, out);
            if (within)
                for (size_t w = 0; w < words; ++w)
                    out[w] &= within[w];
            return;
        }
        const char *bytes = c.bytes.data();
        const uint32_t *offsets = c.offsets.data();
        const std::string &needle = n.needle;
        const size_t m = needle.size();
        const unsigned char *fold = caseTables().fold;
        auto lengthOf = [&c](uint32_t r) -> size_t { return c.length(r); };
        switch (n.mode) {
        case Mode::TextEqual:
            if (m == 0) {
                fillBits(rows, out, within, [&](uint32_t r) { return lengthOf(r) == 0; });
            } else {
                const auto first = static_cast<unsigned char>(needle[0]);
                fillBits(rows, out, within, [&](uint32_t r) {
                    const char *s = bytes + offsets[r];
                    return lengthOf(r) == m && fold[static_cast<unsigned char>(s[0])] == first
                           && foldedEqualFrom(s, needle.data(), 1, m, fold);
                });
            }
            return;
        case Mode::TextPrefix: {
            const auto first = static_cast<unsigned char>(needle[0]);
            fillBits(rows, out, within, [&](uint32_t r) {
                const char *s = bytes + offsets[r];
                return lengthOf(r) >= m && fold[static_cast<unsigned char>(s[0])] == first
                       && foldedEqualFrom(s, needle.data(), 1, m, fold);
            });
            return;
        }
        default:
            fillBits(rows, out, within, [&](uint32_t r) { return textMatches(n, bytes + offsets[r], lengthOf(r)); });
            return;
        }
    }

    void evalNode(const Node &n, const RecordTableStorage &store, uint64_t *out, const uint64_t *within)
    {
        const uint32_t rows = store.rowCount();
        const size_t words = wordsFor(rows);
        switch (n.kind) {
        case Node::Kind::Compare:
            evalCompare(n, store, out, within);
            return;
        case Node::Kind::ValueSet: {
            const Column &c = store.column(n.field);
            if (c.type == FieldType::I2 && !n.denseSet.empty()) {
                const int16_t *p = c.i16.data();
                fillBits(rows, out, within, [&](uint32_t r) { return n.denseContains(p[r]); });
            } else if (c.type == FieldType::I4 && !n.denseSet.empty()) {
                const int32_t *p = c.i32.data();
                fillBits(rows, out, within, [&](uint32_t r) { return n.denseContains(p[r]); });
            } else {
                fillBits(rows, out, within, [&](uint32_t r) { return n.setContains(c.number(r)); });
            }
            return;
        }
        case Node::Kind::Not:
            evalNode(*n.children.front(), store, out, nullptr);
            for (size_t w = 0; w < words; ++w)
                out[w] = ~out[w];
            clearTail(out, rows);
            if (within)
                for (size_t w = 0; w < words; ++w)
                    out[w] &= within[w];
            return;
        case Node::Kind::And: {
            // Each condition tests only the rows that passed the ones before.
            std::vector<uint64_t> left(words);
            evalNode(*n.children.front(), store, out, within);
            for (size_t i = 1; i < n.children.size(); ++i) {
                bool any = false;
                for (size_t w = 0; w < words && !any; ++w)
                    any = out[w] != 0;
                if (!any)
                    return;
                std::copy(out, out + words, left.begin());
                evalNode(*n.children[i], store, out, left.data());
            }
            return;
        }
        case Node::Kind::Or: {
            std::vector<uint64_t> part(words);
            evalNode(*n.children.front(), store, out, within);
            for (size_t i = 1; i < n.children.size(); ++i) {
                evalNode(*n.children[i], store, part.data(), within);
                for (size_t w = 0; w < words; ++w)
                    out[w] |= part[w];
            }
            return;
        }
        }
    }

    void prepareNode(const Node &n, RecordTableStorage &store, bool wholeTable)
    {
        if (n.kind == Node::Kind::Compare) {
            if (n.viaText || store.column(n.field).type != FieldType::String)
                return;
            if (wholeTable && n.mode == Mode::TextContains)
                store.ensureMonotonic(n.field);
            return;
        }
        for (const auto &child : n.children)
            prepareNode(*child, store, wholeTable);
    }
}

FilterExpr::FilterExpr() = default;
FilterExpr::~FilterExpr() = default;

std::unique_ptr<FilterExpr> FilterExpr::parse(const QString &text)
{
    std::unique_ptr<FilterExpr> expr(new FilterExpr);
    Parser parser(text);
    expr->m_root = parser.parseAll();
    return expr;
}

bool FilterExpr::isEmpty() const
{
    return !m_root;
}

QString FilterExpr::describe() const
{
    return m_root ? describeNode(*m_root) : QString();
}

void FilterExpr::bind(const QList<FieldDef> &fields)
{
    if (m_bound)
        throw OrdixError(QStringLiteral("The filter expression is bound already"));
    if (m_root)
        bindNode(*m_root, fields);
    m_bound = true;
}

void FilterExpr::prepare(RecordTableStorage &storage, bool wholeTable) const
{
    if (m_root)
        prepareNode(*m_root, storage, wholeTable);
}

bool FilterExpr::matches(const RecordTableStorage &storage, uint32_t row) const
{
    return !m_root || nodeMatches(*m_root, storage, row);
}

void FilterExpr::evaluate(const RecordTableStorage &storage, std::vector<uint64_t> &bits) const
{
    const uint32_t rows = storage.rowCount();
    bits.assign(wordsFor(rows), 0);
    if (rows == 0)
        return;
    if (!m_root) {
        std::fill(bits.begin(), bits.end(), ~uint64_t(0));
        clearTail(bits.data(), rows);
        return;
    }
    evalNode(*m_root, storage, bits.data(), nullptr);
}
