#include <dbplatform/providers/sqlite/SqliteCommandClock.h>

#include <sqlite3.h>
#include <time.h>

#include <algorithm>
#include <climits>
#include <thread>

#include <dbplatform/ado/CommandTimeout.h>

namespace dbplatform::sqlite {
namespace {

// How often (in virtual machine steps) the progress handler looks at the clock: often
// enough to stop within milliseconds, rarely enough to cost nothing measurable.
constexpr int kProgressSteps = 1000;

// The pauses between lock attempts, as SQLite's own busy timeout spaces them.
constexpr int kPauses[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};

}  // namespace

CommandClock::Clock::time_point CommandClock::Clock::now() noexcept {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

void CommandClock::Install(sqlite3* db) {
    sqlite3_progress_handler(db, kProgressSteps, &CommandClock::OnProgress, this);
    sqlite3_busy_handler(db, &CommandClock::OnBusy, this);
}

void CommandClock::SetBusyTimeout(long seconds) {
    busyMilliseconds_ = seconds <= 0 || seconds > LONG_MAX / 1000 ? -1 : seconds * 1000;
}

void CommandClock::SetCommandTimeout(long seconds) { commandSeconds_ = seconds < 0 ? 0 : seconds; }

CommandClock::Window::Window(CommandClock& clock) : clock_(clock), outermost_(!clock.armed_) {
    if (!outermost_) return;
    clock_.timedOut_ = false;
    if (clock_.commandSeconds_ <= 0) return;
    clock_.armed_ = true;
    clock_.deadline_ = Clock::now() + std::chrono::seconds(clock_.commandSeconds_);
}

CommandClock::Window::~Window() {
    if (outermost_) clock_.armed_ = false;
}

void CommandClock::Rethrow() const {
    if (timedOut_) provider::ThrowQueryTimeout();
    throw;
}

// A non-zero answer makes SQLite stop the statement with SQLITE_INTERRUPT.
int CommandClock::OnProgress(void* self) {
    auto* clock = static_cast<CommandClock*>(self);
    if (!clock->armed_ || Clock::now() < clock->deadline_) return 0;
    clock->timedOut_ = true;
    return 1;
}

// Zero makes SQLite give up with SQLITE_BUSY; non-zero tries the lock again.
int CommandClock::OnBusy(void* self, int count) {
    auto* clock = static_cast<CommandClock*>(self);
    const Clock::time_point now = Clock::now();
    if (count == 0) clock->busySince_ = now;
    if (clock->armed_ && now >= clock->deadline_) {
        clock->timedOut_ = true;
        return 0;
    }
    Clock::time_point until = Clock::time_point::max();
    if (clock->busyMilliseconds_ >= 0) {
        until = clock->busySince_ + std::chrono::milliseconds(clock->busyMilliseconds_);
        if (now >= until) return 0;
    }
    if (clock->armed_) until = std::min(until, clock->deadline_);
    auto pause = std::chrono::milliseconds(kPauses[std::min<std::size_t>(static_cast<std::size_t>(count), std::size(kPauses) - 1)]);
    if (until != Clock::time_point::max()) pause = std::min(pause, std::chrono::ceil<std::chrono::milliseconds>(until - now));
    std::this_thread::sleep_for(std::max(pause, std::chrono::milliseconds(1)));
    return 1;
}

}  // namespace dbplatform::sqlite
