// The key-spam worker: taps keySpamTarget (then the keys of keySpamKeys in turn, one a tap), with the
// modifiers of keySpamModifiers held around each tap, at the interval ksh:ksm:kss.ksms while
// keySpamming is set, until switched off or ksRptTimes is reached.
#pragma once

namespace rv {

// One turn of the worker loop: idle poll, repeat-limit check, or one tap and its wait.
void keySpammerPass();

// Thread body: passes while appRunning is set.
void keySpammerThread();

}  // namespace rv
