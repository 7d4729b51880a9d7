// Text for XML and HTML, as the start-up task definition and the error page need it.
#pragma once

#include <string>

namespace rv {

// The text made safe to stand between tags or in a quoted attribute of XML or HTML: & < > " ' as
// entities, and the control characters XML 1.0 cannot hold (all below U+0020 but tab, line feed and
// carriage return) as '_'.
std::string markupEscaped(const std::string& text);

}  // namespace rv
