#pragma once

#include <functional>
#include <memory>

#include <QByteArrayView>
#include <QIODevice>

// Reads a device from its present position to its end in blocks of whole
// lines and has each block worked on by one of two threads (the calling
// thread and one more); the results come back on the calling thread in the
// order of the file. Lines are split as TextFile::forEachLine() splits them,
// so a block's work may split it with TextFile::forEachLineOfBlock() and
// atEnd set.
class ParallelLineReader final
{
public:
    // The work on one block and its result. Objects are reused for later
    // blocks once their result was taken.
    class Work
    {
    public:
        virtual ~Work() = default;
        // Any of the two threads: the whole lines of one block, the last one
        // possibly without its line end.
        virtual void parse(QByteArrayView block) = 0;
    };

    using MakeWork = std::function<std::unique_ptr<Work>()>;
    // The calling thread, block after block in file order; `position` is the
    // device position just past the block. Returning false stops the reading.
    using Take = std::function<bool(Work &work, qint64 position)>;
    // Where a block of `have` bytes that starts a line ends its last whole
    // line (the offset just past it, which the bytes after it cannot
    // change); 0 when it holds none. For files whose lines may hold line
    // ends, as quoted fields of a CSV file do.
    using FindCut = std::function<size_t(const char *data, size_t have)>;

    // `expectedBytes` (what is left to read, when known) decides whether a
    // second thread is worth starting. Returns false when the device failed
    // to read. An exception thrown by parse() or take() ends the reading and
    // is thrown again here, after the second thread has ended.
    static bool run(QIODevice &device, qint64 expectedBytes, const MakeWork &makeWork, const Take &take,
                    size_t blockBytes = size_t(1) << 20, const FindCut &findCut = {});
};
