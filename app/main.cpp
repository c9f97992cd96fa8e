#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "shell/artwork.h"
#include "shell/command_line.h"
#include "shell/desktop_bus.h"
#include "shell/job_runner.h"
#include "shell/startup.h"
#include "shell/stop_signals.h"
#include "shell/theme.h"
#include "shell/translate.h"
#include "shell/translations.h"

namespace {

// --help and --version answer before any display is needed.
int AnswerOptions(const brindle::ProgramOptions& options) {
    switch (options.request) {
        case brindle::ProgramRequest::kHelp:
            std::fputs(brindle::ProgramUsage(), stdout);
            return 0;
        case brindle::ProgramRequest::kVersion:
            std::puts("tarnwick-brindle " BRINDLE_VERSION);
            return 0;
        case brindle::ProgramRequest::kUnknownOption:
            std::fprintf(
                stderr, "%s\n",
                QCoreApplication::translate(
                    "Program",
                    "tarnwick-brindle: unknown option '%1'\n"
                    "Try 'tarnwick-brindle --help'; a name that begins with '-' goes after '--'.")
                    .arg(QString::fromLocal8Bit(options.problem))
                    .toLocal8Bit()
                    .constData());
            return 2;
        case brindle::ProgramRequest::kStart:
            break;
    }
    return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
    // One language for the windows, the core's reasons and --help, taken before anything speaks.
    brindle::UseDesktopLanguage();
    // Qt's own options (-platform, -style ...) are not known yet: only help and version count.
    if (const brindle::ProgramOptions early = brindle::ParseProgramOptions({argv + 1, argv + argc});
        early.request == brindle::ProgramRequest::kHelp || early.request == brindle::ProgramRequest::kVersion) {
        return AnswerOptions(early);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(brindle::app::kProductName);
    QApplication::setApplicationVersion(QStringLiteral(BRINDLE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("tarnwick-brindle"));
    brindle::app::LoadTranslations();
    brindle::app::EnsureArtwork();
    brindle::app::UseReadableStyle();
    // The installed theme has a drawing of its own for 16 pixels, which title bars use.
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tarnwick-brindle"),
                                                 QIcon(QStringLiteral(":/artwork/app_icon.svg"))));
    brindle::app::ApplyEnvironmentOverrides();
    brindle::app::EndOnStopSignals();

    // The arguments' own bytes (Qt has taken out its options by now): a name that is not UTF-8
    // would not survive QApplication::arguments().
    const brindle::ProgramOptions options = brindle::ParseProgramOptions({argv + 1, argv + argc});
    if (const int code = AnswerOptions(options); code >= 0) {
        return code;
    }
    std::error_code error;
    const std::string currentFolder = std::filesystem::current_path(error).string();
    if (int handedOver = 0; !brindle::app::StartUp(options.arguments, currentFolder, &handedOver)) {
        return handedOver;
    }
    const int code = QApplication::exec();
    // An explicit quit (the quick join's) must not cut a job short either.
    brindle::app::JobRunner::WaitForAll();
    brindle::app::desktop_bus::End();
    return code;
}
