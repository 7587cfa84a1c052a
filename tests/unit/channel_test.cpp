// The tray's side of the service channel: the bytes that land in the shared block (checked
// against hand-built images, never against the encoder), the request events, and what each
// failure leaves behind. The service's decoder is checked against the same block.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "elevation/channel.h"
#include "elevation/channel_records.h"
#include "fakes/fake_platform.h"
#include "state/globals.h"

namespace velmora {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr wchar_t kBlock[] = L"Global\\__SHARED_312";
constexpr wchar_t kAddToAdmin[] = L"Global\\___ADMIN_ACCESS__312";
constexpr wchar_t kSaveSettings[] = L"Global\\___ADMIN_ACCESS__313";

// ASCII text as UTF-16LE units from `offset`.
void PutAscii(Bytes& bytes, size_t offset, const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    bytes[offset + 2 * i] = static_cast<uint8_t>(text[i]);
    bytes[offset + 2 * i + 1] = 0;
  }
}

Bytes Slice(const Bytes& bytes, size_t from, size_t length) {
  return Bytes(bytes.begin() + from, bytes.begin() + from + length);
}

// The 28 bytes of a settings record; `period` may hold any bytes.
Bytes SettingsBytes(const std::string& period, uint8_t identity, uint8_t resuscitate,
                    uint8_t atLogin) {
  Bytes bytes(28, 0);
  std::memcpy(bytes.data(), period.data(), period.size());
  bytes[20] = identity;
  bytes[22] = resuscitate;
  bytes[24] = atLogin;
  return bytes;
}

class ChannelTest : public ::testing::Test {
 protected:
  // What the service does before any request: hold the request events.
  Handle HoldEvent(const wchar_t* name) {
    EventParams params;
    params.name = name;
    return fake.kernel.CreateOrOpenEvent(params);
  }
  // Fills the block as the service could, through a view of its own.
  void FillBlock(uint8_t value, size_t size) {
    const Handle mapping = fake.kernel.OpenNamedFileMapping(kBlock, kern::kFileMapAllAccess);
    void* view = fake.kernel.MapView(mapping, kern::kFileMapWrite, size);
    std::memset(view, value, size);
    fake.kernel.UnmapView(view);
    fake.kernel.CloseHandle(mapping);
  }
  Bytes Block() { return fake.kernel.MappingBytes(kBlock); }

  fakes::FakePlatform fake;
};

TEST_F(ChannelTest, RequestIsWrittenWholeOverWhateverWasThere) {
  fake.kernel.CreateFileMapping(kBlock, 2048);
  FillBlock(0xEE, 2048);

  WriteElevationRequest(std::wstring(5000, L'x'), std::wstring(5000, L'y'), true, 0);
  Bytes block = Block();
  EXPECT_EQ(Bytes({1, 0, 0, 0, 0, 0, 0, 0}), Slice(block, 1200, 8));

  WriteElevationRequest(L"CORP\\alice", L"no reason", false, 0x12345678);
  Bytes expected(1208, 0);
  PutAscii(expected, 0, "CORP\\alice");
  PutAscii(expected, 600, "no reason");
  expected[1204] = 0x78;
  expected[1205] = 0x56;
  expected[1206] = 0x34;
  expected[1207] = 0x12;
  block = Block();
  EXPECT_EQ(expected, Slice(block, 0, 1208));
  // The view covers the record only.
  EXPECT_EQ(Bytes(2048 - 1208, 0xEE), Slice(block, 1208, 2048 - 1208));
  EXPECT_EQ(0u, fake.kernel.MappedViewCount());
  EXPECT_EQ(0u, fake.kernel.OpenHandleCount());
  EXPECT_TRUE(fake.shell.boxes().empty());
}

