#include "service_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "elevation/channel_records.h"
#include "fake_service_host.h"
#include "log_text.h"

namespace velmora::service {
namespace {

using channel::EncodeElevationRequest;
using channel::EncodeSettingsRecord;
using A = Answer;
using Users = std::vector<std::u16string>;

class ServiceLogicTest : public ::testing::Test {
 protected:
  ServiceLogicTest() { host_.activeUsers = Users{u"PC\\ann"}; }

  void Request(const std::u16string& user, bool atLogin, uint32_t seconds,
               const std::u16string& reason = u"no reason") {
    logic_.OnElevationRequest(EncodeElevationRequest(user, reason, atLogin, seconds));
  }
  void Pass(uint64_t ms) {
    host_.now += ms;
    logic_.OnTimer();
  }
  std::vector<Answer> TakeSignals() { return std::exchange(host_.signals, {}); }

  FakeHost host_;
  ServiceLogic logic_{host_};
};

TEST_F(ServiceLogicTest, TimedGrantIsRecordedBeforeTheAddAndEndsWhenThePeriodIsOver) {
  Request(u"PC\\ann", false, 120);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kStart});
  EXPECT_TRUE(host_.Listed(u"PC\\ann"));
  EXPECT_EQ(host_.savedWhenAdding, Users{u"PC\\ann"});
  EXPECT_EQ(logic_.NextDueInMs(), 120'000u);
  Pass(119'999);
  EXPECT_TRUE(host_.signals.empty());
  EXPECT_EQ(logic_.NextDueInMs(), 1u);
  Pass(1);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kExpire});
  EXPECT_FALSE(host_.Listed(u"PC\\ann"));
  EXPECT_TRUE(host_.saved.empty());
  EXPECT_FALSE(logic_.NextDueInMs().has_value());
}

