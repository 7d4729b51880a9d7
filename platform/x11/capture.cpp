// The Linux capture loop: XInput2 raw events of every master device, each turned into one call of the
// capture handlers on the capture thread, plus the passive grabs that do the swallowing
// (capture_grabs.cpp), kept in step with the grab plan of the capture handlers.
//
// Index: stop request · the capture connection · devices · screen points · events · the loop
//
// How the handlers' answers are carried out. X cannot take an event back from the other clients once
// it has been delivered, so the "swallow" answer is what the grabs already did: an event is swallowed
// exactly when the plan had it grabbed at the moment it happened. The grabs are asynchronous, so a
// grabbed event that the handler would have let through is swallowed all the same. That covers the
// auto-repeats of a held hotkey (which raw events do not even report: the server makes them without
// a device event), and input this program injects itself while the grab is armed: the key spammer's
// keys while a reassignment waits for its key, the auto-clicker's clicks while a pick waits.
//
// Releases. A grab, once a press has activated it, takes every event of its device until the last
// key or button is released, and that includes the keys this program injects: while a hotkey is held
// they would come to us instead of the focused program (playback started with F7 held as a person
// holds it lost its first keys). So a hotkey's key grab is ended as soon as its press has been taken
// (XIUngrabDevice), and its passive grab is dropped until the key is released, so that its
// auto-repeats, which would activate it again, reach the focused program as they do on Windows. The
// release then reaches the focused program too, which saw no press: a lone release, which changes
// nothing there. The one grab kept to the end is that of an armed reassignment, which takes every key:
// its swallowed press is followed by a swallowed release. A button grab is ended at once when the
// button is no hotkey of the current plan: the release of a picked point or of a button captured for
// a reassignment then reaches the window under the pointer, which saw no press, as it does on
// Windows. Nothing is left pressed in the clicked program either way.
//
// Injected input. Input this program injects arrives like anyone else's from the XTEST slave devices,
// as does input from xdotool or a remote-desktop server, which is real input for us: an event from an
// XTEST device is injected only when it is the echo of one of our injection notes. Every XTEST event
// is matched, including those no handler hears about (wheel releases), so the notes stay in step.
//
// Pointer warps (XWarpPointer, which is what `xdotool mousemove` does) move the pointer without any
// input event and are not seen, as on Windows a program moving the cursor is not input.
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <cstring>

#include "platform/input_codes.h"
#include "platform/platform.h"
#include "platform/x11/capture_grabs.h"
#include "platform/x11/fd_wait.h"
#include "platform/x11/injection_notes.h"
#include "platform/x11/keys.h"
#include "platform/x11/x_errors.h"

namespace plat::x11 {
namespace {

// Whoever changes what the grab plan reads wakes the loop (wakeCaptureLoop), which then follows the
// plan at once. Without a wake the plan is still read this often while no event comes, so that a
// change made without one takes hold all the same; where no wake could be made, every 3 ms.
constexpr int kPlanLookMs = 1000;
constexpr int kPlanPollMs = 3;
constexpr int kReconnectMs = 1000;

WakeHandle planWake() {
    static const WakeHandle wake = createWake();
    return wake;
}

// ---- stop request ----------------------------------------------------------------------------------
// A stop ends one run of the loop; one that comes before the loop starts ends it as soon as it starts.

StopSignal captureStop;

// ---- the capture connection ------------------------------------------------------------------------

struct DeviceTraits {
    bool xtestPointer = false;
    bool xtestKeyboard = false;
    bool absolute = false;  // the X and Y valuators report positions, not motion (tablets, touch)
};

bool endsWith(const char* text, const char* suffix) {
    const size_t length = std::strlen(text), suffixLength = std::strlen(suffix);
    return length >= suffixLength && std::strcmp(text + length - suffixLength, suffix) == 0;
}

class Capture {
  public:
    Capture(Display* display, int xiOpcode, const CaptureHandlers& handlers)
        : display_(display), xiOpcode_(xiOpcode), handlers_(handlers) {
        readDevices();
        readKeyboardMap();
        readPointerMap();
    }

