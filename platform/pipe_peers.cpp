#include "platform/pipe_peers.h"

#include "platform/platform.h"

namespace plat {

void peerAccepted(PipePeer& peer, int64_t now) {
    peer.acceptedAt = now;
    peer.quietUntil = now + kPipeQuietMs;
}

bool peerHeard(PipePeer& peer, std::string_view message, int64_t now) {
    peer.quietUntil = now + kPipeQuietMs;
    if (message != kPipeWatchMessage) return false;
    peer.watching = true;
    return true;
}

bool peerSilentTooLong(const PipePeer& peer, int64_t now) {
    return !peer.watching && now >= peer.quietUntil;
}

}  // namespace plat
