#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <QThread>

// One reader and one consumer on two cores: `produce` runs on a thread of
// its own while the calling thread takes what it makes, batch after batch,
// through a short queue.
//
// `produce` hands each filled batch to the function it is given: that takes
// the batch's contents and leaves it the memory of one taken before, so
// batches go round instead of being made anew; it returns false when the
// consumer has stopped. `consume` returns false to stop. An exception from
// either side ends both and reaches the caller. With one core `produce`
// runs on the calling thread and hands straight to `consume`.
class Pipeline final
{
public:
    template<typename Batch>
    static void run(const std::function<void(const std::function<bool(Batch &)> &hand)> &produce,
                    const std::function<bool(Batch &)> &consume, size_t queued = 8)
    {
        if (QThread::idealThreadCount() < 2) {
            produce(consume);
            return;
        }
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::unique_ptr<Batch>> queue;
        std::vector<std::unique_ptr<Batch>> spare;
        bool finished = false;
        bool stop = false;
        std::exception_ptr failure;
        std::thread producer([&] {
            try {
                produce([&](Batch &filled) {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return stop || queue.size() < queued; });
                    if (stop)
                        return false;
                    std::unique_ptr<Batch> taken;
                    if (spare.empty()) {
                        taken = std::make_unique<Batch>();
                    } else {
                        taken = std::move(spare.back());
                        spare.pop_back();
                    }
                    std::swap(filled, *taken);
                    queue.push_back(std::move(taken));
                    changed.notify_all();
                    return true;
                });
            } catch (...) {
                failure = std::current_exception();
            }
            const std::lock_guard lock(mutex);
            finished = true;
            changed.notify_all();
        });
        const auto finish = [&] {
            {
                const std::lock_guard lock(mutex);
                stop = true;
                changed.notify_all();
            }
            producer.join();
        };
        try {
            for (;;) {
                std::unique_ptr<Batch> batch;
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return finished || !queue.empty(); });
                    if (queue.empty())
                        break;
                    batch = std::move(queue.front());
                    queue.pop_front();
                    changed.notify_all();
                }
                const bool more = consume(*batch);
                const std::lock_guard lock(mutex);
                spare.push_back(std::move(batch));
                if (!more)
                    break;
            }
        } catch (...) {
            finish();
            throw;
        }
        finish();
        if (failure)
            std::rethrow_exception(failure);
    }
};
