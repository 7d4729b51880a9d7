// Input through a Wayland compositor's virtual pointer and virtual keyboard (wlroots compositors:
// sway, Hyprland, river, wayfire, niri, labwc). Everything here runs under one lock: the connection
// and its objects are shared by the clicker, key spammer and player threads.
//
// The virtual keyboard types with the keymap it is given, and the compositor passes that keymap on
// to the window that gets the keys: it must be the user's own, or a French user's "a" would arrive as
// a "q". It is the seat keyboard's keymap when the compositor sends one, else the XKB defaults of the
// environment (XKB_DEFAULT_LAYOUT and its kin), as the compositor itself would build it. The
// compositor keeps no modifier state for a virtual keyboard: it is kept here and sent with each
// change.
#include "platform/wayland/virtual_input.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "platform/x11/keys.h"
#include "virtual-keyboard-unstable-v1-client.h"
#include "virtual-pointer-unstable-v1-client.h"
#include "xdg-output-unstable-v1-client.h"

namespace plat::wayland {
namespace {

// Linux input event codes of the pointer's buttons.
constexpr uint32_t kButtonCodes[] = {0x110, 0x111, 0x112, 0x113, 0x114};  // left, right, middle, side, extra
// The wheel's travel per notch, in the units a physical wheel reports (degrees).
constexpr double kWheelStep = 15.0;

struct Output {
    uint32_t name = 0;  // the global's
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;
    rv::DeskArea geometry;  // wl_output's position, and its mode over its scale
    rv::DeskArea logical;   // xdg-output's, where the compositor offers it
    int32_t scale = 1;
};

struct Connection {
    wl_display* display = nullptr;
    wl_registry* registry = nullptr;
    wl_seat* seat = nullptr;
    wl_keyboard* keyboard = nullptr;
    zwlr_virtual_pointer_manager_v1* pointerManager = nullptr;
    zwp_virtual_keyboard_manager_v1* keyboardManager = nullptr;
    zxdg_output_manager_v1* outputManager = nullptr;
    std::vector<Output*> outputs;
    zwlr_virtual_pointer_v1* pointer = nullptr;
    zwp_virtual_keyboard_v1* keyboardDevice = nullptr;
    std::string seatKeymap;  // the keymap text the seat's keyboard sent, if any
    xkb_context* xkb = nullptr;
    xkb_keymap* keymap = nullptr;
    xkb_state* state = nullptr;
    std::array<uint32_t, 256> keycodes{};  // by virtual-key code, 0: not looked up or none
    std::array<bool, 256> looked{};
    uint32_t depressed = 0, latched = 0, locked = 0, group = 0;
};

std::mutex lock;
Connection connection;
std::once_flag decided;
std::atomic<bool> isRouted{false};

uint32_t nowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

// ---- listeners ----

void keymapSent(void* data, wl_keyboard*, uint32_t format, int32_t fd, uint32_t size) {
    auto* c = static_cast<Connection*>(data);
    if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
        void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapped != MAP_FAILED) {
            const char* text = static_cast<const char*>(mapped);
            c->seatKeymap.assign(text, strnlen(text, size));
            munmap(mapped, size);
        }
    }
    close(fd);
}
void keyboardEnter(void*, wl_keyboard*, uint32_t, wl_surface*, wl_array*) {}
void keyboardLeave(void*, wl_keyboard*, uint32_t, wl_surface*) {}
void keyboardKey(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void keyboardModifiers(void*, wl_keyboard*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void keyboardRepeat(void*, wl_keyboard*, int32_t, int32_t) {}
const wl_keyboard_listener kKeyboardListener = {keymapSent,  keyboardEnter,     keyboardLeave,
                                                keyboardKey, keyboardModifiers, keyboardRepeat};

void seatCapabilities(void* data, wl_seat* seat, uint32_t capabilities) {
    auto* c = static_cast<Connection*>(data);
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !c->keyboard) {
        c->keyboard = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(c->keyboard, &kKeyboardListener, c);
    }
}
void seatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {seatCapabilities, seatName};

void outputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t, const char*,
                    const char*, int32_t) {
    auto* o = static_cast<Output*>(data);
    o->geometry.left = x;
    o->geometry.top = y;
}
void outputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    auto* o = static_cast<Output*>(data);
    if (flags & WL_OUTPUT_MODE_CURRENT) {
        o->geometry.width = width;
        o->geometry.height = height;
    }
}
void outputDone(void*, wl_output*) {}
void outputScale(void* data, wl_output*, int32_t factor) {
    static_cast<Output*>(data)->scale = factor > 0 ? factor : 1;
}
// Filled by name: newer libwayland versions add events (sent only to a later version than bound).
const wl_output_listener kOutputListener = [] {
    wl_output_listener listener{};
    listener.geometry = outputGeometry;
    listener.mode = outputMode;
    listener.done = outputDone;
    listener.scale = outputScale;
    return listener;
}();

void logicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto* o = static_cast<Output*>(data);
    o->logical.left = x;
    o->logical.top = y;
}
void logicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    auto* o = static_cast<Output*>(data);
    o->logical.width = width;
    o->logical.height = height;
}
void xdgOutputDone(void*, zxdg_output_v1*) {}
void xdgOutputName(void*, zxdg_output_v1*, const char*) {}
void xdgOutputDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {logicalPosition, logicalSize, xdgOutputDone,
                                                    xdgOutputName, xdgOutputDescription};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
    auto* c = static_cast<Connection*>(data);
    const auto bind = [&](const wl_interface* kind, uint32_t highest) {
        return wl_registry_bind(registry, name, kind, version < highest ? version : highest);
    };
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !c->seat) {
        c->seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 5));
        wl_seat_add_listener(c->seat, &kSeatListener, c);
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        c->pointerManager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            bind(&zwlr_virtual_pointer_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
        c->keyboardManager = static_cast<zwp_virtual_keyboard_manager_v1*>(
            bind(&zwp_virtual_keyboard_manager_v1_interface, 1));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
        c->outputManager = static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 2));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
        auto* o = new Output;
        o->name = name;
        o->output = static_cast<wl_output*>(bind(&wl_output_interface, 2));
        wl_output_add_listener(o->output, &kOutputListener, o);
        // One that comes after the set-up (a monitor plugged in) gets its logical box at once.
        if (c->outputManager && c->pointer) {
            o->xdgOutput = zxdg_output_manager_v1_get_xdg_output(c->outputManager, o->output);
            zxdg_output_v1_add_listener(o->xdgOutput, &kXdgOutputListener, o);
        }
        c->outputs.push_back(o);
    }
}
void globalRemove(void* data, wl_registry*, uint32_t name) {
    auto* c = static_cast<Connection*>(data);
    for (auto it = c->outputs.begin(); it != c->outputs.end(); ++it) {
        if ((*it)->name != name) continue;
        if ((*it)->xdgOutput) zxdg_output_v1_destroy((*it)->xdgOutput);
        wl_output_destroy((*it)->output);
        delete *it;
        c->outputs.erase(it);
        return;
    }
}
const wl_registry_listener kRegistryListener = {global, globalRemove};

// ---- set-up ----

// A file of the keymap text for the compositor to map: sealed memory where the system has it.
int keymapFile(const std::string& text, uint32_t& size) {
    size = static_cast<uint32_t>(text.size() + 1);
    int fd = memfd_create("ravelin-keymap", MFD_CLOEXEC);
    if (fd < 0) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        std::string pattern = std::string(runtime && *runtime ? runtime : "/tmp") + "/ravelin-keymap-XXXXXX";
        fd = mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) return -1;
        unlink(pattern.c_str());
    }
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, text.c_str() + written, size - written);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        written += static_cast<size_t>(n);
    }
    return fd;
}

bool giveKeymap(Connection& c) {
    c.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!c.xkb) return false;
    if (!c.seatKeymap.empty())
        c.keymap = xkb_keymap_new_from_string(c.xkb, c.seatKeymap.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                              XKB_KEYMAP_COMPILE_NO_FLAGS);
    // Null names: the XKB_DEFAULT_* variables, else the system's defaults.
    if (!c.keymap) c.keymap = xkb_keymap_new_from_names(c.xkb, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!c.keymap) return false;
    c.state = xkb_state_new(c.keymap);
    char* text = xkb_keymap_get_as_string(c.keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    if (!c.state || !text) {
        std::free(text);
        return false;
    }
    uint32_t size = 0;
    const int fd = keymapFile(text, size);
    std::free(text);
    if (fd < 0) return false;
    zwp_virtual_keyboard_v1_keymap(c.keyboardDevice, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, size);
    close(fd);
    return true;
}

