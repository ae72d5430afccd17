// One watchdog thread per process, started by the first command that has a timeout; it
// sleeps until the earliest deadline and cancels that command if it is still running.
#include <dbplatform/ado/CommandTimeout.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include <dbplatform/com/ComError.h>

namespace dbplatform::provider {

using Clock = std::chrono::steady_clock;

struct CommandWatch::Entry {
    Clock::time_point deadline;
    std::function<void()> cancel;
    bool firing = false;            // guarded by the watchdog's lock
    std::atomic<bool> fired{false};
};

namespace {

struct Watchdog {
    std::mutex lock;
    std::condition_variable changed;
    std::multimap<Clock::time_point, std::shared_ptr<CommandWatch::Entry>> pending;
    bool started = false;
    // When the thread wakes next on its own. A new deadline later than that needs no
    // wake-up call: commands that end well within their time (nearly all) never
    // disturb the thread, which matters when every fetched row is watched.
    Clock::time_point wakeAt = Clock::time_point::max();
};

// Never destroyed: the detached thread may still wait on it while the process exits.
Watchdog& TheWatchdog() {
    static Watchdog* watchdog = new Watchdog();
    return *watchdog;
}

// Cancels outside the lock (a cancel is a network round trip) but marks the entry as
// firing first, so that the command's end waits for the cancel to finish before the
// statement or connection it names can go away.
[[noreturn]] void Watch(Watchdog* watchdog) {
    std::unique_lock<std::mutex> lock(watchdog->lock);
    for (;;) {
        if (watchdog->pending.empty()) {
            watchdog->wakeAt = Clock::time_point::max();
            watchdog->changed.wait(lock);
            continue;
        }
        auto first = watchdog->pending.begin();
        if (Clock::now() < first->first) {
            watchdog->wakeAt = first->first;
            watchdog->changed.wait_until(lock, watchdog->wakeAt);
            continue;
        }
        std::shared_ptr<CommandWatch::Entry> entry = first->second;
        watchdog->pending.erase(first);
        entry->firing = true;
        // Marked before the cancel: the command may fail (and ask) before cancel returns.
        entry->fired.store(true);
        lock.unlock();
        try {
            entry->cancel();
        } catch (...) {
        }
        lock.lock();
        entry->firing = false;
        watchdog->changed.notify_all();
    }
}

}  // namespace

void ThrowQueryTimeout() { throw _com_error(kQueryTimeoutHr, kQueryTimeoutText); }

CommandWatch::CommandWatch(long seconds, std::function<void()> cancel) {
    if (seconds <= 0 || !cancel) return;
    entry_ = std::make_shared<Entry>();
    entry_->deadline = Clock::now() + std::chrono::seconds(seconds);
    entry_->cancel = std::move(cancel);
    Watchdog& watchdog = TheWatchdog();
    std::lock_guard<std::mutex> guard(watchdog.lock);
    if (!watchdog.started) {
        try {
            std::thread(Watch, &watchdog).detach();
        } catch (const std::system_error& error) {
            entry_.reset();
            throw _com_error(E_FAIL, std::string("Cannot start the command timeout watchdog: ") + error.what());
        }
        watchdog.started = true;
    }
    watchdog.pending.emplace(entry_->deadline, entry_);
    if (entry_->deadline < watchdog.wakeAt) {
        watchdog.wakeAt = entry_->deadline;
        watchdog.changed.notify_all();
    }
}

CommandWatch::~CommandWatch() {
    if (!entry_) return;
    Watchdog& watchdog = TheWatchdog();
    std::unique_lock<std::mutex> lock(watchdog.lock);
    auto [begin, end] = watchdog.pending.equal_range(entry_->deadline);
    for (auto it = begin; it != end; ++it) {
        if (it->second == entry_) {
            watchdog.pending.erase(it);
            break;
        }
    }
    watchdog.changed.wait(lock, [&] { return !entry_->firing; });
}

bool CommandWatch::Fired() const { return entry_ && entry_->fired.load(); }

}  // namespace dbplatform::provider
