#include "orderedwork.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
    enum class State
    {
        Free,
        Ready,
        Working,
        Done
    };

    struct Slot
    {
        State state = State::Free;
        std::exception_ptr error;
    };
}

bool OrderedWork::hasTwoCores()
{
    return std::thread::hardware_concurrency() > 1;
}

void OrderedWork::run(size_t slotCount, bool twoThreads, const Steps &steps)
{
    if (!twoThreads || slotCount < 2)
        slotCount = 1;
    twoThreads = twoThreads && slotCount > 1;
    std::vector<Slot> pieces(slotCount);

    std::mutex mutex;
    std::condition_variable changed;
    uint64_t made = 0;    // pieces put into slots
    uint64_t started = 0; // pieces given to a thread to work on
    uint64_t taken = 0;   // results taken
    bool quit = false;
    bool noMore = false;

    // Works on the next piece given out; called and returning with the
    // lock held, which is let go meanwhile.
    const auto workOnNext = [&](std::unique_lock<std::mutex> &lock) {
        const size_t slot = size_t(started++ % slotCount);
        pieces[slot].state = State::Working;
        lock.unlock();
        try {
            steps.work(slot);
        } catch (...) {
            pieces[slot].error = std::current_exception();
        }
        lock.lock();
        pieces[slot].state = State::Done;
    };

    std::thread helper;
    if (twoThreads) {
        helper = std::thread([&] {
            std::unique_lock<std::mutex> lock(mutex);
            for (;;) {
                changed.wait(lock, [&] { return quit || started < made; });
                if (quit)
                    return;
                workOnNext(lock);
                changed.notify_all();
            }
        });
    }
    // However the work ends, the helper ends before the slots go.
    struct Joiner
    {
        std::thread &thread;
        std::mutex &mutex;
        std::condition_variable &changed;
        bool &quit;
        ~Joiner()
        {
            if (!thread.joinable())
                return;
            {
                std::lock_guard<std::mutex> lock(mutex);
                quit = true;
            }
            changed.notify_all();
            thread.join();
        }
    } joiner{helper, mutex, changed, quit};

    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        const size_t first = size_t(taken % slotCount);
        if (taken < made && pieces[first].state == State::Done) {
            lock.unlock();
            if (pieces[first].error)
                std::rethrow_exception(pieces[first].error);
            if (!steps.take(first))
                return;
            lock.lock();
            pieces[first].state = State::Free;
            ++taken;
            continue;
        }
        if (!noMore && made - taken < slotCount) {
            const size_t slot = size_t(made % slotCount);
            lock.unlock();
            const bool more = steps.next(slot);
            lock.lock();
            if (!more) {
                noMore = true;
                continue;
            }
            pieces[slot].state = State::Ready;
            pieces[slot].error = nullptr;
            ++made;
            changed.notify_all();
            continue;
        }
        if (started < made) {
            workOnNext(lock);
            continue;
        }
        if (noMore && taken == made)
            return;
        changed.wait(lock);
    }
}
