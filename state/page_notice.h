// Telling the page that what it shows may have changed. The page reads the status again as soon as
// it is told, so it needs no fast poll while nothing happens; its slow poll remains for anything no
// one tells it about. While something runs the page is also handed the status twice a second,
// for its live figures, so that it need not read them. The main instance installs both ways (scripts
// run in the page on the user-interface thread); until then neither does anything.
#pragma once

#include <cstdint>

namespace rv {

// Installs `tell`, which must be safe to call from any thread; null removes it.
void setPageTeller(void (*tell)());

// Tells the page at once. Any thread.
void tellPage();

// A fingerprint of the live state the page shows, other than the running figures (counts, rates,
// playback position): what runs, the hotkeys and the key to spam, a pending or refused
// reassignment, a pick, the panel hover, the start delay, the passes of a replay
// and every automation setting. Any thread; takes no lock.
uint64_t pageStateSignature();

// Tells the page when the fingerprint differs from the one this call saw last (the first call
// only notes it). Control thread, after each pass.
void tellPageOfChanges();

// How often the page is handed the status while something runs, in milliseconds: a replay's
// position moves on at least twice a second.
inline constexpr int kFiguresMs = 500;

// Installs `hand`, which hands the page the status; it must be safe to call from any thread; null
// removes it.
void setFiguresHander(void (*hand)());

// While something runs (recording, playback, the auto-clicker or the key spammer), hands the page
// the status every kFiguresMs, the first time kFiguresMs after it started; nothing while idle.
// Returns the milliseconds until the next hand-over is due (at least 1), or -1 while idle. Control
// thread, after each pass.
int handPageFigures();

}  // namespace rv
