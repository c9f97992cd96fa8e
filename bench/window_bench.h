#pragma once

// Shared by the benchmarks that time the program's windows.

#include <algorithm>
#include <vector>

#include "shell/prompter.h"

namespace brindle::bench {

// Answers every question with OK and every dialog with nothing, so no run waits on a person.
class SilentPrompter final : public app::Prompter {
public:
    Answer Message(QWidget*, const QString&, const QString&, Icon, Buttons) override { return Answer::Ok; }
    QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString Folder(QWidget*, const QString&, const QString&) override { return {}; }
    void ShowFolder(const QString&) override {}
};

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace brindle::bench
