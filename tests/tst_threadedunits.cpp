// The units that run threads of their own, tested directly: the ordered
// work, the reader-and-consumer pipeline, the parallel line reader (with a
// run stopped half-way) and the text column sort. The ThreadSanitizer build (tests/tsan) runs this file alone.
#include <algorithm>
#include <numeric>
#include <stdexcept>

#include <QBuffer>
#include <QTest>

#include "columnsort.h"
#include "orderedwork.h"
#include "parallellinereader.h"
#include "pipeline.h"

class TestThreadedUnits final : public QObject
{
    Q_OBJECT

private slots:
    void orderedWork_data();
    void orderedWork();
    void pipeline_data();
    void pipeline();
    void lineReader_data();
    void lineReader();
    void columnSort_data();
    void columnSort();
};

void TestThreadedUnits::orderedWork_data()
{
    QTest::addColumn<bool>("twoThreads");
    QTest::addColumn<int>("stopAfter"); // pieces taken before take() says stop; -1: never
    QTest::addColumn<int>("throwAt");   // the piece whose work throws; -1: none

    QTest::newRow("one thread") << false << -1 << -1;
    QTest::newRow("two threads") << true << -1 << -1;
    QTest::newRow("two threads, stopped") << true << 37 << -1;
    QTest::newRow("two threads, work throws") << true << -1 << 50;
}

void TestThreadedUnits::orderedWork()
{
    QFETCH(bool, twoThreads);
    QFETCH(int, stopAfter);
    QFETCH(int, throwAt);
    constexpr int Pieces = 2000;
    const size_t slotCount = twoThreads ? 4 : 1;
    std::vector<int> input(slotCount);
    std::vector<long long> output(slotCount);
    std::vector<long long> taken;
    int made = 0;

    OrderedWork::Steps steps;
    steps.next = [&](size_t slot) {
        if (made == Pieces)
            return false;
        input[slot] = made++;
        return true;
    };
    steps.work = [&](size_t slot) {
        if (input[slot] == throwAt)
            throw std::runtime_error("piece failed");
        long long sum = 0;
        for (int i = 0; i <= input[slot] * 10; ++i)
            sum += i;
        output[slot] = sum;
    };
    steps.take = [&](size_t slot) {
        taken.push_back(output[slot]);
        return int(taken.size()) != stopAfter;
    };
    if (throwAt >= 0) {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, OrderedWork::run(slotCount, twoThreads, steps));
        QVERIFY(int(taken.size()) <= throwAt);
    } else {
        OrderedWork::run(slotCount, twoThreads, steps);
        QCOMPARE(int(taken.size()), stopAfter < 0 ? Pieces : stopAfter);
    }
    for (size_t i = 0; i < taken.size(); ++i) {
        const long long n = qint64(i) * 10;
        QCOMPARE(taken[i], n * (n + 1) / 2);
    }
}

void TestThreadedUnits::pipeline_data()
{
    QTest::addColumn<int>("stopAfter");       // batches taken before the consumer stops; -1: never
    QTest::addColumn<int>("produceThrowsAt"); // the batch whose making throws; -1: none
    QTest::addColumn<int>("consumeThrowsAt"); // the batch whose taking throws; -1: none

    QTest::newRow("every batch") << -1 << -1 << -1;
    QTest::newRow("consumer stops") << 37 << -1 << -1;
    QTest::newRow("producer throws") << -1 << 50 << -1;
    QTest::newRow("consumer throws") << -1 << -1 << 20;
}

void TestThreadedUnits::pipeline()
{
    QFETCH(int, stopAfter);
    QFETCH(int, produceThrowsAt);
    QFETCH(int, consumeThrowsAt);
    constexpr int Batches = 2000;
    // Each batch carries its number and the numbers' sum so far; the memory
    // of the batches goes round, so a stale batch shows as a wrong sum.
    using Batch = std::vector<long long>;
    std::vector<long long> taken;
    const auto run = [&] {
        Pipeline::run<Batch>(
            [&](const std::function<bool(Batch &)> &hand) {
                Batch batch;
                long long sum = 0;
                for (int i = 0; i < Batches; ++i) {
                    if (i == produceThrowsAt)
                        throw std::runtime_error("reading failed");
                    sum += i;
                    batch.assign({i, sum});
                    if (!hand(batch))
                        return;
                }
            },
            [&](Batch &batch) {
                if (int(taken.size()) == consumeThrowsAt)
                    throw std::runtime_error("taking failed");
                taken.push_back(batch.at(1));
                return int(taken.size()) != stopAfter;
            },
            4);
    };
    if (produceThrowsAt >= 0 || consumeThrowsAt >= 0) {
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, run());
    } else {
        run();
    }
    const int expected = stopAfter >= 0 ? stopAfter
        : produceThrowsAt >= 0          ? produceThrowsAt
        : consumeThrowsAt >= 0          ? consumeThrowsAt
                                        : Batches;
    QCOMPARE(int(taken.size()), expected);
    for (size_t i = 0; i < taken.size(); ++i)
        QCOMPARE(taken[i], qint64(i) * qint64(i + 1) / 2);
}