TEST_F(ChannelTest, TextsAreCutAt299UnitsWithoutSplittingAPair) {
  fake.kernel.CreateFileMapping(kBlock, 1208);
  const std::wstring face = L"\U0001F600";  // D83D DE00
  struct Case {
    const char* what;
    std::wstring text;
    Bytes field;  // the expected 600 bytes
  };
  std::vector<Case> cases;
  for (size_t length : {299, 300, 5000}) {
    Bytes field(600, 0);
    PutAscii(field, 0, std::string(length < 299 ? length : 299, 'a'));
    cases.push_back({"ascii", std::wstring(length, L'a'), field});
  }
  {
    // Units 298 and 299 would be the pair: the text keeps 298 units.
    Bytes field(600, 0);
    PutAscii(field, 0, std::string(298, 'a'));
    cases.push_back({"pair at the cut", std::wstring(298, L'a') + face + L"b", field});
  }
  {
    // Units 297 and 298 are the pair: all 299 units fit.
    Bytes field(600, 0);
    PutAscii(field, 0, std::string(297, 'a'));
    field[594] = 0x3D;
    field[595] = 0xD8;
    field[596] = 0x00;
    field[597] = 0xDE;
    cases.push_back({"pair before the cut", std::wstring(297, L'a') + face + L"bc", field});
  }
  {
    Bytes field(600, 0);
    PutAscii(field, 0, "CORP\\al");
    cases.push_back({"embedded NUL", std::wstring(L"CORP\\al\0ice", 11), field});
  }

  for (const Case& c : cases) {
    WriteElevationRequest(c.text, c.text, false, 1);
    const Bytes block = Block();
    EXPECT_EQ(c.field, Slice(block, 0, 600)) << c.what << " (name)";
    EXPECT_EQ(c.field, Slice(block, 600, 600)) << c.what << " (reason)";
  }
}

TEST_F(ChannelTest, SettingsRecordFollowsTheDialogTexts) {
  struct Case {
    const char* what;
    std::wstring period, identity, resuscitate;
    bool atLogin;
    Bytes expected;
  };
  const Case cases[] = {
      {"19 bytes as typed", L"1234567890123456789", L"2", L"1", true,
       SettingsBytes("1234567890123456789", '2', '1', 1)},
      {"20 bytes become 300", L"12345678901234567890", L"3", L"0", false,
       SettingsBytes("300", '3', '0', 0)},
      // 19 bytes in the ANSI code page (the euro sign is 0x80), 21 in UTF-8.
      {"measured in the code page", L"\u20AC" + std::wstring(18, L'9'), L"1", L"1", false,
       SettingsBytes("\x80" + std::string(18, '9'), '1', '1', 0)},
      {"letters travel as typed", L"abc", L"1", L"1", false, SettingsBytes("abc", '1', '1', 0)},
      {"empty resuscitate is 0, no identity is NUL", L"60", L"", L"", false,
       SettingsBytes("60", 0, '0', 0)},
      {"low byte of the first unit", L"60", L"7", L"\u01312", false,
       SettingsBytes("60", 0, 0x31, 0)},
      {"first character only", L"60", L"1", L"25", true, SettingsBytes("60", '1', '2', 1)},
  };
  for (const Case& c : cases) {
    const SettingsRecord record =
        BuildSettingsRecord(c.period, c.identity, c.resuscitate, c.atLogin);
    EXPECT_EQ(c.expected, Bytes(record.begin(), record.end())) << c.what;
  }
}

TEST_F(ChannelTest, SettingsSaveWritesOnly28BytesAndSignalsItsOwnEvent) {
  fake.kernel.CreateFileMapping(kBlock, 1208);
  HoldEvent(kAddToAdmin);
  HoldEvent(kSaveSettings);
  WriteElevationRequest(std::wstring(400, L'u'), std::wstring(400, L'r'), false, 99);
  const Bytes request = Block();

  WriteSettingsRecord(BuildSettingsRecord(L"600", L"2", L"1", true));
  SignalSaveSettings();

  const Bytes block = Block();
  EXPECT_EQ(SettingsBytes("600", '2', '1', 1), Slice(block, 0, 28));
  EXPECT_EQ(Slice(request, 28, 1180), Slice(block, 28, 1180));
  EXPECT_TRUE(fake.kernel.IsSignaled(kSaveSettings));
  EXPECT_FALSE(fake.kernel.IsSignaled(kAddToAdmin));
}

