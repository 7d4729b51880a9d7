#include "bridge/panel_messages.h"

#include <cstring>

#include "app/app.h"
#include "bridge/bindings.h"
#include "bridge/texts.h"
#include "state/profile_settings.h"
#include "support/fresh_state.h"

namespace {

class PanelMessages : public FreshState {
  protected:
    void SetUp() override {
        FreshState::SetUp();
        rv::profiles = {rv::Profile{"p", "", {}}};
    }
    static void message(const std::string& text) { rv::handlePanelMessage(text.data(), text.size()); }
    static std::string call(const char* name, const std::string& request) {
        return callMainBinding(name, request);
    }
};

}  // namespace

TEST_F(PanelMessages, NamesNeedTheirBarAndMatchExactly) {
    message("toggleSpammer");
    message("");
    message("TOGGLESPAMMER|");
    message("toggleSpammer |");
    EXPECT_FALSE(rv::clickerToggleRequest);
    message("toggleSpammer|");
    EXPECT_TRUE(rv::clickerToggleRequest);
    message("toggleKeySpam|ignored payload");
    EXPECT_TRUE(rv::keySpamToggleRequest);
}

TEST_F(PanelMessages, HoverIsTrueOnlyForExactlyOne) {
    for (auto [text, expected] : {std::pair{"panelHover|1", true},
                                  {"panelHover|0", false},
                                  {"panelHover|1", true},
                                  {"panelHover|11", false},
                                  {"panelHover|1", true},
                                  {"panelHover|", false}}) {
        message(text);
        EXPECT_EQ(rv::panelHover, expected) << text;
    }
}

TEST_F(PanelMessages, ReassignWordsAreComparedExactly) {
    message("reassignKey|Rec");
    message("reassignKey|rec ");
    EXPECT_EQ(rv::reassignTarget, 0);
    message("reassignKey|keyspamtarget");
    EXPECT_EQ(rv::reassignTarget, 5);
}

TEST_F(PanelMessages, TrackerUpdateFollowsThePageRules) {
    message("updateTracker|0,1,0,1,1,2.5,1,50");
    EXPECT_FALSE(rv::tmv);
    EXPECT_TRUE(rv::trel);
    EXPECT_EQ(rv::tspd, 2.5f);
    EXPECT_TRUE(rv::tloop);
    EXPECT_EQ(rv::tloopMs, 50);
    EXPECT_EQ(rv::profiles[0].settingsText, rv::profileSettingsText());
    message("updateTracker|1,1,1,1,0,1,0");  // seven fields: nothing
    EXPECT_FALSE(rv::tmv);
    message("updateTracker|1,1,1,1,0,11,0,9");  // speed out of range: the switches before it apply
    EXPECT_TRUE(rv::tmv);
    EXPECT_FALSE(rv::trel);
    EXPECT_EQ(rv::tspd, 2.5f);
    EXPECT_EQ(rv::tloopMs, 50);
}

TEST_F(PanelMessages, UpdatesFollowThePageRulesAndBarsStayInThePayload) {
    message("updateSpammer|0,0,1,500,0,0,1,10,0");
    EXPECT_EQ(rv::ss, 1);
    EXPECT_EQ(rv::sms, 500);
    EXPECT_EQ(rv::profiles[0].settingsText, rv::profileSettingsText());
    message("updateSpammer|0,0,2,600,0,0,1,10");  // eight fields: nothing
    EXPECT_EQ(rv::ss, 1);
    message("updateSpammer|1|2");  // one field "1|2": fewer than nine
    EXPECT_EQ(rv::sh, 0);
    message("updateKeySpam|0,0,0,250,0,3");
    EXPECT_EQ(rv::ksms, 250);
    EXPECT_EQ(rv::ksRptTimes, 3);
}

TEST_F(PanelMessages, TextEndsAtTheFirstZeroByte) {
    const char bytes[] = "toggleSpammer\0|";
    rv::handlePanelMessage(bytes, sizeof bytes - 1);
    EXPECT_FALSE(rv::clickerToggleRequest);
    const char cut[] = "toggleKeySpam|\0rest";
    rv::handlePanelMessage(cut, sizeof cut - 1);
    EXPECT_TRUE(rv::keySpamToggleRequest);
}

TEST_F(PanelMessages, PanelsSendNameBarPayload) {
    rv::sendPanelMessage("updateSpammer", "1,2,3");
    rv::sendPanelMessage("toggleSpammer", "");
    EXPECT_EQ(fake::sentMessages(), (std::vector<std::string>{"updateSpammer|1,2,3", "toggleSpammer|"}));
    fake::setPipeServerPresent(false);
    rv::sendPanelMessage("toggleSpammer", "");  // lost, and nothing waits
    EXPECT_EQ(fake::sentMessages().size(), 2u);
}

