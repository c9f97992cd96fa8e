#include <QDir>
#include <QFile>
#include <QHash>
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
    // As built for installing, with the catalogues' languages in it.
    static QString Built(const QString& name) {
        return QStringLiteral(BRINDLE_DESKTOP_DIR "/") + name;
    }

    // The keys of one group of a desktop file, "Name[de]" and the like as they stand.
    static QHash<QString, QString> Group(const QString& path, const QString& group) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            return {};
        }
        QHash<QString, QString> keys;
        bool inGroup = false;
        for (const QString& line : QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1Char('['))) {
                inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
            } else if (const qsizetype equals = line.indexOf(QLatin1Char('=')); inGroup && equals > 0) {
                keys.insert(line.left(equals), line.mid(equals + 1));
            }
        }
        return keys;
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

    // The installed entry, menus and AppStream record speak German, French and Spanish
    // (deb_test.sh validates them as installed).
    void desktopFilesAreTranslated() {
        const QString entry = Built(QStringLiteral("tarnwick-brindle.desktop"));
        QCOMPARE(Group(entry, QStringLiteral("Desktop Entry")).value(QStringLiteral("Comment[fr]")),
                 QStringLiteral("Découper des fichiers en morceaux, les réassembler et renommer des fichiers par lot"));
        QCOMPARE(Group(entry, QStringLiteral("Desktop Action rename")).value(QStringLiteral("Name[es]")),
                 QStringLiteral("Cambio de nombre por lotes"));
        for (const char* job : {"split", "merge", "rename"}) {
            const QString menu = QStringLiteral("servicemenus/tarnwick-brindle-%1.desktop").arg(QLatin1String(job));
            const auto action = Group(Built(menu), QStringLiteral("Desktop Action ") + QLatin1String(job));
            const auto nemo = Group(Built(QStringLiteral("nemo/tarnwick-brindle-%1.nemo_action").arg(QLatin1String(job))),
                                    QStringLiteral("Nemo Action"));
            QVERIFY2(action.value(QStringLiteral("Name[de]")).startsWith(QStringLiteral("Mit Tarnwick Brindle ")), job);
            QCOMPARE(nemo.value(QStringLiteral("Name[de]")), action.value(QStringLiteral("Name[de]")));
        }
        QFile metainfo(Built(QStringLiteral("com.tarnwick.brindle.metainfo.xml")));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        const QString record = QString::fromUtf8(metainfo.readAll());
        QVERIFY(record.contains(QStringLiteral("<summary xml:lang=\"de\">Dateien in Teile aufteilen")));
        QVERIFY(record.contains(QStringLiteral("<p xml:lang=\"es\">Tarnwick Brindle divide")));
        QVERIFY(!record.contains(QStringLiteral("<name xml:lang")));  // the name stays
    }
};

QTEST_GUILESS_MAIN(PackagingTest)
#include "packaging_test.moc"
