#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "checks/digest.h"
#include "io/file_io.h"
#include "shell/progress.h"
#include "shell/status.h"

namespace brindle {

// Hashes ranges of files on worker threads, so the bytes already written are hashed while the
// next ones are copied, and several pieces at once where there are cores for them. Each
// worker reads through one bounded buffer, and Add waits while a few jobs already wait, so
// memory and open files stay bounded whatever the file's size.
class HashPool {
public:
    explicit HashPool(unsigned threads = DefaultThreads());
    ~HashPool();  // drops the jobs not yet started and waits for the running ones
    HashPool(const HashPool&) = delete;
    HashPool& operator=(const HashPool&) = delete;

    // Queues SHA-256 of `length` bytes of `file` from `offset` (to its end when `length` is
    // negative), kept as the job's digest. Returns the job's number, counting from 0.
    std::size_t Add(io::File file, std::int64_t offset, std::int64_t length);
    // Queues feeding `length` bytes of `file` from `offset` to each of `digests`, which the
    // caller keeps until Wait; then `check`, when given, is the job's outcome. A pool of one
    // thread runs its jobs in the order they were queued, so consecutive ranges can feed one
    // digest of a whole file.
    std::size_t Feed(io::File file, std::int64_t offset, std::int64_t length, std::vector<Digest*> digests,
                     std::function<Status()> check = {});
    // Until Wait, runs one job fewer at a time than there are workers, so the copy the jobs
    // follow keeps a core to itself instead of being slowed by them; Wait gives the backlog
    // every worker.
    void ShareCoresWithCopy();
    // Waits for job `job` alone, and gives its outcome.
    Status WaitFor(std::size_t job);
    // Waits for every job queued so far.
    void Wait();
    // The same, calling `tick` with the bytes hashed so far every few dozen milliseconds, on
    // the caller's thread; when it returns false the jobs stop and Wait returns false.
    bool Wait(const std::function<bool(std::int64_t hashed)>& tick);
    // File bytes hashed so far, over every job.
    std::int64_t HashedBytes() const { return hashed_.load(); }
    // Makes the jobs not yet finished fail as Cancelled, soon.
    void Stop();
    // True once any job has failed: the caller can stop copying what is already lost.
    bool Failed() const;
    // After Wait: the first job's failure, in the order they were queued.
    Status FirstFailure() const;
    const Status& status(std::size_t job) const { return results_[job].status; }
    // After Wait: every job's digest, in the order they were queued.
    std::vector<std::string> digests() const;

    static unsigned DefaultThreads();

private:
    struct Job {
        std::size_t number = 0;
        io::File file;
        std::int64_t offset = 0;
        std::int64_t length = 0;
        bool ownDigest = true;  // SHA-256 of the range, kept as the job's digest
        std::vector<Digest*> digests;
        std::function<Status()> check;
    };
    struct Result {
        Status status;
        std::string digest;
        bool done = false;
    };
    std::size_t Queue(Job job);
    void LiftLimit();
    void Work();
    Result Run(Job& job, std::vector<char>& buffer);
    // Records job `number`'s result under `lock` (unlocked on entry and on return), then runs
    // the test hook outside it.
    void Record(std::size_t number, Result result, std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> waiting_;
    std::deque<Result> results_;  // stable references while jobs are added
    std::size_t unfinished_ = 0;
    std::size_t running_ = 0;
    std::size_t limit_ = 0;  // jobs run at once
    bool failed_ = false;
    bool stopping_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> hashed_{0};  // file bytes, over every job
    std::vector<std::thread> threads_;
};

// One bar for a copy and the hashing queued behind it: the bytes copied plus the bytes the
// pools hashed, over all there is to do, so it moves evenly whichever of the two runs ahead.
// It is full only when the caller sets it so, once the result is in place. Where the hashing
// costs too little to show, the caller moves the bar by the copy alone (kByCopy) and this only
// stops the copy once a hash has failed.
class CopyHashBar {
public:
    enum class Moves { kByBoth, kByCopy };
    CopyHashBar(Progress& progress, std::int64_t totalBytes, std::vector<HashPool*> pools,
                Moves moves = Moves::kByBoth)
        : progress_(progress), total_(std::max<std::int64_t>(totalBytes, 1)), pools_(std::move(pools)),
          moves_(moves) {}
    // The copy's tick: false once a hash has failed or the caller asked to stop.
    bool Copied(std::int64_t copied);
    // Once the copy is over: waits for the hashing with the bar moving, and returns the first
    // failure, the copy's own unless a failed hash is what stopped it.
    Status Finish(Status copy, std::int64_t copied);
    Moves moves() const { return moves_; }

private:
    bool Show(std::int64_t copied);
    bool HashFailed() const;

    Progress& progress_;
    std::int64_t total_;
    std::vector<HashPool*> pools_;
    Moves moves_;
};

namespace io::testing {
// Runs once each hashing job's result is recorded (Failed() already tells it), on the
// thread that hashed it, before a wait for every job can end.
void SetAfterHash(std::function<void(std::size_t job, const Status& status)> hook);
}  // namespace io::testing

}  // namespace brindle
