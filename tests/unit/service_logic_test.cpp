#include "service_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "elevation/channel_records.h"
#include "fake_service_host.h"
#include "log_text.h"

namespace velmora::service {
namespace {

using channel::EncodeElevationRequest;
using channel::EncodeSettingsRecord;

class ServiceLogicTest : public ::testing::Test {
 protected:
  ServiceLogicTest() { host_.activeUsers = std::vector<std::u16string>{u"PC\\ann"}; }

  void Request(const std::u16string& user, bool atLogin, uint32_t seconds,
               const std::u16string& reason = u"no reason") {
    logic_.OnElevationRequest(EncodeElevationRequest(user, reason, atLogin, seconds));
  }
  void Pass(uint64_t ms) {
    host_.now += ms;
    logic_.OnTimer();
  }
  std::vector<Answer> TakeSignals() {
    std::vector<Answer> out;
    out.swap(host_.signals);
    return out;
  }

  FakeHost host_;
  ServiceLogic logic_{host_};
};

using A = Answer;

TEST_F(ServiceLogicTest, TimedGrantAddsSignalsStartAndRemovesWhenThePeriodIsOver) {
  Request(u"PC\\ann", false, 120);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kStart});
  EXPECT_TRUE(host_.Listed(u"PC\\ann"));
  EXPECT_EQ(host_.savedWhenAdding, std::vector<std::u16string>{u"PC\\ann"})
      << "the grant must be recorded before the group changes";
  EXPECT_EQ(logic_.NextDueInMs(), 120'000u);

  Pass(119'999);
  EXPECT_TRUE(host_.signals.empty());
  EXPECT_TRUE(host_.Listed(u"PC\\ann"));
  Pass(1);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kExpire});
  EXPECT_FALSE(host_.Listed(u"PC\\ann"));
  EXPECT_TRUE(host_.saved.empty());
  EXPECT_FALSE(logic_.NextDueInMs().has_value());
}

TEST_F(ServiceLogicTest, MembershipThatExistedBeforeTheGrantIsNeverRemoved) {
  host_.members = {u"PC\\ann"};
  Request(u"PC\\ann", false, 10);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kStart});
  EXPECT_TRUE(host_.saved.empty());
  // A second request while it runs must not turn the old membership into "ours".
  Request(u"PC\\ann", false, 10);
  Pass(10'000);
  EXPECT_EQ(TakeSignals(), (std::vector<A>{A::kStart, A::kExpire}));
  EXPECT_TRUE(host_.Listed(u"PC\\ann"));
  EXPECT_EQ(std::count(host_.calls.begin(), host_.calls.end(), "remove"), 0);
}

TEST_F(ServiceLogicTest, AtLoginLastsUntilEmergencyStart) {
  Request(u"PC\\ann", true, 0);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kStart});
  EXPECT_FALSE(logic_.NextDueInMs().has_value());
  Pass(40ull * 24 * 3600 * 1000);
  EXPECT_TRUE(host_.Listed(u"PC\\ann"));

  logic_.OnEmergencyStart();
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kExpire});
  EXPECT_FALSE(host_.Listed(u"PC\\ann"));
  // Nothing running: a stray EMERGENCYSTART must not make a tray show "expired".
  logic_.OnEmergencyStart();
  EXPECT_TRUE(host_.signals.empty());
}

