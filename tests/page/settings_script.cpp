// Prints the script with the settings table that the program puts in its page's head.
#include <cstdio>

#include "state/settings.h"

int main() {
    std::fputs(rv::pageSettingsScript().c_str(), stdout);
    return 0;
}
