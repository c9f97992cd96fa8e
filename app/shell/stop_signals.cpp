#include "shell/stop_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdlib>

#include "shell/job_runner.h"
#include "shell/startup.h"

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#define BRINDLE_STOP_SIGNALS 1
#endif

namespace brindle::app {
namespace {

std::function<void(int)>& StopExit() {
    // No return through main: the windows would show "cancelled" boxes to nobody.
    static std::function<void(int)> exit = [](int code) { std::_Exit(code); };
    return exit;
}

#if defined(BRINDLE_STOP_SIGNALS)
// The handler only writes the signal's number here; the interface thread reads it.
int g_pipe[2] = {-1, -1};

void NoteSignal(int number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}
#endif

}  // namespace

void EndOnStopSignals() {
#if defined(BRINDLE_STOP_SIGNALS)
    if (g_pipe[0] >= 0 || ::pipe(g_pipe) != 0) {
        return;
    }
    for (const int end : g_pipe) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    ::fcntl(g_pipe[1], F_SETFL, O_NONBLOCK);  // a handler never waits
    auto* notifier =
        new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        unsigned char number = 0;
        if (::read(g_pipe[0], &number, 1) != 1) {
            return;
        }
        JobRunner::StopAll();
        ReleaseSingleInstance();
        StopExit()(128 + number);
    });
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the interface thread's calls go on undisturbed
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(number, &action, nullptr);
    }
#endif
}

void SetStopExit(std::function<void(int code)> exit) {
    StopExit() = std::move(exit);
}

}  // namespace brindle::app
