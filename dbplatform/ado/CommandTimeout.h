// Command timeouts shared by the providers: ADO's timeout error, and a watchdog that
// cancels a command still running at its deadline from outside the waiting thread.
#pragma once

#include <functional>
#include <memory>

#include <dbplatform/base/HResult.h>

namespace dbplatform::provider {

// ADO's error for a command stopped by CommandTimeout (DB_E_ABORTLIMITREACHED).
inline constexpr HRESULT kQueryTimeoutHr = DB_E_ABORTLIMITREACHED;
inline constexpr const char* kQueryTimeoutText = "Query timeout expired";

// Throws _com_error(kQueryTimeoutHr, kQueryTimeoutText).
[[noreturn]] void ThrowQueryTimeout();

// While it lives, watches one command: if it is still alive `seconds` after it was made,
// its cancel runs once, on the watchdog thread (the calling thread is blocked inside the
// engine, so only another thread can stop it). The cancel must be safe to call from
// another thread while the command runs (PQcancel, SQLCancel); what it throws is dropped.
// A watch of 0 seconds or less watches nothing, as CommandTimeout 0 waits forever.
class CommandWatch {
public:
    // The cancel as a plain function of the object it stops: a watch is made for every
    // fetched row, so the usual watch costs no allocation and no type-erased callable.
    using CancelFunction = void (*)(void* target);

    CommandWatch(long seconds, CancelFunction cancel, void* target);
    // Any callable; kept on the heap for the watch's life (for watches that are rare).
    CommandWatch(long seconds, std::function<void()> cancel);
    // When this returns, the cancel is not running and never will.
    ~CommandWatch();
    CommandWatch(const CommandWatch&) = delete;
    CommandWatch& operator=(const CommandWatch&) = delete;

    // Whether the cancel was called: a failure of the command is then the timeout.
    bool Fired() const;

    struct Entry;
    struct Slot;

private:
    void ArmSlot(Slot& slot, long long deadline, CancelFunction cancel, void* target);
    void ArmSlowly(long long deadline, CancelFunction cancel, void* target);
    void ArmInSharedList(long long deadline, CancelFunction cancel, void* target);
    void EndFiredSlot();
    void EndEntry();

    // A thread's first watch at a time uses the thread's own slot, without a lock or an
    // allocation; a watch made while another is alive on the same thread is kept in the
    // watchdog's shared list.
    Slot* slot_ = nullptr;
    long long deadline_ = 0;
    std::shared_ptr<Entry> entry_;
    std::unique_ptr<std::function<void()>> callable_;  // the std::function constructor's cancel
};

}  // namespace dbplatform::provider
