// The two time limits of a SQLite connection: the busy timeout (how long a statement
// waits for another connection's lock; the connection timeout) and the command timeout
// (how long one call into the engine may run). SQLite runs on the caller's thread, so
// both are checked from inside the engine: a progress handler stops a long-running
// statement, and a busy handler of our own waits for a lock until whichever limit comes
// first. A lock wait that reaches the busy timeout ends with SQLite's busy error, one
// that reaches the command timeout with the timeout error.
#pragma once

#include <chrono>

struct sqlite3;

namespace dbplatform::sqlite {

class CommandClock {
public:
    // Installs the handlers on `db`. The clock must outlive every statement of `db` (the
    // session and its result sets share it).
    void Install(sqlite3* db);
    void SetBusyTimeout(long seconds);     // 0 = wait for a lock forever
    void SetCommandTimeout(long seconds);  // 0 = no limit

    // While a window is open, calls into the engine count against the command timeout,
    // from the moment the outermost window opened.
    class Window {
    public:
        explicit Window(CommandClock& clock);
        ~Window();
        Window(const Window&) = delete;
        Window& operator=(const Window&) = delete;

    private:
        CommandClock& clock_;
        bool outermost_;
    };

    // Whether the current (or last) window was ended by the command timeout: the failure
    // SQLite reported then (interrupted, busy) is the timeout.
    bool TimedOut() const { return timedOut_; }
    // For a catch block around a bounded call: throws the timeout error when the clock
    // ended the call, else rethrows the error being handled.
    [[noreturn]] void Rethrow() const;

private:
    // The monotonic clock at the kernel's tick (a few milliseconds), read without
    // asking the hardware: a window opens on every fetched row, and the fine clock's
    // read would be a sizeable share of a row. Timeouts are whole seconds.
    struct Clock {
        using duration = std::chrono::nanoseconds;
        using rep = duration::rep;
        using period = duration::period;
        using time_point = std::chrono::time_point<Clock>;
        static constexpr bool is_steady = true;
        static time_point now() noexcept;
    };
    static int OnProgress(void* self);
    static int OnBusy(void* self, int count);

    long commandSeconds_ = 30;
    long busyMilliseconds_ = -1;  // < 0: forever
    bool armed_ = false;
    bool timedOut_ = false;
    Clock::time_point deadline_{};
    Clock::time_point busySince_{};
};

}  // namespace dbplatform::sqlite