TEST_F(ChannelTest, WriteFailuresShowTheirBoxWriteNothingAndLetTheSignalGo) {
  HoldEvent(kAddToAdmin);
  WriteElevationRequest(L"CORP\\alice", L"startup", true, 0);
  WriteSettingsRecord(BuildSettingsRecord(L"60", L"1", L"0", false));
  const auto boxes = fake.shell.boxes();
  ASSERT_EQ(2u, boxes.size());
  for (const auto& box : boxes) {
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ(L"Cannot create mapping. Error code: 2", box.text);
    EXPECT_EQ(L"", box.caption);
    EXPECT_EQ(win::kMbOk, box.type);
  }
  SignalAddToAdmin(KindAtLogin);
  EXPECT_TRUE(fake.kernel.IsSignaled(kAddToAdmin));
  EXPECT_EQ(KindAtLogin, Load(g_nElevationKind));

  // A block too small for a request cannot be mapped for one; a settings record still fits.
  fake.kernel.CreateFileMapping(kBlock, 100);
  const size_t handlesBefore = fake.kernel.OpenHandleCount();
  WriteElevationRequest(L"CORP\\alice", L"startup", true, 0);
  ASSERT_EQ(3u, fake.shell.boxes().size());
  EXPECT_EQ(L"Cannot create view. Error code: 5", fake.shell.boxes()[2].text);
  EXPECT_EQ(L"", fake.shell.boxes()[2].caption);
  EXPECT_EQ(Bytes(100, 0), Block());
  EXPECT_EQ(handlesBefore, fake.kernel.OpenHandleCount());

  WriteSettingsRecord(BuildSettingsRecord(L"60", L"1", L"0", false));
  EXPECT_EQ(3u, fake.shell.boxes().size());
  EXPECT_EQ(SettingsBytes("60", '1', '0', 0), Slice(Block(), 0, 28));
}

TEST_F(ChannelTest, RequestEventsAreObtainedWithTheChannelAttributesAndClosed) {
  HoldEvent(kAddToAdmin);
  HoldEvent(kSaveSettings);
  SignalAddToAdmin(KindPeriod);
  SignalSaveSettings();

  const auto& obtained = fake.kernel.events_obtained();
  ASSERT_EQ(4u, obtained.size());
  EXPECT_EQ(kAddToAdmin, obtained[2].params.name);
  EXPECT_EQ(kSaveSettings, obtained[3].params.name);
  for (size_t i : {2, 3}) {
    EXPECT_TRUE(obtained[i].opened);
    EXPECT_FALSE(obtained[i].params.manualReset);
    EXPECT_FALSE(obtained[i].params.initialState);
    EXPECT_TRUE(obtained[i].params.nullDacl);
    EXPECT_FALSE(obtained[i].params.narrowName);
  }
  EXPECT_EQ(std::vector<std::wstring>({kAddToAdmin, kSaveSettings}), fake.kernel.ClosedNames());
  EXPECT_TRUE(fake.kernel.IsSignaled(kAddToAdmin));
  EXPECT_TRUE(fake.kernel.IsSignaled(kSaveSettings));
  EXPECT_EQ(KindPeriod, Load(g_nElevationKind));
}

TEST_F(ChannelTest, RequestEventThatCannotBeObtainedDropsTheRequest) {
  fake.kernel.SquatName(kAddToAdmin);
  fake.kernel.SquatName(kSaveSettings);
  Store(g_nElevationKind, KindPeriod);

  SignalAddToAdmin(KindDays);
  SignalSaveSettings();

  EXPECT_EQ(KindPeriod, Load(g_nElevationKind));
  const auto boxes = fake.shell.boxes();
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ(L"Error creating AddToAdmin event. Error code: 6", boxes[0].text);
  EXPECT_EQ(L"Error creating SaveSettingsEvent event. Error code: 6", boxes[1].text);
  for (const auto& box : boxes) {
    EXPECT_EQ(nullptr, box.owner);
    EXPECT_EQ(L"Error", box.caption);
    EXPECT_EQ(win::kMbOk | win::kMbIconError, box.type);
  }
}

