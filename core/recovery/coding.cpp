#include "recovery/coding.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

namespace brindle::recovery {
namespace {

constexpr std::size_t kAlign = 64;

struct AlignedDelete {
    void operator()(unsigned char* p) const { ::operator delete[](p, std::align_val_t(kAlign)); }
};
using Buffer = std::unique_ptr<unsigned char[], AlignedDelete>;

Buffer MakeBuffer(std::size_t n) {
    auto* p = static_cast<unsigned char*>(::operator new[](std::max<std::size_t>(n, 1), std::align_val_t(kAlign)));
    std::memset(p, 0, n);
    return Buffer(p);
}

// Workers that run numbered tasks while the caller goes on, until Wait.
class Crew {
public:
    explicit Crew(unsigned threads) {
        for (unsigned i = 0; i < threads; ++i) {
            threads_.emplace_back([this] { Loop(); });
        }
    }
    ~Crew() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_all();
        for (std::thread& thread : threads_) {
            thread.join();
        }
    }
    Crew(const Crew&) = delete;
    Crew& operator=(const Crew&) = delete;

    void Start(std::size_t count, std::function<void(std::size_t)> task) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            task_ = std::move(task);
            count_ = count;
            next_ = 0;
            finished_ = 0;
            ++generation_;
        }
        wake_.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return finished_ == count_; });
    }

private:
    void Loop() {
        std::uint64_t seen = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return quit_ || (generation_ != seen && next_ < count_); });
            if (quit_) {
                return;
            }
            seen = generation_;
            // Tasks are taken under the lock, so none of an old round runs in a new one.
            while (generation_ == seen && next_ < count_) {
                const std::size_t i = next_++;
                lock.unlock();
                task_(i);
                lock.lock();
                if (++finished_ == count_) {
                    done_.notify_all();
                }
            }
        }
    }

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    std::function<void(std::size_t)> task_;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
    std::size_t finished_ = 0;
    std::uint64_t generation_ = 0;
    bool quit_ = false;
};

std::int64_t Stretch(std::int64_t blockSize, std::size_t outputs) {
    const std::int64_t fit = kOutputMemory / static_cast<std::int64_t>(std::max<std::size_t>(outputs, 1));
    const std::int64_t stretch = std::max<std::int64_t>(fit / static_cast<std::int64_t>(kAlign) * static_cast<std::int64_t>(kAlign),
                                                        static_cast<std::int64_t>(kAlign));
    return std::min(blockSize, stretch);
}

}  // namespace

int Passes(std::int64_t blockSize, std::size_t outputs) {
    const std::int64_t stretch = Stretch(blockSize, outputs);
    return static_cast<int>((blockSize + stretch - 1) / stretch);
}

Status RunCoding(const Coding& coding) {
    const std::int64_t stretch = Stretch(coding.blockSize, coding.outputs);
    const unsigned threads = std::max(1U, std::thread::hardware_concurrency());
    Crew crew(threads);
    std::vector<Buffer> outputs;
    std::vector<unsigned char*> outputPointers;
    for (std::size_t k = 0; k < coding.outputs; ++k) {
        outputs.push_back(MakeBuffer(static_cast<std::size_t>(stretch)));
        outputPointers.push_back(outputs.back().get());
    }
    Buffer inputs[2] = {MakeBuffer(static_cast<std::size_t>(stretch)), MakeBuffer(static_cast<std::size_t>(stretch))};
    std::int64_t handled = 0;
    for (std::int64_t offset = 0; offset < coding.blockSize; offset += stretch) {
        const auto n = static_cast<std::size_t>(std::min(stretch, coding.blockSize - offset));
        for (Buffer& output : outputs) {
            std::memset(output.get(), 0, n);
        }
        // The arithmetic of one input in parts of whole 64-byte lines, a few per worker.
        const std::size_t parts = std::min<std::size_t>(threads * 2, std::max<std::size_t>(1, n / (64 * 1024)));
        const std::size_t partBytes = (n / parts + kAlign - 1) / kAlign * kAlign;
        const auto readInto = [&](std::size_t input, unsigned char* buffer) {
            std::memset(buffer, 0, n);
            return coding.read(input, offset, buffer, n);
        };
        Status status = coding.inputs > 0 ? readInto(0, inputs[0].get()) : Status::Ok();
        for (std::size_t i = 0; i < coding.inputs && status.ok(); ++i) {
            unsigned char* data = inputs[i % 2].get();
            crew.Start(parts + static_cast<std::size_t>(coding.lanes), [&, i, data](std::size_t task) {
                if (task >= parts) {
                    coding.look(static_cast<int>(task - parts), i, offset, data, n);
                    return;
                }
                const std::size_t from = task * partBytes;
                if (from >= n) {
                    return;
                }
                const std::size_t bytes = std::min(partBytes, n - from);
                for (std::size_t k = 0; k < coding.outputs; ++k) {
                    MulAddRegion(coding.coefficients[k * coding.inputs + i], data + from, outputPointers[k] + from, bytes);
                }
            });
            if (i + 1 < coding.inputs) {
                status = readInto(i + 1, inputs[(i + 1) % 2].get());
            }
            crew.Wait();
            handled += static_cast<std::int64_t>(n);
            if (status.ok() && coding.tick && !coding.tick(handled)) {
                status = Status::Cancelled();
            }
        }
        if (status.ok()) {
            status = coding.done(offset, outputPointers, n);
        }
        if (!status.ok()) {
            return status;
        }
    }
    return Status::Ok();
}

}  // namespace brindle::recovery