void disconnect(Connection& c) {
    if (c.state) xkb_state_unref(c.state);
    if (c.keymap) xkb_keymap_unref(c.keymap);
    if (c.xkb) xkb_context_unref(c.xkb);
    for (Output* o : c.outputs) delete o;
    if (c.display) wl_display_disconnect(c.display);
    c = Connection{};
}

bool connect(Connection& c) {
    const char* socket = std::getenv("WAYLAND_DISPLAY");
    if (!socket || !*socket) return false;
    c.display = wl_display_connect(nullptr);
    if (!c.display) return false;
    c.registry = wl_display_get_registry(c.display);
    wl_registry_add_listener(c.registry, &kRegistryListener, &c);
    // Globals; then the seat's capabilities and the outputs; then the keymap and xdg outputs.
    if (wl_display_roundtrip(c.display) < 0 || wl_display_roundtrip(c.display) < 0) return false;
    if (!c.seat || !c.pointerManager || !c.keyboardManager) return false;
    if (c.outputManager) {
        for (Output* o : c.outputs) {
            o->xdgOutput = zxdg_output_manager_v1_get_xdg_output(c.outputManager, o->output);
            zxdg_output_v1_add_listener(o->xdgOutput, &kXdgOutputListener, o);
        }
    }
    if (wl_display_roundtrip(c.display) < 0) return false;
    c.pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(c.pointerManager, c.seat);
    c.keyboardDevice = zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(c.keyboardManager, c.seat);
    if (!giveKeymap(c)) return false;
    // A compositor that refuses this client its virtual keyboard ends the connection with an error.
    return wl_display_roundtrip(c.display) >= 0 && wl_display_get_error(c.display) == 0;
}

// The box an output covers in the layout: xdg-output's logical box, else its position and its mode
// over its scale.
rv::DeskArea boxOf(const Output& o) {
    if (o.logical.width > 0 && o.logical.height > 0) return o.logical;
    return {o.geometry.left, o.geometry.top, o.geometry.width / o.scale, o.geometry.height / o.scale};
}

// Handles what the compositor has sent (output changes) without waiting for more.
void readWaiting(Connection& c) {
    while (wl_display_prepare_read(c.display) != 0) wl_display_dispatch_pending(c.display);
    wl_display_flush(c.display);
    pollfd readable{wl_display_get_fd(c.display), POLLIN, 0};
    if (poll(&readable, 1, 0) > 0) {
        wl_display_read_events(c.display);
    } else {
        wl_display_cancel_read(c.display);
    }
    wl_display_dispatch_pending(c.display);
}

rv::DeskArea layoutOf(Connection& c) {
    readWaiting(c);
    std::vector<rv::DeskArea> boxes;
    for (const Output* o : c.outputs) boxes.push_back(boxOf(*o));
    return rv::layoutBox(boxes);
}

bool flush(Connection& c) {
    return wl_display_flush(c.display) >= 0 || errno == EAGAIN;
}

// ---- keys ----

std::vector<uint32_t> keysymsOf(int32_t vk) {
    const auto keysym = static_cast<uint32_t>(x11::keysymFromVk(vk));
    if (keysym == 0) return {};
    // The keypad's Del/. key, not the extra keypad comma key some keyboards have at the first level.
    if (vk == 110) return {XKB_KEY_KP_Delete, keysym};
    // Layouts with AltGr put ISO_Level3_Shift on the right Alt key.
    if (vk == 165) return {keysym, XKB_KEY_ISO_Level3_Shift};
    return {keysym};
}

uint32_t keycodeOf(Connection& c, int32_t vk) {
    if (vk < 0 || vk > 255) return 0;
    const auto index = static_cast<size_t>(vk);
    if (c.looked[index]) return c.keycodes[index];
    c.looked[index] = true;
    for (uint32_t wanted : keysymsOf(vk)) {
        std::vector<rv::KeySlot> slots;
        const xkb_keycode_t last = xkb_keymap_max_keycode(c.keymap);
        for (xkb_keycode_t code = xkb_keymap_min_keycode(c.keymap); code <= last && code != 0; ++code) {
            const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(c.keymap, code, 0);
            for (xkb_level_index_t level = 0; level < levels; ++level) {
                const xkb_keysym_t* syms = nullptr;
                const int count = xkb_keymap_key_get_syms_by_level(c.keymap, code, 0, level, &syms);
                for (int i = 0; i < count; ++i) {
                    if (syms[i] == wanted) slots.push_back({code, level});
                }
            }
        }
        if (const uint32_t code = rv::chooseKeycode(slots)) return c.keycodes[index] = code;
    }
    return 0;
}

