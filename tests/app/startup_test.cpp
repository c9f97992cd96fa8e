#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>
#include <future>
#include <utility>
#include <pwd.h>
#include <unistd.h>

#include "join/frm_simple_join.h"
#include "join/join_state.h"
#include "rename/frm_rename.h"
#include "shell/frm_main.h"
#include "shell/image_control.h"
#include "shell/registry.h"
#include "shell/startup.h"
#include "shell/wizard_state.h"
#include "split/frm_simple.h"
#include "split/frm_split.h"
#include "split/split_state.h"
#include "support/window_helpers.h"

namespace brindle::app {
namespace {

using test::Click;
using test::CloseAllWindows;
using test::Hover;
using test::OpenWindows;

const QString kKey = QStringLiteral("SOFTWARE\\Tarnwick\\Tarnwick Brindle");

}  // namespace

class StartupTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settingsDir_;
    QTemporaryDir runtimeDir_;

private slots:
    void initTestCase() {
        QVERIFY(settingsDir_.isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settingsDir_.path());
        qputenv("BRINDLE_RUNTIME_DIR", runtimeDir_.path().toLocal8Bit());
    }

    void init() {
        QSettings record(QSettings::SystemScope, QStringLiteral("Tarnwick"),
                         QStringLiteral("Tarnwick Brindle"));
        record.clear();
    }

    void cleanup() {
        CloseAllWindows();
        ReleaseSingleInstance();
    }