void TestThreadedUnits::lineReader_data()
{
    QTest::addColumn<int>("stopAfter"); // blocks taken before take() says stop; -1: never

    QTest::newRow("whole file") << -1;
    QTest::newRow("stopped") << 5;
}

void TestThreadedUnits::lineReader()
{
    QFETCH(int, stopAfter);
    // Lines of varied length, some ending in CR LF, the last without an end.
    QByteArray bytes;
    constexpr int Lines = 40000;
    for (int i = 0; i < Lines; ++i)
        bytes += QByteArray::number(i) + QByteArray(i % 7, 'x') + (i % 3 ? "\n" : "\r\n");
    bytes.chop(1);
    QBuffer device(&bytes);
    QVERIFY(device.open(QIODevice::ReadOnly));

    struct Count final : ParallelLineReader::Work
    {
        void parse(QByteArrayView block) override
        {
            lines = block.count('\n') + (block.endsWith('\n') ? 0 : 1);
            first = block.first(block.indexOf('\n') < 0 ? block.size() : block.indexOf('\n')).toByteArray();
        }
        qsizetype lines = 0;
        QByteArray first;
    };
    qsizetype lines = 0;
    int blocks = 0;
    qint64 lastPosition = 0;
    bool wholeLines = true;
    const bool read = ParallelLineReader::run(
        device, bytes.size(), [] { return std::make_unique<Count>(); },
        [&](ParallelLineReader::Work &work, qint64 position) {
            const auto &count = static_cast<Count &>(work);
            // Each block starts where the one before ended, at a line's start.
            const qsizetype end = bytes.indexOf('\n', lastPosition);
            const QByteArray line = bytes.mid(lastPosition, (end < 0 ? bytes.size() : end) - lastPosition);
            wholeLines = wholeLines && position > lastPosition && count.first == line
                && (lastPosition == 0 || bytes.at(lastPosition - 1) == '\n');
            lastPosition = position;
            lines += count.lines;
            return ++blocks != stopAfter;
        },
        4096);
    QVERIFY(read);
    QVERIFY(wholeLines);
    if (stopAfter < 0) {
        QCOMPARE(lines, Lines);
        QCOMPARE(lastPosition, bytes.size());
    } else {
        QCOMPARE(blocks, stopAfter);
        QVERIFY(lastPosition < bytes.size());
    }
}

void TestThreadedUnits::columnSort_data()
{
    QTest::addColumn<bool>("caseInsensitive");

    QTest::newRow("by bytes") << false;
    QTest::newRow("folded") << true;
}

void TestThreadedUnits::columnSort()
{
    QFETCH(bool, caseInsensitive);
    // Enough rows for the sort to take its second thread.
    constexpr uint32_t Rows = 150000;
    RecordTableStorage::Column column;
    column.type = FieldType::String;
    column.width = 40;
    column.unsetBits.assign((Rows + 63) / 64, 0);
    uint32_t seed = 12345;
    for (uint32_t r = 0; r < Rows; ++r) {
        seed = seed * 1103515245u + 12345u;
        // Many texts share long starts, so the sort refines past 8 bytes.
        QByteArray text = "PART-" + QByteArray::number(seed % 5000) + (seed & 0x100 ? "-Ab" : "-aB");
        text += QByteArray::number((seed >> 16) % 97);
        column.offsets.push_back(uint32_t(column.bytes.size()));
        column.len8.push_back(uint8_t(text.size()));
        column.bytes.insert(column.bytes.end(), text.begin(), text.end());
    }
    column.folded.resize(column.bytes.size());
    std::transform(column.bytes.begin(), column.bytes.end(), column.folded.begin(),
                   [](char c) { return char(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    column.hasFolded = true;

    std::vector<uint32_t> rows(Rows);
    std::iota(rows.begin(), rows.end(), 0);
    std::vector<uint32_t> expected = rows;
    const auto text = [&](uint32_t row) { return caseInsensitive ? column.foldedText(row) : column.text(row); };
    std::stable_sort(expected.begin(), expected.end(), [&](uint32_t a, uint32_t b) {
        return ColumnSort::compareBytes(text(a), column.length(a), text(b), column.length(b)) < 0;
    });
    ColumnSort::sortRows(column, caseInsensitive, rows);
    QVERIFY(rows == expected);
}

QTEST_GUILESS_MAIN(TestThreadedUnits)
#include "tst_threadedunits.moc"
