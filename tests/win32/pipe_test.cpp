// The panel pipe and panel processes of the Windows backend, for real under Windows or Wine.
#include <aclapi.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/pipe_name.h"
#include "support/pipe_clients.h"

namespace {

std::mutex receivedLock;
std::vector<std::string> received;

// Keeps every message; a message "ask|X" is answered with "answer X".
std::string onMessage(const char* bytes, size_t length) {
    std::lock_guard<std::mutex> lock(receivedLock);
    received.emplace_back(bytes, length);
    const std::string& text = received.back();
    return text.rfind("ask|", 0) == 0 ? "answer " + text.substr(4) : "";
}

std::atomic<int> watchersGone{0};
void onWatcherGone() {
    ++watchersGone;
}

std::vector<std::string> receivedSoFar() {
    std::lock_guard<std::mutex> lock(receivedLock);
    return received;
}

// A pipe server on a thread of its own, stopped and joined at the end.
class Server {
  public:
    Server() {
        std::lock_guard<std::mutex> lock(receivedLock);
        received.clear();
        watchersGone = 0;
    }
    ~Server() {
        if (thread_.joinable()) stopWithin(3000);
    }
    // Sends once the server takes messages (it may still be starting).
    bool send(const std::string& message) {
        for (int i = 0; i < 200; ++i) {
            if (plat::sendPipeMessage(message)) return true;
            Sleep(10);
        }
        return false;
    }
    std::vector<std::string> waitFor(size_t count, int milliseconds = 2000) {
        for (int i = 0; i < milliseconds / 10 && receivedSoFar().size() < count; ++i) Sleep(10);
        return receivedSoFar();
    }
    bool stopWithin(int milliseconds) {
        plat::stopPipeServer();
        for (int waited = 0; waited < milliseconds && !ended_; waited += 10) Sleep(10);
        if (ended_)
            thread_.join();
        else
            thread_.detach();
        return ended_;
    }

  private:
    std::atomic<bool> ended_{false};
    std::thread thread_{[this] {
        plat::runPipeServer(&onMessage, &onWatcherGone);
        ended_ = true;
    }};
};

HANDLE openPipe() {
    for (int i = 0; i < 200; ++i) {
        HANDLE pipe = CreateFileA(plat::sessionPipeName().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) return pipe;
        Sleep(10);
    }
    return INVALID_HANDLE_VALUE;
}

void write(HANDLE pipe, const std::string& message) {
    DWORD written = 0;
    WriteFile(pipe, message.data(), static_cast<DWORD>(message.size()), &written, nullptr);
}

TEST(Pipe, MessagesArriveWholeAndInOrderUpToTheirLimit) {
    Server server;
    const std::string longest = "updateSpammer|" + std::string(511 - 14, '7');
    ASSERT_TRUE(server.send("toggleSpammer|"));
    ASSERT_TRUE(server.send("updateSpammer|1|2"));
    ASSERT_TRUE(server.send(longest));
    EXPECT_FALSE(plat::sendPipeMessage(longest + "7"));
    ASSERT_TRUE(server.send(std::string("panel\0Hover|1", 13)));
    EXPECT_EQ(server.waitFor(4), (std::vector<std::string>{"toggleSpammer|", "updateSpammer|1|2", longest,
                                                           std::string("panel\0Hover|1", 13)}));
}

TEST(Pipe, OneConnectionCarriesSeveralMessagesAndATooLongOneEndsIt) {
    Server server;
    HANDLE pipe = openPipe();
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    write(pipe, "toggleKeySpam|");
    write(pipe, "reassignKey|rec");
    write(pipe, "updateKeySpam|" + std::string(600, '1'));
    write(pipe, "panelHover|1");  // after the dropped one: the server has closed this connection
    CloseHandle(pipe);
    // The server serves the next client as usual.
    ASSERT_TRUE(server.send("panelHover|0"));
    EXPECT_EQ(server.waitFor(3),
              (std::vector<std::string>{"toggleKeySpam|", "reassignKey|rec", "panelHover|0"}));
}

TEST(Pipe, ASilentClientHoldsUpNobodyAndIsClosedAfterAQuietSecond) {
    Server server;
    HANDLE silent = openPipe();
    ASSERT_NE(silent, INVALID_HANDLE_VALUE);
    const ULONGLONG start = GetTickCount64();
    ASSERT_TRUE(server.send("toggleSpammer|"));
    EXPECT_EQ(server.waitFor(1), std::vector<std::string>{"toggleSpammer|"});
    EXPECT_LT(GetTickCount64() - start, 500u);
    // The server lets go of it after a quiet second: then a write finds no reader.
    Sleep(1500);
    DWORD written = 0;
    EXPECT_FALSE(WriteFile(silent, "panelHover|1", 12, &written, nullptr));
    CloseHandle(silent);
    EXPECT_EQ(server.waitFor(2, 300).size(), 1u);
}

TEST(Pipe, AnEmptyMessageIsSkippedAndTheConnectionGoesOn) {
    Server server;
    HANDLE pipe = openPipe();
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    write(pipe, "panelHover|1");
    write(pipe, "");
    write(pipe, "panelHover|0");
    CloseHandle(pipe);
    EXPECT_EQ(server.waitFor(2), (std::vector<std::string>{"panelHover|1", "panelHover|0"}));
}

TEST(Pipe, ARequestGetsItsReplyAndWaitsNoLongerThanAsked) {
    EXPECT_FALSE(plat::pipeRequest("ask|early", 500)) << "no server runs yet";
    Server server;
    ASSERT_TRUE(server.send("toggleSpammer|"));  // the server is up
    EXPECT_EQ(plat::pipeRequest("ask|settings", 1000), std::optional<std::string>("answer settings"));
    const ULONGLONG start = GetTickCount64();
    EXPECT_FALSE(plat::pipeRequest("toggleKeySpam|", 200));
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_GE(waited, 150u);
    EXPECT_LT(waited, 700u);
    EXPECT_EQ(server.waitFor(3).back(), "toggleKeySpam|");
}

// Four panels sending back to back, each message on a connection of its own: every message arrives,
// each panel's in its own order.
TEST(Pipe, FourClientsSendingBackToBackLoseNothingAndKeepTheirOrder) {
    Server server;
    ASSERT_TRUE(server.send("start|"));
    constexpr int kClients = 4, kEach = 200;
    EXPECT_EQ(sendFromClients(kClients, kEach), 0);
    std::vector<std::string> got = server.waitFor(1 + kClients * kEach, 10000);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.front(), "start|");
    got.erase(got.begin());
    EXPECT_EQ(clientOrderFault(got, kClients, kEach), "");
}