TEST_F(ServiceLogicTest, NewRequestOfTheSameUserReplacesTheEndTime) {
  Request(u"PC\\ann", false, 100);
  Pass(90'000);
  Request(u"pc\\ANN", false, 100);
  Pass(20'000);
  EXPECT_TRUE(host_.Listed(u"PC\\ann")) << "the second request extends the elevation";
  EXPECT_EQ(TakeSignals(), (std::vector<A>{A::kStart, A::kStart}));
  Pass(80'000);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kExpire});
  EXPECT_FALSE(host_.Listed(u"PC\\ann"));

  // A timed request turns a running elevation at login into a timed one.
  Request(u"PC\\ann", true, 0);
  Request(u"PC\\ann", false, 5);
  Pass(5'000);
  EXPECT_FALSE(host_.Listed(u"PC\\ann"));
}

TEST_F(ServiceLogicTest, RequestOfAnotherUserEndsTheRunningElevationFirst) {
  host_.activeUsers = std::vector<std::u16string>{u"PC\\ann", u"PC\\bob"};
  Request(u"PC\\ann", true, 0);
  Request(u"PC\\bob", false, 60);
  EXPECT_EQ(TakeSignals(), (std::vector<A>{A::kStart, A::kExpire, A::kStart}));
  EXPECT_EQ(host_.members, std::vector<std::u16string>{u"PC\\bob"});
  EXPECT_EQ(host_.saved, std::vector<std::u16string>{u"PC\\bob"});
}

TEST_F(ServiceLogicTest, RefusalsChangeNothing) {
  host_.dwords[kDenyValue] = 1;
  Request(u"PC\\ann", false, 60);
  EXPECT_TRUE(host_.Logged("the machine value Deny is 1"));
  host_.dwords.clear();

  Request(u"PC\\eve", false, 60);  // not logged on
  Request(u"PC\\ann", false, 0);
  Request(u"PC\\ann", true, 5);
  Request(u"PC\\ann", false, kMaxElevationSeconds + 1);
  Request(u"ann", false, 60);
  Request(u"PC\\ann\\x", false, 60);
  Request(u"PC\\an\nn", false, 60);
  host_.addResult = status::kNoSuchMember;
  Request(u"PC\\ann", false, 60);
  host_.addResult = 0;
  host_.saveFails = true;
  Request(u"PC\\ann", false, 60);

  EXPECT_EQ(TakeSignals(), std::vector<A>(10, A::kForbid));
  EXPECT_TRUE(host_.members.empty());
  EXPECT_EQ(std::count(host_.calls.begin(), host_.calls.end(), "add"), 1);
  EXPECT_TRUE(host_.saved.empty());
  EXPECT_FALSE(logic_.HasRunningElevation());

  host_.saveFails = false;
  Request(u"PC\\ann", false, kMaxElevationSeconds);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kStart});
}

TEST_F(ServiceLogicTest, TornRecordIsRefused) {
  channel::ElevationRequest record = EncodeElevationRequest(u"PC\\ann", u"ok", false, 60);
  record[channel::kRequestUserOffset + 40] = 'x';  // after the name's NUL
  logic_.OnElevationRequest(record);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kForbid});
  EXPECT_TRUE(host_.members.empty());
}

TEST_F(ServiceLogicTest, WithoutSessionListOnlyLocalAccountsAreGranted) {
  host_.activeUsers = std::nullopt;
  Request(u"CORP\\ann", false, 60);
  Request(u"pc\\ann", false, 60);
  EXPECT_EQ(TakeSignals(), (std::vector<A>{A::kForbid, A::kStart}));
  EXPECT_TRUE(host_.Logged("does not list logon sessions"));

  host_.computer.clear();  // unknown computer name: nobody qualifies
  Request(u"pc\\ann", false, 60);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kForbid});
}

TEST_F(ServiceLogicTest, FailedRemovalKeepsTheUserRecordedAndRetriesBeforeSignallingExpire) {
  Request(u"PC\\ann", false, 10);
  TakeSignals();
  host_.removeResult = 5;  // access denied
  Pass(10'000);
  EXPECT_TRUE(host_.signals.empty()) << "EXPIRE while the user is still a member";
  EXPECT_EQ(host_.saved, std::vector<std::u16string>{u"PC\\ann"});
  EXPECT_EQ(logic_.NextDueInMs(), kRemovalRetryMs);

  Pass(kRemovalRetryMs - 1);
  EXPECT_EQ(std::count(host_.calls.begin(), host_.calls.end(), "remove"), 1);
  host_.removeResult = 0;
  Pass(1);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kExpire});
  EXPECT_FALSE(host_.Listed(u"PC\\ann"));
  EXPECT_TRUE(host_.saved.empty());
}

TEST_F(ServiceLogicTest, StopRemovesTheMembershipAndShutdownKeepsTheTraysEndTime) {
  Request(u"PC\\ann", true, 0);
  TakeSignals();
  logic_.Stop(false);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kExpire});
  EXPECT_TRUE(host_.members.empty());

  ServiceLogic second(host_);
  second.OnElevationRequest(EncodeElevationRequest(u"PC\\ann", u"", false, 600));
  TakeSignals();
  second.Stop(true);
  EXPECT_TRUE(host_.signals.empty());
  EXPECT_TRUE(host_.members.empty());
  EXPECT_TRUE(host_.saved.empty());
}

TEST_F(ServiceLogicTest, StartRemovesMembershipsLeftByACrashedRun) {
  host_.members = {u"PC\\ann", u"PC\\bob"};
  host_.saved = {u"PC\\ann", u"PC\\bob"};
  logic_.Start();
  EXPECT_TRUE(host_.members.empty());
  EXPECT_TRUE(host_.saved.empty());
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kExpire});

  ServiceLogic idle(host_);
  idle.Start();  // nothing recorded: nothing to signal
  EXPECT_TRUE(host_.signals.empty());
}

