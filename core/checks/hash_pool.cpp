#include "checks/hash_pool.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <system_error>
#include <utility>

#include "checks/sha256.h"

namespace brindle {
namespace {

// Jobs queued ahead of the workers; each holds an open file, never a buffer.
constexpr std::size_t kMaxWaiting = 8;
constexpr unsigned kMaxThreads = 4;

std::mutex g_hookMutex;
std::function<void(std::size_t, const Status&)> g_afterHash;

void AfterHash(std::size_t job, const Status& status) {
    std::function<void(std::size_t, const Status&)> hook;
    {
        const std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_afterHash;
    }
    if (hook) {
        hook(job, status);
    }
}

}  // namespace

namespace io::testing {
void SetAfterHash(std::function<void(std::size_t job, const Status& status)> hook) {
    const std::lock_guard<std::mutex> lock(g_hookMutex);
    g_afterHash = std::move(hook);
}
}  // namespace io::testing

unsigned HashPool::DefaultThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1U, kMaxThreads);
}

HashPool::HashPool(unsigned threads) {
    for (unsigned i = 0; i < threads; ++i) {
        try {
            threads_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;  // fewer workers, or none: Add then hashes on the caller's thread
        }
    }
    LiftLimit();
}

void HashPool::ShareCoresWithCopy() {
    const std::lock_guard<std::mutex> lock(mutex_);
    limit_ = std::max<std::size_t>(threads_.size(), 2) - 1;
}

void HashPool::LiftLimit() {
    const std::lock_guard<std::mutex> lock(mutex_);
    limit_ = threads_.size();
    changed_.notify_all();
}

HashPool::~HashPool() {
    stop_.store(true);
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        unfinished_ -= waiting_.size();
        waiting_.clear();
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

std::size_t HashPool::Add(io::File file, std::int64_t offset, std::int64_t length) {
    return Queue(Job{0, std::move(file), offset, length, true, {}, {}});
}

std::size_t HashPool::Feed(io::File file, std::int64_t offset, std::int64_t length, std::vector<Digest*> digests,
                           std::function<Status()> check) {
    return Queue(Job{0, std::move(file), offset, length, false, std::move(digests), std::move(check)});
}

std::size_t HashPool::Queue(Job job) {
    std::unique_lock<std::mutex> lock(mutex_);
    job.number = results_.size();
    results_.emplace_back();
    if (threads_.empty()) {
        lock.unlock();
        std::vector<char> buffer;
        Record(job.number, Run(job, buffer), lock);
        return job.number;
    }
    const std::size_t number = job.number;
    changed_.wait(lock, [this] { return waiting_.size() < kMaxWaiting; });
    ++unfinished_;
    waiting_.push_back(std::move(job));
    changed_.notify_all();
    return number;
}

Status HashPool::WaitFor(std::size_t job) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return results_[job].done; });
    return results_[job].status;
}

void HashPool::Wait() {
    LiftLimit();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return unfinished_ == 0; });
}

bool HashPool::Wait(const std::function<bool(std::int64_t hashed)>& tick) {
    LiftLimit();
    std::unique_lock<std::mutex> lock(mutex_);
    std::int64_t seen = -1;
    while (unfinished_ != 0 || seen != hashed_.load()) {
        changed_.wait_for(lock, std::chrono::milliseconds(50),
                          [&] { return unfinished_ == 0 || seen != hashed_.load(); });
        seen = hashed_.load();
        lock.unlock();
        const bool go = !stop_.load() && tick(seen);
        lock.lock();
        if (!go) {
            Stop();
        }
    }
    lock.unlock();
    return !stop_.load();
}

void HashPool::Stop() { stop_.store(true); }

std::vector<std::string> HashPool::digests() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> all;
    for (const Result& result : results_) {
        all.push_back(result.digest);
    }
    return all;
}

bool HashPool::Failed() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

Status HashPool::FirstFailure() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const Result& result : results_) {
        if (!result.status.ok()) {
            return result.status;
        }
    }
    return Status::Ok();
}

