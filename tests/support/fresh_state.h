// Test fixture: every item of the process-wide state at its default, a fresh fake platform, and a
// temporary folder of the test's own that holds the fake executable (and so its page and files).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/fake/fake_platform.h"
#include "state/state.h"

// Calls one of the main instance's page functions as the page would; "<missing>" when none has the name.
std::string callMainBinding(const char* name, const std::string& request);

class FreshState : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The test's folder, and the path of a file in it.
    const std::string& folder() const { return folder_; }
    std::string inFolder(const std::string& name) const { return folder_ + "/" + name; }
    // Writes a file in the test's folder (creating sub-folders), bytes as given.
    void writeFile(const std::string& name, const std::string& bytes) const;
    std::string readFile(const std::string& name) const;

  private:
    std::string folder_;
};