TEST_F(PanelMessages, OpenPanelStartsOneProcessPerPanelAndStatusReapsEndedOnes) {
    rv::theme = "midnight";
    EXPECT_EQ(call("openPanel", "[\"Auto Clicker\",\"clicker-panel\",800,300]"), "");
    ASSERT_EQ(fake::processes().size(), 1u);
    EXPECT_EQ(fake::processes()[0]->executable, folder() + "/ravelin");
    EXPECT_EQ(fake::processes()[0]->arguments,
              "--child Auto Clicker|clicker-panel|800|300|midnight|" + rv::profileSettingsText());
    call("openPanel", "[\"Auto Clicker\",\"clicker-panel\",10,10]");  // already open: nothing new
    call("openPanel", "[\"Bad|Name\",\"x\",1,1]");
    call("openPanel", "[\"Key Spammer\",\"keyspam-panel\",\"a\",1]");
    call("openPanel", "[\"Key Spammer\"]");
    EXPECT_EQ(fake::processes().size(), 1u);
    call("openPanel", "[\"Key Spammer\",\"keyspam-panel\",5,6]");
    ASSERT_EQ(fake::processes().size(), 2u);

    rv::panelHover = true;
    EXPECT_NE(rv::trackerStatus().find("\"restore\":[],"), std::string::npos);  // still running
    EXPECT_TRUE(rv::panelHover);
    fake::processes()[0]->status = plat::ProcessStatus::Ended;
    fake::processes()[1]->status = plat::ProcessStatus::Ended;
    std::string text = rv::trackerStatus();
    EXPECT_NE(text.find("\"restore\":[\"Auto Clicker\",\"Key Spammer\"],"), std::string::npos) << text;
    EXPECT_NE(text.find("\"panelHover\":false"), std::string::npos);
    EXPECT_TRUE(fake::processes()[0]->closed);
    EXPECT_NE(rv::trackerStatus().find("\"restore\":[],"), std::string::npos);  // reported exactly once
    EXPECT_TRUE(rv::panelProcesses.empty());

    // A panel whose process ended can be opened again.
    call("openPanel", "[\"Auto Clicker\",\"clicker-panel\",1,1]");
    EXPECT_EQ(fake::processes().size(), 3u);
}

// With the main window known, a panel opens beside it whatever point the page gave; "Show here"
// ends the panel's process.
TEST_F(PanelMessages, PanelOpensBesideTheMainWindowAndShowHereEndsIt) {
    void* const main = reinterpret_cast<void*>(0x1);
    fake::addWindow(rv::kMainWindowTitle, main);
    fake::window(main).rect = {100, 50, 520, 610};
    fake::setWorkAreas({plat::Rect{0, 0, 1920, 1040}});
    call("openPanel", "[\"Auto Clicker\",\"clicker-panel\",300,200]");
    ASSERT_EQ(fake::processes().size(), 1u);
    EXPECT_NE(fake::processes()[0]->arguments.find("|clicker-panel|670|70|"), std::string::npos)
        << fake::processes()[0]->arguments;

    call("closePanel", "[\"Nothing\"]");
    EXPECT_FALSE(fake::processes()[0]->terminated);
    call("closePanel", "[\"Auto Clicker\"]");
    EXPECT_TRUE(fake::processes()[0]->terminated);
    EXPECT_TRUE(fake::processes()[0]->closed);
    EXPECT_TRUE(rv::panelProcesses.empty());
    EXPECT_NE(rv::statusText().find("\"restore\":[],"), std::string::npos);  // closed here: nothing to report
}

TEST_F(PanelMessages, ShutdownTerminatesOpenPanels) {
    writeFile("ui/index.html", "<body></body>");
    fake::setRealSleep(true);
    fake::webview().onRun = [] {
        fake::callBinding("openPanel", "[\"B\",\"b\",1,1]");
        fake::callBinding("openPanel", "[\"A\",\"a\",1,1]");
    };
    EXPECT_EQ(rv::ravelinMain(""), 0);
    ASSERT_EQ(fake::processes().size(), 2u);
    for (fake::FakeProcess* process : fake::processes()) {
        EXPECT_TRUE(process->terminated);
        EXPECT_TRUE(process->closed);
    }
    EXPECT_TRUE(rv::panelProcesses.empty());
    EXPECT_FALSE(fake::pipeServerRunning());
}
