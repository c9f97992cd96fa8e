// Splits 1 GiB through the split wizard's last page, in a real window, while a 10 ms timer
// ticks on the interface thread; prints the longest gap between two ticks per round and the
// median of the rounds, for 1 GiB and for 100 MB pieces.
//
//   split_window_bench [rounds] [folder]     (QT_QPA_PLATFORM=offscreen is fine)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "shell/job_runner.h"
#include "shell/prompter.h"
#include "split/frm_split3.h"
#include "split/split_state.h"

namespace {

using brindle::app::Prompter;

// Answers "No" to the completion question and notes that the split ended.
class QuietPrompter final : public Prompter {
public:
    bool ended = false;
    bool failed = false;
    Answer Message(QWidget*, const QString& text, const QString&, Icon, Buttons) override {
        ended = true;
        failed = text.startsWith(QStringLiteral("Fail"));
        return Answer::No;
    }
    QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString SaveFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
    QString Folder(QWidget*, const QString&, const QString&) override { return {}; }
    void ShowFolder(const QString&) override {}
};

bool MakeSource(const QString& path, qint64 size) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    // Real bytes, not a sparse file: the disk has to do the work a user's file would need.
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int i = 0; i < block.size(); ++i) {
        block[i] = static_cast<char>((i * 2654435761u) >> 24);
    }
    for (qint64 written = 0; written < size; written += block.size()) {
        if (file.write(block) != block.size()) {
            return false;
        }
    }
    return file.flush();
}

// One split; the longest gap between timer ticks in milliseconds, or -1 on failure.
double Round(const QString& source, const QString& out, qint32 pieceFileSize) {
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    auto values = std::make_shared<brindle::app::JobValues>();
    brindle::SplitState& state = values->split;
    state.SplitSourcePath = source.toStdString();
    state.SplitDestFolder = out.toStdString();
    state.SplitGroupName = "bench";
    state.SplitBySize = true;
    state.SplitPieceSize = pieceFileSize;

    QuietPrompter prompter;
    brindle::app::SetPrompter(&prompter);
    auto* page = new brindle::app::frmSplit3(values);
    page->show();
    QCoreApplication::processEvents();

    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    clock.start();
    ticker.start(10);
    page->findChild<QPushButton*>(QStringLiteral("cmdSplit"))->click();
    while (!prompter.ended) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    ticker.stop();
    page->close();
    brindle::app::JobRunner::WaitForAll();
    brindle::app::SetPrompter(nullptr);
    QDir(out).removeRecursively();
    return prompter.failed ? -1 : static_cast<double>(longest) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath();
    const QString work = folder + QStringLiteral("/brindle-split-window-bench");
    QDir().mkpath(work);
    const QString source = work + QStringLiteral("/source.bin");
    const qint64 size = qint64(1) << 30;
    if (!MakeSource(source, size)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(source));
        return 1;
    }
    const struct {
        const char* name;
        qint32 pieceFileSize;
    } cases[] = {{"1 GiB pieces", 1 << 30}, {"100 MB pieces", 100 << 20}};
    int status = 0;
    for (const auto& c : cases) {
        std::vector<double> gaps;
        std::printf("%-14s longest gap per round (ms):", c.name);
        for (int r = 0; r < rounds; ++r) {
            const double gap = Round(source, work + QStringLiteral("/out"), c.pieceFileSize);
            if (gap < 0) {
                std::printf(" failed\n");
                status = 1;
                break;
            }
            gaps.push_back(gap);
            std::printf(" %.1f", gap);
            std::fflush(stdout);
        }
        if (!gaps.empty()) {
            std::printf("   median %.1f ms (goal: at most 100)\n", Median(gaps));
        }
    }
    QDir(work).removeRecursively();
    return status;
}
