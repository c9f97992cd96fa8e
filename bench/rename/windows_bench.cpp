// Interface time of the rename list with 10,000 files: adding a folder through the Add
// Folder dialog, applying a rule to every checked row, and renaming them on disk. Each
// figure is the time the window's thread is busy; medians over several rounds.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "rename/add_folder.h"
#include "rename/frm_rename.h"
#include "rename/frm_rename2.h"
#include "shell/prompter.h"
#include "window_bench.h"

using namespace brindle;
using namespace brindle::app;

namespace {

using bench::Median;
using bench::SilentPrompter;

// Runs one step and then lets the window repaint, so drawing counts too.
template <typename Step>
double Timed(Step step) {
    QElapsedTimer timer;
    timer.start();
    step();
    QCoreApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    SilentPrompter prompter;
    SetPrompter(&prompter);
    std::vector<double> add, apply, rename;
    for (int round = 0; round < rounds; ++round) {
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/brindle-windows-bench-XXXXXX"));
        for (int i = 0; i < files; ++i) {
            QFile file(dir.filePath(QStringLiteral("IMG_%1.JPG").arg(i, 5, 10, QChar('0'))));
            (void)file.open(QIODevice::WriteOnly);
        }
        auto* list = new frmRename;
        list->show();
        QCoreApplication::processEvents();
        add.push_back(Timed([&] {
            addFolder dialog(list);
            dialog.ShowFolder(dir.path());
            if (dialog.IsListing()) {  // the listing runs off the window's thread
                QEventLoop listed;
                QObject::connect(&dialog, &addFolder::listed, &listed, &QEventLoop::quit);
                listed.exec();
            }
            dialog.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
            list->AddFileString(dialog.filestring(), AddSource::kAddFolder);
        }));
        list->findChild<QPushButton*>(QStringLiteral("cmdSelectAll"))->click();
        list->findChild<QPushButton*>(QStringLiteral("cmdSetting"))->click();
        frmRename2* editor = list->RuleEditor();
        editor->findChild<QCheckBox*>(QStringLiteral("chkNum"))->click();
        editor->findChild<QLineEdit*>(QStringLiteral("txtAutoNum"))->setText(QStringLiteral("holiday-00001"));
        apply.push_back(Timed([&] { editor->findChild<QPushButton*>(QStringLiteral("cmdApply"))->click(); }));
        rename.push_back(Timed([&] {
            QEventLoop done;  // the renames run off the window's thread
            QObject::connect(list, &frmRename::renamesDone, &done, &QEventLoop::quit);
            list->findChild<QPushButton*>(QStringLiteral("Command4"))->click();
            done.exec();
        }));
        if (!QFile::exists(dir.filePath(QStringLiteral("IMG_%1holiday-%2.JPG").arg(files - 1, 5, 10, QChar('0')).arg(files, 5, 10, QChar('0'))))) {
            std::fprintf(stderr, "the last file was not renamed\n");
            return 1;
        }
        list->close();
        QCoreApplication::processEvents();
    }
    std::printf("rename list, %d files, median of %d rounds:\n", files, rounds);
    std::printf("  add folder   %8.1f ms\n", Median(add));
    std::printf("  apply rule   %8.1f ms\n", Median(apply));
    std::printf("  rename files %8.1f ms\n", Median(rename));
    SetPrompter(nullptr);
    return 0;
}
