#pragma once

#include <QString>

// Splits a filter text into tokens: parentheses, "=", ">=", names, keywords
// (any letter case), integers and text constants ('...', '' for ').
class FilterLexer final
{
public:
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
        QString text;     // Name, keywords: as written; Text: the constant
        qint64 integer = 0;
    };

    // The text must outlive the lexer.
    explicit FilterLexer(const QString &text);

    // The next token; End at the end of the text. Throws OrdixError on a
    // character that starts no token, an unclosed text constant or a number
    // out of range.
    Token next();

    // A token as a message names it: "the number 5", "\")\"".
    static QString describe(const Token &token);

    // Throws the OrdixError of a text that does not parse.
    [[noreturn]] static void syntaxError(int position, const QString &what);

private:
    const QString &m_text;
    qsizetype m_pos = 0;
};
