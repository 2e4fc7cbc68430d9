#include "parallellinereader.h"

#include <vector>

#include "orderedwork.h"
#include "textfile.h"

namespace
{
    struct Block
    {
        std::vector<char> buffer;
        size_t size = 0;     // bytes of whole lines at the buffer's start
        qint64 position = 0; // the device position just past them
        std::unique_ptr<ParallelLineReader::Work> work;
    };

    // The offset just past the last line end of data[0, have) that the bytes
    // after it cannot change; 0 when there is none.
    size_t wholeLinesEnd(const char *data, size_t have)
    {
        for (size_t i = have; i > 0; --i) {
            if (data[i - 1] == '\n')
                return i;
        }
        // No LF at all (lines ended by CR alone, or one long line): the
        // reader's own rules decide.
        return TextFile::forEachLineOfBlock(data, have, false, [](QByteArrayView, size_t) { return true; });
    }
}

bool ParallelLineReader::run(QIODevice &device, qint64 expectedBytes, const MakeWork &makeWork, const Take &take,
                             size_t blockBytes, const FindCut &findCut)
{
    const bool twoThreads = OrderedWork::hasTwoCores() && expectedBytes > qint64(blockBytes);
    // Four blocks in flight keep both threads busy while the calling thread
    // reads and takes results.
    std::vector<Block> blocks(twoThreads ? 4 : 1);
    for (Block &block : blocks)
        block.work = makeWork();

    std::vector<char> carry; // the start of a line the next block completes
    qint64 position = device.pos();
    bool atEnd = false;
    bool readFailed = false;

    OrderedWork::Steps steps;
    // Fills a block with the carried bytes and the next whole lines.
    steps.next = [&](size_t slot) -> bool {
        if (atEnd)
            return false;
        Block &block = blocks[slot];
        if (block.buffer.size() < carry.size() + blockBytes)
            block.buffer.resize(carry.size() + blockBytes);
        std::copy(carry.begin(), carry.end(), block.buffer.begin());
        size_t have = carry.size();
        size_t cut = 0;
        for (;;) {
            while (have < block.buffer.size()) {
                const qint64 n = device.read(block.buffer.data() + have, qint64(block.buffer.size() - have));
                if (n < 0) {
                    readFailed = true;
                    return false;
                }
                if (n == 0) {
                    atEnd = true;
                    break;
                }
                have += size_t(n);
            }
            if (atEnd)
                cut = have;
            else
                cut = findCut ? findCut(block.buffer.data(), have) : wholeLinesEnd(block.buffer.data(), have);
            if (cut > 0 || atEnd)
                break;
            // One line longer than the block: a bigger block.
            block.buffer.resize(block.buffer.size() * 2);
        }
        carry.assign(block.buffer.begin() + std::ptrdiff_t(cut), block.buffer.begin() + std::ptrdiff_t(have));
        position += qint64(cut);
        block.size = cut;
        block.position = position;
        return cut > 0;
    };
    steps.work = [&](size_t slot) {
        Block &block = blocks[slot];
        block.work->parse(QByteArrayView(block.buffer.data(), qsizetype(block.size)));
    };
    steps.take = [&](size_t slot) { return take(*blocks[slot].work, blocks[slot].position); };
    OrderedWork::run(blocks.size(), twoThreads, steps);
    return !readFailed;
}
