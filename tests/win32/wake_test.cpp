// Wakes and thread names of the Windows backend, run for real under Windows or Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "platform/platform.h"
#include "platform/win32/thread_timer.h"

namespace {

double millisecondsSince(ULONGLONG start) {
    return static_cast<double>(GetTickCount64() - start);
}

TEST(Wake, ASignalEndsTheNapItFindsOrTheNextOneAndCountsOnce) {
    plat::WakeHandle wake = plat::createWake();
    ASSERT_NE(wake, nullptr);

    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(plat::napOnWake(wake, 40000));
    EXPECT_GE(millisecondsSince(start), 30.0);  // the tick count moves in steps of up to 16 ms

    plat::signalWake(wake);
    plat::signalWake(wake);
    start = GetTickCount64();
    EXPECT_TRUE(plat::napOnWake(wake, 5'000'000));
    EXPECT_LT(millisecondsSince(start), 1000.0);
    EXPECT_FALSE(plat::napOnWake(wake, 0));

    start = GetTickCount64();
    std::thread signaller([wake] {
        Sleep(50);
        plat::signalWake(wake);
    });
    EXPECT_TRUE(plat::napOnWake(wake, 10'000'000));
    const double napped = millisecondsSince(start);
    signaller.join();
    EXPECT_GE(napped, 30.0);
    EXPECT_LT(napped, 5000.0);
}

TEST(Wake, ANullWakeStillNaps) {
    ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(plat::napOnWake(nullptr, 40000));
    EXPECT_GE(millisecondsSince(start), 30.0);
    plat::signalWake(nullptr);
}

TEST(Wake, NapsAndSleepsShareTheThreadsTimerWithoutCuttingEachOtherShort) {
    // Naps wait on the wake and the thread's high-resolution timer together; a nap that a signal
    // ends leaves the timer set, and neither the next sleep nor the next nap may end on it.
    auto secondsOf = [](auto&& what) {
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        what();
        QueryPerformanceCounter(&end);
        return static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    };
    ASSERT_NE(plat::win32::threadTimer(), nullptr);  // Windows 10 1803 and later, and Wine
    plat::WakeHandle wake = plat::createWake();
    ASSERT_NE(wake, nullptr);
    for (int round = 0; round < 3; ++round) {
        plat::signalWake(wake);
        bool signalled = false;
        EXPECT_LT(secondsOf([&] { signalled = plat::napOnWake(wake, 3000); }), 0.5);
        EXPECT_TRUE(signalled);
        Sleep(10);  // past the nap's due time
        EXPECT_GE(secondsOf([] { plat::sleepUs(20000); }), 0.0195) << round;
        EXPECT_GE(secondsOf([&] { signalled = plat::napOnWake(wake, 20000); }), 0.0195) << round;
        EXPECT_FALSE(signalled);
    }
}

TEST(ThreadName, IsTheThreadsDescription) {
    using GetDescription = HRESULT(WINAPI*)(HANDLE, PWSTR*);
    const auto getDescription = reinterpret_cast<GetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
    ASSERT_NE(getDescription, nullptr);
    std::wstring named;
    std::thread([&] {
        plat::nameThread("auto-clicker");
        PWSTR description = nullptr;
        if (SUCCEEDED(getDescription(GetCurrentThread(), &description)) && description) {
            named = description;
            LocalFree(description);
        }
    }).join();
    EXPECT_EQ(named, L"auto-clicker");
}

// A raised thread runs at the time-critical priority; the process's class, and the threads it starts
// later, stay normal.
TEST(ThreadScheduling, OnlyTheRaisedThreadIsTimeCritical) {
    plat::Scheduling got;
    int raised = 0, startedByIt = 0;
    std::thread([&] {
        got = plat::raiseThreadScheduling();
        raised = GetThreadPriority(GetCurrentThread());
        std::thread([&] { startedByIt = GetThreadPriority(GetCurrentThread()); }).join();
    }).join();
    EXPECT_EQ(got.kind, plat::SchedulingKind::TimeCritical);
    EXPECT_EQ(raised, THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_EQ(startedByIt, THREAD_PRIORITY_NORMAL);
    EXPECT_EQ(GetPriorityClass(GetCurrentProcess()), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
