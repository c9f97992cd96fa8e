#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

namespace brindle {

// Calls `each(i)` for every i below `count`, taking no new one once `stopped` says so. Reading
// a file's header is mostly parsing, so with many files every core (up to 8) helps; a few are
// not worth a thread.
inline void EachOnCores(std::size_t count, const std::function<void(std::size_t)>& each,
                        const std::function<bool()>& stopped) {
    // A few at a time: one shared counter taken for every file costs as much as a quick
    // lookup of one, as the cores hand it to each other.
    constexpr std::size_t kTaken = 16;
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (;;) {
            const std::size_t first = next.fetch_add(kTaken, std::memory_order_relaxed);
            if (first >= count) {
                return;
            }
            for (std::size_t i = first; i < std::min(first + kTaken, count); ++i) {
                if (stopped && stopped()) {
                    return;
                }
                each(i);
            }
        }
    };
    const std::size_t threads = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    const std::size_t helpers = count < 64 ? 0 : threads - 1;
    std::vector<std::thread> pool;
    pool.reserve(helpers);
    for (std::size_t t = 0; t < helpers; ++t) {
        pool.emplace_back(work);
    }
    work();
    for (std::thread& thread : pool) {
        thread.join();
    }
}

}  // namespace brindle
