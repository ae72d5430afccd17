// One watchdog thread per process, started by the first command that has a timeout; it
// sleeps until the earliest deadline and cancels that command if it is still running.
//
// Each thread that makes watches has a slot of its own, registered once: a watch stores
// its deadline there with one atomic write and takes it back with one exchange, so a
// watched call costs no lock, allocation or wake-up of the watchdog in the common case.
// The watchdog wakes at its earliest known deadline, looks at the slots again, and fires
// those whose deadline has passed. A watch made while the thread's slot is taken (a watch
// inside a watch) goes to a shared list under the watchdog's lock.
//
// Deadlines are read from the kernel's coarse monotonic clock (a few milliseconds fine,
// against timeouts of whole seconds) in nanoseconds.
#include <dbplatform/ado/CommandTimeout.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include <dbplatform/com/ComError.h>

namespace dbplatform::provider {

namespace {

using Ticks = long long;  // nanoseconds of the coarse monotonic clock
constexpr Ticks kNever = std::numeric_limits<Ticks>::max();
// Longer timeouts (a host may pass any long) wait this long: about 30 years.
constexpr long kLongestSeconds = 1000000000L;

// Slot states besides a deadline (> 0).
constexpr Ticks kIdle = 0;
constexpr Ticks kFiring = -1;  // the watchdog is running the watch's cancel
constexpr Ticks kFired = -2;   // it ran

Ticks Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<Ticks>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

}  // namespace

struct CommandWatch::Entry {
    Ticks deadline = 0;
    std::function<void()> cancel;
    bool firing = false;  // guarded by the watchdog's lock
    std::atomic<bool> fired{false};
};

struct CommandWatch::Slot {
    // kIdle, a deadline, kFiring or kFired. Only the owning thread moves it from kIdle
    // or back to kIdle; only the watchdog moves a passed deadline to kFiring and kFired.
    std::atomic<Ticks> state{kIdle};
    // The running watch's cancel, written before its deadline is stored.
    const std::function<void()>* cancel = nullptr;
};

namespace {

struct Watchdog {
    std::mutex lock;
    std::condition_variable changed;
    std::multimap<Ticks, std::shared_ptr<CommandWatch::Entry>> pending;  // watches inside watches
    std::vector<CommandWatch::Slot*> slots;                              // one per watching thread
    bool started = false;
    // When the thread wakes next on its own. A deadline later than that needs no
    // wake-up call: commands that end well within their time (nearly all) never
    // disturb the thread.
    std::atomic<Ticks> wakeAt{kNever};
};

// Never destroyed: the detached thread may still wait on it while the process exits.
Watchdog& TheWatchdog() {
    static Watchdog* watchdog = new Watchdog();
    return *watchdog;
}

void Watch(Watchdog* watchdog);

// Under the watchdog's lock.
void StartWatchdog(Watchdog& watchdog) {
    if (watchdog.started) return;
    try {
        std::thread(Watch, &watchdog).detach();
    } catch (const std::system_error& error) {
        throw _com_error(E_FAIL, std::string("Cannot start the command timeout watchdog: ") + error.what());
    }
    watchdog.started = true;
}

// The calling thread's slot, registered with the watchdog for the thread's lifetime.
struct ThreadSlot {
    CommandWatch::Slot slot;
    bool registered = false;
    ~ThreadSlot() {
        if (!registered) return;
        assert(slot.state.load() == kIdle);
        Watchdog& watchdog = TheWatchdog();
        std::lock_guard<std::mutex> guard(watchdog.lock);
        watchdog.slots.erase(std::find(watchdog.slots.begin(), watchdog.slots.end(), &slot));
    }
};

CommandWatch::Slot& ThisThreadSlot() {
    thread_local ThreadSlot mine;
    if (!mine.registered) {
        Watchdog& watchdog = TheWatchdog();
        std::lock_guard<std::mutex> guard(watchdog.lock);
        StartWatchdog(watchdog);
        watchdog.slots.push_back(&mine.slot);
        mine.registered = true;
    }
    return mine.slot;
}

// Runs `cancel` outside the lock (a cancel is a network round trip); `lock` is held on
// entry and on return.
void RunCancel(std::unique_lock<std::mutex>& lock, const std::function<void()>& cancel) {
    lock.unlock();
    try {
        cancel();
    } catch (...) {
    }
    lock.lock();
}

// Fires every slot and entry whose deadline has passed; returns the earliest deadline
// still ahead. Under the lock, which a cancel releases for its time.
Ticks FireDue(Watchdog* watchdog, std::unique_lock<std::mutex>& lock) {
    for (;;) {
        const Ticks now = Now();
        Ticks next = kNever;
        bool fired = false;
        for (CommandWatch::Slot* slot : watchdog->slots) {
            Ticks state = slot->state.load();
            if (state <= kIdle) continue;
            if (state > now) {
                next = std::min(next, state);
                continue;
            }
            // The owner may end the watch (or start another) meanwhile: only the state
            // seen is fired, and the cancel read after claiming it is that watch's.
            if (!slot->state.compare_exchange_strong(state, kFiring)) continue;
            const std::function<void()>* cancel = slot->cancel;
            RunCancel(lock, *cancel);
            slot->state.store(kFired);
            watchdog->changed.notify_all();
            fired = true;
            break;  // the slots may have changed while unlocked
        }
        if (fired) continue;
        auto first = watchdog->pending.begin();
        if (first != watchdog->pending.end() && first->first <= now) {
            std::shared_ptr<CommandWatch::Entry> entry = first->second;
            watchdog->pending.erase(first);
            entry->firing = true;
            // Marked before the cancel: the command may fail (and ask) before cancel returns.
            entry->fired.store(true);
            RunCancel(lock, entry->cancel);
            entry->firing = false;
            watchdog->changed.notify_all();
            continue;
        }
        if (first != watchdog->pending.end()) next = std::min(next, first->first);
        return next;
    }
}

// Cancels marking the watch as firing first, so that the command's end waits for the
// cancel to finish before the statement or connection it names can go away.
void Watch(Watchdog* watchdog) {
    std::unique_lock<std::mutex> lock(watchdog->lock);
    for (;;) {
        Ticks next = FireDue(watchdog, lock);
        // Published before the slots are looked at again: a watch stores its deadline
        // and then reads wakeAt, so either it sees this value (and calls if it is
        // earlier) or this second look sees its deadline.
        watchdog->wakeAt.store(next);
        Ticks again = FireDue(watchdog, lock);
        if (again < next) continue;
        if (next == kNever) {
            watchdog->changed.wait(lock);
        } else {
            // At least a millisecond: the coarse clock may lag the one the wait uses.
            Ticks wait = std::max<Ticks>(next - Now(), 1000000);
            watchdog->changed.wait_for(lock, std::chrono::nanoseconds(wait));
        }
    }
}

}  // namespace

void ThrowQueryTimeout() { throw _com_error(kQueryTimeoutHr, kQueryTimeoutText); }

CommandWatch::CommandWatch(long seconds, std::function<void()> cancel) {
    if (seconds <= 0 || !cancel) return;
    const Ticks deadline = Now() + static_cast<Ticks>(std::min(seconds, kLongestSeconds)) * 1000000000LL;
    Watchdog& watchdog = TheWatchdog();
    Slot& slot = ThisThreadSlot();
    if (slot.state.load() == kIdle) {
        cancel_ = std::move(cancel);
        slot.cancel = &cancel_;
        deadline_ = deadline;
        slot_ = &slot;
        slot.state.store(deadline);
        if (deadline < watchdog.wakeAt.load()) {
            std::lock_guard<std::mutex> guard(watchdog.lock);
            watchdog.changed.notify_all();
        }
        return;
    }
    entry_ = std::make_shared<Entry>();
    entry_->deadline = deadline;
    entry_->cancel = std::move(cancel);
    std::lock_guard<std::mutex> guard(watchdog.lock);
    watchdog.pending.emplace(entry_->deadline, entry_);
    if (entry_->deadline < watchdog.wakeAt.load()) watchdog.changed.notify_all();
}

CommandWatch::~CommandWatch() {
    Watchdog& watchdog = TheWatchdog();
    if (slot_) {
        Ticks expected = deadline_;
        if (slot_->state.compare_exchange_strong(expected, kIdle)) return;
        // The watchdog claimed it: wait for the cancel to return.
        std::unique_lock<std::mutex> lock(watchdog.lock);
        watchdog.changed.wait(lock, [&] { return slot_->state.load() != kFiring; });
        slot_->state.store(kIdle);
        return;
    }
    if (!entry_) return;
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

bool CommandWatch::Fired() const {
    if (slot_) {
        Ticks state = slot_->state.load();
        return state == kFiring || state == kFired;
    }
    return entry_ && entry_->fired.load();
}

}  // namespace dbplatform::provider
