// Who wakes whom. The control thread and the three workers nap while they have nothing to do, and
// whoever gives one of them something to do wakes it, so that it acts at once rather than at the end
// of its nap: hotkeys set a request and wake the control thread, and so does every page call, panel
// message, captured reassignment or pick and worker that stops by itself; the control thread wakes a worker
// when it switches it on or off (a worker also naps through the long waits of its intervals); resetEverything
// and shutdown wake them all. A nap that no wake ends lasts its whole time, so a flag set without a wake is
// still carried out, only later. The autosave thread naps from one save to the next; a wake before then ends
// it only when appRunning was cleared.
#pragma once

#include <atomic>

namespace rv {

enum class Sleeper { Control, AutoClicker, KeySpammer, Player, Autosave };

// How long each sleeper naps while idle when nothing wakes it, in milliseconds. Every writer of a
// worker's flag wakes it (the control thread, a reset, shutdown), so an idle worker naps long. So
// does the control thread: every page call, panel message, captured reassignment or pick wakes it,
// and so does a worker that stops by itself or starts or stops waiting for the pointer to leave our
// windows, so that what changed reaches the page at once. While something runs it naps only until
// the page's next figures are due (state/page_notice.h).
inline constexpr int kControlIdleNapMs = 1000;
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
