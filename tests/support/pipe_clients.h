// Several panels sending back to back through the real pipe client, for the platform pipe tests:
// client c sends "c<c>|0", "c<c>|1", … each on a connection of its own, all clients at once.
#pragma once

#include <atomic>
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
