#pragma once

#include <string>
#include <utility>
#include <vector>

#include "shell/progress.h"

namespace brindle::test {

// Remembers every value and percent text an engine shows, and how often it yielded.
class RecordingProgress : public Progress {
public:
    explicit RecordingProgress(int max = 10000) : max_(max) {}
    int Max() const override { return max_; }
    int Value() const override { return value_; }
    void SetValue(int value) override {
        value_ = value;
        values.push_back(value);
    }
    void SetPercentText(const std::string& text) override { percents.push_back(text); }
    void Yield() override { ++yields; }

    std::vector<int> values;
    std::vector<std::string> percents;
    int yields = 0;

private:
    int max_;
    int value_ = 0;
};

}  // namespace brindle::test
