#include "bridge/panel_command_line.h"

#include <gtest/gtest.h>

TEST(PanelCommandLine, FieldsPositionAndDefaults) {
    struct Case {
        const char* commandLine;
        const char* name;
        const char* id;
        std::optional<int32_t> x, y;
        const char* theme;
    };
    const Case cases[] = {
        {"--child", "Panel", "", std::nullopt, std::nullopt, "modern-blue"},  // no "--child " with its blank
        {"--child Settings|settings-panel|800|300|dark", "Settings", "settings-panel", 650, 280, "dark"},
        {"--child \"Settings|settings-panel|800|300|dark\"", "Settings", "settings-panel", 650, 280, "dark"},
        {"x --child Auto Clicker|clicker-panel|abc|300|paper", "Auto Clicker", "clicker-panel", std::nullopt,
         std::nullopt, "paper"},
        {"--child A|b|100", "A", "b", std::nullopt, std::nullopt, "modern-blue"},
        {"--child A|b|100|200", "A", "b", -50, 180, "modern-blue"},
        {"--child A|b|1|2|t|extra", "A", "b", -149, -18, "t"},
        {"--child ", "Panel", "", std::nullopt, std::nullopt, "modern-blue"},
        {"--child |x", "", "x", std::nullopt, std::nullopt, "modern-blue"},
    };
    for (const Case& c : cases) {
        rv::PanelParameters p = rv::parsePanelCommandLine(c.commandLine);
        EXPECT_EQ(p.name, c.name) << c.commandLine;
        EXPECT_EQ(p.elementId, c.id) << c.commandLine;
        EXPECT_EQ(p.x, c.x) << c.commandLine;
        EXPECT_EQ(p.y, c.y) << c.commandLine;
        EXPECT_EQ(p.theme, c.theme) << c.commandLine;
    }
    EXPECT_EQ(rv::panelCommandLine("Auto Clicker", "clicker-panel", 800, 300, "dark", "1,-2"),
              "--child Auto Clicker|clicker-panel|800|300|dark|1,-2");
    // The sixth field carries the settings in use; anything but a list of integers is dropped.
    EXPECT_EQ(rv::parsePanelCommandLine("--child A|b|1|2|t|0,0,0,250,1").settings, "0,0,0,250,1");
    EXPECT_EQ(rv::parsePanelCommandLine("--child A|b|1|2|t|1');x('").settings, "");
    EXPECT_EQ(rv::parsePanelCommandLine("--child A|b|1|2|t").settings, "");
}