void HashPool::Work() {
    std::vector<char> buffer;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || (!waiting_.empty() && running_ < limit_); });
        if (waiting_.empty()) {
            return;
        }
        Job job = std::move(waiting_.front());
        waiting_.pop_front();
        ++running_;
        changed_.notify_all();  // room for one more
        lock.unlock();
        Result result = Run(job, buffer);
        (void)job.file.Close();
        // The hook has run before anyone waiting for all jobs goes on: a test that changes a
        // file once a job is hashed knows the change comes before what follows the hashing.
        Record(job.number, std::move(result), lock);
        lock.lock();
        --unfinished_;
        --running_;
        changed_.notify_all();
    }
}

void HashPool::Record(std::size_t number, Result result, std::unique_lock<std::mutex>& lock) {
    const Status status = result.status;
    result.done = true;
    lock.lock();
    failed_ = failed_ || !result.status.ok();
    results_[number] = std::move(result);
    lock.unlock();
    AfterHash(number, status);
}

HashPool::Result HashPool::Run(Job& job, std::vector<char>& buffer) {
    Result result;
    std::int64_t left = job.length;
    if (left < 0) {
        result.status = job.file.Size(&left);
        left -= job.offset;
    }
    if (result.status.ok() && job.offset != 0) {
        result.status = job.file.Seek(job.offset);
    }
    if (!result.status.ok()) {
        return result;
    }
    std::optional<Sha256> own;
    std::vector<Digest*> feed = job.digests;
    if (job.ownDigest) {
        feed.push_back(&own.emplace());
    }
    buffer.resize(static_cast<std::size_t>(std::min<std::int64_t>(std::max<std::int64_t>(left, 0),
                                                                   io::kCopyBufferSize)));
    while (left > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(left, io::kCopyBufferSize));
        result.status = stop_.load() ? Status::Cancelled() : job.file.ReadExact(buffer.data(), chunk);
        if (!result.status.ok()) {
            return result;
        }
        for (Digest* digest : feed) {
            digest->Update(buffer.data(), chunk);
        }
        left -= static_cast<std::int64_t>(chunk);
        // No wake-up per chunk: a waiting bar looks every few dozen milliseconds, and a wake
        // here would rouse every idle worker on each megabyte.
        hashed_ += static_cast<std::int64_t>(chunk);
    }
    if (own) {
        result.digest = own->HexDigest();
    }
    if (result.status.ok() && job.check) {
        result.status = job.check();
    }
    return result;
}

bool CopyHashBar::Show(std::int64_t copied) {
    if (moves_ == Moves::kByCopy) {
        return !progress_.StopRequested();
    }
    std::int64_t done = copied;
    for (const HashPool* pool : pools_) {
        done += pool->HashedBytes();
    }
    const auto value = static_cast<int>(static_cast<std::int64_t>(progress_.Max()) * std::min(done, total_) / total_);
    if (value > progress_.Value() && value < progress_.Max()) {
        progress_.SetValue(value);
        progress_.SetPercentText(PercentText(value, progress_.Max()));
    }
    return !progress_.StopRequested();
}

bool CopyHashBar::HashFailed() const {
    return std::any_of(pools_.begin(), pools_.end(), [](const HashPool* pool) { return pool->Failed(); });
}

bool CopyHashBar::Copied(std::int64_t copied) { return !HashFailed() && Show(copied); }

Status CopyHashBar::Finish(Status copy, std::int64_t copied) {
    if (copy.cancelled() && !progress_.StopRequested() && HashFailed()) {
        copy = Status::Ok();  // the failed hash is the reason, told below
    }
    // Every job runs to its end, so the failure told is the first piece's, not a job cut short.
    for (HashPool* pool : pools_) {
        if (copy.ok() && !pool->Wait([&](std::int64_t) { return Show(copied); })) {
            copy = Status::Cancelled();
        }
    }
    for (const HashPool* pool : pools_) {
        if (copy.ok()) {
            copy = pool->FirstFailure();
        }
    }
    return copy;
}

}  // namespace brindle
