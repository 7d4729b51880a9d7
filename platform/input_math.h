// The arithmetic of synthetic input that both platform backends share: the normalisation of
// absolute moves to the virtual desktop, the list of extended keys and the key flag words. Portable code, no
// system header.
#pragma once

#include <cstdint>

#include "platform/input_codes.h"

namespace rv {

struct NormalizedPoint {
    int32_t dx;
    int32_t dy;
};

// The virtual desktop: the rectangle that holds every monitor, in screen pixels. The primary
// monitor's top-left corner is 0,0, so a monitor left of or above it has negative coordinates.
struct DeskArea {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

// A pixel of the virtual desktop scaled to 0..65536 across the desktop: (x - left) × 65536 / width
// rounded up, so that the system's mapping back (deskPixel, rounding down) lands on that very pixel
// (960,540 on a lone 1920 × 1080 → 32768,32768; 1919,1079 → 65502,65476; -1280,0 with a 1280 pixel
// monitor left of it → 0,0). Coordinates lie within ±32,767 pixels. A width or height of 0 or less
// leaves that coordinate unscaled: there is nothing to normalise against.
NormalizedPoint normalizeAbsolute(int32_t x, int32_t y, const DeskArea& desk);

// The pixel that the system moves the pointer to for a normalised point on the desktop: left +
// n × width / 65536, rounded down (toward minus infinity).
struct DeskPixel {
    int32_t x;
    int32_t y;
};
DeskPixel deskPixel(NormalizedPoint point, const DeskArea& desk);

// Page Up/Down, End, Home, the arrows (33–40), Insert and Delete (45, 46); nothing else.
bool isExtendedKey(int32_t vk);

// The flag word of a key record: scan code, plus key-up for a release, plus extended for the keys
// above (Delete press 0x0009, release 0x000B).
uint32_t keyRecordFlags(int32_t vk, bool down);

// A key as the system's keyboard layout knows it: its scan code and whether it carries the
// extended (0xE0) prefix.
struct KeyScan {
    uint16_t scan;
    bool extended;
};

// The key from the layout's two answers for a virtual-key code: `prefixed`, the scan code with its
// prefix in the high byte (0xE0 for an extended key such as right Ctrl, the Windows keys or Volume
// Up; 0xE1 for Pause), and `plain`, the scan code alone. Extended when the layout says so or the
// code is on the fixed list above; an 0xE1 key keeps its plain scan code, which no flag can prefix.
KeyScan keyScanFromLayout(int32_t vk, uint32_t prefixed, uint32_t plain);

// keyRecordFlags for a key of the layout.
uint32_t keyRecordFlags(KeyScan key, bool down);

// Whether input the system took at `lastInputMs` came more than `graceMs` after `lastHookCallMs`,
// the last time a capture hook ran: then no hook saw it, and the hooks are gone. Millisecond
// tick counts that wrap around every 2^32 ms (about 49.7 days); times further apart than half of
// that do not occur.
bool inputMissedByHooks(uint32_t lastInputMs, uint32_t lastHookCallMs, uint32_t graceMs);

}  // namespace rv
