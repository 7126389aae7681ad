// The threads that copy a pass's new files: order of the results, copies at once, the stop.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "engine/new_file_copier.h"

using namespace vestrand;
using Outcome = NewFileCopier::Outcome;

namespace {

std::atomic<int> g_running{0}, g_mostAtOnce{0}, g_calls{0};
std::atomic<bool> g_gateOpen{true};

void WaitFor(const std::atomic<bool>& flag) {
    while (!flag)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The first copies take longest, so that later ones finish first; an odd size fails. Every copy
// waits at the gate first.
Outcome SlowFirst(const NewFileCopier::Copy& copy) {
    const int now = ++g_running;
    for (int most = g_mostAtOnce; now > most && !g_mostAtOnce.compare_exchange_weak(most, now);) {
    }
    ++g_calls;
    WaitFor(g_gateOpen);
    std::this_thread::sleep_for(std::chrono::milliseconds(40 - 4 * copy.Size));
    --g_running;
    return copy.Size % 2 ? Outcome::Failed : Outcome::Done;
}

} // namespace

TEST(NewFileCopier, CopiesRunTwoAtOnceAndComeBackInTheOrderAskedWithTheirOutcome) {
    g_mostAtOnce = g_calls = 0;
    NewFileCopier copier(2, nullptr, SlowFirst);
    for (int i = 0; i < 8; ++i)
        copier.Add(L"s" + std::to_wstring(i), L"t" + std::to_wstring(i), 0, i);
    NewFileCopier::Copy copy;
    EXPECT_FALSE(copier.TakeFinished(copy, false)); // the first is still under way
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(copier.TakeFinished(copy, true));
        EXPECT_EQ(copy.Target, L"t" + std::to_wstring(i));
        EXPECT_EQ(copy.Result, i % 2 ? Outcome::Failed : Outcome::Done);
    }
    EXPECT_FALSE(copier.TakeFinished(copy, true)); // none outstanding: no wait
    EXPECT_EQ(g_mostAtOnce, 2);
}

TEST(NewFileCopier, CopiesNotStartedAtTheStopOrTheEndAreNotMade) {
    std::atomic<bool> stop{false};
    for (const bool byStop : {true, false}) {
        g_calls = 0;
        g_gateOpen = stop = false;
        std::thread opener;
        {
            NewFileCopier copier(2, &stop, SlowFirst);
            for (int i = 0; i < 6; ++i)
                copier.Add(L"s", L"t" + std::to_wstring(i), 0, 0);
            while (g_calls < 2) // both copiers at the gate with the first two
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            stop = byStop;
            opener = std::thread([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                g_gateOpen = true;
            });
            if (byStop) {
                std::vector<Outcome> outcomes;
                for (NewFileCopier::Copy copy; copier.TakeFinished(copy, true);)
                    outcomes.push_back(copy.Result);
                EXPECT_EQ(outcomes, std::vector<Outcome>({Outcome::Done, Outcome::Done, Outcome::NotStarted,
                                                          Outcome::NotStarted, Outcome::NotStarted,
                                                          Outcome::NotStarted}));
            }
        } // the end finishes the two under way and drops the rest
        opener.join();
        EXPECT_EQ(g_calls, 2);
    }
}
