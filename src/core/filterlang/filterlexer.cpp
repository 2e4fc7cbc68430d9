#include "filterlexer.h"

#include <limits>

#include "ordixerror.h"

FilterLexer::FilterLexer(const QString &text)
    : m_text(text)
{ }

void FilterLexer::syntaxError(int position, const QString &what)
{
    throw OrdixError(QStringLiteral("Invalid filter expression at position %1: %2").arg(position).arg(what));
}

FilterLexer::Token FilterLexer::next()
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
        while (m_pos < m_text.size() && (m_text[m_pos].isLetterOrNumber() || m_text[m_pos] == QLatin1Char('_')))
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

QString FilterLexer::describe(const Token &t)
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