TEST_F(ServiceLogicTest, MembershipThatExistedBeforeTheGrantIsNeverRemoved) {
  host_.members = {u"PC\\ann"};
  Request(u"PC\\ann", false, 10);
  EXPECT_TRUE(host_.saved.empty());
  // A second request while it runs must not turn the old membership into "ours".
  Request(u"PC\\ann", false, 10);
  Pass(10'000);
  EXPECT_EQ(TakeSignals(), (std::vector<A>{A::kStart, A::kStart, A::kExpire}));
  EXPECT_TRUE(host_.Listed(u"PC\\ann"));
  EXPECT_EQ(std::count(host_.calls.begin(), host_.calls.end(), "remove"), 0);
}

TEST_F(ServiceLogicTest, AtLoginLastsUntilEmergencyStartAndATimedRequestReplacesTheEnd) {
  Request(u"PC\\ann", true, 0);
  EXPECT_FALSE(logic_.NextDueInMs().has_value());
  Pass(40ull * 24 * 3600 * 1000);
  EXPECT_TRUE(host_.Listed(u"PC\\ann"));
  logic_.OnEmergencyStart();
  EXPECT_EQ(TakeSignals(), (std::vector<A>{A::kStart, A::kExpire}));
  EXPECT_FALSE(host_.Listed(u"PC\\ann"));
  // Nothing running: a stray EMERGENCYSTART must not make a tray show "expired".
  logic_.OnEmergencyStart();
  EXPECT_TRUE(host_.signals.empty());

  Request(u"PC\\ann", true, 0);
  Request(u"pc\\ANN", false, 100);
  Pass(90'000);
  Request(u"PC\\ann", false, 100);
  Pass(20'000);
  EXPECT_TRUE(host_.Listed(u"PC\\ann")) << "the last request extends the elevation";
  Pass(80'000);
  EXPECT_EQ(TakeSignals(), (std::vector<A>{A::kStart, A::kStart, A::kStart, A::kExpire}));
  EXPECT_FALSE(host_.Listed(u"PC\\ann"));
}

TEST_F(ServiceLogicTest, RequestOfAnotherUserEndsTheRunningElevationFirst) {
  host_.activeUsers = Users{u"PC\\ann", u"PC\\bob"};
  Request(u"PC\\ann", true, 0);
  Request(u"PC\\bob", false, 60);
  EXPECT_EQ(TakeSignals(), (std::vector<A>{A::kStart, A::kExpire, A::kStart}));
  EXPECT_EQ(host_.members, Users{u"PC\\bob"});
  EXPECT_EQ(host_.saved, Users{u"PC\\bob"});
}

TEST_F(ServiceLogicTest, RefusalsChangeNothing) {
  host_.dwords[kDenyValue] = 1;
  Request(u"PC\\ann", false, 60);
  EXPECT_TRUE(host_.Logged("the machine value Deny is 1"));
  host_.dwords.clear();
  Request(u"PC\\eve", false, 60);  // not logged on
  for (const std::u16string user :
       {u"ann", u"\\ann", u"PC\\", u"PC\\ann\\x", u"PC\\an\nn", u"PC\\a*n", u"PC\\a\x7Fn"}) {
    Request(user, false, 60);
  }
  Request(u"PC\\ann", false, 0);
  Request(u"PC\\ann", true, 5);
  Request(u"PC\\ann", false, kMaxElevationSeconds + 1);
  channel::ElevationRequest torn = EncodeElevationRequest(u"PC\\ann", u"ok", false, 60);
  torn[channel::kRequestUserOffset + 40] = 'x';  // after the name's NUL
  logic_.OnElevationRequest(torn);
  host_.addResult = status::kNoSuchMember;
  Request(u"PC\\ann", false, 60);
  host_.addResult = 0;
  host_.saveFails = true;
  Request(u"PC\\ann", false, 60);

  EXPECT_EQ(TakeSignals(), std::vector<A>(15, A::kForbid));
  EXPECT_TRUE(host_.members.empty());
  EXPECT_TRUE(host_.saved.empty());
  EXPECT_FALSE(logic_.HasRunningElevation());
  host_.saveFails = false;
  Request(u"PC\\ann", false, kMaxElevationSeconds);
  EXPECT_EQ(TakeSignals(), std::vector<A>{A::kStart});
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
  EXPECT_EQ(host_.saved, Users{u"PC\\ann"});
  EXPECT_EQ(logic_.NextDueInMs(), kRemovalRetryMs);
  Pass(kRemovalRetryMs - 1);
  EXPECT_EQ(std::count(host_.calls.begin(), host_.calls.end(), "remove"), 1);
  Pass(1);
  EXPECT_EQ(std::count(host_.calls.begin(), host_.calls.end(), "remove"), 2);
  host_.removeResult = 0;
  Pass(kRemovalRetryMs);
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
  host_.removeResult = 5;
  second.Stop(true);
  EXPECT_TRUE(host_.signals.empty());
  EXPECT_EQ(host_.saved, Users{u"PC\\ann"});
  EXPECT_TRUE(host_.Logged("is still a member of Administrators; the next start removes it."));

  // The next start removes what the last run could not, and tells a tray still counting down.
  host_.removeResult = 0;
  ServiceLogic third(host_);
  third.Start();
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
  host_.allUsers = Users{u"PC\\adm", u"PC\\ann", u"PC\\bob"};
  host_.admins = {{u"PC\\adm", true}, {u"PC\\ann", false}};
  logic_.OnSettingsRecord(record);
  host_.admins[u"PC\\ann"] = true;
  logic_.OnSettingsRecord(record);
  EXPECT_TRUE(host_.settings.empty());
  EXPECT_TRUE(host_.Logged("\"PC\\\\ann\" is logged on and is not an administrator"));
  EXPECT_TRUE(host_.Logged("\"PC\\\\bob\" is logged on and its group membership cannot be read"));

  host_.admins[u"PC\\bob"] = true;
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
  const auto valid = [&](const channel::SettingsRecord& record) {
    return ValidateSettingsRecord(record, &why, &fields).has_value();
  };
  for (const char* period :
       {"", " 120", "-5", "+5", "0x10", "12a", "0", "2592001", "99999999", "00000060"}) {
    EXPECT_FALSE(valid(EncodeSettingsRecord(period, '1', '0', false))) << period;
  }
  EXPECT_TRUE(valid(EncodeSettingsRecord("2592000", '1', '0', false)));
  EXPECT_TRUE(valid(EncodeSettingsRecord("0000060", '1', '3', false)));
  EXPECT_FALSE(valid(EncodeSettingsRecord("60", '1', '4', false)));
  EXPECT_FALSE(valid(EncodeSettingsRecord("60", '1', 0, false)));
  channel::SettingsRecord flag = EncodeSettingsRecord("60", '1', '0', false);
  flag[channel::kSettingsElevateAtLoginOffset] = 2;
  EXPECT_FALSE(valid(flag));
  EXPECT_EQ(why, "a 0/1 flag holds another number");
}

TEST(LogTextTest, TextFromTheBlockCannotForgeOrHideLogLines) {
  EXPECT_EQ(EscapeForLog(u"a\r\n[01.01.2020 00:00:00] Decision. Granted"),
            "a\\x0D\\x0A[01.01.2020 00:00:00] Decision. Granted");
  EXPECT_EQ(EscapeForLog(u"q\"\\x"), "q\\\"\\\\x");
  EXPECT_EQ(EscapeForLog(u"\u202Eevil\u2028\x85\x7F\u200E\u2066\uFEFF"),
            "\\u202Eevil\\u2028\\x85\\x7F\\u200E\\u2066\\uFEFF");
  EXPECT_EQ(EscapeForLog(std::u16string(u"\xD800x") + u"\U0001F600" + u"\xDC00" + u"\xD800"),
            "\\uD800x\xF0\x9F\x98\x80\\uDC00\\uD800");
  EXPECT_EQ(EscapeForLog(u"J\u00FCrgen \u20AC"), "J\xC3\xBCrgen \xE2\x82\xAC");
  EXPECT_EQ(EscapeBytesForLog(std::string("1\r\xE9\"\\", 5)), "1\\x0D\\xE9\\\"\\\\");
}

TEST_F(ServiceLogicTest, DecodedRequestIsLoggedOnOneLine) {
  Request(u"PC\\ann", false, 60, u"fix\r\nDecision. Granted: \"PC\\eve\"");
  Request(u"PC\\ann\\x", true, 0, u"\r\n");
  ASSERT_FALSE(host_.log.empty());
  EXPECT_EQ(host_.log.front(),
            "Request. user=\"PC\\\\ann\" reason=\"fix\\x0D\\x0ADecision. Granted: "
            "\\\"PC\\\\eve\\\"\" at-login=0 seconds=60");
  EXPECT_TRUE(host_.Logged("Request. user=\"PC\\\\ann\\\\x\" reason=\"\\x0D\\x0A\" at-login=1"));
  for (const std::string& line : host_.log) {
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace velmora::service
