// Telling the page that what it shows may have changed. The page reads the status again as soon as
// it is told, so it needs no fast poll while nothing happens; its slow poll remains for the live
// figures and anything no one tells it about. The main instance installs the way to tell it (a
// script run in the page on the user-interface thread); until then telling does nothing.
#pragma once

#include <cstdint>

namespace rv {

// Installs `tell`, which must be safe to call from any thread; null removes it.
void setPageTeller(void (*tell)());

// Tells the page at once. Any thread.
void tellPage();

// A fingerprint of the live state the page shows, other than the running figures (counts, rates,
// playback position): what runs, the hotkeys and the key to spam, a pending or refused
// reassignment, a pick, the panel hover and every automation setting. Any thread; takes no lock.
uint64_t pageStateSignature();

// Tells the page when the fingerprint differs from the one this call saw last (the first call
// only notes it). Control thread, after each pass.
void tellPageOfChanges();

}  // namespace rv
