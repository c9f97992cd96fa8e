#include <QDBusConnection>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <chrono>

#include "shell/desktop_bus.h"
#include "shell/job_runner.h"
#include "shell/job_values.h"
#include "split/frm_simple.h"
#include "support/recording_prompter.h"

using namespace brindle;
using namespace brindle::app;
using namespace std::chrono_literals;

namespace {

const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

// A notification service and a task bar of the test's own, on a connection of their own.
class Desktop final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QStringList notes;  // summary, icon, desktop entry and first action of each notification
    QList<QVariantMap> updates;

public slots:
    uint Notify(const QString&, uint, const QString& icon, const QString& summary, const QString&,
                const QStringList& actions, const QVariantMap& hints, int) {
        notes << QStringList{summary, icon, hints.value("desktop-entry").toString(), actions.value(0)}.join('|');
        return 40 + notes.size();
    }
    void Update(const QString& uri, const QVariantMap& properties) {
        updates << properties;
        QCOMPARE(uri, QStringLiteral("application://tarnwick-brindle.desktop"));
    }
};

}  // namespace

// Run under dbus-run-session: the bus is the test's own.
class DesktopBusTest : public QObject {
    Q_OBJECT

    QDBusConnection service_ = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "service");
    Desktop desktop_;

    static void RunJob(JobRunner& runner, Status status) {
        QSignalSpy ended(&runner, &JobRunner::finished);
        QVERIFY(runner.Start([status](Progress&) { return status; }));
        QVERIFY(ended.wait());
    }

private slots:
    void initTestCase() {
        if (!QDBusConnection::sessionBus().isConnected() || !service_.isConnected()) {
            QSKIP("no session bus (run under dbus-run-session)");
        }
        QVERIFY(service_.registerObject(kPath, &desktop_, QDBusConnection::ExportAllSlots));
        QVERIFY(service_.registerService(kNotifications));
        QVERIFY(service_.connect(QString(), QStringLiteral("/com/canonical/unity/launcherentry/tarnwick_brindle"),
                                 QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"),
                                 &desktop_, SLOT(Update(QString, QVariantMap))));
        desktop_bus::NoticeAfter() = 0ms;
    }
    void init() {
        desktop_.notes.clear();
        desktop_.updates.clear();
    }

    // A minimised quick split: the task bar follows it, a few times a second, and is cleared
    // at its end; one notification names the file and its pieces.
    void aSplitEndingUnseenIsNotifiedAndShownInTheTaskBar() {
        QTemporaryDir dir;
        QFile source(dir.filePath("Holiday Film 2024.mkv"));
        QVERIFY(source.open(QIODevice::WriteOnly) && source.write(QByteArray(40'000'000, 'x')) > 0);
        source.close();
        auto values = std::make_shared<JobValues>();
        values->split.SplitSourcePath = source.fileName().toStdString();
        values->split.SplitDestFolder = (dir.path() + "/").toStdString();
        values->split.SplitGroupName = "Holiday Film 2024";
        test::RecordingPrompter prompter;
        QPointer<frmSimple> quick = new frmSimple(values);
        quick->window()->showMinimized();
        quick->findChild<QLineEdit*>("txtNum")->setText("3");
        QElapsedTimer split;
        split.start();
        quick->findChild<QPushButton*>("cmdSplit")->click();
        QTRY_VERIFY_WITH_TIMEOUT(quick.isNull(), 30000);
        const qint64 took = split.elapsed();
        QTRY_COMPARE(desktop_.notes, QStringList{"Holiday Film 2024.mkv was split into 3 pieces.|tarnwick-brindle|"
                                                 "tarnwick-brindle|default"});
        QTRY_VERIFY(!desktop_.updates.isEmpty() && !desktop_.updates.last().value("progress-visible").toBool());
        // Of the hundreds of steps the bar takes.
        QVERIFY(desktop_.updates.size() >= 2 && desktop_.updates.size() <= took / 250 + 2);
        const QVariantMap& shown = desktop_.updates.first();
        QVERIFY(shown.value("progress-visible").toBool() && shown.value("progress").toDouble() <= 1);
    }

    // A failure says why; the default action brings the window back. Short jobs and jobs
    // whose window is in front end quietly; without a service nothing is said, not even a
    // warning.
    void failuresAndTheDefaultActionAndQuietEnds() {
        QWidget window;
        window.showMinimized();
        JobRunner runner(JobKind::kJoin, &window);
        RunJob(runner, Status::IoError("data(2).qmf002 is damaged."));
        QTRY_COMPARE(desktop_.notes.size(), 1);
        QVERIFY(desktop_.notes.at(0).startsWith("The merge failed: data(2).qmf002 is damaged.|"));
        QDBusMessage action = QDBusMessage::createSignal(kPath, kNotifications, QStringLiteral("ActionInvoked"));
        QVERIFY(service_.send(action << uint(41) << QStringLiteral("default")));
        QTRY_VERIFY(!window.isMinimized());

        desktop_bus::NoticeAfter() = 1h;
        window.showMinimized();
        RunJob(runner, Status::Ok());
        desktop_bus::NoticeAfter() = 0ms;
        QWidget front;
        front.show();
        front.activateWindow();
        QTRY_VERIFY(front.isActiveWindow());
        JobRunner seen(JobKind::kSplit, &front);
        RunJob(seen, Status::Ok());
        QVERIFY(service_.unregisterService(kNotifications));
        QTest::failOnWarning(QRegularExpression(".*"));
        RunJob(runner, Status::Ok());
        QTest::qWait(300);
        QVERIFY(service_.registerService(kNotifications));
        RunJob(runner, Status::Ok());  // the one that is told
        QTRY_COMPARE(desktop_.notes.size(), 2);
        QTest::qWait(300);
        QCOMPARE(desktop_.notes.size(), 2);
        QVERIFY(desktop_.notes.at(1).startsWith("The merge is finished.|"));
    }
};

QTEST_MAIN(DesktopBusTest)
#include "desktop_bus_test.moc"
