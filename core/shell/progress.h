#pragma once

#include <string>

namespace brindle {

// What the split and join engines drive: a bar with a maximum and a value, an optional
// percentage text, and a hook that lets the caller's event loop run between pieces.
class Progress {
public:
    virtual ~Progress() = default;
    virtual int Max() const = 0;
    virtual int Value() const = 0;
    virtual void SetValue(int value) = 0;
    virtual void SetPercentText(const std::string& /*text*/) {}
    virtual void Yield() {}
};

// A progress target that only keeps its numbers; for callers with nothing to show.
class PlainProgress : public Progress {
public:
    explicit PlainProgress(int max = 10000) : max_(max) {}
    int Max() const override { return max_; }
    int Value() const override { return value_; }
    void SetValue(int value) override { value_ = value; }
    void SetPercentText(const std::string& text) override { percent_ = text; }
    const std::string& PercentText() const { return percent_; }

private:
    int max_;
    int value_ = 0;
    std::string percent_;
};

}  // namespace brindle
