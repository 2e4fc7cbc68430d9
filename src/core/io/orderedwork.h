#pragma once

#include <cstddef>
#include <functional>

// Pieces of work done on two threads (the calling one and one more) whose
// results are taken on the calling thread in the order the pieces were made:
// for reading and writing large files on both cores with the same result as
// on one. Each piece lives in one of a few slots, reused once its result was
// taken.
class OrderedWork final
{
public:
    struct Steps
    {
        // The calling thread: puts the next piece into the slot; false when
        // there is none left.
        std::function<bool(size_t slot)> next;
        // Either thread: does the work of the piece in the slot.
        std::function<void(size_t slot)> work;
        // The calling thread, piece after piece in order: takes the result;
        // false stops (the pieces after it are dropped).
        std::function<bool(size_t slot)> take;
    };

    // With `twoThreads` false everything runs on the calling thread, one
    // slot only. An exception thrown by a step ends the work and is thrown
    // again here once the second thread has ended.
    static void run(size_t slots, bool twoThreads, const Steps &steps);
    // Whether a second thread can run at the same time as this one.
    static bool hasTwoCores();
};
