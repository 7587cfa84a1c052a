// Number settings stored as text read as the code of their first character, as the settings
// rules say; an administrator who typed "1" as text must find out from the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "settings/settings_store.h"

namespace velmora {
namespace {


class SettingsTypeTest : public test::TrayTest {
 protected:
  void SetUp() override { StartLog(); }
  void TearDown() override {
    SetNumberAsTextNotice(nullptr);
    TrayTest::TearDown();
  }
  void Set(const wchar_t* name, uint32_t type, std::vector<uint8_t> bytes) {
    fake.registry.SetRaw(Hive::kLocalMachine, test::View::k64, kProductKeyPath, name, type,
                     std::move(bytes));
  }
};

TEST_F(SettingsTypeTest, NumberStoredAsTextIsLoggedOncePerName) {
  Set(L"ElevateAtLogin", reg::kRegSz, {'1', 0, 0, 0});
  Set(L"VisibleCountDown", reg::kRegExpandSz, {'1', 0});
  Set(L"Resuscitate", reg::kRegDword, {1, 0, 0, 0});
  Set(L"UserConfig", reg::kRegBinary, {2, 0});
  std::wstring text;
  for (int round = 0; round < 2; ++round) {
    for (const wchar_t* name :
         {L"ElevateAtLogin", L"VisibleCountDown", L"Resuscitate", L"UserConfig"}) {
      ReadMachineNumberText(name, text);
    }
  }
  EXPECT_EQ(LogMessages(),
            (std::vector<std::string>{
                "ReadMachineNumberText. 'ElevateAtLogin' is a number setting stored as text: it reads "
                "as 49, the code of its first character",
                "ReadMachineNumberText. 'VisibleCountDown' is a number setting stored as text: it "
                "reads as 49, the code of its first character"}));
}

std::vector<std::wstring> g_noticed;

TEST_F(SettingsTypeTest, InstalledNoticeHearsEveryTextRead) {
  SetNumberAsTextNotice([](const std::wstring& name, int32_t value) {
    g_noticed.push_back(name + L"=" + std::to_wstring(value));
  });
  Set(L"ElevateAtLogin", reg::kRegSz, {'1', 0, 0, 0});
  std::wstring text;
  ReadMachineNumberText(L"ElevateAtLogin", text);
  ReadMachineNumberText(L"ElevateAtLogin", text);
  EXPECT_EQ(g_noticed, (std::vector<std::wstring>{L"ElevateAtLogin=49", L"ElevateAtLogin=49"}));
  EXPECT_TRUE(LogMessages().empty());
}

}  // namespace
}  // namespace velmora
