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

// The percent text the engines show for a bar value: a whole number, halves to even.
std::string PercentText(int value, int max);

}  // namespace brindle
