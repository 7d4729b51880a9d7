// Who wakes whom. The control thread and the three workers nap while they have nothing to do, and
// whoever gives one of them something to do wakes it, so that it acts at once rather than at the end
// of its nap: hotkeys, page calls and panel messages wake the control thread when they set a request
// (or a reassignment is captured); the control thread wakes a worker when it switches it on or off
// (a worker also naps through the long waits of its intervals); resetEverything and shutdown wake them
// all. A nap that no wake ends lasts its whole time, so a flag set without a wake is still carried
// out, only later. The autosave thread naps from one save to the next; a wake before then
// ends it only when appRunning was cleared.
#pragma once

#include <atomic>

namespace rv {

enum class Sleeper { control, autoClicker, keySpammer, player, autosave };

// How long each sleeper naps while idle when nothing wakes it, in milliseconds. Every writer of a
// worker's flag wakes it (the control thread, a reset, shutdown), so an idle worker naps long; the
// control thread also passes on to the page what workers and the capture thread changed, so it looks
// more often.
inline constexpr int kControlNapMs = 100;
inline constexpr int kWorkerNapMs = 1000;

// The autosave thread's period: it naps this long between saves.
inline constexpr int kAutosaveMs = 5000;

// Naps the calling thread, which must be `who`, up to `milliseconds`; true when a wake ended the nap.
bool nap(Sleeper who, int milliseconds);

// Ends the current or next nap of `who` (any thread).
void wake(Sleeper who);

// Wakes every sleeper (after flags they wait on were cleared: a reset, shutdown). The autosave
// thread, woken by a reset, naps on to its next save.
void wakeAll();

// Sets one of the control thread's one-shot requests (recordToggleRequest, playToggleRequest,
// clickerToggleRequest, keySpamToggleRequest) and wakes it. Any thread.
void raiseRequest(std::atomic<bool>& request);

}  // namespace rv
