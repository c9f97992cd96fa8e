#pragma once

#include <string>
#include <utility>

namespace brindle {

// The outcome of a fallible operation: what went wrong, in words a caller can show or log.
class Status {
public:
    enum class Code { kOk, kNotFound, kIoError, kInvalidArgument, kCorruption, kMismatch, kStopped };

    Status() = default;
    static Status Ok() { return {}; }
    static Status NotFound(std::string m) { return {Code::kNotFound, std::move(m)}; }
    static Status IoError(std::string m) { return {Code::kIoError, std::move(m)}; }
    static Status InvalidArgument(std::string m) { return {Code::kInvalidArgument, std::move(m)}; }
    static Status Corruption(std::string m) { return {Code::kCorruption, std::move(m)}; }
    static Status Mismatch(std::string m) { return {Code::kMismatch, std::move(m)}; }
    // The user asked the job to stop; the message, when there is one, says what is left.
    static Status Cancelled(std::string m = {}) { return {Code::kStopped, std::move(m)}; }

    bool ok() const { return code_ == Code::kOk; }
    bool cancelled() const { return code_ == Code::kStopped; }
    Code code() const { return code_; }
    const std::string& message() const { return message_; }

private:
    Status(Code code, std::string message) : code_(code), message_(std::move(message)) {}

    Code code_ = Code::kOk;
    std::string message_;
};

}  // namespace brindle
