// Reads arbitrary bytes as an order file, writes the order as the program
// saves it, and reads that back: the second file has the same lines.
#include <cstdint>

#include "fuzzsupport.h"
#include "orderfile.h"
#include "orderwriter.h"
#include "ordixerror.h"
#include "textfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::Session &s = Fuzz::session();
    Fuzz::writeFile(QStringLiteral("order.txt"), Fuzz::bytes(data, size));
    QStringList first;
    try {
        OrderFile::read(s.ws, Fuzz::path(QStringLiteral("order.txt")));
        OrderWriter::write(s.ws, first, OrderWriter::Form::File);
        TextFile::writeLines(Fuzz::path(QStringLiteral("again.txt")), first);
        OrderFile::read(s.ws, Fuzz::path(QStringLiteral("again.txt")));
    } catch (const OrdixError &) {
        return 0;
    }
    QStringList second;
    OrderWriter::write(s.ws, second, OrderWriter::Form::File);
    if (first != second) {
        for (qsizetype i = 0; i < qMax(first.size(), second.size()); ++i) {
            if (first.value(i) != second.value(i))
                std::fprintf(stderr, "line %lld:\n  %s\n  %s\n", qlonglong(i), qPrintable(first.value(i)),
                             qPrintable(second.value(i)));
        }
        Fuzz::fail("fuzz_order", "the order written, read back and written again differs");
    }
    return 0;
}