    // Runs until a stop is requested.
    void run() {
        const int fd = ConnectionNumber(display_);
        const int wakeFd = x11::wakeFd(planWake());
        const int lookMs = wakeFd >= 0 ? kPlanLookMs : kPlanPollMs;
        while (!captureStop.requested()) {
            followPlan();
            XFlush(display_);
            if (XEventsQueued(display_, QueuedAlready) == 0) captureStop.waitReadable(fd, lookMs, wakeFd);
            // A change signalled up to here is followed at the top of the next turn.
            napOnWake(planWake(), 0);
            while (!captureStop.requested() && XPending(display_) > 0) {
                XEvent event;
                XNextEvent(display_, &event);
                forgetPointUnlessCovered();
                handle(event);
            }
        }
    }

  private:
    // ---- devices ----

    void readDevices() {
        devices_.fill(DeviceTraits{});
        int count = 0;
        XIDeviceInfo* info = XIQueryDevice(display_, XIAllDevices, &count);
        for (int i = 0; info && i < count; ++i) {
            const XIDeviceInfo& device = info[i];
            if (device.deviceid < 0 || static_cast<size_t>(device.deviceid) >= devices_.size()) continue;
            DeviceTraits& traits = devices_[static_cast<size_t>(device.deviceid)];
            traits.xtestPointer = device.use == XISlavePointer && endsWith(device.name, " XTEST pointer");
            traits.xtestKeyboard = device.use == XISlaveKeyboard && endsWith(device.name, " XTEST keyboard");
            for (int c = 0; c < device.num_classes; ++c) {
                if (device.classes[c]->type != XIValuatorClass) continue;
                const auto* valuator = reinterpret_cast<const XIValuatorClassInfo*>(device.classes[c]);
                if (valuator->number <= 1 && valuator->mode == XIModeAbsolute) traits.absolute = true;
            }
        }
        if (info) XIFreeDeviceInfo(info);
    }

    const DeviceTraits& device(int id) const {
        static const DeviceTraits unknown;
        return id >= 0 && static_cast<size_t>(id) < devices_.size() ? devices_[static_cast<size_t>(id)]
                                                                    : unknown;
    }

    // Keycodes to virtual-key codes, read once per layout so that each key event is a table look-up.
    void readKeyboardMap() {
        vkByKeycode_.fill(0);
        for (unsigned keycode = 8; keycode < vkByKeycode_.size(); ++keycode)
            vkByKeycode_[keycode] = vkFromKeycode(display_, keycode);
    }

    // Raw events carry the device's own button numbers; programs see them through the pointer map
    // (a left-handed map swaps 1 and 3).
    void readPointerMap() {
        for (size_t i = 0; i < buttonMap_.size(); ++i) buttonMap_[i] = static_cast<unsigned char>(i);
        unsigned char map[256];
        const int count = XGetPointerMapping(display_, map, 256);
        for (int i = 0; i < count && i + 1 < static_cast<int>(buttonMap_.size()); ++i)
            buttonMap_[i + 1] = map[i];
    }

    // ---- grabs ----

    void followPlan() {
        GrabPlan plan = handlers_.grabPlan ? handlers_.grabPlan() : GrabPlan{};
        if (plan == plan_ && !regrab_) return;
        plan_ = std::move(plan);
        regrab_ = false;
        GrabSet wanted = grabsOfPlan(display_, plan_);
        wanted.keycodes &= ~heldHotkeys_;
        for (size_t keycode = 0; keycode < wanted.keyCombos.size(); ++keycode) {
            if (heldHotkeys_[keycode]) wanted.keyCombos[keycode] = 0;
        }
        applyGrabs(display_, wanted, held_);
    }

    bool isPlannedHotkey(int32_t code) const {
        if (std::find(plan_.codes.begin(), plan_.codes.end(), code) != plan_.codes.end()) return true;
        return std::any_of(plan_.combos.begin(), plan_.combos.end(),
                           [code](const HotkeyCombos::Combo& combo) { return combo.code == code; });
    }

    // ---- screen points ----
    // One XQueryPointer serves every event that was already in the queue when its reply came: the
    // server had handled them all by then, so the point is where they (and nothing later) left the
    // pointer. It is exactly the point of the event it was asked for when nothing else was queued.

    void forgetPointUnlessCovered() {
        if (!pointKnown_) return;
        if (pointCovers_ > 0) {
            --pointCovers_;
        } else {
            pointKnown_ = false;
        }
    }

