// The help-desk PIN against vectors worked out by hand here, the bad input a PIN, the token and
// the list of used PINs can bring, the service desk's side, and the menu's whole round.
#include "elevation/pin.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "app/main_dlg.h"
#include "dialogs/ask_pin_dlg.h"
#include "test_support.h"

namespace velmora::test {
namespace {

// Worked by hand: "4253" is 42 XOR 53 = 31. "1234" XORs to 4, so a = 31 ^ 4 = 27, class 0.
// "12342" XORs to 0x36 = 54 (class 0) and sums to 252 (check '0'); its key is "4854" (123 -> 48,
// 420 -> 54). "21342" has the same digits, so the same class, sum and key.
constexpr char kToken[] = "4253";
constexpr char kCode[] = "1234";
constexpr char kPin[] = "123420";
constexpr char kTwin[] = "213420";

class PinTest : public TrayTest {
 protected:
  void SetUp() override {
    SignIn();
    StartLog();
    SetMachineString(L"SharedToken", L"4253");
  }
};

TEST_F(PinTest, BuildingBlocksMatchHandWorkedVectors) {
  EXPECT_EQ(0, XorBytes(""));
  EXPECT_EQ(4, XorBytes("1234"));
  EXPECT_EQ(0x13, XorBytes("PC"));
  fake.kernel.randomNumbers = {7, 13, 25, 4, 1000000009};
  EXPECT_EQ("73549", RandomDigits(5));

  const struct {
    const char* text;
    std::optional<std::string> token;
  } tokens[] = {{"4253", std::string("\x1F")},
                {"10203099", std::string("iw}")},  // 10, 20, 30 each XOR 99
                {"42", std::string()},             // the mask alone: no token bytes
                {"0000", std::string(1, '\0')},
                {"425", std::nullopt},
                {"4a53", std::nullopt},
                {" 4253", std::nullopt},
                {"-4253", std::nullopt},
                {"", std::nullopt}};
  for (const auto& t : tokens) {
    std::string token = "untouched";
    EXPECT_EQ(t.token.has_value(), DecodeSharedToken(t.text, &token)) << t.text;
    EXPECT_EQ(t.token.value_or("untouched"), token) << t.text;
  }
  EXPECT_EQ("4854", PinUsageKey(kPin));
  EXPECT_EQ("4853", PinUsageKey("000063"));
  EXPECT_EQ("4854", PinUsageKey(kTwin));
}

TEST_F(PinTest, UserCodeSharesTheComputerNamesClass) {
  const struct {
    std::optional<std::wstring> computer;
    std::deque<uint32_t> draws;
    std::string code;
  } cases[] = {// "PC" XORs to 19: class 1. "1234" is class 4, "0001" class 1.
               {L"PC", {11, 22, 33, 44, 50, 60, 70, 81}, "0001"},
               // A generator stuck on 0 draws "0000" (class 0) for ever: the code is built.
               {L"PC", {}, "0001"},
               // No name: the class of the empty text, 0.
               {std::nullopt, {}, "0000"}};
  for (const auto& c : cases) {
    fake.kernel.computerName = c.computer;
    fake.kernel.randomNumbers = c.draws;
    EXPECT_EQ(c.code, MakeUserCode()) << c.code;
  }
}

TEST_F(PinTest, CheckRefusesEveryMalformedOrWrongPin) {
  const struct {
    std::optional<std::wstring> token;  // nullopt: not set
    const char* code;
    const char* pin;
    bool accepted;
  } cases[] = {{L"4253", kCode, kPin, true},
               {L"4253", kCode, "000063", true},
               {L"4253", kCode, "123421", false},  // check digit one off
               {L"4253", kCode, "123429", false},
               {L"4253", kCode, "123450", false},  // "12345" is class 4
               {L"4253", "1233", kPin, false},     // another code, another class
               {L"4253", kCode, "12342", false},
               {L"4253", kCode, "1234200", false},
               {L"4253", kCode, "", false},
               {L"4253", kCode, "12342A", false},
               {L"4253", kCode, "ABCDE0", false},
               // 'H' is 72 (class 0) and "H0000" sums to 264 (check '3'): only a letter.
               {L"4253", kCode, "H00003", false},
               {L"4253", kCode, " 12342", false},
               {std::nullopt, kCode, kPin, false},
               {L"", kCode, kPin, false},
               {L"425", kCode, kPin, false},
               {L"42x3", kCode, kPin, false},
               // A token of the mask alone: a = XorBytes("1234") = 4, class 4. "12345" XORs to
               // 49 (class 4) and sums to 255 (check '3').
               {L"42", kCode, "123453", true},
               {L"42", kCode, "123450", false},
               // A code that XORs with the token to 0 takes no PIN at all.
               {L"0000", "1230", kPin, false}};
  for (const auto& c : cases) {
    fake.registry.DeleteKeyValue(kMachine, kProduct, L"SharedToken");
    if (c.token) SetMachineString(L"SharedToken", *c.token);
    EXPECT_EQ(c.accepted, CheckPin(c.code, c.pin)) << c.pin << " " << c.code;
  }
  EXPECT_FALSE(UserString(L"hwid"));
}

TEST_F(PinTest, EachPinKeyIsAcceptedOnceWhateverTheUsedListHolds) {
  const std::wstring quarter(16384, L'0');  // "0000" 4096 times: 16384 characters
  const struct {
    std::optional<std::wstring> before;  // "hwid" before; nullopt: missing
    bool accepted;
    std::wstring after;  // "hwid" after the accepted PIN is recorded
  } cases[] = {{std::nullopt, true, L"4854"},
               {L"", true, L"4854"},
               {L"48531234", true, L"485312344854"},
               {L"12344854", false, L""},
               // Garbage is dropped; a key out of step with the list's fours does not count.
               {L"zz!", true, L"4854"},
               {L"x4854", true, L"4854"},
               {L"ab121234", true, L"12344854"},
               {quarter + quarter + quarter + quarter, true, L""},
               // Longer than the tray can ever have written: every PIN counts as used.
               {quarter + quarter + quarter + quarter + L"0", false, L""}};
  for (const auto& c : cases) {
    fake.registry.DeleteKeyValue(kUser, kProduct, L"hwid");
    if (c.before) SetUserString(L"hwid", *c.before);
    ASSERT_EQ(c.accepted, CheckPin(kCode, kPin)) << c.before.value_or(L"(missing)").size();
    if (!c.accepted || c.after.empty()) continue;
    RecordUsedPin(kPin);
    EXPECT_EQ(c.after, UserString(L"hwid"));
    // Replayed, or another PIN with the same key: refused, whatever the user code.
    EXPECT_FALSE(CheckPin(kCode, kPin));
    EXPECT_FALSE(CheckPin("1233", kPin));
    EXPECT_FALSE(CheckPin(kCode, kTwin));
  }
  EXPECT_TRUE(Logged("CheckPin. Refused: the PIN was used before."));
  EXPECT_TRUE(Logged("hwid) is longer than 65536 characters"));
}

TEST_F(PinTest, ServiceDeskPinsAreAcceptedAndBadInputIsNamed) {
  std::mt19937 generator(7);
  const auto random = [&generator] { return static_cast<uint32_t>(generator()); };
  for (const char* token : {"4253", "42", "10203099", "1234567890"}) {
    SetMachineString(L"SharedToken", AnsiCodePage().AnsiToWide(token));
    for (const char* code : {"1234", "8642", "5678", "2468"}) {
      std::string pin, error;
      ASSERT_TRUE(MakePin(code, token, random, &pin, &error)) << token << code << error;
      EXPECT_TRUE(CheckPin(code, pin)) << token << " " << code << " " << pin;
    }
  }
  SetMachineString(L"SharedToken", L"4253");
  // A generator stuck on one value still gets a PIN.
  std::string pin, error;
  ASSERT_TRUE(MakePin(kCode, kToken, [] { return 5u; }, &pin, &error));
  EXPECT_TRUE(CheckPin(kCode, pin)) << pin;

  const struct {
    const char* code;
    const char* token;
    const char* error;
  } bad[] = {{"123", kToken, "user code must be the four digits"},
             {"12345", kToken, "user code must be the four digits"},
             {"12a4", kToken, "user code must be the four digits"},
             {kCode, "425", "token must be the SharedToken text"},
             {kCode, "", "token must be the SharedToken text"},
             {kCode, "42 53", "token must be the SharedToken text"},
             {"1230", "0000", "no PIN answers this user code"}};
  for (const auto& b : bad) {
    std::string none = "untouched";
    EXPECT_FALSE(MakePin(b.code, b.token, random, &none, &error)) << b.code << " " << b.token;
    EXPECT_NE(std::string::npos, error.find(b.error)) << error;
    EXPECT_EQ("untouched", none);
  }
}

class PinMenuTest : public PinTest {
 protected:
  void SetUp() override {
    PinTest::SetUp();
    SetMachineString(L"TokenElevation", L"1");
    main = dialog.Create();
    fake.shell.menuAnswer = ID_REQUEST_PRIVILEGES;
  }
  void TearDown() override {
    fake.windows.DestroyWindow(main);
    PinTest::TearDown();
  }
  // Chooses "Request Previleges" and answers the dialog with `pin` and `button`; the code and
  // the focus it showed come back.
  void AskWithPin(const std::wstring& pin, int button = kIdOk) {
    fake.windows.modalScript = [&](Hwnd ask) {
      shownCode = fake.dialogs.item(ask, IDC_PIN_USER_CODE).text;
      focused = fake.dialogs.focused[ask];
      fake.dialogs.item(ask, IDC_PIN_CODE).text = pin;
      fake.windows.Send(ask, msg::kCommand, button, 0);
    };
    dialog.OnTrayIcon(msg::kRButtonUp);
  }

