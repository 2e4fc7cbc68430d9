#pragma once

#include <cstdint>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

class RecordTable;

// The forgiving part search over the price table: one index built per load
// from the stored rows, and the rules by which a typed text finds parts.
//
// Part numbers (the code, CatalogID and the tokens of a name that hold a
// digit) compare in their part-number form: upper case, without blanks and
// the marks - . / \ _, with the Cyrillic letters that look like Latin ones
// taken as those. Name words compare in their word form: case ignored, ё as
// е; every word of the query must start a word of the name. A text that
// finds nothing is tried again as typed on the other keyboard layout.
//
// Hits come best first: the whole code; the part number (or a part-number
// token of the name) equal to the query; the part number starting with it;
// name words; then the analogues of the first two kinds, both ways (the
// parts a found part names in its Analogue field and the parts that name
// it). Name words rank the names with more query words equal to whole words
// first, then those whose first word a query word starts; other hits of
// one kind keep the price list's stored order.
//
// The index keeps no copy of the texts it can read from the table: the part
// numbers are kept as an order of rows, the name's words and tokens as
// sorted dictionaries with delta-coded row lists. Reads only the table, so
// a finished index may answer from any one thread at a time.
class PartSearch final
{
public:
    enum class Tier : uint8_t
    {
        Code = 1,            // the whole code
        PartNumber = 2,      // the part number (or a name's part-number token) equal to the query
        PartNumberStart = 3, // the part number starting with the query
        NameWords = 4,       // every query word starts a word of the name
        Analogue = 5         // named by, or naming, a part of the first two tiers
    };

    struct Hit
    {
        uint32_t row = 0; // stored row of the price table
        Tier tier = Tier::Code;
        bool inName = false;   // tier 2: found as a token of the name
        qint32 analogueOf = 0; // tier 5: the code of the part it is an analogue of
    };

    struct Result
    {
        std::vector<Hit> hits;
        bool switchedLayout = false; // found only as typed on the other layout
        QString searched;            // the text the hits were found for
        bool cut = false;            // the text was longer than a query may be
    };

    // A query holds at most this many words and characters; what is beyond
    // is left out (a text of thousands of words would take seconds).
    static constexpr int MaxQueryWords = 64;
    static constexpr int MaxQueryChars = 256;

    PartSearch();
    ~PartSearch();
    PartSearch(const PartSearch &) = delete;
    PartSearch &operator=(const PartSearch &) = delete;

    // Builds the index over every stored row of an open price table (the
    // fields Code, Name, CatalogID and Analogue); throws OrdixError when a
    // field is missing. The table must not change its rows while the index
    // is in use (the price list only changes marks and prices).
    void build(RecordTable &table);
    void clear();
    bool isBuilt() const { return m_table != nullptr; }
    uint32_t rowCount() const { return m_rows; }

    // The hits for a text, at most `limit` of them (0: all); the text is
    // first cut to a query's limits.
    Result find(const QString &text, size_t limit = 0) const;
    // The text within a query's limits: its first MaxQueryChars characters,
    // of them up to the end of the MaxQueryWords-th word. `cut` (when given)
    // tells whether anything was left out.
    static QString limitedQuery(const QString &text, bool *cut = nullptr);
    // The note for a cut query: "Запрос сокращён до 64 слов и 256 знаков".
    static QString queryCutNote();

    // How a hit was found, as the grid's hint and the command line say it:
    // "код", "артикул", "название", "раскладка" or "аналог 103".
    static QString foundText(const Hit &hit, bool switchedLayout);

    // The forms the rules compare.
    static QString partNumberForm(const QString &text);
    static QStringList nameWords(const QString &text);
    // The text as it would have come out typed on the other layout
    // (ЙЦУКЕН and QWERTY keys); a text with no letter comes back unchanged.
    static QString switchLayout(const QString &text);

    // Memory the index holds.
    qint64 memoryBytes() const;

private:
    // Sorted distinct terms, each with its rows ascending as LEB128 deltas.
    struct Dictionary
    {
        std::vector<char> terms;
        std::vector<uint32_t> termStart; // size terms + 1
        std::vector<uint8_t> rows;
        std::vector<uint64_t> rowStart; // size terms + 1
        size_t termCount() const { return termStart.empty() ? 0 : termStart.size() - 1; }
        QByteArrayView term(size_t i) const
        {
            return QByteArrayView(terms.data() + termStart[i], qsizetype(termStart[i + 1] - termStart[i]));
        }
        // The terms [first, last) that start with the prefix (equal to it when exact).
        void range(QByteArrayView prefix, bool exact, size_t *first, size_t *last) const;
        template<typename Fn>
        void forEachRow(size_t term, Fn &&fn) const;
        qint64 memoryBytes() const;
    };
    class DictionaryBuilder;
    class RowSet;

    Result findAsTyped(const QString &text) const;
    // Tier 4: the rows whose name has a word starting with each query word
    // (word form), ranked, appended to `hits` unless already taken.
    void takeNameWords(const std::vector<QByteArray> &words, RowSet &taken, std::vector<Hit> &hits) const;
    // The part-number form of row's CatalogID into `out`.
    void catalogKey(uint32_t row, QByteArray &out) const;
    void catalogRange(QByteArrayView key, size_t *first, size_t *last) const;
    void codeRows(qint64 code, std::vector<uint32_t> &rows) const;

    RecordTable *m_table = nullptr;
    uint32_t m_rows = 0;
    int m_codeField = -1;
    int m_nameField = -1;
    int m_catalogField = -1;
    int m_analogueField = -1;

    std::vector<uint32_t> m_catalogOrder; // rows with a part number, by its part-number form
    Dictionary m_words;                   // name words, word form
    Dictionary m_tokens;                  // part-number tokens of names, part-number form
    std::vector<uint64_t> m_namedBy;      // (analogue code << 32) | row naming it, sorted
};
