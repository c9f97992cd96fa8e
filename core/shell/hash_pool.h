#pragma once

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

#include "shell/file_io.h"
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

    // Queues SHA-256 of `prefix` followed by `length` bytes of `file` from `offset` (to its
    // end when `length` is negative). With `expected`, a different digest makes the job fail
    // with Corruption naming `name`. Returns the job's number, counting from 0.
    std::size_t Add(io::File file, std::string prefix, std::int64_t offset, std::int64_t length,
                    std::string expected = {}, std::string name = {});
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
    const std::string& digest(std::size_t job) const { return results_[job].digest; }

    static unsigned DefaultThreads();

private:
    struct Job {
        std::size_t number = 0;
        io::File file;
        std::string prefix;
        std::int64_t offset = 0;
        std::int64_t length = 0;
        std::string expected;
        std::string name;
    };
    struct Result {
        Status status;
        std::string digest;
    };
    void Work();
    Result Run(Job& job, std::vector<char>& buffer);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> waiting_;
    std::deque<Result> results_;  // stable references while jobs are added
    std::size_t unfinished_ = 0;
    bool failed_ = false;
    bool stopping_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<std::int64_t> hashed_{0};  // file bytes, over every job
    std::vector<std::thread> threads_;
};

namespace io::testing {
// Runs once each hashing job's result is recorded (Failed() already tells it), on the
// thread that hashed it.
void SetAfterHash(std::function<void(std::size_t job, const Status& status)> hook);
}  // namespace io::testing

}  // namespace brindle
