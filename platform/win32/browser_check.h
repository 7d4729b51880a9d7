// The WebView2 Runtime as Windows knows it. Windows backend only.
#pragma once

#include <string>

namespace plat {

// The runtime's version as its installer registered it (per machine or per user), or empty when
// none is installed.
std::string webviewRuntimeVersion();

}  // namespace plat
