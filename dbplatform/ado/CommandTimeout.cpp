// One watchdog thread per process, started by the first command that has a timeout; it
// sleeps until the earliest deadline and cancels that command if it is still running.
//
// Each thread that makes watches has a slot of its own, registered once: a watch stores
// its cancel and deadline there with plain stores and one atomic write, and takes the
// deadline back with one compare-exchange, so a watched call (one per fetched row) costs
// no lock, allocation or wake-up of the watchdog in the common case. The watchdog wakes
// at its earliest known deadline, looks at the slots again, and fires those whose
// deadline has passed. A watch made while the thread's slot is taken (a watch inside a
// watch) goes to a shared list under the watchdog's lock.
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

// The deadline of a watch of `seconds` (> 0) made now; never wraps.
Ticks DeadlineAfter(long seconds) {
    return Now() + static_cast<Ticks>(std::min(seconds, kLongestSeconds)) * 1000000000LL;
}

}  // namespace

struct CommandWatch::Entry {
    Ticks deadline = 0;
    CancelFunction cancel = nullptr;
    void* target = nullptr;
    bool firing = false;  // guarded by the watchdog's lock
    std::atomic<bool> fired{false};
};

struct CommandWatch::Slot {
    // kIdle, a deadline, kFiring or kFired. Only the owning thread moves it from kIdle
    // or back to kIdle; only the watchdog moves a passed deadline to kFiring and kFired.
    std::atomic<Ticks> state{kIdle};
    // The running watch's cancel: written by the owner while the state is kIdle, before
    // the deadline is stored; read by the watchdog only after it claimed that deadline.
    CancelFunction cancel = nullptr;
    void* target = nullptr;
    bool registered = false;  // the watchdog looks at this slot (owner only)
    bool retired = false;     // the thread is ending: no longer registered (owner only)
};

