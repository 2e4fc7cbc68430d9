#pragma once

#include <cstring>
#include <string>
#include <vector>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A small streaming XML tokenizer for the large parts of a workbook (a
// sheet, the shared strings, the content of an ods file). It is fed the
// member's bytes in blocks as they inflate and hands out start tags with
// their attributes, end tags and text, without building a tree and without
// allocating per element: names, attributes and text are views into its
// buffer, valid until the next feed().
//
//   scanner.feed(block);
//   while ((token = scanner.next()) != XmlScanner::Token::NeedData) ...
//   ... at the end of the member: scanner.finish() and drain next() again.
//
// It knows UTF-8 only, skips comments, processing instructions and the
// document type declaration, reports CDATA sections as text and decodes the
// five predefined entities and character references on request. It does
// not check that the document is well formed: a damaged part gives what
// can be read of it.
class XmlScanner final
{
public:
    enum class Token : quint8
    {
        NeedData, // feed more (or, after finish(), the end)
        StartElement,
        EndElement, // also right after the start of an empty element <x/>
        Text,
        Invalid // one tag or text run longer than MaxToken: a damaged part
    };

    static constexpr qsizetype MaxToken = 64 * 1024 * 1024;
    // Attributes kept of one tag; the rest are skipped.
    static constexpr size_t MaxAttributes = 256;

    void feed(QByteArrayView data);
    void finish() { m_finished = true; }
    void reset();
    Token next();

    // The element of the current start or end tag: qualified ("table:table-row")
    // and local ("table-row"; "row" for both "row" and "x:row").
    QByteArrayView qualifiedName() const { return m_name; }
    QByteArrayView name() const { return m_localName; }
    bool isEmptyElement() const { return m_emptyElement; }

    // An attribute of the current start tag as written (entities not
    // decoded); a null view when it is absent. A name with a colon is
    // matched whole, one without against the local part of each name.
    QByteArrayView attribute(QByteArrayView name) const;
    QString attributeText(QByteArrayView name) const;
    template<qsizetype N>
    QByteArrayView attribute(const char (&name)[N]) const
    {
        static_assert(N > 1);
        bool qualified = false;
        for (qsizetype i = 0; i < N - 1; ++i)
            qualified = qualified || name[i] == ':';
        for (const Attribute &a : m_attributes) {
            const QByteArrayView candidate = qualified ? a.name : a.localName;
            if (candidate.size() == N - 1 && std::memcmp(candidate.data(), name, N - 1) == 0)
                return a.value;
        }
        return QByteArrayView();
    }
    template<qsizetype N>
    QString attributeText(const char (&name)[N]) const
    {
        return attributeText(QByteArrayView(name, N - 1));
    }

    // Whether `name` (an element's name) is the literal `text`: cheaper than
    // comparing views, which count the literal's length at run time.
    template<qsizetype N>
    static bool is(QByteArrayView name, const char (&text)[N])
    {
        return name.size() == N - 1 && std::memcmp(name.data(), text, N - 1) == 0;
    }

    // The bytes fed and not yet handed out as tokens (none of the current
    // one), valid until the next feed(); not after the start of an empty
    // element, whose end is still to come.
    QByteArrayView unread() const { return QByteArrayView(m_buffer.data() + m_pos, m_size - m_pos); }

    // The text of the current Text token as written, and decoded.
    QByteArrayView rawText() const { return m_text; }
    bool textNeedsDecoding() const;
    void appendText(std::string &out) const;

    // Appends `raw` with its entities and character references decoded;
    // an unknown entity is kept as written.
    static void decode(QByteArrayView raw, std::string &out);

private:
    struct Attribute
    {
        QByteArrayView name;
        QByteArrayView localName;
        QByteArrayView value;
    };

    Token needData(qsizetype scanned);
    Token startTag(const char *p, const char *end);
    static QByteArrayView localPart(QByteArrayView name);

    std::vector<char> m_buffer;
    qsizetype m_size = 0;    // bytes held
    qsizetype m_pos = 0;     // first byte not yet handed out
    qsizetype m_scanned = 0; // bytes past m_pos known not to end the pending token
    bool m_finished = false;
    bool m_pendingEnd = false;
    bool m_emptyElement = false;
    bool m_cdata = false;

    QByteArrayView m_name;
    QByteArrayView m_localName;
    QByteArrayView m_text;
    std::vector<Attribute> m_attributes;
};