TEST_F(ChannelTest, KindIsStoredBeforeTheServiceIsWoken) {
  const Handle serviceEvent = HoldEvent(kAddToAdmin);
  std::promise<int32_t> seen;
  std::future<int32_t> kindSeen = seen.get_future();
  std::thread service([&] {
    const uint32_t woke = fake.kernel.WaitForAny(&serviceEvent, 1, 5000);
    seen.set_value(woke == win::kWaitObject0 ? Load(g_nElevationKind) : -1);
  });
  // The signaller is held right after the signal until the waiter has looked, so a kind stored
  // after the signal could not be seen.
  fake.kernel.set_after_signal(
      [&](const std::wstring&) { kindSeen.wait_for(std::chrono::seconds(5)); });

  SignalAddToAdmin(KindShellHook);
  service.join();
  fake.kernel.set_after_signal(nullptr);
  EXPECT_EQ(KindShellHook, kindSeen.get());
}

TEST_F(ChannelTest, ServiceDecoderAcceptsWhatTheTrayWritesAndRejectsTheRest) {
  using channel::RecordStatus;
  fake.kernel.CreateFileMapping(kBlock, 1208);
  WriteElevationRequest(L"CORP\\alice", L"fix \U0001F600", true, 0);
  const Bytes good = Block();

  channel::ElevationRequestFields request;
  ASSERT_EQ(RecordStatus::kOk, channel::DecodeElevationRequest(good.data(), good.size(), &request));
  EXPECT_EQ(u"CORP\\alice", request.user);
  EXPECT_EQ(u"fix \U0001F600", request.reason);
  EXPECT_TRUE(request.atLogin);
  EXPECT_EQ(0u, request.seconds);

  const auto decode = [](const Bytes& bytes) {
    channel::ElevationRequestFields ignored;
    return channel::DecodeElevationRequest(bytes.data(), bytes.size(), &ignored);
  };
  Bytes bad = good;
  PutAscii(bad, 0, std::string(300, 'a'));
  EXPECT_EQ(RecordStatus::kNotTerminated, decode(bad));
  bad = good;
  bad[598] = 'z';
  EXPECT_EQ(RecordStatus::kNotZeroPadded, decode(bad));
  bad = good;
  std::fill(bad.begin(), bad.begin() + 600, 0);
  EXPECT_EQ(RecordStatus::kEmptyUserName, decode(bad));
  bad = good;
  bad[1200] = 2;
  EXPECT_EQ(RecordStatus::kBadFlag, decode(bad));
  EXPECT_EQ(RecordStatus::kTooShort, decode(Slice(good, 0, 1207)));

  // A settings save leaves a block that no longer reads as a request.
  WriteSettingsRecord(BuildSettingsRecord(L"60", L"2", L"1", false));
  const Bytes saved = Block();
  EXPECT_EQ(RecordStatus::kNotZeroPadded, decode(saved));
  channel::SettingsRecordFields settings;
  ASSERT_EQ(RecordStatus::kOk, channel::DecodeSettingsRecord(saved.data(), 28, &settings));
  EXPECT_EQ("60", settings.accessPeriod);
  EXPECT_EQ('2', settings.identity);
  EXPECT_EQ('1', settings.resuscitate);
  EXPECT_FALSE(settings.elevateAtLogin);
  bad = saved;
  bad[20] = '4';
  EXPECT_EQ(RecordStatus::kBadIdentity, channel::DecodeSettingsRecord(bad.data(), 28, &settings));
  bad = saved;
  std::memset(bad.data(), '9', 20);
  EXPECT_EQ(RecordStatus::kNotTerminated,
            channel::DecodeSettingsRecord(bad.data(), 28, &settings));
}

}  // namespace
}  // namespace velmora
