#include "bridge/file_choice.h"

#include <functional>
#include <vector>

#include "support/fresh_state.h"

namespace {

class FileChoice : public FreshState {
  protected:
    // The work the call left for after it returned, as the window's loop would run it.
    std::vector<std::function<void()>> queued;
    std::function<void(std::function<void()>)> later = [this](std::function<void()> work) {
        queued.push_back(std::move(work));
    };
    void runQueued() {
        std::vector<std::function<void()>> now;
        now.swap(queued);
        for (auto& work : now) work();
    }
    int owner = 0;
    std::string start(const std::string& request) { return rv::startFileChoice(request, &owner, later); }
    static std::string answer(const std::string& choice) { return rv::fileChoiceText("[" + choice + "]"); }
};

TEST_F(FileChoice, TheDialogOpensAfterTheCallAndItsPathIsAnswered) {
    const std::string choice = start("[\"open\"]");
    ASSERT_NE("0", choice);
    // Nothing is shown inside the page's call.
    EXPECT_TRUE(fake::fileDialogs().empty());
    EXPECT_EQ("{\"done\":false}", answer(choice));
    runQueued();
    ASSERT_EQ(1u, fake::fileDialogs().size());
    const fake::FileDialogShown shown = fake::fileDialogs()[0];
    EXPECT_EQ(&owner, shown.owner);
    EXPECT_EQ(plat::FileDialogRequest::Kind::Open, shown.request.kind);
    EXPECT_EQ("Ravelin macro", shown.request.typeName);
    EXPECT_EQ("rvm", shown.request.extension);
    // A second ask while the dialog is open waits for the same answer; no second dialog.
    EXPECT_EQ(choice, start("[\"save\",\"Wave\"]"));
    runQueued();
    EXPECT_EQ(1u, fake::fileDialogs().size());
    EXPECT_EQ("{\"done\":false}", answer(choice));

    ASSERT_TRUE(fake::answerFileDialog("/home/me/a \"quoted\" \\ name.rvm"));
    EXPECT_EQ("{\"done\":true,\"path\":\"/home/me/a \\\"quoted\\\" \\\\ name.rvm\"}", answer(choice));

    // Export proposes the macro's file name; a cancelled dialog answers no path.
    const std::string save = start("[\"save\",\"Log in, then wait\"]");
    ASSERT_NE(choice, save);
    runQueued();
    ASSERT_EQ(2u, fake::fileDialogs().size());
    EXPECT_EQ(plat::FileDialogRequest::Kind::Save, fake::fileDialogs()[1].request.kind);
    EXPECT_EQ("Log in, then wait.rvm", fake::fileDialogs()[1].request.proposedName);
    ASSERT_TRUE(fake::answerFileDialog(""));
    EXPECT_EQ("{\"done\":true,\"path\":\"\"}", answer(save));
    EXPECT_FALSE(fake::answerFileDialog("/late"));
}

TEST_F(FileChoice, NoDialogIsSaidSoAndABadCallChangesNothing) {
    fake::setFileDialogsAvailable(false);
    const std::string choice = start("[\"open\"]");
    ASSERT_NE("0", choice);
    runQueued();
    EXPECT_EQ("{\"done\":true,\"path\":\"\",\"unavailable\":true}", answer(choice));
    // The next ask is a new dialog, not the one that never opened.
    fake::setFileDialogsAvailable(true);
    const std::string next = start("[\"open\"]");
    EXPECT_NE(choice, next);
    runQueued();
    EXPECT_EQ(1u, fake::fileDialogs().size());
    ASSERT_TRUE(fake::answerFileDialog("/a.rvm"));

    for (const char* bad : {"", "[]", "[\"save\"]", "[\"save\",\"\"]", "[\"delete\"]", "[\"open\"", "{}"})
        EXPECT_EQ("0", start(bad)) << bad;
    // No window to own a dialog (the test build's host has none of the toolkit's).
    EXPECT_EQ("0", rv::startFileChoice("[\"open\"]", nullptr, later));
    runQueued();
    EXPECT_EQ(1u, fake::fileDialogs().size());
    EXPECT_EQ("{\"done\":true,\"path\":\"\",\"unavailable\":true}", answer("987654"));
}

}  // namespace
