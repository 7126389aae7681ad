// The threads that copy a pass's new files: order of the results, copies at once, the stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/new_file_copier.h"

using namespace vestrand;
using Outcome = NewFileCopier::Outcome;

namespace {

std::atomic<int> g_running{0}, g_mostAtOnce{0}, g_calls{0};
std::atomic<bool> g_gateOpen{true};

void Nap() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// Waits at the gate; then the first copies take longest, so that later ones finish first. An odd
// size fails.
Outcome SlowFirst(NewFileCopier::Copy& copy) {
    g_mostAtOnce = std::max<int>(g_mostAtOnce, ++g_running);
    for (++g_calls; !g_gateOpen;)
        Nap();
    std::this_thread::sleep_for(std::chrono::milliseconds(40 - 4 * copy.Size));
    --g_running;
    return copy.Size % 2 ? Outcome::Failed : Outcome::Done;
}

} // namespace

TEST(NewFileCopier, CopiesRunTwoAtOnceAndComeBackInTheOrderAskedWithTheirOutcome) {
    NewFileCopier copier(2, nullptr, SlowFirst);
    for (int i = 0; i < 8; ++i)
        copier.Add(L"s", L"t" + std::to_wstring(i), 0, i);
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
                copier.Add(L"s", L"t", 0, 0);
            while (g_calls < 2) // both copiers at the gate with the first two
                Nap();
            stop = byStop;
            opener = std::thread(
                [] { std::this_thread::sleep_for(std::chrono::milliseconds(50)), g_gateOpen = true; });
            std::vector<Outcome> outcomes;
            for (NewFileCopier::Copy copy; byStop && copier.TakeFinished(copy, true);)
                outcomes.push_back(copy.Result);
            using enum Outcome;
            if (byStop) {
                EXPECT_EQ(outcomes,
                          std::vector({Done, Done, NotStarted, NotStarted, NotStarted, NotStarted}));
            }
        } // the end finishes the two under way and drops the rest
        opener.join();
        EXPECT_EQ(g_calls, 2);
    }
}