  CMainDlg dialog;
  Hwnd main = nullptr;
  std::wstring shownCode;
  int focused = 0;
};

TEST_F(PinMenuTest, AcceptedPinElevatesOnceRefusedOneSaysSoAndCancelDoesNothing) {
  // "PC" is class 1: "1234" (class 4) is drawn and dropped, "0001" kept.
  fake.kernel.computerName = L"PC";
  fake.kernel.randomNumbers = {1, 2, 3, 4, 0, 0, 0, 1};
  std::string pin, error;
  ASSERT_TRUE(MakePin("0001", kToken, [] { return 3u; }, &pin, &error)) << error;
  AskWithPin(AnsiCodePage().AnsiToWide(pin));
  EXPECT_EQ(L"0001", shownCode);
  EXPECT_EQ(IDC_PIN_CODE, focused);
  ASSERT_TRUE(Request());
  EXPECT_EQ(120u, Request()->seconds);
  EXPECT_EQ(AnsiCodePage().AnsiToWide(PinUsageKey(pin)), UserString(L"hwid"));
  EXPECT_TRUE(fake.shell.boxes.empty());

  // The same PIN again, and a cancelled dialog: no new request (it would ask for 60 seconds).
  SetMachine(L"AccessPeriod", 60);
  AskWithPin(AnsiCodePage().AnsiToWide(pin));
  AskWithPin(L"", kIdCancel);
  EXPECT_EQ(120u, Request()->seconds);
  ASSERT_EQ(1u, fake.shell.boxes.size());
  const auto& box = fake.shell.boxes[0];
  EXPECT_EQ(main, box.owner);
  EXPECT_EQ(L"The PIN is incorrect", box.text);
  EXPECT_EQ(L"PIN Error", box.caption);
  EXPECT_EQ(win::kMbIconError, box.type);
}

}  // namespace
}  // namespace velmora::test
