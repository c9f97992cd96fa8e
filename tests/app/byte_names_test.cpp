#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "join/frm_join.h"
#include "join/frm_join2.h"
#include "join/frm_simple_join.h"
#include "rename/file_add.h"
#include "rename/form3.h"
#include "rename/frm_rename.h"
#include "shell/frm_main.h"
#include "shell/path_text.h"
#include "shell/paths.h"
#include "shell/wizard_state.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/frm_split2.h"
#include "split/frm_split3.h"
#include "support/recording_prompter.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

using test::CloseAllWindows;
using test::OpenWindows;
using test::RecordingPrompter;

constexpr int kJobWait = 30000;
// Latin-1 "café.bin", and the UTF-8 name it turns into once shown: "caf" U+FFFD ".bin".
const std::string kLatin = "caf\xe9.bin";
const std::string kLookAlike = "caf\xef\xbf\xbd.bin";

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename T>
T* Opened() {
    return qobject_cast<T*>(OpenWindows().value(0));
}

void Press(QWidget* window, const char* name) {
    auto* button = window->findChild<QPushButton*>(QLatin1String(name));
    QVERIFY2(button != nullptr, name);
    button->click();
}

}  // namespace

class ByteNamesTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { CloseAllWindows(); }

    // A name that is not UTF-8 is the file every window acts on, even beside the UTF-8 name
    // it looks like once shown.
    void aNameThatIsNotUtf8IsTheFileActedOn() {
        QTemporaryDir dir;
        const std::string folder = dir.path().toStdString();
        const std::string content = std::string(1500, 'a') + std::string(1500, 'b');
        Write(JoinPath(folder, kLatin), content);
        Write(JoinPath(folder, kLookAlike), "the look-alike");
        RecordingPrompter prompter;

        // Started with the name's own bytes, the quick split cuts that file.
        (new frmMain)->Load({JoinPath(folder, kLatin)}, "/");
        QPointer<frmSimple> split = Opened<frmSimple>();
        QVERIFY(split != nullptr);
        Press(split, "cmdSplit");
        QTRY_VERIFY_WITH_TIMEOUT(split.isNull(), kJobWait);
        QVERIFY(prompter.calls.isEmpty());
        const std::string one = Read(JoinPath(folder, "caf\xe9(1).qmf"));
        const std::string two = Read(JoinPath(folder, "caf\xe9(2).qmf002"));
        QCOMPARE(one.size() + two.size(), content.size() + 512);
        QVERIFY(one.substr(256) + two.substr(256) == content);

        // The quick join of that group joins it back under the stored name's own bytes.
        std::remove(JoinPath(folder, kLatin).c_str());
        (new frmMain)->Load({JoinPath(folder, "caf\xe9(1).qmf")}, "/");
        QPointer<frmSimpleJoin> join = Opened<frmSimpleJoin>();
        QVERIFY(join != nullptr);
        Press(join, "cmdJoin");
        QTRY_VERIFY_WITH_TIMEOUT(join.isNull(), kJobWait);
        QVERIFY(prompter.calls.isEmpty());
        QVERIFY(Read(JoinPath(folder, kLatin)) == content);
        QVERIFY(Read(JoinPath(folder, "caf\xc3\xa9.bin")).empty());

        // A dialog's answer that lost the bytes is refused, not taken for the look-alike.
        auto* wizard = new frmSplit;
        wizard->show();
        prompter.paths << QString::fromStdString(JoinPath(folder, kLatin));
        Press(wizard, "cmdNext");
        QCOMPARE(prompter.calls.size(), 3);  // "Please select a file", the dialog, the refusal
        QCOMPARE(prompter.calls.last().title, QStringLiteral("Name Not Readable"));
        QVERIFY(wizard->findChild<QLineEdit*>(QStringLiteral("txtPath"))->text().isEmpty());
        CloseAllWindows();

        // The rename list takes both from the Add Files dialog, and the row given a new name
        // is the file renamed.
        auto* list = new frmRename;
        list->show();
        Press(list, "Command1");
        auto* add = list->findChild<fileAdd*>();
        add->ShowFolder(dir.path());
        QTRY_VERIFY(!add->IsListing());
        auto* files = add->findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        for (int i = 0; i < files->topLevelItemCount(); ++i) {
            if (files->topLevelItem(i)->text(0).endsWith(QLatin1String(".bin"))) {
                files->topLevelItem(i)->setCheckState(0, Qt::Checked);
            }
        }
        Press(add, "Command1");
        QCOMPARE(list->List().rows().size(), std::size_t{2});
        QCOMPARE(list->List().rows()[0].fileName, kLatin);  // sorted by bytes, 0xE9 first
        auto* view = list->findChild<QTreeWidget*>(QStringLiteral("ListView1"));
        QCOMPARE(view->topLevelItem(0)->text(0), view->topLevelItem(1)->text(0));
        view->setCurrentItem(view->topLevelItem(0));
        QTest::keyClick(view, Qt::Key_Return);
        auto* dialog = list->findChild<Form3*>();
        QVERIFY(dialog != nullptr);
        dialog->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("moved"));
        Press(dialog, "Command1");
        Press(list, "Command4");
        QTRY_VERIFY(!list->IsBusy());
        QCOMPARE(prompter.calls.last().text, QStringLiteral("Process Finish."));
        QVERIFY(Read(JoinPath(folder, "moved.bin")) == content);
        QCOMPARE(Read(JoinPath(folder, kLookAlike)), std::string("the look-alike"));
    }

    // The wizards hand such a name from page to page as bytes: the split's group name made
    // from the source's, through Previous and Next; the join's target chosen in the dialog of
    // a folder so named, through Previous and Next, the stored name it offers included.
    void theWizardsKeepTheBytesFromPageToPage() {
        QTemporaryDir dir;
        const std::string folder = JoinPath(dir.path().toStdString(), "d\xe9");
        QVERIFY(std::filesystem::create_directory(folder));
        const std::string content(3000, 'x');
        Write(JoinPath(folder, kLatin), content);
        RecordingPrompter prompter;
        prompter.nextAnswer = Prompter::Answer::No;
        auto* split1 = new frmSplit;
        split1->Values().wizard.SetStartValues();
        split1->show();
        split1->ChooseFile(JoinPath(folder, kLatin));
        Press(split1, "cmdNext");
        auto* split2 = Opened<frmSplit2>();
        QVERIFY(split2 != nullptr);
        prompter.paths << DisplayPath(folder);  // the folder dialog's answer, as shown
        Press(split2, "cmdNext");               // asks for the destination, then stays
        Press(split2, "cmdNext");
        QVERIFY(Opened<frmSplit3>() != nullptr);
        Press(Opened<frmSplit3>(), "cmdPrevious");
        Press(Opened<frmSplit2>(), "cmdNext");
        QVERIFY(Opened<frmSplit3>() != nullptr);
        Press(Opened<frmSplit3>(), "cmdSplit");
        QTRY_VERIFY_WITH_TIMEOUT(!prompter.calls.isEmpty() && prompter.calls.last().title == QStringLiteral("Completed"),
                                 kJobWait);
        const std::string first = JoinPath(folder, "caf\xe9(1).qmf");
        QCOMPARE(Read(first).size(), std::size_t{1500 + 256});
        CloseAllWindows();

        auto* join1 = new frmJoin;
        join1->show();
        join1->ShowGroupOf(first);
        QTRY_VERIFY(join1->cmdNext->isEnabled());
        join1->cmdNext->click();
        auto* join2 = Opened<frmJoin2>();
        QVERIFY(join2 != nullptr);
        std::filesystem::remove(JoinPath(folder, kLatin));  // so that the stored name is free
        // Only what was offered keeps its bytes: another name that lost them is refused.
        prompter.paths << DisplayPath(JoinPath(folder, "x\xff.bin")) << DisplayPath(JoinPath(folder, "joined.bin"))
                       << DisplayPath(JoinPath(folder, kLatin));  // the stored name it offers, as shown
        join2->findChild<QToolButton*>(QStringLiteral("cmdBrowse"))->click();
        QCOMPARE(prompter.calls.last().title, QStringLiteral("Name Not Readable"));
        join2->findChild<QToolButton*>(QStringLiteral("cmdBrowse"))->click();
        join2->findChild<QToolButton*>(QStringLiteral("cmdBrowse"))->click();
        Press(join2, "cmdPrevious");
        join1 = Opened<frmJoin>();
        QVERIFY(join1 != nullptr);
        join1->group->setCurrentItem(join1->group->topLevelItem(0));
        join1->cmdNext->click();
        join2 = Opened<frmJoin2>();
        QVERIFY(join2 != nullptr);
        prompter.calls.clear();
        join2->cmdJoin->click();
        QTRY_VERIFY_WITH_TIMEOUT(!prompter.calls.isEmpty(), kJobWait);
        QCOMPARE(prompter.calls.first().text, QStringLiteral("Merge successfully. Do you want to view the folder now?"));
        QVERIFY(Read(JoinPath(folder, kLatin)) == content);
        std::filesystem::remove_all(folder);  // QTemporaryDir cannot name what is in it
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::ByteNamesTest)
#include "byte_names_test.moc"