// A few hundred clients connected at once, each a moment slow to write (a loaded machine): none is
// closed before it has had its say, and every one gets its answer; and the program's own clients,
// as many at once asking back to back, all get theirs.
TEST(Pipe, ThreeHundredClientsAtOnceAreAllAnswered) {
    Server server;
    ASSERT_TRUE(server.send("start|"));
    constexpr int kClients = 300;
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([c, &answered] {
            HANDLE pipe = INVALID_HANDLE_VALUE;
            for (int i = 0; i < 1000 && pipe == INVALID_HANDLE_VALUE; ++i) {
                pipe = CreateFileA(plat::sessionPipeName().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
                if (pipe == INVALID_HANDLE_VALUE && !WaitNamedPipeA(plat::sessionPipeName().c_str(), 100))
                    Sleep(5);
            }
            if (pipe == INVALID_HANDLE_VALUE) return;
            DWORD mode = PIPE_READMODE_MESSAGE;
            SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);
            Sleep(50);
            const std::string asked = std::to_string(c);
            write(pipe, "ask|" + asked);
            char reply[64];
            DWORD length = 0;
            if (ReadFile(pipe, reply, sizeof reply, &length, nullptr) &&
                std::string(reply, length) == "answer " + asked)
                ++answered;
            CloseHandle(pipe);
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(answered, kClients);

    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(requestsUnansweredAtOnce(kClients, 3), 0);
    EXPECT_LT(GetTickCount64() - start, 60000u);
}

TEST(Pipe, TheNameIsTakenFirstAndAdmitsThisUserAlone) {
    Server server;
    ASSERT_TRUE(server.send("start|"));
    // Nobody else can make the first instance of the name now.
    HANDLE other =
        CreateNamedPipeA(plat::sessionPipeName().c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                         PIPE_TYPE_MESSAGE, PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE);
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
    // The one entry of the DACL is the current user's.
    HANDLE pipe = openPipe();
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor),
              static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_NE(dacl, nullptr);
    EXPECT_EQ(dacl->AceCount, 1);
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(dacl, 0, &ace));
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    BYTE user[256];
    DWORD size = sizeof user;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
    CloseHandle(token);
    EXPECT_TRUE(EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart,
                         reinterpret_cast<TOKEN_USER*>(user)->User.Sid));
    LocalFree(descriptor);
    CloseHandle(pipe);
}

