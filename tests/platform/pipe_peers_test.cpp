// The panel pipe's rules for its connections, which both backends follow.
#include "platform/pipe_peers.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/platform.h"

namespace {

std::vector<plat::PipePeer> peers(std::initializer_list<std::pair<int64_t, bool>> acceptedAndWatching) {
    std::vector<plat::PipePeer> out;
    for (auto [at, watching] : acceptedAndWatching) {
        plat::PipePeer peer;
        plat::peerAccepted(peer, at);
        peer.watching = watching;
        out.push_back(peer);
    }
    return out;
}

}  // namespace

TEST(PipePeers, ANewcomerPushesOutTheOldestThatDoesNotWatchOnceItHadTimeToSpeak) {
    struct Case {
        std::vector<plat::PipePeer> open;
        int64_t now;
        size_t index;  // open.size(): none, wait
        int64_t waitUntil;
    };
    const Case cases[] = {
        {peers({{0, false}, {10, false}}), 300, 0, 0},
        {peers({{0, true}, {10, false}}), 300, 1, 0},             // a watching panel stays
        {peers({{0, true}, {10, true}}), 300, 0, 0},              // all watch: the oldest of all
        {peers({{100, false}, {10, false}}), 349, 2, 350},        // too young: newcomers wait
        {peers({{100, false}}), 100 + plat::kPipeYoungMs, 0, 0},  // exactly old enough
    };
    for (const Case& c : cases) {
        plat::Eviction e = plat::evictionFor(
            c.open.size(), [&](size_t i) { return &c.open[i]; }, c.now);
        EXPECT_EQ(e.index, c.index) << c.now;
        if (e.index == c.open.size()) {
            EXPECT_EQ(e.waitUntil, c.waitUntil);
        }
    }
}

TEST(PipePeers, ASilentConnectionGoesAfterAQuietSecondUnlessItWatches) {
    std::vector<plat::PipePeer> open = peers({{0, false}, {500, false}});
    EXPECT_EQ(plat::nextQuietDeadline(open.size(), [&](size_t i) { return &open[i]; }), plat::kPipeQuietMs);
    EXPECT_FALSE(plat::peerSilentTooLong(open[0], plat::kPipeQuietMs - 1));
    EXPECT_TRUE(plat::peerSilentTooLong(open[0], plat::kPipeQuietMs));
    // A message gives it another second; the watch request makes it stay for good.
    EXPECT_FALSE(plat::peerHeard(open[0], "toggleSpammer|", 900));
    EXPECT_FALSE(plat::peerSilentTooLong(open[0], 1800));
    EXPECT_TRUE(plat::peerHeard(open[1], plat::kPipeWatchMessage, 600));
    EXPECT_FALSE(plat::peerSilentTooLong(open[1], 100000));
    EXPECT_EQ(plat::nextQuietDeadline(open.size(), [&](size_t i) { return &open[i]; }),
              900 + plat::kPipeQuietMs);
    // Connections passed over (not yet connected) set no deadline.
    EXPECT_EQ(plat::nextQuietDeadline(open.size(), [](size_t) -> const plat::PipePeer* { return nullptr; }),
              -1);
}