    void pointerPoint(int32_t& x, int32_t& y, bool& exact) {
        exact = false;
        if (!pointKnown_) {
            Window root = 0, child = 0;
            int rootX = 0, rootY = 0, windowX = 0, windowY = 0;
            unsigned mask = 0;
            if (XQueryPointer(display_, DefaultRootWindow(display_), &root, &child, &rootX, &rootY, &windowX,
                              &windowY, &mask)) {
                pointX_ = rootX;
                pointY_ = rootY;
            }
            pointCovers_ = XEventsQueued(display_, QueuedAlready);
            pointKnown_ = true;
            exact = pointCovers_ == 0;
        }
        x = pointX_;
        y = pointY_;
    }

    // ---- events ----

    void handle(XEvent& event) {
        if (event.type == MappingNotify) {
            XRefreshKeyboardMapping(&event.xmapping);
            if (event.xmapping.request == MappingPointer) {
                readPointerMap();
            } else {
                readKeyboardMap();
                regrab_ = true;  // the hotkeys may sit on other keycodes now
            }
            return;
        }
        if (event.type != GenericEvent || event.xcookie.extension != xiOpcode_) return;
        if (!XGetEventData(display_, &event.xcookie)) return;
        const void* data = event.xcookie.data;
        switch (event.xcookie.evtype) {
            case XI_RawKeyPress:
            case XI_RawKeyRelease:
                onKey(*static_cast<const XIRawEvent*>(data), event.xcookie.evtype == XI_RawKeyPress);
                break;
            case XI_RawButtonPress:
            case XI_RawButtonRelease:
                onButton(*static_cast<const XIRawEvent*>(data), event.xcookie.evtype == XI_RawButtonPress);
                break;
            case XI_RawMotion:
                onMotion(*static_cast<const XIRawEvent*>(data));
                break;
            case XI_ButtonPress:
                // Only a grab of ours that a press has just activated sends these.
                onGrabActivated(*static_cast<const XIDeviceEvent*>(data));
                break;
            case XI_KeyPress:
                onKeyGrabActivated(*static_cast<const XIDeviceEvent*>(data));
                break;
            case XI_HierarchyChanged:
                readDevices();
                break;
            case XI_DeviceChanged:
                if (static_cast<const XIDeviceChangedEvent*>(data)->reason == XIDeviceChange) readDevices();
                break;
            default:
                break;
        }
        XFreeEventData(display_, &event.xcookie);
    }

    void onKey(const XIRawEvent& raw, bool down) {
        const unsigned keycode = static_cast<unsigned>(raw.detail);
        const bool injected = device(raw.sourceid).xtestKeyboard && isInjectionEcho(NoteKind::Key, keycode);
        const int32_t vk = keycode < vkByKeycode_.size() ? vkByKeycode_[keycode] : 0;
        // Ended before the handler acts on the press, so that nothing the press starts is injected
        // while the grab still holds the keyboard.
        if (down && keycode < heldHotkeys_.size() && (held_.keycodes[keycode] || held_.keyCombos[keycode]) &&
            !held_.everyKey && !plan_.allKeys)
            endHotkeyGrab(raw.deviceid, keycode);
        if (vk != 0 && handlers_.key) handlers_.key(KeyEvent{vk, down, injected});
        if (!down && keycode < heldHotkeys_.size() && heldHotkeys_[keycode]) {
            heldHotkeys_.reset(keycode);
            regrab_ = true;  // its passive grab comes back for the next press
        }
    }

    struct Message {
        uint32_t message = 0;  // 0: nothing to report
        uint32_t mouseData = 0;
    };

    static uint32_t highWord(int32_t value) {
        return static_cast<uint32_t>(static_cast<uint16_t>(value)) << 16;
    }

