#include "stop_signal.h"

#include <csignal>

#include "cli.h"

#if defined(__unix__) || defined(__APPLE__)
#include <signal.h>
#endif

namespace brindle::cli {
namespace {

volatile std::sig_atomic_t g_caught = 0;

void NoteSignal(int number) { g_caught = number; }

}  // namespace

void CatchStopSignals() {
#if defined(__unix__) || defined(__APPLE__)
    struct sigaction action {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    // No restart: a blocked read or write returns at the signal, so the job sees the stop
    // without waiting for a slow disk.
    action.sa_flags = 0;
    for (const int number : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(number, &action, nullptr);
    }
#else
    std::signal(SIGINT, NoteSignal);
    std::signal(SIGTERM, NoteSignal);
#endif
}

int CaughtSignal() { return g_caught; }

int StoppedExitCode() { return g_caught != 0 ? 128 + g_caught : kExitFailed; }

}  // namespace brindle::cli
