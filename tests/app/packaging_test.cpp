#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The desktop entry and the piece file type that the install puts in place.
class PackagingTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dataDir_;

    static QString Packaged(const QString& name) {
        return QStringLiteral(BRINDLE_PACKAGING_DIR "/") + name;
    }

private slots:
    void initTestCase() {
        // The database reads XDG_DATA_DIRS once, at its first use.
        QVERIFY(QDir(dataDir_.path()).mkpath(QStringLiteral("mime/packages")));
        QVERIFY(
            QFile::copy(Packaged(QStringLiteral("tarnwick-brindle.xml")),
                        dataDir_.filePath(QStringLiteral("mime/packages/tarnwick-brindle.xml"))));
        // The system's types sit in the same folder, so that the weights of globs from both
        // are weighed against each other as one installed database weighs them (Qt stops at
        // the first folder that matches a name at all).
        QFile::copy(QStringLiteral("/usr/share/mime/packages/freedesktop.org.xml"),
                    dataDir_.filePath(QStringLiteral("mime/packages/freedesktop.org.xml")));
        qputenv("XDG_DATA_DIRS", dataDir_.path().toLocal8Bit() + ":/usr/share");
    }

    void firstPieceHasItsOwnType() {
        QMimeDatabase database;
        const QString piece = QStringLiteral("application/x-tarnwick-brindle-piece");
        QCOMPARE(
            database
                .mimeTypeForFile(QStringLiteral("/w/data(1).qmf"), QMimeDatabase::MatchExtension)
                .name(),
            piece);
        QCOMPARE(
            database
                .mimeTypeForFile(QStringLiteral("/w/REPORT(1).QMF"), QMimeDatabase::MatchExtension)
                .name(),
            piece);
        QVERIFY(
            database
                .mimeTypeForFile(QStringLiteral("/w/data(2).qmf002"), QMimeDatabase::MatchExtension)
                .name() != piece);
    }

    // A numbered first piece is ours, weighed low: a longer pattern of another type wins.
    void numberedFirstPieceGivesWayToLongerPatterns() {
        QMimeDatabase database;
        const auto type = [&](const char* name) {
            return database.mimeTypeForFile(QString::fromLatin1(name), QMimeDatabase::MatchExtension).name();
        };
        const QString numbered = QStringLiteral("application/x-tarnwick-brindle-numbered-piece");
        QCOMPARE(type("/w/movie.mkv.001"), numbered);
        QCOMPARE(type("/w/backup.zip.001"), numbered);
        if (QFile::exists(dataDir_.filePath(QStringLiteral("mime/packages/freedesktop.org.xml")))) {
            QCOMPARE(type("/w/archive.7z.001"), QStringLiteral("application/x-7z-compressed"));
        }
        QVERIFY(type("/w/movie.mkv.002") != numbered);
    }

    void desktopEntryOpensAPieceWithTheProgram() {
        QSettings entry(Packaged(QStringLiteral("tarnwick-brindle.desktop")), QSettings::IniFormat);
        entry.beginGroup(QStringLiteral("Desktop Entry"));
        QCOMPARE(entry.value(QStringLiteral("Exec")).toString(),
                 QStringLiteral("tarnwick-brindle %f"));
        QVERIFY(entry.value(QStringLiteral("MimeType"))
                    .toString()
                    .contains(QStringLiteral("application/x-tarnwick-brindle-piece")));
        QCOMPARE(entry.value(QStringLiteral("Icon")).toString(),
                 QStringLiteral("tarnwick-brindle"));

        const QString validator =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty()) {
            QSKIP("desktop-file-validate is not installed");
        }
        QProcess validate;
        validate.start(validator, {Packaged(QStringLiteral("tarnwick-brindle.desktop"))});
        QVERIFY(validate.waitForFinished());
        QCOMPARE(validate.exitCode(), 0);
        QCOMPARE(validate.readAllStandardOutput(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(PackagingTest)
#include "packaging_test.moc"
