#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <signal.h>

// Runs the real program: the first instance holds the lock, a second one ends silently.
class SingleInstanceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir settingsDir_;
    QTemporaryDir runtimeDir_;

    QString LockFile() const {
        return runtimeDir_.filePath(QStringLiteral("Hollowmere_APPLICATION_MUTEX.lock"));
    }

    void Start(QProcess& process, const QStringList& arguments = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("BRINDLE_SETTINGS_DIR"), settingsDir_.path());
        environment.insert(QStringLiteral("BRINDLE_RUNTIME_DIR"), runtimeDir_.path());
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QStringLiteral(BRINDLE_PROGRAM_PATH), arguments);
        QVERIFY(process.waitForStarted());
    }

    // QLockFile writes the owner's process id on its first line.
    qint64 LockOwner() const {
        QFile lock(LockFile());
        if (!lock.open(QIODevice::ReadOnly)) {
            return -1;
        }
        return lock.readLine().trimmed().toLongLong();
    }

    static void Stop(QProcess& process) {
        process.kill();
        process.waitForFinished();
    }

    QString RecordedValue(const QString& name) const {
        QSettings record(settingsDir_.filePath(QStringLiteral("Tarnwick/Tarnwick Brindle.conf")),
                         QSettings::IniFormat);
        return record.value(name).toString();
    }

private slots:
    void secondInstanceEndsSilentlyAndAStaleLockIsTakenOver() {
        QProcess first;
        Start(first);
        QTRY_COMPARE_WITH_TIMEOUT(LockOwner(), first.processId(), 20000);
        QCOMPARE(RecordedValue(QStringLiteral("NAME")), QStringLiteral("Tarnwick Brindle"));
        QCOMPARE(RecordedValue(QStringLiteral("VERSION")), QStringLiteral("1.1.0"));

        // The second start still records, but never overwrites.
        {
            QSettings record(
                settingsDir_.filePath(QStringLiteral("Tarnwick/Tarnwick Brindle.conf")),
                QSettings::IniFormat);
            record.setValue(QStringLiteral("VERSION"), QStringLiteral("1.0.0"));
        }
        QProcess second;
        Start(second, {QStringLiteral("-r")});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(RecordedValue(QStringLiteral("VERSION")), QStringLiteral("1.0.0"));

        // A killed owner leaves its lock behind; the next start takes it over and stays.
        Stop(first);
        QVERIFY(QFile::exists(LockFile()));
        QProcess third;
        Start(third);
        QTRY_COMPARE_WITH_TIMEOUT(LockOwner(), third.processId(), 20000);
        QTest::qWait(300);
        QCOMPARE(third.state(), QProcess::Running);
        Stop(third);
    }
    // A log-out's SIGTERM or SIGHUP ends the program with 128 + the signal, its lock and
    // socket gone.
    void aStopSignalEndsTheProgramAndItsInstanceFiles() {
        for (const int number : {SIGTERM, SIGHUP}) {
            QProcess program;
            Start(program);
            QTRY_COMPARE_WITH_TIMEOUT(LockOwner(), program.processId(), 20000);
            ::kill(static_cast<pid_t>(program.processId()), number);
            QVERIFY(program.waitForFinished(20000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 128 + number);
            QCOMPARE(QDir(runtimeDir_.path()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList());
        }
    }
};

QTEST_GUILESS_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
