// Several panels sending back to back through the real pipe client, for the platform pipe tests:
// client c sends "c<c>|0", "c<c>|1", … each on a connection of its own, all clients at once.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"

// Sends `each` messages from each of `clients` threads (at most 10); how many the client refused.
inline int sendFromClients(int clients, int each) {
    std::atomic<int> refused{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([c, each, &refused] {
            for (int i = 0; i < each; ++i) {
                if (!plat::sendPipeMessage("c" + std::to_string(c) + "|" + std::to_string(i))) ++refused;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    return refused;
}

// `clients` threads, released at once, that each ask "ask|<client>-<i>" through the real client
// `each` times back to back, against a server that answers "answer <what was asked>": how many
// requests got no reply or a wrong one.
inline int requestsUnansweredAtOnce(int clients, int each) {
    std::atomic<int> unanswered{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([c, each, &go, &unanswered] {
            while (!go) std::this_thread::yield();
            for (int i = 0; i < each; ++i) {
                const std::string asked = std::to_string(c) + "-" + std::to_string(i);
                if (plat::pipeRequest("ask|" + asked, 5000) != std::optional<std::string>("answer " + asked))
                    ++unanswered;
            }
        });
    }
    go = true;
    for (std::thread& thread : threads) thread.join();
    return unanswered;
}

// What is wrong with the messages the server handled: the first message of a client that is missing
// or out of its client's order, or a message no client sent; empty when all is well.
inline std::string clientOrderFault(const std::vector<std::string>& handled, int clients, int each) {
    std::vector<int> next(static_cast<size_t>(clients), 0);
    for (const std::string& message : handled) {
        const int c = message.size() > 3 && message[0] == 'c' && message[2] == '|' ? message[1] - '0' : -1;
        if (c < 0 || c >= clients) return "unexpected message " + message;
        if (message.substr(3) != std::to_string(next[static_cast<size_t>(c)]))
            return "client " + std::to_string(c) + ": " + message + " where message " +
                   std::to_string(next[static_cast<size_t>(c)]) + " was due";
        ++next[static_cast<size_t>(c)];
    }
    for (int c = 0; c < clients; ++c) {
        if (next[static_cast<size_t>(c)] != each)
            return "client " + std::to_string(c) + ": " + std::to_string(next[static_cast<size_t>(c)]) +
                   " of " + std::to_string(each) + " arrived";
    }
    return "";
}

// A panel's watch through the real client on a thread of its own: how often it was told, and whether
// watchPipe has returned (with what). One at a time: `told` has no argument to say whose it is.
class Watcher {
  public:
    Watcher() {
        toldCount() = 0;
        thread_ = std::thread([this] {
            result_ = plat::watchPipe([] { ++toldCount(); }) ? 1 : 0;
            ended_ = true;
        });
    }
    ~Watcher() { end(); }
    Watcher(const Watcher&) = delete;
    Watcher& operator=(const Watcher&) = delete;

    int told() const { return toldCount(); }
    // Waits (up to `milliseconds`) until told at least `count` times; how often it was told.
    int waitTold(int count, int milliseconds = 2000) const {
        for (int waited = 0; waited < milliseconds && toldCount() < count; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return toldCount();
    }
    // Waits (up to `milliseconds`) for watchPipe to return: -1 while it runs, else 1 (true) or 0.
    int waitEnd(int milliseconds = 2000) const {
        for (int waited = 0; waited < milliseconds && !ended_; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return ended_ ? result_.load() : -1;
    }
    // Stops the watch and waits for its thread.
    void end() {
        if (!thread_.joinable()) return;
        if (!ended_) plat::stopPipeWatch();
        thread_.join();
    }

  private:
    static std::atomic<int>& toldCount() {
        static std::atomic<int> count{0};
        return count;
    }
    std::atomic<bool> ended_{false};
    std::atomic<int> result_{-1};
    std::thread thread_;
};
