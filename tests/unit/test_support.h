// The fixture most tests share: a fresh process on the fake platform, the registry places the
// tray reads, the log read back, and no registry key left open or closed twice.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "elevation/channel.h"
#include "fakes/fake_platform.h"
#include "localization/localized_texts.h"
#include "log/log.h"
#include "settings/settings_store.h"
#include "state/globals.h"
#include "text/utf16.h"

namespace velmora::test {

using fakes::FakePlatform;
using View = fakes::FakeRegistry::View;
using Posts = std::vector<std::pair<uint32_t, uintptr_t>>;
using Bytes = std::vector<uint8_t>;

constexpr int64_t kNow = 1'800'000'000;
constexpr Hive kMachine = Hive::kLocalMachine;
constexpr Hive kUser = Hive::kCurrentUser;
inline const std::wstring kPolicy = kPolicyKeyPath;
inline const std::wstring kProduct = kProductKeyPath;
inline const std::wstring kBlock = channel::kSharedBlockName;

// UTF-16LE bytes of a text, as language files hold them.
inline std::string Utf16(const std::wstring& text) {
  const Bytes bytes = ToUtf16LeBytes(text, false);
  return std::string(bytes.begin(), bytes.end());
}

class TrayTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(fake.registry.Unbalanced(), 0u);
    DestroyLogLock();
  }

  // "CORP\alice", not an administrator, with the service running, the shared block and the
  // channel events in place, valid directory verdicts and the built-in texts.
  void SignIn() {
    fake.clock.now = kNow;
    fake.files.SetEnvironment(L"USERDOMAIN", L"CORP");
    fake.accounts.userName = L"alice";
    fake.services.states[L"VelmoraFrameworkService"] = svc::kStateRunning;
    fake.kernel.Put(kBlock, fakes::FakeKernel::Type::kMapping, channel::kElevationRequestSize);
    ASSERT_TRUE(CreateChannelEvents());
    Store(g_bADUserValid, 1);
    Store(g_bADUserGroupValid, 1);
    LoadBuiltInTexts();
  }
  void MakeAdmin() { fake.accounts.groups[L"Administrators"] = {{L"CORP\\alice"}}; }

  void SetMachine(const std::wstring& name, uint32_t value, const std::wstring& path = kProduct) {
    fake.registry.SetDword(kMachine, View::k64, path, name, value);
  }
  void SetMachineString(const std::wstring& name, const std::wstring& value,
                        const std::wstring& path = kProduct) {
    fake.registry.SetString(kMachine, View::k64, path, name, value);
  }
  void SetUserString(const std::wstring& name, const std::wstring& value) {
    fake.registry.SetString(kUser, View::k64, kProduct, name, value);
  }
  std::optional<std::wstring> UserString(const std::wstring& name) const {
    const auto value = fake.registry.Get(kUser, View::k64, kProduct, name);
    if (!value) return std::nullopt;
    return FromUtf16LeBytes(value->bytes.data(), value->bytes.size());
  }
  void SetTimerEndAt(int64_t end) { SetUserString(L"timerEnd", std::to_wstring(end)); }
  // The managed document as the service caches it: its bytes XOR 0x0E, as ANSI text.
  void CacheDocument(std::string json) {
    for (char& c : json) c = static_cast<char>(c ^ 0x0E);
    SetMachineString(L"Managed settings", fake.codePage.AnsiToWide(json), kPolicy);
  }

  Bytes& Block() { return fake.kernel.named.at(kBlock)->bytes; }
  // The request the service would read, or nothing when the block holds none.
  std::optional<channel::ElevationRequestFields> Request() {
    channel::ElevationRequestFields fields;
    const auto status = channel::DecodeElevationRequest(Block().data(), Block().size(), &fields);
    return status == channel::RecordStatus::kOk ? std::optional(fields) : std::nullopt;
  }

  // Plays the user of the next modal dialog: `during`, then the buttons pressed in turn.
  void WhenShown(std::vector<int> buttons, std::function<void()> during = nullptr) {
    fake.windows.modalScript = [this, buttons, during](Hwnd dialog) {
      modal = dialog;
      if (during) during();
      for (int id : buttons) Send(msg::kCommand, id);
    };
  }
  // A control of the dialog shown, and a message sent to that dialog.
  fakes::FakeWindows::Item& Control(int id) { return fake.windows.item(modal, id); }
  intptr_t Send(uint32_t message, uintptr_t wParam, intptr_t lParam = 0) {
    return fake.windows.Send(modal, message, wParam, lParam);
  }
  // A link's notification of `code` (kNmClick: clicked) from control `id`.
  void Notify(int id, uint32_t code) {
    NotifyHeader header{nullptr, static_cast<uintptr_t>(id), code};
    Send(msg::kNotify, id, reinterpret_cast<intptr_t>(&header));
  }
  Posts Posted() const {
    Posts posts;
    for (const Message& m : fake.windows.queue) posts.emplace_back(m.message, m.wParam);
    return posts;
  }

  void StartLog() {
    CreateLogLock();
    ASSERT_TRUE(SetDefaultLogFilePath());
  }
  // The log's messages without their time stamps.
  std::vector<std::string> LogMessages() const {
    const std::string text = fake.files.Contents(FakePlatform::kLogPath);
    const size_t stamp = std::string("[05.12.2026 07:03:09] ").size();
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
      lines.push_back(text.substr(at + stamp, end - at - stamp));
    }
    return lines;
  }
  // Whether the log holds lines ending in `lines`, written "end of a line|next line|...".
  bool Logged(const std::string& lines) const {
    std::string log;
    for (const std::string& line : LogMessages()) log += line + "|";
    return log.find(lines + "|") != std::string::npos;
  }

  FakePlatform fake;
  Hwnd modal = nullptr;  // the modal dialog last shown
};

}  // namespace velmora::test