TEST_F(ServiceLogicTest, SettingsAreStoredOnlyWhenEveryLoggedOnUserIsAnAdministrator) {
  const channel::SettingsRecord record = EncodeSettingsRecord("600", '3', '2', true);

  host_.allUsers = std::nullopt;
  logic_.OnSettingsRecord(record);
  EXPECT_TRUE(host_.settings.empty());

  host_.dwords[kAllowUnverifiedSettingsValue] = 1;
  logic_.OnSettingsRecord(record);
  EXPECT_EQ(
      host_.settings,
      (std::map<std::u16string, uint32_t>{
          {u"AccessPeriod", 600}, {u"Identity", 3}, {u"Resuscitate", 2}, {u"ElevateAtLogin", 1}}));

  host_.settings.clear();
  host_.dwords.clear();
  host_.allUsers = std::vector<std::u16string>{u"PC\\adm", u"PC\\ann"};
  host_.admins = {{u"PC\\adm", true}, {u"PC\\ann", false}};
  logic_.OnSettingsRecord(record);
  EXPECT_TRUE(host_.settings.empty());
  EXPECT_TRUE(host_.Logged("\"PC\\\\ann\" is logged on and is not an administrator"));

  host_.admins[u"PC\\ann"] = true;
  logic_.OnSettingsRecord(EncodeSettingsRecord("0120", 0, '0', false));
  EXPECT_EQ(host_.settings,
            (std::map<std::u16string, uint32_t>{
                {u"AccessPeriod", 120}, {u"Resuscitate", 0}, {u"ElevateAtLogin", 0}}))
      << "no identity choice leaves Identity alone";
  EXPECT_TRUE(host_.signals.empty()) << "settings have no answer event";
}

TEST(ServiceRecordsTest, SettingsRecordValuesOutsideTheRulesAreRejectedWhole) {
  std::string why;
  channel::SettingsRecordFields fields;
  for (const char* period : {"", " 120", "-5", "+5", "0x10", "12a", "0", "2592001", "99999999"}) {
    EXPECT_FALSE(
        ValidateSettingsRecord(EncodeSettingsRecord(period, '1', '0', false), &why, &fields))
        << period;
  }
  EXPECT_TRUE(
      ValidateSettingsRecord(EncodeSettingsRecord("2592000", '1', '0', false), &why, &fields));
  EXPECT_FALSE(ValidateSettingsRecord(EncodeSettingsRecord("60", '1', '4', false), &why, &fields));
  EXPECT_FALSE(ValidateSettingsRecord(EncodeSettingsRecord("60", '1', 0, false), &why, &fields));
  channel::SettingsRecord flag = EncodeSettingsRecord("60", '1', '0', false);
  flag[channel::kSettingsElevateAtLoginOffset] = 2;
  EXPECT_FALSE(ValidateSettingsRecord(flag, &why, &fields));
}

TEST(LogTextTest, TextFromTheBlockCannotForgeOrHideLogLines) {
  EXPECT_EQ(EscapeForLog(u"a\r\n[01.01.2020 00:00:00] Decision. Granted"),
            "a\\x0D\\x0A[01.01.2020 00:00:00] Decision. Granted");
  EXPECT_EQ(EscapeForLog(u"q\"\\x"), "q\\\"\\\\x");
  EXPECT_EQ(EscapeForLog(u"\u202Eevil\u2028\x85\x7F"), "\\u202Eevil\\u2028\\x85\\x7F");
  EXPECT_EQ(EscapeForLog(std::u16string(u"\xD800x") + u"\U0001F600" + u"\xDC00"),
            "\\uD800x\xF0\x9F\x98\x80\\uDC00");
  EXPECT_EQ(EscapeForLog(u"J\u00FCrgen"), "J\xC3\xBCrgen");
  EXPECT_EQ(EscapeBytesForLog(std::string("1\r\xE9", 3)), "1\\x0D\\xE9");
}

TEST_F(ServiceLogicTest, DecodedRequestIsLoggedOnOneLine) {
  Request(u"PC\\ann", false, 60, u"fix\r\nDecision. Granted: \"PC\\eve\"");
  ASSERT_FALSE(host_.log.empty());
  EXPECT_EQ(host_.log.front(),
            "Request. user=\"PC\\\\ann\" reason=\"fix\\x0D\\x0ADecision. Granted: "
            "\\\"PC\\\\eve\\\"\" at-login=0 seconds=60");
  for (const std::string& line : host_.log) {
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace velmora::service
