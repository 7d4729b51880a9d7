// The auto-clicker worker: clicks `sbtn` at the interval sh:sm:ss.sms while autoClicking is set,
// at the pointer or at the fixed point, single or double, until switched off or rptTimes is reached.
// With the click sequence (locMode 2) it clicks the sequence's points in rounds, with the interval
// between rounds, and rptTimes counts rounds.
#pragma once

#include <cstdint>

namespace rv {

struct ButtonFlags {
    uint32_t down;
    uint32_t up;
};

// The flag pair of a button setting: 0 left, 1 right, 2 middle; any other value gives 0/0, whose
// records carry no button and do nothing.
ButtonFlags clickerButtonFlags(int32_t button);

// One turn of the worker loop: idle poll, repeat-limit check, or one click cycle and its wait.
void autoClickerPass();

// Thread body: passes while appRunning is set.
void autoClickerThread();

}  // namespace rv
