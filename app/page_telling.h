// Telling the page in a window that what it shows may have changed: the page's
// ravelinStatusChanged runs, and the page reads the status again at once (ui/index.html). Handing
// it the status while something runs, so that it need not read its live figures.
#pragma once

#include <string>

namespace rv {

class Webview;

// The view whose page is told; null stops the telling (a telling already dispatched still runs, so
// the view must outlive the loop that runs it). User-interface thread.
void setToldView(Webview* view);

// Any thread. Changes that come before the window thread has run the script are told once; the flag
// is cleared before the script runs, so a change made meanwhile is told again.
void tellToldView();

// Hands the told view's page the text `status` makes, on the window thread: the page's
// ravelinStatus runs with it, as if the page had read it; an empty text hands nothing. Any thread;
// a hand-over still waiting for the window thread is not queued twice.
void handToldView(std::string (*status)());

// Tells the told view's page that nothing of it shows though the page may not know (its window is
// covered, or minimized): the page's ravelinUnseen runs, and the page reads its live figures no
// more until it is handed the status again, shows again or gains the focus. Any thread; a telling
// still waiting for the window thread is not queued twice.
void tellToldViewUnseen();

// Runs `work` once on the told view's window thread; a run still waiting there is not queued twice.
// Any thread; nothing without a told view.
void runOnToldViewThread(void (*work)());

}  // namespace rv
