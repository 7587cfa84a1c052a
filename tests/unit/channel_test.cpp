// The tray's side of the service channel: the bytes that land in the shared block (checked
// against hand-built images, never against the encoder), the request events, and what each
// failure leaves behind.
#include "elevation/channel.h"

#include <cstring>

#include "test_support.h"

namespace velmora::test {
namespace {

TEST_F(TrayTest, ChannelRequestIsWrittenWholeOverWhateverWasThereWithItsTextsCut) {
  fake.kernel.Put(kBlock, fakes::FakeKernel::Type::kMapping, 2048).bytes.assign(2048, 0xEE);
  const std::pair<std::wstring, std::u16string> cases[] = {
      {std::wstring(5000, L'a'), std::u16string(299, u'a')},
      // Units 299 and 300 would be the pair: the text keeps 298 units.
      {std::wstring(298, L'a') + L"\U0001F600b", std::u16string(298, u'a')},
      {std::wstring(297, L'a') + L"\U0001F600bc", std::u16string(297, u'a') + u"\U0001F600"},
      {std::wstring(L"CORP\\al\0ice", 11), u"CORP\\al"}};
  for (const auto& [text, kept] : cases) {
    WriteElevationRequest(text, text, true, 0x12345678);
    // Both text fields hold the units little-endian, zeros after them.
    Bytes expected(1200, 0);
    for (size_t i = 0; i < kept.size(); ++i) {
      for (const size_t at : {2 * i, 600 + 2 * i}) {
        expected[at] = static_cast<uint8_t>(kept[i]);
        expected[at + 1] = static_cast<uint8_t>(kept[i] >> 8);
      }
    }
    expected.insert(expected.end(), {1, 0, 0, 0, 0x78, 0x56, 0x34, 0x12});
    expected.resize(2048, 0xEE);  // the view covers the record only
    EXPECT_EQ(expected, Block()) << kept.size();
  }
  // The service reads its answer against the kind, so the kind is there before it wakes.
  int32_t kindAtSignal = -1;
  fake.kernel.afterSignal = [&] { kindAtSignal = Load(g_nElevationKind); };
  SignalAddToAdmin(KindShellHook);
  EXPECT_EQ(KindShellHook, kindAtSignal);
  EXPECT_EQ(0u, fake.kernel.OpenCount());
}

TEST_F(TrayTest, ChannelSettingsRecordFollowsTheDialogTextsAndKeepsTheRestOfTheBlock) {
  fake.kernel.Put(kBlock, fakes::FakeKernel::Type::kMapping, 1208).bytes.assign(1208, 0xEE);
  // The dialog's texts and check box, then the period's bytes (any bytes), the identity and the
  // resuscitate byte the record holds.
  const std::tuple<std::wstring, std::wstring, std::wstring, bool, std::string, uint8_t, uint8_t>
      cases[] = {{L"12345678901234567890", L"3", L"0", false, "300", '3', '0'},
                 // 19 bytes in the ANSI code page (the euro sign is 0x80), 21 in UTF-8.
                 {L"\u20AC" + std::wstring(18, L'9'), L"1", L"", true,
                  "\x80" + std::string(18, '9'), '1', '0'},
                 {std::wstring(L"60\0 1", 5), L"", L"\u00E9", false, "60", 0, 0xE9},
                 // U+0131's low byte would be the digit '1': a mode nobody chose.
                 {L"abc", L"7", L"\u01312", false, "abc", 0, '?'}};
  for (const auto& [period, identity, resuscitate, atLogin, bytes, id, mode] : cases) {
    WriteSettingsRecord(BuildSettingsRecord(period, identity, resuscitate, atLogin));
    Bytes expected(bytes.begin(), bytes.end());
    expected.resize(28, 0);
    expected[20] = id;
    expected[22] = mode;
    expected[24] = atLogin;
    expected.resize(1208, 0xEE);  // the rest of the block as it was
    EXPECT_EQ(expected, Block()) << period.size();
  }
}

TEST_F(TrayTest, ChannelFailuresShowTheirBoxAndWriteOrSignalNothing) {
  WriteElevationRequest(L"CORP\\alice", L"startup", true, 0);  // no block at all
  fake.kernel.Put(channel::kAddToAdminEventName, fakes::FakeKernel::Type::kMapping);
  fake.kernel.Put(channel::kSaveSettingsEventName, fakes::FakeKernel::Type::kMapping);
  SignalAddToAdmin(KindDays);
  SignalSaveSettings();
  EXPECT_EQ(KindNone, Load(g_nElevationKind));
  EXPECT_EQ(
      L": Cannot create mapping. Error code: 2 (0)"
      L"Error: Error creating AddToAdmin event. Error code: 6 (16)"
      L"Error: Error creating SaveSettingsEvent event. Error code: 6 (16)",
      fake.shell.boxes);
  EXPECT_EQ(0u, fake.kernel.OpenCount());
}

// The service's side: a sound record with any of its fields torn or foreign is refused.
TEST(ChannelTest, DecoderRefusesTornOrForeignRecords) {
  using channel::RecordStatus;
  const auto r = channel::EncodeElevationRequest(u"CORP\\alice", u"fix", true, 0);
  const auto s = channel::EncodeSettingsRecord("60", '2', '1', false);
  const Bytes request(r.begin(), r.end()), settings(s.begin(), s.end());
  channel::ElevationRequestFields fields;
  channel::SettingsRecordFields saved;
  const std::tuple<bool, size_t, size_t, uint8_t, RecordStatus> cases[] = {
      {false, 600, 600, 'a', RecordStatus::kNotTerminated},
      {false, 1200, 1, 2, RecordStatus::kBadFlag},
      {true, 20, 1, '4', RecordStatus::kBadIdentity},
      {true, 3, 1, '9', RecordStatus::kNotZeroPadded},
      {true, 22, 2, '1', RecordStatus::kNotTerminated},
      {true, 20, 2, '1', RecordStatus::kNotTerminated}};
  for (const auto& [asSettings, at, count, value, status] : cases) {
    Bytes bad = asSettings ? settings : request;
    std::memset(bad.data() + at, value, count);
    EXPECT_EQ(status, asSettings ? channel::DecodeSettingsRecord(bad.data(), 28, &saved)
                                 : channel::DecodeElevationRequest(bad.data(), 1208, &fields))
        << at;
  }
  EXPECT_EQ(RecordStatus::kTooShort,
            channel::DecodeElevationRequest(request.data(), 1207, &fields));
  EXPECT_EQ(RecordStatus::kTooShort, channel::DecodeSettingsRecord(settings.data(), 27, &saved));
}

}  // namespace
}  // namespace velmora::test
