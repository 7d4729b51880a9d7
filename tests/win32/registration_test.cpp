// The Windows start-up registration: the value "Tapforge" under the current user's Run key, written
// and deleted for real under Windows or Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/platform.h"

namespace {

const char* const kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

struct Value {
    DWORD type = 0;
    std::string bytes;  // as stored, terminating zero included
};

std::optional<Value> readValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    Value value;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, name, nullptr, &value.type, nullptr, &size);
    if (result == ERROR_SUCCESS) {
        value.bytes.assign(size, '\0');
        result = RegQueryValueExA(key, name, nullptr, &value.type,
                                  reinterpret_cast<BYTE*>(value.bytes.data()), &size);
        value.bytes.resize(size);
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return std::nullopt;
    return value;
}

void writeValue(const char* name, DWORD type, const std::string& bytes) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExA(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                   static_cast<DWORD>(bytes.size()));
    RegCloseKey(key);
}

void deleteValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

class Registration : public ::testing::Test {
  protected:
    void SetUp() override {
        writeValue("RavelinTestNeighbour", REG_SZ, std::string("C:\\other.exe", 13));
        deleteValue("Tapforge");
    }
    void TearDown() override {
        deleteValue("Tapforge");
        deleteValue("RavelinTestNeighbour");
    }
};

}  // namespace

TEST_F(Registration, OnWritesTheQuotedPathWithItsTerminatingZero) {
    plat::setStartupRegistration(true, "C:\\Program Files\\Ravelin\\Ravelin.exe");
    auto value = readValue("Tapforge");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value->bytes, "\"C:\\Program Files\\Ravelin\\Ravelin.exe\"" + std::string(1, '\0'));

    // A start from another place rewrites it with the new path.
    plat::setStartupRegistration(true, plat::exePath());
    value = readValue("Tapforge");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->bytes, "\"" + plat::exePath() + "\"" + std::string(1, '\0'));
    EXPECT_EQ(readValue("RavelinTestNeighbour")->bytes, std::string("C:\\other.exe", 13));
}

TEST_F(Registration, OffDeletesTheValueWhoeverWroteIt) {
    writeValue("Tapforge", REG_EXPAND_SZ, std::string("%TEMP%\\elsewhere.exe", 21));
    ASSERT_TRUE(readValue("Tapforge"));
    plat::setStartupRegistration(false, plat::exePath());
    EXPECT_FALSE(readValue("Tapforge"));
    plat::setStartupRegistration(false, plat::exePath());  // already gone: no error, nothing changes
    EXPECT_FALSE(readValue("Tapforge"));
    EXPECT_TRUE(readValue("RavelinTestNeighbour"));
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
