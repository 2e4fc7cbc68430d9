// The search field's keystrokes at a million rows with the query a buyer
// should not be able to freeze it with: 100,000 characters of "в в в …"
// pasted, then Backspace after Backspace. Each keystroke is what the field
// runs: the text cut to a query's limits, the hits found and shown as the
// price table's view (the grid's repaint aside).

#include <algorithm>
#include <cstdio>

#include "benchregistry.h"
#include "partsearch.h"
#include "pricesearch.h"

namespace
{
    void runSearchKeystroke(BenchContext &ctx)
    {
        if (!ctx.price)
            return;
        PriceSearch *search = PriceSearch::install(ctx.session->workspace); // builds the index
        const auto keystroke = [&](const QString &text) {
            Stopwatch watch;
            search->search(PartSearch::limitedQuery(text));
            return watch.ms();
        };
        const QString pasted = QStringLiteral("в ").repeated(50000);
        const double pasteMs = keystroke(pasted);
        QString text = PartSearch::limitedQuery(pasted);
        double worst = pasteMs;
        int keys = 1;
        while (keys < 40 && !text.isEmpty()) {
            text.chop(1);
            worst = std::max(worst, keystroke(text));
            ++keys;
        }
        const int found = search->foundCount();
        search->clear();
        delete search;
        std::printf("search_keystroke worst_ms=%.2f paste_ms=%.2f keys=%d found_last=%d goal_ms<50 note=\"100,000 "
                    "characters of 'в ' pasted into the search field, then Backspaces: each cut to the query's "
                    "limits (%d words, %d characters), found and shown as the view\"\n",
                    worst, pasteMs, keys, found, PartSearch::MaxQueryWords, PartSearch::MaxQueryChars);
        std::fflush(stdout);
    }

    const BenchRegistrar searchKeystrokeRegistrar(QStringLiteral("search_keystroke"), 82, &runSearchKeystroke);
}
