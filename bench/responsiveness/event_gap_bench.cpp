// The longest event-loop gap while long folder and rename work runs from a window: (a) the
// join wizard lists a folder of 100,000 files in 20,000 groups, (b) the Add Folder dialog
// lists 100,000 files, (c) the rename list renames 10,000 files, (d) the rename list plans
// new names for 100,000 files, from showing them to marking their conflicts (none, then every
// row's). A 5 ms timer ticks on the interface thread; the gap is the longest time between two
// ticks. Beside it, the time the whole step takes in the window and the time the same core
// work takes called directly, the way the windows used to call it on their own thread.
//
//   event_gap_bench [rounds] [folder]     (QT_QPA_PLATFORM=offscreen is fine)

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "format/discovery.h"
#include "join/frm_join.h"
#include "rename/add_folder.h"
#include "rename/apply_renames.h"
#include "rename/frm_rename.h"
#include "rename/rename_plan.h"
#include "rename/rename_dialogs.h"
#include "shell/prompter.h"
#include "window_bench.h"

using namespace brindle;
using namespace brindle::app;

namespace {

using bench::Median;
using bench::SilentPrompter;

double Ms(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

struct Measured {
    double gapMs = 0;
    double totalMs = 0;
};

// Starts `step` from the event loop and runs the loop until `done` is emitted, noting the
// longest time between two ticks of the timer.
template <typename Sender, typename Signal>
Measured Watch(const std::function<void()>& step, Sender* sender, Signal done) {
    QEventLoop loop;
    QObject::connect(sender, done, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    double last = 0;
    double longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double now = Ms(clock);
        longest = std::max(longest, now - last);
        last = now;
    });
    clock.start();
    ticker.start();
    QTimer::singleShot(0, step);
    loop.exec();
    const double end = Ms(clock);
    longest = std::max(longest, end - last);
    return {longest, end};
}

// Makes `count` empty files in `folder`; returns them as the list's Add Folder gives them:
// the folder, then each name, each followed by a NUL.
std::string MakeFiles(const QString& folder, int count, const std::function<QString(int)>& name) {
    std::string files = folder.toStdString();
    files.push_back('\0');
    for (int i = 0; i < count; ++i) {
        const QString named = name(i);
        QFile file(folder + QLatin1Char('/') + named);
        (void)file.open(QIODevice::WriteOnly);
        files += named.toStdString();
        files.push_back('\0');
    }
    return files;
}

void Report(const char* what, const std::vector<Measured>& runs, const std::vector<double>& direct) {
    std::vector<double> gaps;
    std::vector<double> totals;
    for (const Measured& m : runs) {
        gaps.push_back(m.gapMs);
        totals.push_back(m.totalMs);
    }
    std::printf("%-34s %9.1f %9.1f %9.1f\n", what, Median(gaps), Median(totals), Median(direct));
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    const QString base = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QDir::tempPath();
    SilentPrompter prompter;
    SetPrompter(&prompter);

    QTemporaryDir groups(base + QStringLiteral("/brindle-gap-groups-XXXXXX"));
    MakeFiles(groups.path(), 100000, [](int i) {
        const int group = i / 5;
        const int piece = i % 5 + 1;
        return QStringLiteral("g%1(%2).qmf").arg(group, 5, 10, QChar('0')).arg(piece == 1 ? QString() : QStringLiteral("%1").arg(piece, 3, 10, QChar('0')));
    });
    QTemporaryDir plain(base + QStringLiteral("/brindle-gap-files-XXXXXX"));
    const std::string plainFiles = MakeFiles(
        plain.path(), 100000, [](int i) { return QStringLiteral("IMG_%1.JPG").arg(i, 6, 10, QChar('0')); });

    std::vector<Measured> join, folder, rename, plan, clashes;
    std::vector<double> joinDirect, folderDirect, renameDirect, planDirect, clashesDirect;
    for (int round = 0; round < rounds; ++round) {
        {
            auto* page = new frmJoin;
            page->show();
            QCoreApplication::processEvents();
            page->File1.Path = groups.path().toStdString();
            join.push_back(Watch([page] { page->FindGroups(); }, page, &frmJoin::listFilled));
            if (page->group->topLevelItemCount() != 20000) {
                std::fprintf(stderr, "the join wizard found %d groups\n", page->group->topLevelItemCount());
                return 1;
            }
            page->close();
            // The window's items go now, not in the next step's watch.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QElapsedTimer timer;
            timer.start();
            std::vector<std::string> found;
            (void)brindle::FindGroups(groups.path().toStdString(), &found);
            joinDirect.push_back(Ms(timer));
        }
        {
            addFolder dialog;
            QEventLoop settle;  // the dialog lists the home folder first
            if (dialog.IsListing()) {
                QObject::connect(&dialog, &addFolder::listed, &settle, &QEventLoop::quit);
                settle.exec();
            }
            folder.push_back(Watch([&dialog, &plain] { dialog.ShowFolder(plain.path()); }, &dialog, &addFolder::listed));
            QElapsedTimer timer;
            timer.start();
            FolderPicker picker;
            picker.Show(plain.path().toStdString());
            folderDirect.push_back(Ms(timer));
            if (picker.names().size() != 100000) {
                std::fprintf(stderr, "the Add Folder dialog found %zu files\n", picker.names().size());
                return 1;
            }
        }
        {
            QTemporaryDir dir(base + QStringLiteral("/brindle-gap-rename-XXXXXX"));
            const std::string filestring = MakeFiles(
                dir.path(), 10000, [](int i) { return QStringLiteral("IMG_%1.JPG").arg(i, 5, 10, QChar('0')); });
            auto* list = new frmRename;
            list->show();
            list->AddFileString(filestring, AddSource::kAddFolder);
            for (RenameRow& row : list->List().rows()) {
                row.newFileName = "a-" + row.fileName;
            }
            rename.push_back(Watch([list] { list->findChild<QPushButton*>(QStringLiteral("Command4"))->click(); },
                                   list, &frmRename::renamesDone));
            if (!QFile::exists(dir.filePath(QStringLiteral("a-IMG_09999.JPG")))) {
                std::fprintf(stderr, "the last file was not renamed\n");
                return 1;
            }
            // The same renames called directly, back to the old names.
            std::vector<RenameRow> back = list->List().rows();
            for (RenameRow& row : back) {
                row.key = row.fileLocation + "/" + row.newFileName;
                row.newFileName = row.fileName;
            }
            QElapsedTimer timer;
            timer.start();
            const RenameOutcome outcome = RenameListedFiles(back);
            renameDirect.push_back(Ms(timer));
            if (!outcome.ok()) {
                std::fprintf(stderr, "renaming back failed: %s\n", outcome.error.message().c_str());
                return 1;
            }
            list->close();
            // The window's items go now, not in the next step's watch.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        // Once with every new name free, once with every row wanting the same name.
        for (const bool clash : {false, true}) {
            auto* list = new frmRename;
            list->show();
            list->AddFileString(plainFiles, AddSource::kAddFolder);
            for (RenameRow& row : list->List().rows()) {
                row.newFileName = clash ? std::string("same.JPG") : "a-" + row.fileName;
            }
            QCoreApplication::processEvents();
            (clash ? clashes : plan).push_back(Watch([list] { list->ShowNewNames(); }, list, &frmRename::conflictsMarked));
            QElapsedTimer timer;
            timer.start();
            const RenamePlan planned = PlanRenames(list->List().rows());
            (clash ? clashesDirect : planDirect).push_back(Ms(timer));
            if (planned.conflicts.size() != (clash ? 99999U : 0U) || planned.steps.size() != (clash ? 0U : 100000U)) {
                std::fprintf(stderr, "the plan of 100,000 rows has %zu steps and %zu conflicts\n",
                             planned.steps.size(), planned.conflicts.size());
                return 1;
            }
            list->close();
            // The window's items go now, not in the next step's watch.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    std::printf("medians of %d rounds, ms      longest gap  in window    direct\n", rounds);
    Report("join wizard, 100,000 files/20,000 groups", join, joinDirect);
    Report("Add Folder, 100,000 files", folder, folderDirect);
    Report("rename list, 10,000 renames", rename, renameDirect);
    Report("rename list, plan of 100,000 rows", plan, planDirect);
    Report("the same, every row in conflict", clashes, clashesDirect);
    SetPrompter(nullptr);
    return 0;
}
