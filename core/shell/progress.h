#pragma once

#include <cstdint>
#include <string>

namespace brindle {

// Every bar's maximum, in windows and on the terminal: a step is a hundredth of a percent.
inline constexpr int kBarMax = 10000;

// What the split and join engines drive: a bar with a maximum and a value, an optional
// percentage text, a hook that lets the caller's event loop run between pieces, and the
// caller's wish to stop, which the engines heed between chunks of a few MiB.
class Progress {
public:
    virtual ~Progress() = default;
    virtual int Max() const = 0;
    virtual int Value() const = 0;
    virtual void SetValue(int value) = 0;
    virtual void SetPercentText(const std::string& /*text*/) {}
    virtual void Yield() {}
    virtual bool StopRequested() const { return false; }
};

// The percent text the engines show for a bar value: a whole number, halves to even.
std::string PercentText(int value, int max);

// Moves a bar by bytes inside one stretch of work (a piece, a file to hash): from the value
// it has when the stretch begins towards `endValue`, which the caller sets once all `bytes`
// are done. The bar and its percent text change only when the whole value does.
class ByteMeter {
public:
    ByteMeter(Progress& progress, std::int64_t bytes, int endValue);
    // `done` bytes of the stretch so far; false when the caller asked to stop.
    bool operator()(std::int64_t done);

private:
    Progress& progress_;
    std::int64_t bytes_;
    int start_;
    int end_;
};

// A stretch of another bar, for a job of several stages: this bar's 0 to Max moves the
// other from `from` to `to`; a stop asked there is asked here.
class PartOfBar : public Progress {
public:
    PartOfBar(Progress& whole, int from, int to) : whole_(whole), from_(from), to_(to) {}
    int Max() const override { return whole_.Max(); }
    int Value() const override { return value_; }
    void SetValue(int value) override;
    void SetPercentText(const std::string& text) override;
    void Yield() override { whole_.Yield(); }
    bool StopRequested() const override { return whole_.StopRequested(); }

private:
    Progress& whole_;
    int from_;
    int to_;
    int value_ = 0;
};

}  // namespace brindle