void sendModifiers(Connection& c) {
    const uint32_t depressed = xkb_state_serialize_mods(c.state, XKB_STATE_MODS_DEPRESSED);
    const uint32_t latched = xkb_state_serialize_mods(c.state, XKB_STATE_MODS_LATCHED);
    const uint32_t locked = xkb_state_serialize_mods(c.state, XKB_STATE_MODS_LOCKED);
    const uint32_t group = xkb_state_serialize_layout(c.state, XKB_STATE_LAYOUT_EFFECTIVE);
    if (depressed == c.depressed && latched == c.latched && locked == c.locked && group == c.group) return;
    c.depressed = depressed, c.latched = latched, c.locked = locked, c.group = group;
    zwp_virtual_keyboard_v1_modifiers(c.keyboardDevice, depressed, latched, locked, group);
}

}  // namespace

bool routed() {
    std::call_once(decided, [] {
        std::lock_guard<std::mutex> held(lock);
        if (connect(connection)) {
            isRouted.store(true);
        } else {
            disconnect(connection);
        }
    });
    return isRouted.load();
}

bool absoluteMove(int32_t x, int32_t y) {
    std::lock_guard<std::mutex> held(lock);
    Connection& c = connection;
    if (!c.pointer) return false;
    const std::optional<rv::AbsoluteMotion> motion = rv::absoluteMotion(x, y, layoutOf(c));
    if (!motion) return false;
    const uint32_t time = nowMs();
    zwlr_virtual_pointer_v1_motion_absolute(c.pointer, time, motion->x, motion->y, motion->xExtent,
                                            motion->yExtent);
    zwlr_virtual_pointer_v1_frame(c.pointer);
    return flush(c);
}

bool relativeMove(int32_t dx, int32_t dy) {
    std::lock_guard<std::mutex> held(lock);
    Connection& c = connection;
    if (!c.pointer) return false;
    zwlr_virtual_pointer_v1_motion(c.pointer, nowMs(), wl_fixed_from_int(dx), wl_fixed_from_int(dy));
    zwlr_virtual_pointer_v1_frame(c.pointer);
    return flush(c);
}

bool pointer(const rv::PointerActions& actions) {
    std::lock_guard<std::mutex> held(lock);
    Connection& c = connection;
    if (!c.pointer) return false;
    for (const rv::PointerAction& action : actions) {
        const uint32_t time = nowMs();
        if (action.wheel) {
            // A turn away from the user scrolls up: negative on Wayland's vertical axis.
            zwlr_virtual_pointer_v1_axis_source(c.pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
            zwlr_virtual_pointer_v1_axis_discrete(c.pointer, time, WL_POINTER_AXIS_VERTICAL_SCROLL,
                                                  wl_fixed_from_double(-kWheelStep * action.notches),
                                                  -action.notches);
        } else {
            zwlr_virtual_pointer_v1_button(
                c.pointer, time, kButtonCodes[static_cast<size_t>(action.button)],
                action.down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
        }
        zwlr_virtual_pointer_v1_frame(c.pointer);
    }
    return flush(c);
}

int key(int32_t vk, bool down) {
    std::lock_guard<std::mutex> held(lock);
    Connection& c = connection;
    if (!c.keyboardDevice) return 0;
    const uint32_t code = keycodeOf(c, vk);
    if (code < 8) return 0;
    zwp_virtual_keyboard_v1_key(c.keyboardDevice, nowMs(), code - 8,
                                down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    xkb_state_update_key(c.state, code, down ? XKB_KEY_DOWN : XKB_KEY_UP);
    sendModifiers(c);
    return flush(c) ? 1 : 0;
}

void settle() {
    std::lock_guard<std::mutex> held(lock);
    if (connection.display) wl_display_roundtrip(connection.display);
}

rv::DeskArea layout() {
    std::lock_guard<std::mutex> held(lock);
    if (!connection.display) return {};
    return layoutOf(connection);
}

}  // namespace plat::wayland
