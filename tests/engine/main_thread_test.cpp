// The program's hand-over to the main thread: posted calls keep their order, also against a later
// synchronous call, and a coalesced stream of values reaches the main thread at a readable pace, its last
// value with no later offer to carry it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/engine/job_seams.h"
#include "platform/application.h"

namespace {

// Serves the calling (main) thread's messages until `done` holds or `ms` have passed.
bool Serve(const std::function<bool()>& done, DWORD ms) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return true;
}

}  // namespace

TEST(ApplicationMainThread, PostedCallsRunInOrderAndBeforeALaterInvoke) {
    platform::Application.Initialize();
    velmor::TApplicationMainThread main;
    std::vector<std::string> order;  // main thread only
    const DWORD mainId = GetCurrentThreadId();
    std::atomic<bool> done{false};
    bool onMain = true;
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) {
            main.Post([&, i] { order.push_back("post" + std::to_string(i)); });
            main.Post([&, i] { order.push_back("post" + std::to_string(i) + "b"); });
            main.Invoke([&, i] {
                onMain = onMain && GetCurrentThreadId() == mainId;
                order.push_back("invoke" + std::to_string(i));
            });
        }
        main.PostLater(30, [&] { order.push_back("later"); });
        main.Post([&] { order.push_back("last"); });
        done = true;
    });
    const DWORD start = GetTickCount();
    // Busy while the first posts and the first synchronous call arrive: the system hands the waiting
    // synchronous call over before the posted messages.
    Sleep(100);
    EXPECT_TRUE(Serve([&] { return done && order.size() == 11; }, 60000));
    const DWORD spent = GetTickCount() - start;
    worker.join();
    EXPECT_TRUE(onMain);
    EXPECT_EQ(order, (std::vector<std::string>{"post0", "post0b", "invoke0", "post1", "post1b", "invoke1",
                                               "post2", "post2b", "invoke2", "last", "later"}));
    EXPECT_GE(spent, 25u);
}

// The end of a job runs as a posted call that serves messages (and may show a box) while the call that frees
// the job's objects is already queued: that one runs after it, never inside it.
TEST(ApplicationMainThread, APostedCallThatServesMessagesRunsNoLaterPostInsideIt) {
    platform::Application.Initialize();
    velmor::TApplicationMainThread main;
    std::vector<std::string> order;
    main.Post([&] {
        order.push_back("end begins");
        main.Post([&] { order.push_back("free"); });
        Serve([] { return false; }, 50);
        order.push_back("end ends");
    });
    EXPECT_TRUE(Serve([&] { return order.size() == 3; }, 60000));
    EXPECT_EQ(order, (std::vector<std::string>{"end begins", "end ends", "free"}));
}

TEST(CoalescedPost, DeliversTheLatestAtAReadablePaceAndTheLastOneUnasked) {
    platform::Application.Initialize();
    velmor::TApplicationMainThread main;
    std::vector<int> delivered;
    std::vector<DWORD> at;
    std::atomic<bool> first{false};
    velmor::TCoalescedPost<int> post(main, [&](const int& v) {
        delivered.push_back(v);
        at.push_back(GetTickCount());
        first = true;
    });
    constexpr int kLast = 20000;
    const DWORD start = GetTickCount();
    std::thread worker([&] {
        // The first value goes on its own, whenever the main thread takes it; the rest come in a stream.
        post.Offer(1);
        while (!first) Sleep(1);
        for (int i = 2; i <= kLast; ++i) {
            post.Offer(i);
            if (i % 50 == 0) Sleep(1);
        }
    });
    ASSERT_TRUE(Serve([&] { return !delivered.empty() && delivered.back() == kLast; }, 60000));
    worker.join();
    const DWORD spent = at.back() - start;
    // The values come in order, far fewer of them than were offered, about thirty a second.
    EXPECT_TRUE(std::is_sorted(delivered.begin(), delivered.end()));
    EXPECT_LE(delivered.size(), spent / 33 + 2);
    EXPECT_GE(delivered.size(), 2u);
    for (size_t i = 1; i < at.size(); ++i) EXPECT_GE(at[i] - at[i - 1], 30u) << i;
    // The last one came with no offer after it to carry it (the wait above ends only when it has).
    // Flush on the main thread delivers what is new, once.
    post.Offer(kLast + 1);
    post.Flush();
    post.Flush();
    EXPECT_EQ(delivered.back(), kLast + 1);
    Serve([] { return false; }, 100);
    EXPECT_EQ(std::count(delivered.begin(), delivered.end(), kLast + 1), 1);
}
