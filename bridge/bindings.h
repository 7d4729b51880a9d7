// The native functions bound into the main window's page. Every one runs on the user-interface
// thread, gets the JSON text of the call's argument array, and returns a JSON text or the empty text
// (the page's promise then resolves with no value). Malformed or refused calls change nothing and
// return the empty text.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace rv {

struct MainBinding {
    const char* name;
    std::function<std::string(const std::string& request)> call;
};

// The main instance's functions that concern none of its windows; the main instance binds these
// with its own (app/main_bindings.h).
const std::vector<MainBinding>& pageBindings();

}  // namespace rv