    void registryReadsMissingValuesAsEmptyText() {
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("NOPE")), QString());
        QCOMPARE(
            ReadMachineValue(QStringLiteral("SOFTWARE\\Nobody\\Nothing"), QStringLiteral("NAME")),
            QString());
        // A path outside SOFTWARE\<organisation>\<application> is silently refused.
        WriteMachineValue(QStringLiteral("Tarnwick"), QStringLiteral("A"), QStringLiteral("x"),
                          kRegString);
        QCOMPARE(ReadMachineValue(QStringLiteral("Tarnwick"), QStringLiteral("A")), QString());
    }

    void registryRoundTripsStringsAndNumbers() {
        WriteMachineValue(kKey, QStringLiteral("S"), QStringLiteral("Ünïcode, spaces"), kRegString);
        WriteMachineValue(kKey, QStringLiteral("E"), QString(), kRegString);
        WriteMachineValue(kKey, QStringLiteral("D"), -42, kRegDword);
        WriteMachineValue(kKey, QStringLiteral("X"), QStringLiteral("ignored"), 3);
        WriteMachineValue(kKey + QStringLiteral("\\Sub"), QString(), QStringLiteral("default"),
                          kRegString);
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("S")), QStringLiteral("Ünïcode, spaces"));
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("E")), QString());
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("D")), QStringLiteral("-42"));
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("X")), QString());
        QCOMPARE(ReadMachineValue(kKey + QStringLiteral("\\Sub"), QString()),
                 QStringLiteral("default"));

        QSettings key(QSettings::SystemScope, QStringLiteral("Tarnwick"),
                      QStringLiteral("Tarnwick Brindle"));
        QString untouched = QStringLiteral("before");
        QCOMPARE(ReadValue(key, QStringLiteral("NOPE"), untouched), kRegNotFound);
        QCOMPARE(untouched, QStringLiteral("before"));
    }

    void installationRecordIsWrittenOnceAndNeverOverwritten() {
        RecordInstallation();
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("NAME")),
                 QStringLiteral("Tarnwick Brindle"));
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("VERSION")), QStringLiteral("1.1.0"));
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("PATH")),
                 QCoreApplication::applicationDirPath());
        QVERIFY(!ReadMachineValue(kKey, QStringLiteral("PATH")).endsWith(QLatin1Char('/')));

        // An older version stays; an emptied value is filled again.
        WriteMachineValue(kKey, QStringLiteral("VERSION"), QStringLiteral("1.0.0"), kRegString);
        WriteMachineValue(kKey, QStringLiteral("PATH"), QString(), kRegString);
        RecordInstallation();
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("VERSION")), QStringLiteral("1.0.0"));
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("PATH")),
                 QCoreApplication::applicationDirPath());
    }

    void installationRecordFailsSilentlyWithoutWriteAccess() {
        // A folder below a plain file cannot be created, not even by root.
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, blocker.fileName());
        RecordInstallation();
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("NAME")), QString());
        QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, settingsDir_.path());
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("NAME")), QString());
    }

    void singleInstanceLockIsHeldUntilReleased() {
        QVERIFY(CheckSingleInstance(kInstanceMutexName));
        QVERIFY(QFile::exists(
            runtimeDir_.filePath(QStringLiteral("Hollowmere_APPLICATION_MUTEX.lock"))));
        QVERIFY(!CheckSingleInstance(kInstanceMutexName));
        ReleaseSingleInstance();
        QVERIFY(CheckSingleInstance(kInstanceMutexName));
    }

    // The lock and socket go only to a folder no one else can enter: the runtime folder, else
    // one of the user's own made for them. A shared, foreign or linked folder is refused, and
    // with none left the program goes without the guard.
    void theInstanceFolderIsPrivateOrThereIsNone() {
        QTemporaryDir shared;  // as /tmp: open to all
        QTemporaryDir cache;
        QTemporaryDir mine;
        QVERIFY(QFile::setPermissions(shared.path(), QFileDevice::Permissions(0x7777)));
        const QString made = shared.filePath(QStringLiteral("tarnwick-brindle-%1").arg(::geteuid()));
        const QString cached = cache.filePath(QStringLiteral("tarnwick-brindle"));
        const QString link = mine.filePath(QStringLiteral("link"));
        QVERIFY(QFile::link(mine.path(), link));
        const QByteArray runtime = qgetenv("BRINDLE_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", shared.path().toLocal8Bit());
        qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
        // Qt's own fallback, refused: its name is taken by a file.
        QFile taken(shared.filePath(QStringLiteral("runtime-") + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name)));
        QVERIFY(taken.open(QIODevice::WriteOnly));

        QString why;
        struct Case {
            QString forced;
            QString expected;
        };
        const Case cases[] = {
            {runtime, runtime},
            {shared.path(), {}},
            {link, {}},
            {{}, made},    // made, 0700, in the shared folder
            {{}, made},    // and used again
        };
        for (const Case& test : cases) {
            qputenv("BRINDLE_RUNTIME_DIR", test.forced.toLocal8Bit());
            QCOMPARE(InstanceFolder(&why), test.expected);
        }
        QCOMPARE(QFileInfo(made).permissions() & 0x0077, QFileDevice::Permissions());
        // Someone else's folder (or one open to others) under that name is passed over.
        QVERIFY(QFile::setPermissions(made, QFileDevice::Permissions(0x7777)));
        QCOMPARE(InstanceFolder(&why), cached);
        if (::geteuid() == 0) {
            QVERIFY(::chown(QFile::encodeName(cached).constData(), 65534, 65534) == 0);
            QCOMPARE(InstanceFolder(&why), QString());
            QVERIFY2(why.contains(QStringLiteral("belongs to another user")), qPrintable(why));
            QVERIFY(why.contains(QStringLiteral("is open to other users")));
        }
        // Without a folder the program still starts, unguarded.
        qputenv("BRINDLE_RUNTIME_DIR", shared.path().toLocal8Bit());
        QVERIFY(CheckSingleInstance(kInstanceMutexName));
        QVERIFY(CheckSingleInstance(kInstanceMutexName));
        QVERIFY(QDir(shared.path()).entryList({QStringLiteral("Hollowmere*")}, QDir::AllEntries | QDir::System).isEmpty());
        qputenv("BRINDLE_RUNTIME_DIR", runtime);
        qunsetenv("TMPDIR");
        qunsetenv("XDG_CACHE_HOME");
    }

    void startUpRecordsThenRefusesASecondInstance() {
        QVERIFY(StartUp({}, "/"));
        QCOMPARE(OpenWindows().size(), 1);
        QCOMPARE(ReadMachineValue(kKey, QStringLiteral("NAME")),
                 QStringLiteral("Tarnwick Brindle"));
        // The second start, as from another process: it ends once this one took its request.
        std::future<std::pair<bool, int>> second = std::async(std::launch::async, [] {
            int code = -1;
            const bool goesOn = StartUp({"-r"}, "/", &code);
            return std::pair(goesOn, code);
        });
        QTRY_VERIFY(second.wait_for(std::chrono::seconds(0)) == std::future_status::ready);
        QCOMPARE(second.get(), std::pair(false, 0));
        QTRY_VERIFY(OpenWindows().size() == 1 && qobject_cast<frmRename*>(OpenWindows().front()) != nullptr);
    }

    void commandLineOpensTheRightWindow_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("window");
        QTest::addColumn<QStringList>("values");  // JoinFolder, JoinGroupName or split values

        QTest::newRow("no argument") << QStringList() << "frmMain" << QStringList();
        QTest::newRow("empty last argument")
            << QStringList{QStringLiteral("/work/movie.avi"), QString()} << "frmMain"
            << QStringList();
        QTest::newRow("rename switch")
            << QStringList{QStringLiteral("-r")} << "frmRename" << QStringList();
        QTest::newRow("rename switch with a file")
            << QStringList{QStringLiteral("-r"), QStringLiteral("/work/data(1).qmf")} << "frmRename"
            << QStringList();
        QTest::newRow("first piece")
            << QStringList{QStringLiteral("/work/data(1).qmf")} << "frmSimpleJoin"
            << QStringList{QStringLiteral("/work"), QStringLiteral("data")};
        QTest::newRow("first piece upper case")
            << QStringList{QStringLiteral("/work/Report(1).QMF")} << "frmSimpleJoin"
            << QStringList{QStringLiteral("/work"), QStringLiteral("Report")};
        QTest::newRow("later piece is split")
            << QStringList{QStringLiteral("/work/data(2).qmf002")} << "frmSimple"
            << QStringList{QStringLiteral("/work/data(2).qmf002"), QStringLiteral("/work/"),
                           QStringLiteral("data(2)")};
        QTest::newRow("split switch on a first piece")
            << QStringList{QStringLiteral("-s"), QStringLiteral("/work/data(1).qmf")} << "frmSimple"
            << QStringList{QStringLiteral("/work/data(1).qmf"), QStringLiteral("/work/"),
                           QStringLiteral("data(1)")};
        QTest::newRow("file to split")
            << QStringList{QStringLiteral("/work/movie.avi")} << "frmSimple"
            << QStringList{QStringLiteral("/work/movie.avi"), QStringLiteral("/work/"),
                           QStringLiteral("movie")};
        QTest::newRow("relative path")
            << QStringList{QStringLiteral("clips/holiday video.mp4")} << "frmSimple"
            << QStringList{QStringLiteral("/home/me/clips/holiday video.mp4"),
                           QStringLiteral("/home/me/clips/"), QStringLiteral("holiday video")};
    }

    void commandLineOpensTheRightWindow() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, window);
        QFETCH(QStringList, values);
        auto* main = new frmMain;
        const QPointer<frmMain> guard(main);
        std::vector<std::string> words;
        for (const QString& argument : arguments) {
            words.push_back(argument.toStdString());
        }
        main->Load(words, "/home/me");

        const QList<QWidget*> open = OpenWindows();
        QCOMPARE(open.size(), 1);
        QCOMPARE(open.front()->objectName(), window);
        QCOMPARE(guard.isNull(), window != QLatin1String("frmMain"));

        if (window == QLatin1String("frmSimpleJoin")) {
            QCOMPARE(QString::fromStdString(test::ValuesIn(open.front()).join.JoinFolder), values[0]);
            QCOMPARE(QString::fromStdString(test::ValuesIn(open.front()).join.JoinGroupName), values[1]);
        } else if (window == QLatin1String("frmSimple")) {
            QCOMPARE(QString::fromStdString(test::ValuesIn(open.front()).split.SplitSourcePath), values[0]);
            QCOMPARE(QString::fromStdString(test::ValuesIn(open.front()).split.SplitDestFolder), values[1]);
            QCOMPARE(QString::fromStdString(test::ValuesIn(open.front()).split.SplitGroupName), values[2]);
        }
        // Only a start without a file sets the wizard's start values.
        const bool mainWindow = window == QLatin1String("frmMain");
        QCOMPARE(test::ValuesIn(open.front()).wizard.SavedPieceCount, std::string(mainWindow ? "2" : ""));
        QCOMPARE(test::ValuesIn(open.front()).wizard.SavedPieceSize, std::string(mainWindow ? "1" : ""));
    }

    // "Rename with" of the file manager: the files after the switch are listed, and every
    // file of a folder; a relative name lies in the current folder.
    void renameSwitchListsWhatFollowsIt() {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        for (const char* name : {"a.jpg", "sub/x.txt", "sub/y.txt"}) {
            QFile file(dir.filePath(QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        auto* main = new frmMain;
        main->Load({"-r", dir.filePath(QStringLiteral("a.jpg")).toStdString(), "sub", "gone.jpg"},
                   dir.path().toStdString());
        const QList<QWidget*> open = OpenWindows();
        auto* list = open.size() == 1 ? qobject_cast<frmRename*>(open.front()) : nullptr;
        QVERIFY(list != nullptr);
        QStringList names;
        for (const RenameRow& row : list->List().rows()) {
            names << QString::fromStdString(row.fileName);
        }
        QCOMPARE(names, (QStringList{"x.txt", "y.txt", "a.jpg"}));
    }

    void mainWindowHoverMovesFromPictureToPicture() {
        frmMain* main = new frmMain;
        main->Load({}, "/");
        const ImageList& images = main->ImageList1();
        auto* split = main->findChild<ImageControl*>(QStringLiteral("imgAction_0"));
        auto* merge = main->findChild<ImageControl*>(QStringLiteral("imgAction_1"));
        auto* rename = main->findChild<ImageControl*>(QStringLiteral("imgAction_2"));
        QVERIFY(split && merge && rename);
        QVERIFY(images.Shows(split, QStringLiteral("split")));
        QVERIFY(images.Shows(merge, QStringLiteral("merge")));
        QVERIFY(images.Shows(rename, QStringLiteral("rename")));

        Hover(merge);
        QVERIFY(images.Shows(merge, QStringLiteral("mergeover")));
        Hover(rename);
        QVERIFY(images.Shows(merge, QStringLiteral("merge")));
        QVERIFY(images.Shows(rename, QStringLiteral("renameover")));

        // Over the surface between the pictures, decoration included, all turn plain again.
        QTest::mouseMove(main, QPoint(144, 100));
        QVERIFY(images.Shows(rename, QStringLiteral("rename")));
        Hover(split);
        QTest::mouseMove(main, QPoint(5, 205));
        QVERIFY(images.Shows(split, QStringLiteral("split")));

        // A look-alike picture is not the picture under the key.
        split->setPixmap(images.Picture(QStringLiteral("split")).copy());
        QVERIFY(!images.Shows(split, QStringLiteral("split")));
        main->ResetActionImages();
        QVERIFY(images.Shows(split, QStringLiteral("split")));

        QCOMPARE(main->windowTitle(), QStringLiteral("Tarnwick Brindle"));
        QVERIFY(main->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(main->findChild<QWidget*>(QStringLiteral("Image2"))->toolTip(),
                 QStringLiteral("Minimise"));
        QCOMPARE(main->findChild<QWidget*>(QStringLiteral("Image1"))->toolTip(),
                 QStringLiteral("Close"));
    }

    void mainWindowJobClickReplacesIt_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("window");
        QTest::newRow("split") << 0 << "frmSplit";
        QTest::newRow("merge") << 1 << "frmJoin";
        QTest::newRow("rename") << 2 << "frmRename";
    }

    void mainWindowJobClickReplacesIt() {
        QFETCH(int, index);
        QFETCH(QString, window);
        QPointer<frmMain> main = new frmMain;
        main->Load({}, "/");
        test::MoveWindow(main, QPoint(123, 77));
        Hover(main->findChild<ImageControl*>(QStringLiteral("imgAction_%1").arg(index)));
        Click(main->findChild<ImageControl*>(QStringLiteral("imgAction_%1").arg(index)));

        const QList<QWidget*> open = OpenWindows();
        QVERIFY(main.isNull());
        QCOMPARE(open.size(), 1);
        QCOMPARE(open.front()->objectName(), window);
        QCOMPARE(test::WindowPos(open.front()), QPoint(123, 77));
    }

    void mainWindowRightClickOpensNothing() {
        QPointer<frmMain> main = new frmMain;
        main->Load({}, "/");
        Click(main->findChild<ImageControl*>(QStringLiteral("imgAction_0")), Qt::RightButton);
        QVERIFY(!main.isNull());
        QCOMPARE(OpenWindows(), QList<QWidget*>{main.data()});
    }
};

}  // namespace brindle::app

QTEST_MAIN(brindle::app::StartupTest)
#include "startup_test.moc"
