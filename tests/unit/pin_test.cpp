// The help-desk PIN against vectors worked out by hand here, the bad input a PIN, the token and
// the list of used PINs can bring, the service desk's side, and the menu's whole round.
#include "elevation/pin.h"

#include "app/main_dlg.h"
#include "test_support.h"

namespace velmora::test {
namespace {

// Worked by hand: "4253" is 42 XOR 53 = 31. "1234" XORs to 4, so a = 31 ^ 4 = 27, class 0.
// "12342" XORs to 0x36 = 54 (class 0) and sums to 252 (check '0'); its key is "4854" (123 -> 48,
// 420 -> 54). "21342" has the same digits, so the same class, sum and key.
constexpr char kCode[] = "1234";
constexpr char kPin[] = "123420";

using PinTest = TrayTest;

TEST_F(PinTest, CheckRefusesEveryMalformedOrWrongPin) {
  const std::tuple<const wchar_t*, const char*, const char*, bool> cases[] = {
      {nullptr, kCode, kPin, false},
      {L"4253", kCode, "123421", false},  // check digit one off
      {L"4253", "1233", kPin, false},     // another code, another class
      {L"4253", kCode, "12342", false},
      {L"4253", kCode, "12342 ", false},
      {L"425", kCode, kPin, false},
      {L"42x3", kCode, kPin, false},
      {L"0000", "0001", kPin, false}};  // the code XORs with the token to 1: no PIN answers it
  for (const auto& [token, code, pin, accepted] : cases) {
    if (token) SetMachineString(L"SharedToken", token);
    EXPECT_EQ(accepted, CheckPin(code, pin)) << pin << " " << code;
  }
}

TEST_F(PinTest, EachPinKeyIsAcceptedOnceWhateverTheUsedListHolds) {
  StartLog();
  SetMachineString(L"SharedToken", L"4253");
  const std::wstring full(65536, L'0');  // as long as the tray ever writes it
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"48531234", L"485312344854"},  // "hwid" before, and after the PIN; empty: refused
      // Garbage is dropped; a key out of step with the list's fours does not count.
      {L"x4854", L"4854"},
      {full, full + L"4854"},
      {full + L"0", L""}};  // longer: tampered with, every PIN counts as used
  for (const auto& [before, after] : cases) {
    SetUserString(L"hwid", before);
    ASSERT_EQ(!after.empty(), CheckPin(kCode, kPin)) << before.size();
    if (after.empty()) continue;
    RecordUsedPin(kPin);
    EXPECT_EQ(after, UserString(L"hwid"));
    // Replayed, or another PIN with the same key: refused, whatever the user code.
    EXPECT_FALSE(CheckPin("1233", kPin));
    EXPECT_FALSE(CheckPin(kCode, "213420"));
  }
  EXPECT_TRUE(Logged("CheckPin. Refused: the PIN was used before."));
}

TEST_F(PinTest, ServiceDeskPinsAreAcceptedEvenFromAStuckGeneratorAndBadInputIsNamed) {
  const auto stuck = [] { return 5u; };
  for (const char* token : {"4253", "10203099"}) {
    SetMachineString(L"SharedToken", AnsiCodePage().AnsiToWide(token));
    for (const char* code : {"1234", "8642", "5678"}) {
      std::string pin, error;
      ASSERT_TRUE(MakePin(code, token, stuck, &pin, &error)) << code << error;
      EXPECT_TRUE(CheckPin(code, pin)) << token << " " << code << " " << pin;
    }
  }
  for (const auto& [code, token, why] :
       {std::tuple{"12a4", "4253", "user code must be the four digits"},
        {"12345", "4253", "user code must be the four digits"},
        {kCode, "", "token must be the SharedToken text"},
        {"1230", "0000", "no PIN answers this user code"}}) {
    std::string pin = "untouched", error;
    EXPECT_FALSE(MakePin(code, token, stuck, &pin, &error));
    EXPECT_NE(std::string::npos, error.find(why)) << error;
    EXPECT_EQ("untouched", pin);
  }
}

// The menu's round: the dialog's user code, drawn to share the computer name's class, and the
// service desk's PIN for it, accepted once.
TEST_F(PinTest, AcceptedPinElevatesOnceRefusedOneSaysSoAndCancelDoesNothing) {
  SignIn();
  SetMachineString(L"SharedToken", L"4253");
  SetMachineString(L"TokenElevation", L"1");
  CMainDlg dialog;
  const Hwnd main = dialog.Create();
  fake.shell.menuAnswer = ID_REQUEST_PRIVILEGES;
  // The computer's name, the draws, the user code they give, the button pressed. "PC" XORs to
  // 19: class 1, so "1234" (class 4) is dropped and "0001" kept. "0001" asks for class 31 ^ 1 = 30
  // mod 9 = 3: "00000" XORs to 48 (class 3) and sums to 240 (check '6'), and "000006" has the
  // key "4854".
  const std::tuple<std::optional<std::wstring>, std::deque<uint32_t>, const char*, int> rounds[] = {
      {L"PC", {1, 2, 3, 4, 0, 0, 0, 1}, "0001", kIdOk},
      {L"PC", {}, "0001", kIdOk},  // stuck on 0: "0000" for ever, so it is built
      {std::nullopt, {10, 20, 30, 1000000009}, "0009", kIdCancel}};  // class 0
  for (const auto& [computer, draws, code, button] : rounds) {
    fake.kernel.computerName = computer;
    fake.kernel.randomNumbers = draws;
    WhenShown({button}, [&, code = code] {
      EXPECT_EQ(AnsiCodePage().AnsiToWide(code), Control(IDC_PIN_USER_CODE).text);
      Control(IDC_PIN_CODE).text = L"000006";
    });
    dialog.OnTrayIcon(msg::kRButtonUp);
    EXPECT_EQ(120u, Request()->seconds);
    SetMachine(L"AccessPeriod", 60);  // a second request would ask for 60 seconds
  }
  EXPECT_EQ(L"4854", UserString(L"hwid"));
  EXPECT_EQ(L"(owned) PIN Error: The PIN is incorrect (16)", fake.shell.boxes);
  fake.windows.DestroyWindow(main);  // with no message loop to leave
}

}  // namespace
}  // namespace velmora::test
