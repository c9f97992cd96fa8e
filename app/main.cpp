#include <QApplication>
#include <QIcon>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "shell/artwork.h"
#include "shell/job_runner.h"
#include "shell/startup.h"
#include "shell/stop_signals.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(brindle::app::kProductName);
    QApplication::setApplicationVersion(QStringLiteral(BRINDLE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick-brindle"));
    brindle::app::EnsureArtwork();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/artwork/app_icon.svg")));
    brindle::app::ApplyEnvironmentOverrides();
    brindle::app::EndOnStopSignals();

    // The arguments' own bytes (Qt has taken out its options by now): a name that is not UTF-8
    // would not survive QApplication::arguments().
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    std::error_code error;
    const std::string currentFolder = std::filesystem::current_path(error).string();
    if (!brindle::app::StartUp(arguments, currentFolder)) {
        return 0;
    }
    const int code = QApplication::exec();
    // An explicit quit (the quick join's) must not cut a job short either.
    brindle::app::JobRunner::WaitForAll();
    return code;
}
