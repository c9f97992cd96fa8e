#pragma once

namespace brindle::cli {

// Ctrl-C, SIGTERM and SIGHUP during a split, join or repair are only noted here; the job
// heeds them between chunks, takes back what it wrote, and the command exits with 128 + the
// number.
void CatchStopSignals();
// The signal that asked to stop; 0 while none came.
int CaughtSignal();
// What the command exits with after a stop.
int StoppedExitCode();

}  // namespace brindle::cli
