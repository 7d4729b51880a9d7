#include "platform/x11/x_properties.h"

#include <X11/Xatom.h>

#include <algorithm>

namespace plat::x11 {
namespace {

struct ManagerAtoms {
    Atom supported, supportingCheck;
};

ManagerAtoms managerAtoms(Display* display) {
    static const char* const kNames[] = {"_NET_SUPPORTED", "_NET_SUPPORTING_WM_CHECK"};
    return internedAtoms<ManagerAtoms>(display, kNames);
}

}  // namespace

// ---- atoms and properties ----

bool readProperty(Display* display, Window window, Atom name, Atom type, Property& out) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0, bytesAfter = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, name, 0, 65536, False, type, &actualType, &actualFormat, &count,
                           &bytesAfter, &data) != Success)
        return false;
    out = Property{};
    out.type = actualType;
    out.format = actualFormat;
    if (data && actualFormat == 8) {
        out.bytes.assign(reinterpret_cast<const char*>(data), count);
    } else if (data && actualFormat == 32) {
        const long* values = reinterpret_cast<const long*>(data);
        out.values.assign(values, values + count);
    }
    if (data) XFree(data);
    return actualType != None;
}

std::optional<std::vector<long>> readValues(Display* display, Window window, Atom name, Atom type) {
    Property property;
    if (!readProperty(display, window, name, type, property) || property.format != 32) return std::nullopt;
    return std::move(property.values);
}

void writeValues(Display* display, Window window, Atom name, Atom type, const std::vector<long>& values) {
    XChangeProperty(display, window, name, type, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), static_cast<int>(values.size()));
}

// ---- the window manager ----

bool managerRuns(Display* display) {
    const Atom check = managerAtoms(display).supportingCheck;
    auto named = readValues(display, DefaultRootWindow(display), check, XA_WINDOW);
    if (!named || named->empty()) return false;
    const Window checkWindow = static_cast<Window>((*named)[0]);
    auto again = readValues(display, checkWindow, check, XA_WINDOW);
    return again && !again->empty() && static_cast<Window>((*again)[0]) == checkWindow;
}

bool managerSupports(Display* display, Atom feature) {
    auto supported =
        readValues(display, DefaultRootWindow(display), managerAtoms(display).supported, XA_ATOM);
    return supported &&
           std::find(supported->begin(), supported->end(), static_cast<long>(feature)) != supported->end();
}

void sendToManager(Display* display, Window window, Atom type, std::initializer_list<long> data) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    int i = 0;
    for (long value : data)
        if (i < 5) event.xclient.data.l[i++] = value;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &event);
}

}  // namespace plat::x11
