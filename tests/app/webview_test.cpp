#include "app/webview.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Kind = plat::LibraryProblem::Kind;

// The box a user sees when the webview library does not load says which file is missing and, for
// the compiler's runtime libraries, what provides them.
TEST(LibraryLoadError, SaysWhichFileIsMissingAndWhatProvidesIt) {
    const std::string path = "C:\\Programs\\Ravelin\\fake-webview";
    const std::string head = "The webview library could not be loaded:\n" + path + "\n\n";
    const std::string redistributable =
        ", which is not installed on this computer. The Microsoft Visual C++ Redistributable (x64) provides "
        "it: "
        "install it from Microsoft's website, then start Ravelin again.";
    struct Case {
        Kind kind;
        const char* detail;
        std::string text;
    };
    const Case cases[] = {
        {Kind::FileMissing, "",
         "Ravelin cannot start: the file fake-webview is missing from its folder:\n" + path +
             "\n\nCopy fake-webview from the Ravelin package into that folder, then start Ravelin again."},
        {Kind::DependencyMissing, "MSVCP140.dll", head + "It needs MSVCP140.dll" + redistributable},
        {Kind::DependencyMissing, "VCRUNTIME140.dll", head + "It needs VCRUNTIME140.dll" + redistributable},
        {Kind::DependencyMissing, "vcruntime140_1.dll",
         head + "It needs vcruntime140_1.dll" + redistributable},
        {Kind::DependencyMissing, "api-ms-win-crt-heap-l1-1-0.dll",
         head + "It needs api-ms-win-crt-heap-l1-1-0.dll" + redistributable},
        {Kind::DependencyMissing, "VERSION.dll",
         head + "It needs VERSION.dll, which is not installed on this computer."},
        {Kind::DependencyMissing, "libwebkitgtk-6.0.so.4",
         head + "It needs libwebkitgtk-6.0.so.4, which is not installed on this computer."},
        {Kind::Other, "Error 193: %1 is not a valid Win32 application.",
         head + "Error 193: %1 is not a valid Win32 application."},
        {Kind::Other, "", "The webview library could not be loaded:\n" + path},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.detail);
        EXPECT_EQ(rv::libraryLoadError(path, plat::LibraryProblem{c.kind, c.detail}), c.text);
    }
}

}  // namespace
