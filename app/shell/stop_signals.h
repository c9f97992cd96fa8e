#pragma once

#include <functional>

namespace brindle::app {

// SIGTERM, SIGHUP and Ctrl-C (a log-out sends the first two) end the program as they end the
// command: the running jobs stop and take back what they wrote, the instance lock and socket
// go, and the process exits with 128 + the signal's number. Call once the application exists.
void EndOnStopSignals();

// For tests: what ends the process after such a signal, given its exit code.
void SetStopExit(std::function<void(int code)> exit);

}  // namespace brindle::app
