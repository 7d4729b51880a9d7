// The panel pipe: the server and clients in this process, in forked processes, and raw socket
// clients that do what the program's own client never does (several messages, silence).
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "support/pipe_clients.h"
#include "x11/x11_test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string socketPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && runtime[0] == '/') return std::string(runtime) + "/TapmillIPC";
    const char* temporary = std::getenv("TMPDIR");
    return std::string(temporary && temporary[0] == '/' ? temporary : "/tmp") + "/TapmillIPC-" +
           std::to_string(getuid());
}

// Every message the server of this process handed over.
struct Inbox {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::string> messages;

    void clear() {
        std::lock_guard<std::mutex> lock(mutex);
        messages.clear();
    }
    // Waits until `count` messages have come (or two seconds passed); all that came.
    std::vector<std::string> wait(size_t count, int milliseconds = 2000) {
        std::unique_lock<std::mutex> lock(mutex);
        arrived.wait_for(lock, std::chrono::milliseconds(milliseconds),
                         [&] { return messages.size() >= count; });
        return messages;
    }
};
Inbox inbox;

// Keeps every message; a message "ask|X" is answered with "answer X", "ask|long" with the longest reply.
std::string onMessage(const char* bytes, size_t length) {
    std::lock_guard<std::mutex> lock(inbox.mutex);
    inbox.messages.emplace_back(bytes, length);
    inbox.arrived.notify_all();
    const std::string& text = inbox.messages.back();
    if (text == "ask|long") return std::string(plat::kPipeReplyMax, 'r');
    return text.rfind("ask|", 0) == 0 ? "answer " + text.substr(4) : "";
}

// How many watching connections the server saw end.
std::atomic<int> watchersGone{0};
void onWatcherGone() {
    ++watchersGone;
}

// The program's pipe server on a thread of its own; stopped and waited for at the end.
class Server {
  public:
    Server() {
        inbox.clear();
        watchersGone = 0;
        thread_ = std::thread([this] {
            plat::runPipeServer(&onMessage, &onWatcherGone);
            ended_.set_value();
        });
        ready_ = waitForSocket();
    }
    ~Server() { stop(); }
    bool ready() const { return ready_; }

    // Stops the server; whether it ended within `milliseconds`.
    bool stop(int milliseconds = 1000) {
        if (!thread_.joinable()) return true;
        plat::stopPipeServer();
        const bool ended =
            done_.wait_for(std::chrono::milliseconds(milliseconds)) == std::future_status::ready;
        thread_.join();
        return ended;
    }

