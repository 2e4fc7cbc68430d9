#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QStringView>

// How the reader of text lists guesses what the buyer did not choose: the
// encoding from the first bytes of the file, the field separator from the
// first lines of text.
namespace CsvDetection
{
    // The encoding of a file that starts with `sample`; `cut` tells that
    // the file goes on past it (a character may be cut at its end).
    // A byte-order mark decides; then text that is UTF-8 (at least eight
    // good sequences for every broken one, as the program's other text
    // files) or UTF-16 without a mark (zero bytes in every other place);
    // otherwise the Cyrillic code page whose text reads most like Russian,
    // Windows-1251 unless DOS 866 or KOI8-R reads clearly better.
    QByteArray encoding(QByteArrayView sample, bool cut);
    // The length of the byte-order mark of `encoding` at the start of
    // `head`; 0 when there is none.
    qsizetype bomSize(QByteArrayView head, QByteArrayView encoding);

    // How much the non-ASCII text of `sample` decoded by a single-byte
    // code page reads like Russian: the mean log-likelihood of a byte,
    // higher is better.
    double russianScore(QByteArrayView sample, const char16_t *table, qsizetype *letters = nullptr);

    // The separator among ';' TAB ',' '|' that splits up to the first 50
    // records that hold something (quotes respected) most consistently
    // into more than one field: the most records of one field count
    // (titles above a table do not matter), then the larger count, then
    // the order above. 0 when none splits any record. `complete`: the text
    // is the whole file, so its last record is whole too.
    char delimiter(QStringView text, bool complete);
}
