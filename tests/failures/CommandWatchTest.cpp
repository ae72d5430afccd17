// The command timeout's watchdog itself: a watch fires once its deadline passes and
// never after it ended, a watch inside a watch and watches on many threads are all
// honoured, an absurd timeout does not wrap into an immediate one, and the end of a
// watch waits for a cancel that is running. Deadlines are whole seconds, so each case
// waits about a second; no case measures speed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <memory>
#include <thread>
#include <vector>

#include <dbplatform/ado/CommandTimeout.h>

namespace {

using dbplatform::provider::CommandWatch;

// Waits (up to a generous limit, the machine may be loaded) until `watch` fired.
bool WaitFired(const CommandWatch& watch) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!watch.Fired()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

struct Counted {
    std::atomic<int> calls{0};
    std::function<void()> Cancel() {
        return [this] { ++calls; };
    }
};

TEST(CommandWatch, FiresOnceAtTheDeadlineAndNeverAfterItsEnd) {
    // Each watch ended early or never armed has the same or a later deadline than the one
    // that fires, so once that one fired the others would have too, had they been kept.
    struct Case {
        long seconds;
        bool endEarly;
        bool fires;
    };
    const Case cases[] = {
        {0, false, false},        // 0 waits forever
        {-3, false, false},       // so does a negative timeout
        {1, true, false},         // ended before its deadline
        {LONG_MAX, false, false}, // an absurd timeout is a very long one, not an overflow
        {1, false, true},
    };
    std::vector<std::unique_ptr<Counted>> counters;
    std::vector<std::unique_ptr<CommandWatch>> watches;
    for (const Case& c : cases) {
        counters.push_back(std::make_unique<Counted>());
        watches.push_back(std::make_unique<CommandWatch>(c.seconds, counters.back()->Cancel()));
        if (c.endEarly) watches.back().reset();
    }
    ASSERT_TRUE(WaitFired(*watches.back()));
    watches.back().reset();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(counters[i]->calls.load(), cases[i].fires ? 1 : 0) << "case " << i;
        if (watches[i]) {
            EXPECT_FALSE(watches[i]->Fired()) << "case " << i;
        }
    }
}

TEST(CommandWatch, WatchInsideAWatchBothFire) {
    Counted outer, inner;
    CommandWatch outerWatch(1, outer.Cancel());
    {
        CommandWatch innerWatch(1, inner.Cancel());
        ASSERT_TRUE(WaitFired(innerWatch));
    }
    ASSERT_TRUE(WaitFired(outerWatch));
    EXPECT_EQ(inner.calls.load(), 1);
    EXPECT_EQ(outer.calls.load(), 1);
}

// Many short watches on several threads while one watch per round must fire: a round
// starts after the watchdog has fired the last one and gone back to sleep.
TEST(CommandWatch, ManyThreadsAndRoundsAfterAFiring) {
    std::atomic<bool> stop{false};
    std::atomic<int> wrongCancels{0};
    std::vector<std::thread> churn;
    for (int t = 0; t < 3; ++t) {
        churn.emplace_back([&] {
            while (!stop.load()) {
                for (int i = 0; i < 1000; ++i) CommandWatch watch(30, [&] { ++wrongCancels; });
            }
        });
    }
    for (int round = 0; round < 3; ++round) {
        Counted counted;
        std::thread([&] {
            CommandWatch watch(1, counted.Cancel());
            EXPECT_TRUE(WaitFired(watch)) << "round " << round;
        }).join();
        EXPECT_EQ(counted.calls.load(), 1) << "round " << round;
    }
    stop = true;
    for (std::thread& thread : churn) thread.join();
    EXPECT_EQ(wrongCancels.load(), 0);
}

TEST(CommandWatch, EndWaitsForARunningCancel) {
    std::atomic<bool> cancelDone{false};
    auto watch = std::make_unique<CommandWatch>(1, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        cancelDone = true;
    });
    ASSERT_TRUE(WaitFired(*watch));
    watch.reset();
    EXPECT_TRUE(cancelDone.load());
}

// The cancel as a plain function of a target (as the providers make it, once per fetched
// row): each watch calls its cancel with its own target, whether it holds its thread's
// slot, sits inside another watch, or is made while another thread's long watch keeps
// the watchdog asleep towards a far deadline.
void CountCall(void* target) { ++*static_cast<std::atomic<int>*>(target); }

TEST(CommandWatch, PlainFunctionCancelsReachTheirOwnTargets) {
    std::atomic<int> outer{0}, inner{0}, otherThread{0}, endedEarly{0};
    {
        CommandWatch outerWatch(30, CountCall, &outer);
        { CommandWatch ended(1, CountCall, &endedEarly); }  // ended within its time, not reused
        CommandWatch innerWatch(1, CountCall, &inner);
        std::thread([&] {
            CommandWatch watch(1, CountCall, &otherThread);
            EXPECT_TRUE(WaitFired(watch));
        }).join();
        EXPECT_TRUE(WaitFired(innerWatch));
        EXPECT_FALSE(outerWatch.Fired());
    }
    EXPECT_EQ(outer.load(), 0);
    EXPECT_EQ(inner.load(), 1);
    EXPECT_EQ(otherThread.load(), 1);
    EXPECT_EQ(endedEarly.load(), 0);
}

// A watch made while its thread ends (from a thread-local object's destructor, after the
// thread's own slot was given back) is still honoured.
TEST(CommandWatch, WatchMadeWhileItsThreadEndsFires) {
    static std::atomic<int> calls{0};
    static std::atomic<bool> fired{false};
    struct WatchesAtThreadEnd {
        ~WatchesAtThreadEnd() {
            CommandWatch watch(1, CountCall, &calls);
            fired = WaitFired(watch);
        }
    };
    std::thread([] {
        thread_local WatchesAtThreadEnd atEnd;  // made before the thread's first watch: ends after its slot
        (void)&atEnd;
        CommandWatch first(30, CountCall, &calls);
    }).join();
    EXPECT_TRUE(fired.load());
    EXPECT_EQ(calls.load(), 1);
}

}  // namespace
