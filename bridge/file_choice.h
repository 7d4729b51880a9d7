// The system's file dialog for the macro library's Import and Export. The page asks for a dialog and
// gets a number at once; the dialog opens once the call has returned (so that a dialog with a modal
// loop of its own never runs inside the page's call), and the page asks for the chosen path the way
// it asks for a library job's outcome, then hands the path to importMacro or exportMacro.
#pragma once

#include <functional>
#include <string>

namespace rv {

// chooseMacroFile ["open"] (a macro file to import) or ["save", NAME] (where to export the macro
// NAME; the dialog proposes "NAME.rvm" and asks before it replaces a file). `later` runs its work on
// the user-interface thread after this call has returned; the dialog is modal to `owner`, the
// instance's native window. Returns the choice's number as JSON (that of the dialog still open, while
// one is), or 0 when the call is malformed or there is no window to own a dialog. User-interface
// thread.
std::string startFileChoice(const std::string& request, void* owner,
                            const std::function<void(std::function<void()>)>& later);

// getMacroFileChoice [N]: {"done":false} while its dialog is open (or about to open); then
// {"done":true,"path":P}, P empty when the user cancelled; {"done":true,"path":"","unavailable":true}
// when the system could show no dialog, or for a number it does not know. Any thread.
std::string fileChoiceText(const std::string& request);

}  // namespace rv