namespace {

// Constant-initialized and trivially destroyed, so a watch reaches it without a
// thread-local initialization check; SlotRegistration below takes it off the list.
constinit thread_local CommandWatch::Slot tSlot;

// When the watchdog thread wakes next on its own. A deadline later than that needs no
// wake-up call: commands that end well within their time (nearly all) never disturb it.
constinit std::atomic<Ticks> gWakeAt{kNever};

struct Watchdog {
    std::mutex lock;
    std::condition_variable changed;
    std::multimap<Ticks, std::shared_ptr<CommandWatch::Entry>> pending;  // watches inside watches
    std::vector<CommandWatch::Slot*> slots;                              // one per watching thread
    bool started = false;
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

// Takes the thread's slot off the watchdog's list when the thread ends. No watch is
// alive then: a watch lives on its thread's stack.
struct SlotRegistration {
    ~SlotRegistration() {
        CommandWatch::Slot& slot = tSlot;
        assert(slot.state.load() == kIdle);
        Watchdog& watchdog = TheWatchdog();
        {
            std::lock_guard<std::mutex> guard(watchdog.lock);
            watchdog.slots.erase(std::find(watchdog.slots.begin(), watchdog.slots.end(), &slot));
        }
        slot.registered = false;
        slot.retired = true;
    }
};

// Registers the calling thread's slot with the watchdog (started if need be) for the
// thread's lifetime; false once the thread is ending (its watches use the shared list).
bool RegisterThisThread() {
    CommandWatch::Slot& slot = tSlot;
    if (slot.retired) return false;
    Watchdog& watchdog = TheWatchdog();
    {
        std::lock_guard<std::mutex> guard(watchdog.lock);
        StartWatchdog(watchdog);
        watchdog.slots.push_back(&slot);
    }
    thread_local SlotRegistration registration;
    slot.registered = true;
    return true;
}

// Calls `cancel` outside the lock (a cancel is a network round trip); `lock` is held on
// entry and on return.
void RunCancel(std::unique_lock<std::mutex>& lock, CommandWatch::CancelFunction cancel, void* target) {
    lock.unlock();
    try {
        cancel(target);
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
            // seen is fired, and the cancel read after claiming it is that of the watch
            // holding it (a later watch with the same deadline is as due as the first).
            if (!slot->state.compare_exchange_strong(state, kFiring)) continue;
            RunCancel(lock, slot->cancel, slot->target);
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
            RunCancel(lock, entry->cancel, entry->target);
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
        // and then reads gWakeAt (both sequentially consistent), so either it sees this
        // value (and calls if it is earlier) or this second look sees its deadline.
        gWakeAt.store(next);
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

// Wakes the watchdog for a deadline earlier than the one it sleeps towards, and lowers
// the wake time to that deadline at once: watches made before the watchdog runs (it may
// wait for a core) then need no call of their own. The watchdog publishes its own wake
// time again after looking at every slot, so the lowered value never hides a watch.
void WakeWatchdog(Ticks deadline) {
    Watchdog& watchdog = TheWatchdog();
    std::lock_guard<std::mutex> guard(watchdog.lock);
    if (deadline < gWakeAt.load()) gWakeAt.store(deadline);
    watchdog.changed.notify_all();
}

void CallStoredCallable(void* callable) { (*static_cast<std::function<void()>*>(callable))(); }

}  // namespace

void ThrowQueryTimeout() { throw _com_error(kQueryTimeoutHr, kQueryTimeoutText); }

// The fast path is the thread's registered, idle slot: two plain stores of the cancel,
// one sequentially consistent store of the deadline and a load of the watchdog's wake
// time. The slot is looked up once, after the clock: nothing in between is a call.
CommandWatch::CommandWatch(long seconds, CancelFunction cancel, void* target) {
    if (seconds <= 0 || cancel == nullptr) return;
    const Ticks deadline = DeadlineAfter(seconds);
    Slot& slot = tSlot;
    // Only this thread moves its slot from or back to kIdle, so kIdle seen here stays.
    if (slot.state.load(std::memory_order_relaxed) != kIdle || !slot.registered) [[unlikely]] {
        ArmSlowly(deadline, cancel, target);
        return;
    }
    ArmSlot(slot, deadline, cancel, target);
}

CommandWatch::CommandWatch(long seconds, std::function<void()> cancel) {
    if (seconds <= 0 || !cancel) return;
    callable_ = std::make_unique<std::function<void()>>(std::move(cancel));
    const Ticks deadline = DeadlineAfter(seconds);
    ArmSlowly(deadline, CallStoredCallable, callable_.get());
}

// Takes the thread's slot, idle and registered.
inline void CommandWatch::ArmSlot(Slot& slot, Ticks deadline, CancelFunction cancel, void* target) {
    slot.cancel = cancel;
    slot.target = target;
    slot_ = &slot;
    deadline_ = deadline;
    slot.state.store(deadline);
    if (deadline < gWakeAt.load()) [[unlikely]] WakeWatchdog(deadline);
}

// The thread's first watch (which registers its slot), a watch inside a watch and a
// watch on an ending thread (both kept in the shared list).
void CommandWatch::ArmSlowly(Ticks deadline, CancelFunction cancel, void* target) {
    Slot& slot = tSlot;
    if (slot.state.load(std::memory_order_relaxed) == kIdle && (slot.registered || RegisterThisThread())) {
        ArmSlot(slot, deadline, cancel, target);
        return;
    }
    ArmInSharedList(deadline, cancel, target);
}

// A watch inside a watch (or on an ending thread): an entry in the shared list.
void CommandWatch::ArmInSharedList(Ticks deadline, CancelFunction cancel, void* target) {
    entry_ = std::make_shared<Entry>();
    entry_->deadline = deadline;
    entry_->cancel = cancel;
    entry_->target = target;
    Watchdog& watchdog = TheWatchdog();
    std::lock_guard<std::mutex> guard(watchdog.lock);
    StartWatchdog(watchdog);
    watchdog.pending.emplace(entry_->deadline, entry_);
    if (entry_->deadline < gWakeAt.load()) {
        gWakeAt.store(entry_->deadline);
        watchdog.changed.notify_all();
    }
}

// The fast path takes the deadline back with one compare-exchange; failing that, the
// watchdog claimed it and its cancel may still be running.
CommandWatch::~CommandWatch() {
    if (slot_) {
        Ticks expected = deadline_;
        if (slot_->state.compare_exchange_strong(expected, kIdle)) [[likely]] return;
        EndFiredSlot();
        return;
    }
    if (entry_) EndEntry();
}

// Waits for the watchdog's cancel to return, then frees the slot.
void CommandWatch::EndFiredSlot() {
    Watchdog& watchdog = TheWatchdog();
    std::unique_lock<std::mutex> lock(watchdog.lock);
    watchdog.changed.wait(lock, [&] { return slot_->state.load() != kFiring; });
    slot_->state.store(kIdle);
}

// Takes the entry off the shared list, or waits for its running cancel to return.
void CommandWatch::EndEntry() {
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

bool CommandWatch::Fired() const {
    if (slot_) {
        Ticks state = slot_->state.load();
        return state == kFiring || state == kFired;
    }
    return entry_ && entry_->fired.load();
}

}  // namespace dbplatform::provider
