// How the panel pipe's server treats its connections on both systems; each backend only accepts,
// reads and writes. A connection that has sent nothing for kPipeQuietMs is closed unless it watches.
// When the server is full, a newcomer pushes out the oldest connection that does not watch (the
// oldest of all when every one watches), but only once that one has had kPipeYoungMs to send: a
// client that has just connected on a busy machine is never closed before it could speak, and the
// newcomers wait meanwhile. Server thread only; times are milliseconds of the backend's monotonic
// clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace plat {

inline constexpr int kPipeYoungMs = 250;

struct PipePeer {
    int64_t acceptedAt = 0;
    int64_t quietUntil = 0;
    bool watching = false;
};

// A connection the server has just accepted.
void peerAccepted(PipePeer& peer, int64_t now);

// A message came on the connection: true when it was the watch request, which marks it as a watcher
// and goes no further.
bool peerHeard(PipePeer& peer, std::string_view message, int64_t now);

// Whether a connection that sent nothing is to be closed now.
bool peerSilentTooLong(const PipePeer& peer, int64_t now);

// When the server must look again for a silent connection: the earliest deadline of those that do
// not watch, or -1 for none. `peerAt(i)` gives connection i, or null for one to pass over.
template <typename PeerAt>
int64_t nextQuietDeadline(size_t count, PeerAt peerAt) {
    int64_t deadline = -1;
    for (size_t i = 0; i < count; ++i) {
        const PipePeer* peer = peerAt(i);
        if (peer && !peer->watching && (deadline < 0 || peer->quietUntil < deadline))
            deadline = peer->quietUntil;
    }
    return deadline;
}

// Which connection a newcomer pushes out of a full server (`count` open, in the order they were
// accepted): `index`, or none (`index` == count) with the time until which newcomers wait.
struct Eviction {
    size_t index;
    int64_t waitUntil;
};
template <typename PeerAt>
Eviction evictionFor(size_t count, PeerAt peerAt, int64_t now) {
    size_t chosen = 0;
    while (chosen < count && peerAt(chosen)->watching) ++chosen;
    if (chosen == count) chosen = 0;
    if (count == 0) return {0, 0};
    const int64_t grown = peerAt(chosen)->acceptedAt + kPipeYoungMs;
    if (now < grown) return {count, grown};
    return {chosen, 0};
}

}  // namespace plat