    // Buttons 4/5 are the vertical wheel (4 away from the user), 6/7 the horizontal one (7 to the
    // right, positive as on Windows); a wheel "release" is no event of its own.
    static Message messageOfButton(unsigned button, bool down) {
        switch (button) {
            case 1:
                return {down ? rv::WM_LBUTTONDOWN : rv::WM_LBUTTONUP, 0};
            case 2:
                return {down ? rv::WM_MBUTTONDOWN : rv::WM_MBUTTONUP, 0};
            case 3:
                return {down ? rv::WM_RBUTTONDOWN : rv::WM_RBUTTONUP, 0};
            case 4:
                return down ? Message{rv::WM_MOUSEWHEEL, highWord(120)} : Message{};
            case 5:
                return down ? Message{rv::WM_MOUSEWHEEL, highWord(-120)} : Message{};
            case 6:
                return down ? Message{rv::WM_MOUSEHWHEEL, highWord(-120)} : Message{};
            case 7:
                return down ? Message{rv::WM_MOUSEHWHEEL, highWord(120)} : Message{};
            case 8:
                return {down ? rv::WM_XBUTTONDOWN : rv::WM_XBUTTONUP, highWord(1)};
            case 9:
                return {down ? rv::WM_XBUTTONDOWN : rv::WM_XBUTTONUP, highWord(2)};
            default:
                return {};
        }
    }

    void onButton(const XIRawEvent& raw, bool down) {
        const unsigned physical = static_cast<unsigned>(raw.detail);
        // Injection notes name the button as sent, before the pointer map.
        const bool injected =
            device(raw.sourceid).xtestPointer && isInjectionEcho(NoteKind::Button, physical);
        const unsigned button = physical < buttonMap_.size() ? buttonMap_[physical] : physical;
        const Message message = messageOfButton(button, down);
        if (message.message == 0) return;
        if (down) lastPressedCode_ = codeOfXButton(button);
        // A click of our own is only told as ours, whatever its point: the clicker's clicks then cost
        // no round trip to the server each. It carries the last point read.
        int32_t x = pointX_, y = pointY_;
        bool exact = false;
        if (!injected) pointerPoint(x, y, exact);
        if (handlers_.mouse) handlers_.mouse(MouseEvent{message.message, x, y, message.mouseData, injected});
    }

    void onMotion(const XIRawEvent& raw) {
        // Valuators 0 and 1 are X and Y; motion of the scroll valuators alone is wheel input, which
        // also comes as buttons 4 to 7.
        const double* value = raw.raw_values;
        double axis[2] = {0, 0};
        bool moved = false;
        for (int number = 0; number < raw.valuators.mask_len * 8; ++number) {
            if (!XIMaskIsSet(raw.valuators.mask, number)) continue;
            if (number <= 1) axis[number] = *value, moved = true;
            ++value;
        }
        if (!moved) return;
        const DeviceTraits& source = device(raw.sourceid);
        const bool injected = source.xtestPointer && isInjectionEcho(NoteKind::Motion, 0);
        int32_t x = 0, y = 0;
        bool exact = false;
        pointerPoint(x, y, exact);
        if (handlers_.mouse) handlers_.mouse(MouseEvent{rv::WM_MOUSEMOVE, x, y, 0, injected});
        if (!handlers_.rawMotion) return;

        // The XTEST pointer sends absolute moves (ours, a remote desktop's) with the target point as raw
        // values, and relative ones with the motion: an XTEST move is relative only when it demonstrably did
        // not land on its raw values. Where the point is not the event's own (more events were queued behind
        // it), it counts as absolute, so that a position is never taken for a motion.
        bool absolute = source.absolute;
        if (source.xtestPointer) {
            absolute =
                !exact || (x == clampToScreen(axis[0], DisplayWidth(display_, DefaultScreen(display_))) &&
                           y == clampToScreen(axis[1], DisplayHeight(display_, DefaultScreen(display_))));
        }
        RawMotion motion{0, 0, absolute};
        if (absolute) {
            motion.dx = static_cast<int32_t>(axis[0]);
            motion.dy = static_cast<int32_t>(axis[1]);
        } else {
            // Devices report fractions of a unit; the remainders add up instead of being lost.
            motion.dx = takeWhole(remainderX_, axis[0]);
            motion.dy = takeWhole(remainderY_, axis[1]);
        }
        handlers_.rawMotion(motion);
    }

    static int32_t clampToScreen(double value, int size) {
        return static_cast<int32_t>(
            std::clamp(std::trunc(value), 0.0, static_cast<double>(std::max(size - 1, 0))));
    }

    static int32_t takeWhole(double& remainder, double value) {
        remainder += value;
        const double whole = std::trunc(remainder);
        remainder -= whole;
        return static_cast<int32_t>(std::clamp(whole, -1e9, 1e9));
    }

