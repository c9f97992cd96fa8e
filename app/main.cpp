#include <QApplication>
#include <QDir>
#include <QIcon>

#include "shell/artwork.h"
#include "shell/job_runner.h"
#include "shell/startup.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(brindle::app::kProductName);
    QApplication::setApplicationVersion(QStringLiteral(BRINDLE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick-brindle"));
    brindle::app::EnsureArtwork();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/artwork/app_icon.svg")));
    brindle::app::ApplyEnvironmentOverrides();

    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    if (!brindle::app::StartUp(arguments, QDir::currentPath())) {
        return 0;
    }
    const int code = QApplication::exec();
    // An explicit quit (the quick join's) must not cut a job short either.
    brindle::app::JobRunner::WaitForAll();
    return code;
}
