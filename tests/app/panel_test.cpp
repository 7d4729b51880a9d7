#include "app/panel.h"

#include <gtest/gtest.h>

TEST(PanelScript, ReplacesOnlyTheLastBodyEnd) {
    const std::string script = rv::panelScript("dark", "settings-panel");
    EXPECT_EQ(script.rfind("<script>", 0), 0u);
    EXPECT_NE(script.find("applyTheme('dark');"), std::string::npos);
    EXPECT_NE(script.find("themeSel.value = 'dark';"), std::string::npos);
    EXPECT_NE(script.find("getElementById('settings-panel')"), std::string::npos);
    EXPECT_EQ(script.substr(script.size() - 17), "</script>\n</body>");

    EXPECT_EQ(rv::withPanelScript("<body>a</body>b</body>c", "S"), "<body>a</body>bSc");
    EXPECT_EQ(rv::withPanelScript("<p>no end</p>", "S"), "<p>no end</p>");
}

TEST(PanelScript, StartingSettingsGoRightAfterTheHead) {
    EXPECT_EQ(
        rv::withPanelSettings("<html><head><title>t</title></head><body></body>", "1,2"),
        "<html><head><script>window.panelSettings = '1,2';</script><title>t</title></head><body></body>");
    EXPECT_EQ(rv::withPanelSettings("<html><head></head>", ""), "<html><head></head>");
    EXPECT_EQ(rv::withPanelSettings("<body></body>", "1,2"), "<body></body>");
}

TEST(PanelScript, ValuesCannotEndTheStringOrTheScript) {
    EXPECT_EQ(rv::scriptStringContent("modern-blue"), "modern-blue");
    EXPECT_EQ(rv::scriptStringContent("a'b\\c"), "a\\'b\\\\c");
    EXPECT_EQ(rv::scriptStringContent("</script>"), "\\x3c/script>");
    EXPECT_EQ(rv::scriptStringContent("x\ny"), "x\\x0ay");
    const std::string script = rv::panelScript("x');alert(1);//", "p");
    EXPECT_NE(script.find("applyTheme('x\\');alert(1);//');"), std::string::npos);
}
