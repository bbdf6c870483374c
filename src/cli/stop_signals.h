#pragma once

#include <functional>
#include <stop_token>

namespace kestrow {

// SIGINT, SIGTERM and SIGHUP end a command cleanly. Install blocks them in every thread (call it at
// the start of main, before any other thread) and waits for them on a thread of its own, which
// requests a stop: the work stops at its next check, returns, and destructors remove what is
// unfinished (the private folder with its decrypted copies, unpublished output files). Nothing runs
// inside a signal handler. When the command does not return within a grace period (blocked in a
// prompt or a read), the signal thread restores the terminal, removes the private folders itself
// and ends the process with the signal's exit code.
class TStopSignals {
public:
    static void Install();
    static std::stop_token Token();
    // 128 + the signal's number once a signal arrived, else 0.
    static int ExitCode();
    // The command returned: the signal thread no longer needs to end the process.
    static void Finished();
    // Called after a blocking read: a signal that arrived during it but that the signal thread has
    // not taken yet is waited for, so the stop it asks for is seen before any work that follows.
    static void TakeArrived();
    // An action for the forced end (restoring the terminal); cleared by its own call with {}.
    static void SetEmergencyAction(std::function<void()> action);
};

} // namespace kestrow