    static bool waitForSocket() {
        for (int i = 0; i < 200; ++i) {
            struct stat info {};
            if (stat(socketPath().c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }

  private:
    std::promise<void> ended_;
    std::future<void> done_ = ended_.get_future();
    std::thread thread_;
    bool ready_ = false;
};

// A raw client connection to the socket.
class Connection {
  public:
    Connection() : fd_(socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = socketPath();
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~Connection() {
        if (fd_ >= 0) close(fd_);
    }
    bool connected() const { return fd_ >= 0; }
    // Milliseconds until the server closed this connection, or -1 when it was still open after
    // `limitMs`.
    int closedAfter(int limitMs) {
        const auto start = Clock::now();
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, limitMs) <= 0) return -1;
        char byte;
        if (recv(fd_, &byte, 1, MSG_DONTWAIT) != 0) return -1;
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    }
    bool send(const std::string& message) {
        return ::send(fd_, message.data(), message.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(message.size());
    }
    // The next message from the server within `limitMs`, or "" (also when the server closed first).
    std::string reply(int limitMs) {
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, limitMs) <= 0) return "";
        char buffer[plat::kPipeReplyMax];
        const ssize_t length = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        return length > 0 ? std::string(buffer, static_cast<size_t>(length)) : "";
    }

  private:
    int fd_;
};

TEST(X11Pipe, MessagesArriveWholeAndInOrder) {
    Server server;
    ASSERT_TRUE(server.ready());
    EXPECT_TRUE(plat::sendPipeMessage("toggleSpammer|"));
    EXPECT_TRUE(plat::sendPipeMessage("updateSpammer|0,0,1,500,0,0,1,10,0"));
    EXPECT_EQ(inbox.wait(2),
              (std::vector<std::string>{"toggleSpammer|", "updateSpammer|0,0,1,500,0,0,1,10,0"}));

    // Two messages on one connection are two messages, in order; zero bytes are passed on as they are.
    inbox.clear();
    {
        Connection connection;
        ASSERT_TRUE(connection.connected());
        EXPECT_TRUE(connection.send("panelHover|1"));
        EXPECT_TRUE(connection.send(std::string("panelHover|0\0tail", 17)));
    }
    EXPECT_EQ(inbox.wait(2),
              (std::vector<std::string>{"panelHover|1", std::string("panelHover|0\0tail", 17)}));
}

TEST(X11Pipe, AMessageOver511BytesIsDroppedWholeWithItsConnection) {
    Server server;
    ASSERT_TRUE(server.ready());
    const std::string longest = "reassignKey|" + std::string(511 - 12, 'x');
    ASSERT_EQ(longest.size(), 511u);
    EXPECT_TRUE(plat::sendPipeMessage(longest));
    ASSERT_EQ(inbox.wait(1), std::vector<std::string>{longest});

    inbox.clear();
    {
        Connection connection;
        ASSERT_TRUE(connection.connected());
        EXPECT_TRUE(connection.send(longest + "y"));
        connection.send(
            "toggleKeySpam|");  // after the dropped one: the connection is closed by then, or soon
    }
    EXPECT_TRUE(plat::sendPipeMessage("toggleSpammer|"));
    EXPECT_EQ(inbox.wait(1), std::vector<std::string>{"toggleSpammer|"});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(inbox.wait(1, 0), std::vector<std::string>{"toggleSpammer|"});
}

TEST(X11Pipe, ASilentClientHoldsUpNobodyAndIsClosedAfterAQuietSecond) {
    Server server;
    ASSERT_TRUE(server.ready());
    Connection silent;
    ASSERT_TRUE(silent.connected());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto start = Clock::now();
    EXPECT_TRUE(plat::sendPipeMessage("toggleSpammer|"));
    EXPECT_EQ(inbox.wait(1, 500), std::vector<std::string>{"toggleSpammer|"});
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    const int closed = silent.closedAfter(3000);
    EXPECT_GE(closed, 700);
    EXPECT_LE(closed, 1500);
}

TEST(X11Pipe, AnEmptyMessageIsSkippedAndTheConnectionGoesOn) {
    Server server;
    ASSERT_TRUE(server.ready());
    {
        Connection connection;
        ASSERT_TRUE(connection.connected());
        EXPECT_TRUE(connection.send("panelHover|1"));
        EXPECT_TRUE(connection.send(""));
        EXPECT_TRUE(connection.send(""));
        EXPECT_TRUE(connection.send("panelHover|0"));
    }
    EXPECT_EQ(inbox.wait(2), (std::vector<std::string>{"panelHover|1", "panelHover|0"}));
}

TEST(X11Pipe, ARequestGetsItsReplyAndWaitsNoLongerThanAsked) {
    EXPECT_FALSE(plat::pipeRequest("ask|early", 1000)) << "no server runs yet";
    Server server;
    ASSERT_TRUE(server.ready());
    EXPECT_EQ(plat::pipeRequest("ask|settings", 1000), std::optional<std::string>("answer settings"));
    // A reply as long as replies go.
    EXPECT_EQ(plat::pipeRequest("ask|long", 1000),
              std::optional<std::string>(std::string(plat::kPipeReplyMax, 'r')));
    // A message that gets no reply: the wait ends at its limit, and the message was handled.
    const auto start = Clock::now();
    EXPECT_FALSE(plat::pipeRequest("toggleSpammer|", 200));
    const auto waited = Clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(190));
    EXPECT_LT(waited, std::chrono::milliseconds(600));
    EXPECT_EQ(inbox.wait(3).back(), "toggleSpammer|");
}

// Several clients sending back to back, each message on a connection of its own, while a flood of
// connections says nothing: every message arrives, each client's in its own order.
TEST(X11Pipe, AFloodOfSilentConnectionsLosesNoMessageOfOthers) {
    Server server;
    ASSERT_TRUE(server.ready());
    std::vector<int> flood;
    for (int i = 0; i < 500; ++i) {
        const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, socketPath().c_str(), socketPath().size() + 1);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            flood.push_back(fd);
        else
            close(fd);
    }
    EXPECT_GT(flood.size(), 16u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    constexpr int kClients = 4, kEach = 100;
    EXPECT_EQ(sendFromClients(kClients, kEach), 0);
    EXPECT_EQ(clientOrderFault(inbox.wait(kClients * kEach, 5000), kClients, kEach), "");
    for (int fd : flood) close(fd);
}

