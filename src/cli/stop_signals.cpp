#include "cli/stop_signals.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "platform/temp_folder.h"

namespace kestrow {

namespace {

constexpr auto kGracePeriod = std::chrono::seconds(3);

struct TStopState {
    std::stop_source Source;
    std::atomic<int> Signal{0};
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    std::function<void()> Emergency;
};

TStopState& State() {
    static TStopState state;
    return state;
}

sigset_t StopSignalSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

bool HasStopSignal(const sigset_t& pending, const sigset_t& set) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (sigismember(&pending, signal) == 1 && sigismember(&set, signal) == 1) {
            return true;
        }
    }
    return false;
}

void WaitForSignal() {
    const sigset_t set = StopSignalSet();
    int signal = 0;
    if (sigwait(&set, &signal) != 0) {
        return;
    }
    TStopState& state = State();
    state.Signal = signal;
    state.Source.request_stop();
    std::unique_lock lock(state.Mutex);
    if (state.Done.wait_for(lock, kGracePeriod, [&] { return state.Finished; })) {
        return;
    }
    if (state.Emergency) {
        state.Emergency();
    }
    RemoveLiveTempFolders();
    ::_exit(128 + signal);
}

} // namespace

void TStopSignals::Install() {
    const sigset_t set = StopSignalSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(WaitForSignal).detach();
}

std::stop_token TStopSignals::Token() {
    return State().Source.get_token();
}

int TStopSignals::ExitCode() {
    const int signal = State().Signal.load();
    return signal == 0 ? 0 : 128 + signal;
}

void TStopSignals::TakeArrived() {
    // Blocked in every thread, a signal stays pending until the signal thread runs and takes it.
    const sigset_t set = StopSignalSet();
    for (int i = 0; i < 2000 && !Token().stop_requested(); ++i) {
        sigset_t pending;
        sigemptyset(&pending);
        if (sigpending(&pending) != 0 || !HasStopSignal(pending, set)) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void TStopSignals::Finished() {
    TStopState& state = State();
    std::lock_guard lock(state.Mutex);
    state.Finished = true;
    state.Done.notify_all();
}

void TStopSignals::SetEmergencyAction(std::function<void()> action) {
    TStopState& state = State();
    std::lock_guard lock(state.Mutex);
    state.Emergency = std::move(action);
}

} // namespace kestrow