// Each logon session has a pipe of its own, so a second signed-in user's program serves its own
// panels instead of reaching the first user's pipe; the machine-wide name of earlier versions is not
// made.
TEST(Pipe, TheNameCarriesTheSessionId) {
    DWORD session = 0;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    EXPECT_EQ(plat::sessionPipeName(), "\\\\.\\pipe\\TapmillIPC-" + std::to_string(session));
    EXPECT_EQ(plat::pipeNameForSession(2), "\\\\.\\pipe\\TapmillIPC-2");
    Server server;
    ASSERT_TRUE(server.send("start|"));
    HANDLE shared =
        CreateFileA("\\\\.\\pipe\\TapmillIPC", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(shared, INVALID_HANDLE_VALUE);
    if (shared != INVALID_HANDLE_VALUE) CloseHandle(shared);
}

// Another program that holds the name: the server backs off (a few tries in three seconds, not one
// every 50 ms) and takes the name soon after it comes free.
TEST(Pipe, ANameHeldByAnotherProgramIsTriedSeldomAndTakenOnceFree) {
    HANDLE other =
        CreateNamedPipeA(plat::sessionPipeName().c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                         PIPE_TYPE_MESSAGE, PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const int before = plat::pipeNameRefusals();
    Server server;
    Sleep(3000);
    const int tries = plat::pipeNameRefusals() - before;
    EXPECT_GE(tries, 3);
    EXPECT_LE(tries, 7);  // 50, 100, 200, 400, 800, 1600 ms apart
    CloseHandle(other);
    const DWORD freed = GetTickCount();
    ASSERT_TRUE(server.send("after|"));  // tries for 2 s
    EXPECT_LT(GetTickCount() - freed, 2000u);
    EXPECT_EQ(server.waitFor(1), std::vector<std::string>{"after|"});
}

// A panel's watch: told once it is made and at each notice (notices asked for at once may come as
// one), never closed as a quiet client, never handed to the handler; its end is reported, and it ends
// with the server.
TEST(Pipe, AWatchIsToldOfEachNoticeStaysOpenWhileQuietAndItsEndIsReported) {
    {
        Server server;
        ASSERT_TRUE(server.send("toggleSpammer|"));
        Watcher watcher;
        ASSERT_EQ(watcher.waitTold(1), 1);
        Sleep(plat::kPipeQuietMs + 300);
        plat::notifyPipeWatchers();
        EXPECT_EQ(watcher.waitTold(2), 2);
        plat::notifyPipeWatchers();
        plat::notifyPipeWatchers();
        EXPECT_GE(watcher.waitTold(3), 3);
        Sleep(100);
        EXPECT_LE(watcher.told(), 4);
        EXPECT_EQ(server.waitFor(1), (std::vector<std::string>{"toggleSpammer|"}));
        EXPECT_EQ(watchersGone, 0);
        watcher.end();
        EXPECT_EQ(watcher.waitEnd(), 1);
        for (int i = 0; i < 200 && watchersGone == 0; ++i) Sleep(5);
        EXPECT_EQ(watchersGone, 1);
    }
    {
        Server server;
        ASSERT_TRUE(server.send("toggleSpammer|"));
        Watcher watcher;
        ASSERT_EQ(watcher.waitTold(1), 1);
        EXPECT_TRUE(server.stopWithin(3000));
        EXPECT_EQ(watcher.waitEnd(), 1);
    }
    Watcher none;
    EXPECT_EQ(none.waitEnd(1500), 0);
    EXPECT_EQ(none.told(), 0);
}

TEST(Pipe, StopEndsTheServerWhetherWaitingOrConnectedAndIsSticky) {
    {
        Server server;
        ASSERT_TRUE(server.send("toggleSpammer|"));
        server.waitFor(1);
        EXPECT_TRUE(server.stopWithin(3000));
    }
    {
        // A client that connects and never writes does not hold the server up.
        Server server;
        HANDLE silent = openPipe();
        ASSERT_NE(silent, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(server.stopWithin(3000));
        CloseHandle(silent);
    }
    plat::stopPipeServer();
    Server stoppedEarly;
    EXPECT_TRUE(stoppedEarly.stopWithin(3000));
    // Nobody listens now: the message is refused at once.
    EXPECT_FALSE(plat::sendPipeMessage("toggleSpammer|"));
}

// ---- panel processes: child runs of this program ------------------------------------------------

plat::ProcessHandle startChild(const std::string& arguments) {
    return plat::startProcess(plat::exePath(), arguments);
}

bool endsWithin(plat::ProcessHandle process, int milliseconds) {
    for (int waited = 0; waited < milliseconds; waited += 10) {
        if (plat::processStatus(process) == plat::ProcessStatus::Ended) return true;
        Sleep(10);
    }
    return false;
}

TEST(Processes, StartedRunningEndedAndTerminatedWithCodeZero) {
    plat::ProcessHandle sleeper = startChild("--child-sleep 30000");
    ASSERT_NE(sleeper, nullptr);
    EXPECT_EQ(plat::processStatus(sleeper), plat::ProcessStatus::Running);
    plat::terminateProcess(sleeper);
    EXPECT_TRUE(endsWithin(sleeper, 5000));
    DWORD code = 1;
    GetExitCodeProcess(sleeper, &code);
    EXPECT_EQ(code, 0u);
    plat::closeProcess(sleeper);

    // 259 is also the code that means "still running"; the process has ended all the same.
    plat::ProcessHandle odd = startChild("--child-exit 259");
    ASSERT_NE(odd, nullptr);
    EXPECT_TRUE(endsWithin(odd, 10000));
    plat::closeProcess(odd);

    EXPECT_EQ(plat::startProcess(plat::exePath() + ".missing.exe", ""), nullptr);
    EXPECT_EQ(plat::processStatus(nullptr), plat::ProcessStatus::Unknown);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--child-sleep") Sleep(static_cast<DWORD>(std::stoul(argv[2])));
    if (argc == 3 && std::string(argv[1]) == "--child-exit") return std::stoi(argv[2]);
    if (argc == 3) return 0;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
