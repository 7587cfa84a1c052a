// The tray's side of the service channel: the bytes that land in the shared block (checked
// against hand-built images, never against the encoder), the request events, and what each
// failure leaves behind. The service's decoder is checked against the same block.
#include "elevation/channel.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace velmora::test {
namespace {

using Bytes = std::vector<uint8_t>;
using channel::RecordStatus;

const std::wstring kBlock = channel::kSharedBlockName;
const std::wstring kSaveSettings = channel::kSaveSettingsEventName;

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

class ChannelTest : public TrayTest {
 protected:
  // What the service does before any request: hold the request events.
  void HoldEvents() {
    for (const std::wstring& name : {kRequestEvent, kSaveSettings}) {
      EventParams params;
      params.name = name;
      fake.kernel.CreateOrOpenEvent(params);
    }
  }
  Bytes Block() { return fake.kernel.MappingBytes(kBlock); }
};

TEST_F(ChannelTest, RequestIsWrittenWholeOverWhateverWasThere) {
  fake.kernel.CreateFileMapping(kBlock, 2048);
  const Handle mapping = fake.kernel.OpenNamedFileMapping(kBlock, kern::kFileMapAllAccess);
  void* view = fake.kernel.MapView(mapping, kern::kFileMapWrite, 2048);
  std::memset(view, 0xEE, 2048);
  fake.kernel.UnmapView(view);
  fake.kernel.CloseHandle(mapping);

  WriteElevationRequest(std::wstring(5000, L'x'), std::wstring(5000, L'y'), true, 0);
  EXPECT_EQ(Bytes({1, 0, 0, 0, 0, 0, 0, 0}), Slice(Block(), 1200, 8));
  WriteElevationRequest(L"CORP\\alice", L"no reason", false, 0x12345678);
  Bytes expected(1208, 0);
  PutAscii(expected, 0, "CORP\\alice");
  PutAscii(expected, 600, "no reason");
  expected[1204] = 0x78;
  expected[1205] = 0x56;
  expected[1206] = 0x34;
  expected[1207] = 0x12;
  EXPECT_EQ(expected, Slice(Block(), 0, 1208));
  // The view covers the record only.
  EXPECT_EQ(Bytes(2048 - 1208, 0xEE), Slice(Block(), 1208, 2048 - 1208));
  EXPECT_EQ(0u, fake.kernel.OpenCount());
  EXPECT_TRUE(fake.shell.boxes.empty());
}

TEST_F(ChannelTest, TextsAreCutAt299UnitsWithoutSplittingAPair) {
  fake.kernel.CreateFileMapping(kBlock, 1208);
  const std::wstring face = FromUtf16(u"\U0001F600");  // D83D DE00
  const struct {
    std::wstring text;
    std::string ascii;  // what the field holds before the optional pair
    bool pair;          // the pair follows the ascii
  } cases[] = {{std::wstring(299, L'a'), std::string(299, 'a'), false},
               {std::wstring(5000, L'a'), std::string(299, 'a'), false},
               // Units 298 and 299 would be the pair: the text keeps 298 units.
               {std::wstring(298, L'a') + face + L"b", std::string(298, 'a'), false},
               {std::wstring(297, L'a') + face + L"bc", std::string(297, 'a'), true},
               {std::wstring(L"CORP\\al\0ice", 11), "CORP\\al", false}};
  for (const auto& c : cases) {
    Bytes field(600, 0);
    PutAscii(field, 0, c.ascii);
    if (c.pair) {
      field[2 * c.ascii.size()] = 0x3D;
      field[2 * c.ascii.size() + 1] = 0xD8;
      field[2 * c.ascii.size() + 3] = 0xDE;
    }
    WriteElevationRequest(c.text, c.text, false, 1);
    EXPECT_EQ(field, Slice(Block(), 0, 600)) << c.ascii.size();
    EXPECT_EQ(field, Slice(Block(), 600, 600)) << c.ascii.size();
  }
}

TEST_F(ChannelTest, SettingsRecordFollowsTheDialogTexts) {
  const struct {
    std::wstring period, identity, resuscitate;
    bool atLogin;
    Bytes expected;
  } cases[] = {
      {L"1234567890123456789", L"2", L"1", true, SettingsBytes("1234567890123456789", '2', '1', 1)},
      {L"12345678901234567890", L"3", L"0", false, SettingsBytes("300", '3', '0', 0)},
      // 19 bytes in the ANSI code page (the euro sign is 0x80), 21 in UTF-8.
      {L"\u20AC" + std::wstring(18, L'9'), L"1", L"1", false,
       SettingsBytes("\x80" + std::string(18, '9'), '1', '1', 0)},
      {std::wstring(L"60\0 1", 5), L"", L"", false, SettingsBytes("60", 0, '0', 0)},
      {L"abc", L"7", L"\u01312", false, SettingsBytes("abc", 0, '?', 0)},
      {L"abc", L"1", L"\u00E9", false, SettingsBytes("abc", '1', 0xE9, 0)},
      {L"60", L"1", L"25", true, SettingsBytes("60", '1', '2', 1)}};
  for (const auto& c : cases) {
    const SettingsRecord record =
        BuildSettingsRecord(c.period, c.identity, c.resuscitate, c.atLogin);
    EXPECT_EQ(c.expected, Bytes(record.begin(), record.end())) << c.period.size();
  }
}

TEST_F(ChannelTest, SettingsSaveWritesOnly28BytesAndSignalsItsOwnEvent) {
  fake.kernel.CreateFileMapping(kBlock, 1208);
  HoldEvents();
  WriteElevationRequest(std::wstring(400, L'u'), std::wstring(400, L'r'), false, 99);
  const Bytes request = Block();
  WriteSettingsRecord(BuildSettingsRecord(L"600", L"2", L"1", true));
  SignalSaveSettings();
  EXPECT_EQ(SettingsBytes("600", '2', '1', 1), Slice(Block(), 0, 28));
  EXPECT_EQ(Slice(request, 28, 1180), Slice(Block(), 28, 1180));
  EXPECT_TRUE(fake.kernel.IsSignaled(kSaveSettings));
  EXPECT_FALSE(fake.kernel.IsSignaled(kRequestEvent));
  SignalAddToAdmin(KindPeriod);
  EXPECT_TRUE(fake.kernel.IsSignaled(kRequestEvent));
  EXPECT_EQ(KindPeriod, Load(g_nElevationKind));
  EXPECT_EQ(2u, fake.kernel.OpenCount());  // only the service's own handles are left
}

TEST_F(ChannelTest, WriteFailuresShowTheirBoxWriteNothingAndLetTheSignalGo) {
  HoldEvents();
  WriteElevationRequest(L"CORP\\alice", L"startup", true, 0);
  SignalAddToAdmin(KindAtLogin);
  EXPECT_TRUE(fake.kernel.IsSignaled(kRequestEvent));
  EXPECT_EQ(KindAtLogin, Load(g_nElevationKind));
  // A block too small for a request cannot be mapped for one; a settings record still fits.
  fake.kernel.CreateFileMapping(kBlock, 100);
  WriteElevationRequest(L"CORP\\alice", L"startup", true, 0);
  EXPECT_EQ(Bytes(100, 0), Block());
  WriteSettingsRecord(BuildSettingsRecord(L"60", L"1", L"0", false));
  EXPECT_EQ(SettingsBytes("60", '1', '0', 0), Slice(Block(), 0, 28));

  EXPECT_EQ(L": Cannot create mapping. Error code: 2 (0): Cannot create view. Error code: 5 (0)",
            Boxes(fake));
  EXPECT_EQ(2u, fake.kernel.OpenCount());
}

TEST_F(ChannelTest, RequestEventThatCannotBeObtainedDropsTheRequest) {
  fake.kernel.SquatName(kRequestEvent);
  fake.kernel.SquatName(kSaveSettings);
  Store(g_nElevationKind, KindPeriod);
  SignalAddToAdmin(KindDays);
  SignalSaveSettings();
  EXPECT_EQ(KindPeriod, Load(g_nElevationKind));
  EXPECT_EQ(
      L"Error: Error creating AddToAdmin event. Error code: 6 (16)"
      L"Error: Error creating SaveSettingsEvent event. Error code: 6 (16)",
      Boxes(fake));
}

TEST_F(ChannelTest, KindIsStoredBeforeTheServiceIsWoken) {
  EventParams params;
  params.name = kRequestEvent;
  const Handle serviceEvent = fake.kernel.CreateOrOpenEvent(params);
  std::promise<int32_t> seen;
  std::future<int32_t> kindSeen = seen.get_future();
  std::thread service([&] {
    const uint32_t woke = fake.kernel.WaitForAny(&serviceEvent, 1, 5000);
    seen.set_value(woke == win::kWaitObject0 ? Load(g_nElevationKind) : -1);
  });
  // The signaller is held right after the signal until the waiter has looked, so a kind stored
  // after the signal could not be seen.
  fake.kernel.afterSignal = [&] { kindSeen.wait_for(std::chrono::seconds(5)); };
  SignalAddToAdmin(KindShellHook);
  service.join();
  fake.kernel.afterSignal = nullptr;
  EXPECT_EQ(KindShellHook, kindSeen.get());
}

TEST_F(ChannelTest, ServiceDecoderAcceptsWhatTheTrayWritesAndRejectsTheRest) {
  fake.kernel.CreateFileMapping(kBlock, 1208);
  WriteElevationRequest(L"CORP\\alice", FromUtf16(u"fix \U0001F600"), true, 0);
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
  const struct {
    size_t at;
    uint8_t value;
    size_t count;
    RecordStatus status;
  } damages[] = {
      {0, 'a', 600, RecordStatus::kNotTerminated},   {598, 'z', 1, RecordStatus::kNotZeroPadded},
      {600, 'a', 600, RecordStatus::kNotTerminated}, {1198, 'z', 1, RecordStatus::kNotZeroPadded},
      {0, 0, 600, RecordStatus::kEmptyUserName},     {1200, 2, 1, RecordStatus::kBadFlag}};
  for (const auto& d : damages) {
    Bytes bad = good;
    std::memset(bad.data() + d.at, d.value, d.count);
    EXPECT_EQ(d.status, decode(bad)) << d.at;
  }
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
  const struct {
    size_t at;
    uint8_t value;
    size_t count;
    RecordStatus status;
  } settingsDamages[] = {
      {20, '4', 1, RecordStatus::kBadIdentity},  {0, '9', 20, RecordStatus::kNotTerminated},
      {3, '9', 1, RecordStatus::kNotZeroPadded}, {22, '1', 2, RecordStatus::kNotTerminated},
      {24, 2, 1, RecordStatus::kBadFlag},        {20, '1', 2, RecordStatus::kNotTerminated}};
  for (const auto& d : settingsDamages) {
    Bytes bad = saved;
    std::memset(bad.data() + d.at, d.value, d.count);
    EXPECT_EQ(d.status, channel::DecodeSettingsRecord(bad.data(), 28, &settings)) << d.at;
  }
  EXPECT_EQ(RecordStatus::kTooShort, channel::DecodeSettingsRecord(saved.data(), 27, &settings));
}

}  // namespace
}  // namespace velmora::test