    void onGrabActivated(const XIDeviceEvent& press) {
        // The handler of the raw press that came just before has already acted on it (a pick taken, a
        // button captured), so the plan is brought up to date before deciding.
        followPlan();
        if (isPlannedHotkey(lastPressedCode_)) return;
        XIUngrabDevice(display_, press.deviceid, CurrentTime);
        XFlush(display_);
    }

    // A key grab of ours that a press has just activated. The raw press that came just before has
    // normally ended it already; this catches any other way it became active.
    void onKeyGrabActivated(const XIDeviceEvent& press) {
        followPlan();
        if (plan_.allKeys) return;  // a reassignment swallows the key's release too
        const unsigned keycode = static_cast<unsigned>(press.detail);
        if (keycode < heldHotkeys_.size()) endHotkeyGrab(press.deviceid, keycode);
    }

    // Ends the active grab that a hotkey's press started and drops the key's passive grab until its
    // release.
    void endHotkeyGrab(int masterKeyboard, unsigned keycode) {
        XIUngrabDevice(display_, masterKeyboard, CurrentTime);
        heldHotkeys_.set(keycode);
        regrab_ = true;
        followPlan();
        XFlush(display_);
    }

    Display* display_;
    int xiOpcode_;
    CaptureHandlers handlers_;
    std::array<DeviceTraits, 256> devices_{};
    std::array<int32_t, 256> vkByKeycode_{};
    std::array<unsigned char, 256> buttonMap_{};

    GrabPlan plan_;
    bool regrab_ = true;
    GrabSet held_;
    std::bitset<256> heldHotkeys_;  // keycodes of hotkeys held down now, whose grabs wait for the release
    int32_t lastPressedCode_ = 0;

    bool pointKnown_ = false;
    int pointCovers_ = 0;
    int32_t pointX_ = 0, pointY_ = 0;
    double remainderX_ = 0, remainderY_ = 0;
};

// Makes the capture thread's connection receive the raw events of every master device and the device
// list's changes; false when the server has no XInput 2.2.
bool listenForInput(Display* display, int& xiOpcode) {
    int event = 0, error = 0;
    // 2.2 at least: a client that announces 2.0 gets no raw events at all while anyone holds a grab.
    int major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &xiOpcode, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success || major * 100 + minor < 202)
        return false;
    unsigned char rawBits[XIMaskLen(XI_LASTEVENT)] = {};
    for (int type : {XI_RawKeyPress, XI_RawKeyRelease, XI_RawButtonPress, XI_RawButtonRelease, XI_RawMotion})
        XISetMask(rawBits, type);
    unsigned char deviceBits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(deviceBits, XI_HierarchyChanged);
    XISetMask(deviceBits, XI_DeviceChanged);
    XIEventMask masks[2] = {{XIAllMasterDevices, sizeof rawBits, rawBits},
                            {XIAllDevices, sizeof deviceBits, deviceBits}};
    XISelectEvents(display, DefaultRootWindow(display), masks, 2);
    XSync(display, False);
    dropInjectionNotes();  // from here on every injection has an echo to match
    return true;
}

}  // namespace
}  // namespace plat::x11

namespace plat {

void runCaptureLoop(const CaptureHandlers& handlers) {
    while (!x11::captureStop.requested()) {
        bool listened = false;
        if (Display* display = XOpenDisplay(nullptr)) {
            {
                // Every X error on the capture thread's own connection is harmless, and the grabs read
                // the code of the latest one: it is trapped for as long as it is open.
                x11::ErrorTrap trap(display);
                int xiOpcode = 0;
                listened = x11::listenForInput(display, xiOpcode);
                if (listened) {
                    x11::Capture capture(display, xiOpcode, handlers);
                    capture.run();
                }
            }
            // Closing the connection also drops every grab it held.
            XCloseDisplay(display);
        }
        // Without a display (or XInput2) the features that need capture do nothing; the loop still
        // waits for its stop, and looks for a display again now and then.
        if (!listened) x11::captureStop.waitReadable(-1, x11::kReconnectMs);
    }
    x11::captureStop.consume();
}

void stopCaptureLoop() {
    x11::captureStop.request();
}

void wakeCaptureLoop() {
    signalWake(x11::planWake());
}

}  // namespace plat
