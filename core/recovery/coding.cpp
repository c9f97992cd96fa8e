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
// Each output's stretch is brought into the cache once a batch, so the more inputs a batch
// holds, the less the arithmetic waits for memory: up to 16 inputs in at most 64 MiB.
constexpr std::int64_t kBatchMemory = std::int64_t{64} << 20;
// So that the two input batches stay within 128 MiB however large a block is.
constexpr std::int64_t kLongestStretch = std::int64_t{32} << 20;

struct AlignedDelete {
    void operator()(unsigned char* p) const { ::operator delete[](p, std::align_val_t(kAlign)); }
};
using Buffer = std::unique_ptr<unsigned char[], AlignedDelete>;

// Not cleared: every use fills what it takes first (the outputs are zeroed each stretch, the
// inputs read), so the pages are first touched beside other work rather than all up front.
Buffer MakeBuffer(std::size_t n) {
    return Buffer(static_cast<unsigned char*>(::operator new[](std::max<std::size_t>(n, 1), std::align_val_t(kAlign))));
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
    return std::min({blockSize, stretch, kLongestStretch});
}

// A tile of every output and of the inputs of a batch within about 512 KiB, a fraction of a
// core's second-level cache; whole 256-byte runs (what the SIMD loops take at once), at
// least 4 KiB.
std::size_t TileBytes(std::size_t outputs, std::size_t inputs) {
    const std::size_t fit = (std::size_t{512} << 10) / (std::max<std::size_t>(outputs, 1) + inputs);
    return std::max<std::size_t>(fit / 256 * 256, 4096);
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
    // Inputs go in batches: the workers meet once a batch, not once an input, so a worker
    // the system holds back a moment delays less; the next batch is read meanwhile.
    const std::size_t batch = static_cast<std::size_t>(std::clamp<std::int64_t>(kBatchMemory / stretch, 1, 16));
    std::vector<Buffer> batches[2];
    for (auto& buffers : batches) {
        for (std::size_t b = 0; b < batch; ++b) {
            buffers.push_back(MakeBuffer(static_cast<std::size_t>(stretch)));
        }
    }
    std::vector<GfFactor> factors;
    std::int64_t handled = 0;
    for (std::int64_t offset = 0; offset < coding.blockSize; offset += stretch) {
        const auto n = static_cast<std::size_t>(std::min(stretch, coding.blockSize - offset));
        for (Buffer& output : outputs) {
            std::memset(output.get(), 0, n);
        }
        // The arithmetic of a batch in parts of whole 256-byte runs, a few per worker.
        const std::size_t parts = std::min<std::size_t>(threads * 2, std::max<std::size_t>(1, n / (64 * 1024)));
        const std::size_t partBytes = (n / parts + 255) / 256 * 256;
        const auto readBatch = [&](std::size_t first, std::vector<Buffer>& buffers) {
            Status status;
            for (std::size_t b = 0; b < batch && first + b < coding.inputs && status.ok(); ++b) {
                status = coding.read(first + b, offset, buffers[b].get(), n);
            }
            return status;
        };
        Status status = readBatch(0, batches[0]);
        for (std::size_t first = 0, round = 0; first < coding.inputs && status.ok(); first += batch, ++round) {
            const std::vector<Buffer>& data = batches[round % 2];
            const std::size_t count = std::min(batch, coding.inputs - first);
            const std::size_t lanes = static_cast<std::size_t>(coding.lanes) * count;
            const std::size_t hashes = lanes + (coding.inOrder ? 1 : 0);
            // Made ready once a batch, not once a tile.
            factors.clear();
            for (std::size_t b = 0; b < count; ++b) {
                for (std::size_t k = 0; k < coding.outputs; ++k) {
                    factors.emplace_back(coding.coefficients[k * coding.inputs + first + b]);
                }
            }
            // The longest task first (the one across the inputs, then the other hashes), the
            // arithmetic's many shorter ones last, so no worker waits long for the last one.
            crew.Start(hashes + parts, [&, first, count, lanes, hashes](std::size_t task) {
                if (coding.inOrder && task == 0) {
                    for (std::size_t b = 0; b < count; ++b) {
                        coding.look(coding.lanes, first + b, offset, data[b].get(), n);
                    }
                    return;
                }
                task -= coding.inOrder && task < hashes ? 1 : 0;
                if (task < lanes) {
                    const std::size_t b = task / static_cast<std::size_t>(coding.lanes);
                    coding.look(static_cast<int>(task % static_cast<std::size_t>(coding.lanes)), first + b, offset,
                                data[b].get(), n);
                    return;
                }
                const std::size_t from = (task - hashes) * partBytes;
                if (from >= n) {
                    return;
                }
                const std::size_t to = from + std::min(partBytes, n - from);
                // In tiles, so that every output's tile stays in the core's cache across
                // the batch, instead of each output streaming through memory per input.
                const std::size_t tile = TileBytes(coding.outputs, count);
                for (std::size_t at = from; at < to; at += tile) {
                    const std::size_t bytes = std::min(tile, to - at);
                    std::vector<unsigned char*> targets(outputPointers);
                    for (unsigned char*& target : targets) {
                        target += at;
                    }
                    for (std::size_t b = 0; b < count; ++b) {
                        MulAddRegions(factors.data() + b * coding.outputs, coding.outputs, data[b].get() + at, targets.data(), bytes);
                    }
                }
            });
            if (first + batch < coding.inputs) {
                status = readBatch(first + batch, batches[(round + 1) % 2]);
            }
            crew.Wait();
            handled += static_cast<std::int64_t>(n * count);
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