// A few hundred clients connected at once, each a moment slow to send (a loaded machine): every one
// is kept until it has had its say and gets its answer; and the program's own clients, as many at
// once asking back to back, all get theirs.
TEST(X11Pipe, ThreeHundredClientsAtOnceAreAllAnswered) {
    Server server;
    ASSERT_TRUE(server.ready());
    constexpr int kClients = 300;
    std::atomic<int> connected{0}, answered{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([c, &connected, &answered] {
            Connection connection;
            ++connected;
            for (int waited = 0; waited < 2000 && connected < kClients; waited += 5)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (!connection.connected() || !connection.send("ask|" + std::to_string(c))) return;
            if (connection.reply(3000) == "answer " + std::to_string(c)) ++answered;
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(answered, kClients);

    const auto start = Clock::now();
    EXPECT_EQ(requestsUnansweredAtOnce(kClients, 10), 0);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
}

// A panel's watch: told once it is made and at each notice (notices asked for at once may come as
// one), never closed as a quiet client, never handed to the handler; its end is reported.
TEST(X11Pipe, AWatchIsToldOfEachNoticeStaysOpenWhileQuietAndItsEndIsReported) {
    Server server;
    ASSERT_TRUE(server.ready());
    Watcher watcher;
    ASSERT_EQ(watcher.waitTold(1), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(plat::kPipeQuietMs + 300));
    plat::notifyPipeWatchers();
    EXPECT_EQ(watcher.waitTold(2), 2);
    plat::notifyPipeWatchers();
    plat::notifyPipeWatchers();
    EXPECT_GE(watcher.waitTold(3), 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_LE(watcher.told(), 4);
    // Other clients are served as before.
    EXPECT_TRUE(plat::sendPipeMessage("toggleSpammer|"));
    EXPECT_EQ(inbox.wait(1), (std::vector<std::string>{"toggleSpammer|"}));
    EXPECT_EQ(watchersGone, 0);

    watcher.end();
    EXPECT_EQ(watcher.waitEnd(), 1);
    for (int i = 0; i < 200 && watchersGone == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(watchersGone, 1);
}

TEST(X11Pipe, AWatchEndsWithTheServerAndIsRefusedWithoutOne) {
    {
        Server server;
        ASSERT_TRUE(server.ready());
        Watcher watcher;
        ASSERT_EQ(watcher.waitTold(1), 1);
        EXPECT_TRUE(server.stop(500));
        EXPECT_EQ(watcher.waitEnd(), 1);
    }
    Watcher none;
    EXPECT_EQ(none.waitEnd(500), 0);
    EXPECT_EQ(none.told(), 0);
}

TEST(X11Pipe, WithoutAServerSendingFailsAtOnce) {
    ASSERT_FALSE(Connection().connected()) << "a server runs";
    const auto start = Clock::now();
    EXPECT_FALSE(plat::sendPipeMessage("toggleSpammer|"));
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
}

TEST(X11Pipe, StopEndsTheServerWhileWaitingAndWhileAClientSaysNothing) {
    {
        Server server;
        ASSERT_TRUE(server.ready());
        const auto start = Clock::now();
        EXPECT_TRUE(server.stop(500));
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    }
    // The socket goes with the server.
    struct stat info {};
    EXPECT_NE(stat(socketPath().c_str(), &info), 0);
    {
        Server server;
        ASSERT_TRUE(server.ready());
        Connection silent;
        ASSERT_TRUE(silent.connected());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the server is reading it now
        EXPECT_TRUE(server.stop(500));
    }
    // A stop that comes before the server starts ends it as soon as it starts, and only that run.
    plat::stopPipeServer();
    const auto start = Clock::now();
    plat::runPipeServer(&onMessage);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(200));
    Server again;
    ASSERT_TRUE(again.ready());
    EXPECT_TRUE(plat::sendPipeMessage("toggleSpammer|"));
    EXPECT_EQ(inbox.wait(1).size(), 1u);
}

TEST(X11Pipe, TheSocketIsTheUsersAlone) {
    Server server;
    ASSERT_TRUE(server.ready());
    struct stat info {};
    ASSERT_EQ(stat(socketPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_uid, getuid());
}

// The fallback goes to $TMPDIR, here a folder of this test's own: never the machine-wide /tmp, where
// another copy of the program may be serving.
TEST(X11Pipe, WithoutARuntimeFolderTheSocketIsInTheTemporaryFolderUnderTheUserId) {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::string runtime = saved ? saved : "";
    const char* savedTemporary = std::getenv("TMPDIR");
    const std::string temporaryBefore = savedTemporary ? savedTemporary : "";
    const char* base = std::getenv("RAVELIN_TEST_TMP");
    std::string folder = std::string(base && *base ? base : "/tmp") + "/pipe-fallback-XXXXXX";
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    setenv("XDG_RUNTIME_DIR", "relative/folder", 1);
    setenv("TMPDIR", folder.c_str(), 1);
    const std::string path = folder + "/TapmillIPC-" + std::to_string(getuid());
    {
        Server server;
        ASSERT_TRUE(server.ready());
        struct stat info {};
        ASSERT_EQ(stat(path.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_TRUE(plat::sendPipeMessage("toggleSpammer|"));
        EXPECT_EQ(inbox.wait(1).size(), 1u);
    }
    struct stat info {};
    EXPECT_NE(stat(path.c_str(), &info), 0);
    rmdir(folder.c_str());
    if (saved)
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
    if (savedTemporary)
        setenv("TMPDIR", temporaryBefore.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

// Whatever else is at the socket's path (it may be the user's) is moved aside whole, the user is
// told where it went, and the pipe serves.
TEST(X11Pipe, WhatIsNoSocketOfOursIsMovedAsideAndThePipeServes) {
    namespace fs = std::filesystem;
    const std::string path = socketPath();
    const fs::path runtime = fs::path(path).parent_path();
    struct Case {
        const char* what;
        void (*plant)(const std::string& path);
        const char* kept;  // the file whose text must survive, relative to the moved thing
    };
    const Case cases[] = {
        {"a file", [](const std::string& p) { std::ofstream(p) << "keep me"; }, ""},
        {"a folder with a file in it",
         [](const std::string& p) {
             fs::create_directory(p);
             std::ofstream(p + "/inside") << "keep me";
         },
         "/inside"},
        {"a dangling link", [](const std::string& p) { fs::create_symlink("/nowhere/at/all", p); }, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.plant(path);
        testing::internal::CaptureStderr();
        {
            Server server;
            EXPECT_TRUE(server.ready());
            EXPECT_TRUE(plat::sendPipeMessage("toggleSpammer|"));
            EXPECT_EQ(inbox.wait(1), std::vector<std::string>{"toggleSpammer|"});
        }
        const std::string told = testing::internal::GetCapturedStderr();
        std::vector<fs::path> aside;
        for (const auto& entry : fs::directory_iterator(runtime)) {
            if (entry.path().filename().string().rfind("TapmillIPC.unusable-", 0) == 0)
                aside.push_back(entry.path());
        }
        ASSERT_EQ(aside.size(), 1u);
        EXPECT_NE(told.find(aside[0].string()), std::string::npos) << told;
        if (c.kept) {
            std::ifstream in(aside[0].string() + c.kept);
            std::string text;
            std::getline(in, text);
            EXPECT_EQ(text, "keep me");
        }
        fs::remove_all(aside[0]);
    }
}

// A server in a forked process: what it receives comes back through a pipe, one line per message.
class ServerProcess {
  public:
    ServerProcess() {
        int fds[2];
        if (pipe(fds) != 0) return;
        process_.fork([&] {
            close(fds[0]);
            lineOut = fds[1];
            plat::runPipeServer([](const char* bytes, size_t length) {
                std::string line(bytes, length);
                line += '\n';
                if (write(lineOut, line.data(), line.size()) < 0) _exit(3);
                return std::string();
            });
        });
        close(fds[1]);
        out_ = fds[0];
    }
    ~ServerProcess() {
        kill();
        if (out_ >= 0) close(out_);
    }
    bool started() const { return process_.started(); }
    // Ends it as a crash would, leaving its socket file behind.
    void kill() { process_.end(SIGKILL); }
    std::string nextLine() {
        std::string line;
        char c = 0;
        while (read(out_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

  private:
    static inline int lineOut = -1;
    x11test::Child process_;
    int out_ = -1;
};

TEST(X11Pipe, AcrossProcessesAndASecondServerNeverTakesALiveSocket) {
    ServerProcess first;
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(Server::waitForSocket());
    // A client in a process of its own.
    const pid_t client = fork();
    if (client == 0) _exit(plat::sendPipeMessage("reassignKey|rec") ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(client, &status, 0), client);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(first.nextLine(), "reassignKey|rec");

    // A second server waits while the first is live ...
    inbox.clear();
    std::thread second([] { plat::runPipeServer(&onMessage); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(plat::sendPipeMessage("panelHover|1"));
    EXPECT_EQ(first.nextLine(), "panelHover|1");
    EXPECT_TRUE(inbox.wait(1, 100).empty());

    // ... and takes over the socket the first one left behind when it died.
    first.kill();
    bool delivered = false;
    for (int i = 0; i < 100 && !delivered; ++i) {
        delivered = plat::sendPipeMessage("panelHover|0");
        if (!delivered) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(delivered);
    EXPECT_EQ(inbox.wait(1), std::vector<std::string>{"panelHover|0"});
    plat::stopPipeServer();
    second.join();
}

}  // namespace
