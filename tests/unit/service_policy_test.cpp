// What the service enforces whatever the tray checked: the machine's policy, the Deny value,
// a session list that cannot be read, and crash recovery that keeps earlier administrators.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "elevation/channel_records.h"
#include "fake_service_host.h"
#include "test_support.h"
#include "machine_policy.h"
#include "service_logic.h"
#include "settings/settings_store.h"

namespace velmora::service {
namespace {

using channel::EncodeElevationRequest;

constexpr uint32_t kThirtyDays = 30u * 86400u;

RequestPolicy Defaults() { return RequestPolicy{false, 120, 0, 120}; }

struct RuleCase {
  const char* name;
  std::function<void(FakeHost&)> arrange;
  bool atLogin;
  uint32_t seconds;
  Answer answer;
  const char* logged;  // part of the decision line
};

TEST(ServiceRulesTest, EveryRequestMeetsPolicyDenyAndIdentityBeforeTheGroupChanges) {
  const auto policy = [](RequestPolicy p) { return [p](FakeHost& h) { h.policy = p; }; };
  const std::vector<RuleCase> cases = {
      {"at login without ElevateAtLogin", policy(Defaults()), true, 0, Answer::kForbid,
       "Refused: policy rule ElevateAtLogin: an elevation at login needs the machine setting "
       "ElevateAtLogin to be 1."},
      {"at login with ElevateAtLogin", policy({true, 120, 0, 120}), true, 0, Answer::kStart,
       "until the elevation at login is ended"},
      {"30 days with the defaults", policy(Defaults()), false, kThirtyDays, Answer::kForbid,
       "Refused: policy rule longest request: 2592000 seconds is more than the 120 seconds a "
       "tray may ask for here (AccessPeriod 120 seconds, ElevateForXDays 0 days, shell hook 30 "
       "seconds)."},
      {"one second over the access period", policy({false, 600, 0, 600}), false, 601,
       Answer::kForbid, "policy rule longest request: 601 seconds"},
      {"the access period", policy({false, 600, 0, 600}), false, 600, Answer::kStart,
       "elevated for 600 seconds"},
      {"30 days with ElevateForXDays 30", policy({false, 120, 30, kThirtyDays}), false, kThirtyDays,
       Answer::kStart, "elevated for 2592000 seconds"},
      {"Deny 1", [](FakeHost& h) { h.dwords[kDenyValue] = 1; }, false, 60, Answer::kForbid,
       "Refused: the machine value Deny is 1."},
      {"Deny 2", [](FakeHost& h) { h.dwords[kDenyValue] = 2; }, false, 60, Answer::kForbid,
       "Refused: the machine value Deny is 2."},
      {"Deny 0", [](FakeHost& h) { h.dwords[kDenyValue] = 0; }, false, 60, Answer::kStart,
       "Granted"},
      {"Deny of another type", [](FakeHost& h) { h.otherValues.insert(kDenyValue); }, false, 60,
       Answer::kForbid,
       "Refused: the machine value Deny is not a REG_DWORD, which counts as deny."},
      {"session list fails", [](FakeHost& h) { h.sessionsFail = true; }, false, 60, Answer::kForbid,
       "Refused: the logon sessions cannot be listed, so \"PC\\\\ann\" cannot"},
      {"platform lists no sessions", [](FakeHost& h) { h.activeUsers.reset(); }, false, 60,
       Answer::kStart, "Granted"},
      {"not the user of an active session",
       [](FakeHost& h) { h.activeUsers = std::vector<std::u16string>{u"PC\\bob"}; }, false, 60,
       Answer::kForbid, "is not the user of an active interactive session"},
      {"members unreadable", [](FakeHost& h) { h.membersUnreadable = true; }, false, 60,
       Answer::kForbid, "Refused: the members of Administrators cannot be read"},
  };
  for (const RuleCase& c : cases) {
    SCOPED_TRACE(c.name);
    FakeHost host;
    host.activeUsers = std::vector<std::u16string>{u"PC\\ann"};
    c.arrange(host);
    ServiceLogic logic(host);
    logic.OnElevationRequest(
        EncodeElevationRequest(u"PC\\ann", u"no reason", c.atLogin, c.seconds));
    EXPECT_EQ(host.signals, std::vector<Answer>{c.answer});
    EXPECT_TRUE(host.Logged(c.logged)) << host.log.back();
    if (c.answer == Answer::kForbid) {
      EXPECT_TRUE(host.calls.empty()) << "a refusal must not touch the group";
      EXPECT_TRUE(host.saved.empty());
    }
  }
}

TEST(ServiceRulesTest, SettingsAreNeverStoredWhenTheSessionListFails) {
  FakeHost host;
  host.sessionsFail = true;
  host.dwords[kAllowUnverifiedSettingsValue] = 1;  // covers a platform without sessions only
  ServiceLogic logic(host);
  logic.OnSettingsRecord(channel::EncodeSettingsRecord("600", '1', '0', true));
  EXPECT_TRUE(host.settings.empty());
  EXPECT_TRUE(host.Logged("Settings. Refused: the logon sessions cannot be listed"));
}

// A run of requests and ends that a crash may cut short before any step that changes the
// machine; what the next start recovers must match who was an administrator before.
struct CrashCase {
  const char* name;
  std::vector<std::u16string> membersBefore;
  std::function<void(ServiceLogic&, FakeHost&)> run;
};

void Grant(ServiceLogic& logic, const std::u16string& user, uint32_t seconds) {
  logic.OnElevationRequest(EncodeElevationRequest(user, u"r", false, seconds));
}

TEST(ServiceRecoveryTest, CrashAtAnyStepRemovesOnlyWhatTheServiceAdded) {
  const std::vector<CrashCase> cases = {
      {"member before, grant and expiry",
       {u"PC\\ann"},
       [](ServiceLogic& l, FakeHost& h) {
         Grant(l, u"PC\\ann", 10);
         h.now += 10'000;
         l.OnTimer();
       }},
      {"member before, asks twice",
       {u"PC\\ann"},
       [](ServiceLogic& l, FakeHost&) {
         Grant(l, u"PC\\ann", 10);
         Grant(l, u"PC\\ann", 20);
         l.OnEmergencyStart();
       }},
      {"not a member, grant and expiry",
       {},
       [](ServiceLogic& l, FakeHost& h) {
         Grant(l, u"PC\\ann", 10);
         h.now += 10'000;
         l.OnTimer();
       }},
      {"not a member replaced by a member before",
       {u"PC\\bob"},
       [](ServiceLogic& l, FakeHost&) {
         Grant(l, u"PC\\ann", 10);
         Grant(l, u"PC\\bob", 10);
         Grant(l, u"PC\\ann", 10);
         l.Stop(false);
       }},
  };
  for (const CrashCase& c : cases) {
    for (int crashAt = 1;; ++crashAt) {
      SCOPED_TRACE(std::string(c.name) + ", crash at step " + std::to_string(crashAt));
      FakeHost host;
      host.activeUsers = std::vector<std::u16string>{u"PC\\ann", u"PC\\bob"};
      host.members = c.membersBefore;
      host.members.push_back(u"PC\\root");
      host.crashAtStep = crashAt;
      bool crashed = false;
      try {
        ServiceLogic first(host);
        first.Start();
        c.run(first, host);
      } catch (const SimulatedCrash&) {
        crashed = true;
      }
      host.crashAtStep = 0;
      ServiceLogic next(host);
      next.Start();
      std::vector<std::u16string> expected = c.membersBefore;
      expected.push_back(u"PC\\root");
      std::vector<std::u16string> members = host.members;
      std::sort(members.begin(), members.end());
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(members, expected);
      EXPECT_TRUE(host.saved.empty());
      EXPECT_TRUE(host.savedMembersBefore.empty());
      if (!crashed) break;
    }
  }
}

TEST(ServiceRecoveryTest, MemberBeforeIsRecordedBeforeTheAddAndLoggedAtRecovery) {
  FakeHost host;
  host.activeUsers = std::vector<std::u16string>{u"PC\\ann"};
  host.members = {u"PC\\ann"};
  host.crashAtStep = 2;  // the add
  ServiceLogic first(host);
  EXPECT_THROW(Grant(first, u"PC\\ann", 60), SimulatedCrash);
  EXPECT_EQ(host.savedMembersBefore, std::vector<std::u16string>{u"PC\\ann"});
  EXPECT_TRUE(host.saved.empty());

  host.crashAtStep = 0;
  ServiceLogic next(host);
  next.Start();
  EXPECT_TRUE(
      host.Logged("Recovery. \"PC\\\\ann\" was a member of Administrators before its "
                  "grant: membership left in place."));
  EXPECT_EQ(host.signals, std::vector<Answer>{Answer::kExpire});
}

size_t CountLines(const FakeHost& host, const std::string& part) {
  return static_cast<size_t>(
      std::count_if(host.log.begin(), host.log.end(),
                    [&](const std::string& l) { return l.find(part) != std::string::npos; }));
}

TEST(ServiceAuditTest, FloodOfRefusalsIsCountedNotWrittenAndNeverStarvesAGrant) {
  FakeHost host;
  host.activeUsers = std::vector<std::u16string>{u"PC\\ann"};
  ServiceLogic logic(host);
  Grant(logic, u"PC\\ann", 600);
  const channel::ElevationRequest invalid = EncodeElevationRequest(u"PC\\ann", u"r", true, 5);
  for (int i = 0; i < 1000; ++i) {
    if (i % 2 == 0) {
      logic.OnElevationRequest(invalid);  // the same refusal each time
    } else {
      Grant(logic,
            u"PC\\x" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                std::u16string(static_cast<size_t>(i % 7), u'y'),
            60);
    }
    host.now += 10;
  }
  EXPECT_EQ(std::count(host.signals.begin(), host.signals.end(), Answer::kForbid), 1000);
  EXPECT_EQ(CountLines(host, "Decision. Refused: "), kDetailedRefusalsPerWindow);
  EXPECT_EQ(CountLines(host, "Counted. "), 0u) << "counts wait for their time";
  ASSERT_TRUE(logic.NextDueInMs().has_value());
  EXPECT_LE(*logic.NextDueInMs(), kRefusalSummaryDelayMs);

  // The next grant is served at once, the counts written before it.
  host.signals.clear();
  Grant(logic, u"PC\\ann", 600);
  EXPECT_EQ(host.signals, std::vector<Answer>{Answer::kStart});
  const auto summary = std::find_if(host.log.begin(), host.log.end(), [](const std::string& l) {
    return l.find("Counted. ") != std::string::npos;
  });
  ASSERT_NE(summary, host.log.end());
  EXPECT_EQ(*summary,
            "Counted. Repeated or beyond the hour's 50 lines, not written one by one: "
            "identity 475, invalid request 475 (950 in all; every refused request had "
            "its FORBID).");
  EXPECT_LT(summary - host.log.begin(), static_cast<long>(host.log.size()) - 1);
  EXPECT_EQ(CountLines(host, "Decision. Granted"), 2u);
  EXPECT_LT(host.log.size(), 2u * kDetailedRefusalsPerWindow + 20u);

  // What the Windows event log got: both grants, the detailed refusals and the counts.
  std::map<AuditEvent, size_t> events;
  for (const auto& event : host.events) ++events[event.first];
  EXPECT_EQ(events[AuditEvent::kGrant], 2u);
  EXPECT_EQ(events[AuditEvent::kRefusal], kDetailedRefusalsPerWindow + 1);
}

TEST(ServiceAuditTest, RepeatedLinesAreCollapsedAndTheirCountWrittenWithinAMinute) {
  FakeHost host;
  host.activeUsers = std::vector<std::u16string>{u"PC\\ann"};
  ServiceLogic logic(host);
  for (int i = 0; i < 3; ++i) Grant(logic, u"PC\\eve", 60);
  logic.OnEmergencyStart();
  const std::vector<std::string> expected = {
      "Decision. Refused: \"PC\\\\eve\" is not the user of an active interactive session. "
      "Signalling FORBID.",
      "Counted. Repeated or beyond the hour's 50 lines, not written one by one: identity 2 (2 in "
      "all; every refused request had its FORBID).",
      "Emergency. EMERGENCYSTART with no elevation running: nothing to end."};
  EXPECT_EQ(std::vector<std::string>(host.log.begin() + 1, host.log.end()), expected);
  // Stray EMERGENCYSTARTs are written each (a tray's end of session is read off them), up to
  // the budget; the rest are counted within a minute.
  for (uint32_t i = 0; i < kDetailedRefusalsPerWindow; ++i) logic.OnEmergencyStart();
  EXPECT_EQ(CountLines(host, "Emergency. "), kDetailedRefusalsPerWindow - 1);
  host.now += kRefusalSummaryDelayMs - 1;
  logic.OnTimer();
  EXPECT_EQ(CountLines(host, "Counted. "), 1u);
  host.now += 1;
  logic.OnTimer();
  EXPECT_EQ(host.log.back(), "Counted. Repeated or beyond the hour's 50 lines, not written one "
                             "by one: EMERGENCYSTART with nothing to end 2 (2 in all; every "
                             "refused request had its FORBID).");
  EXPECT_FALSE(logic.NextDueInMs().has_value());
  // The budget is per hour: after it, refusals have their lines again.
  host.now += kRefusalWindowMs;
  Grant(logic, u"PC\\bob", 60);
  EXPECT_EQ(host.log.back(),
            "Decision. Refused: \"PC\\\\bob\" is not the user of an active "
            "interactive session. Signalling FORBID.");
}

// The policy is read by the tray's own settings code, managed document included, afresh for
// every request.
class RequestPolicyTest : public test::TrayTest {
 protected:
  void SetUp() override { StartLog(); }
  void Machine(const wchar_t* name, uint32_t value) {
    fake.registry.SetDword(Hive::kLocalMachine, test::View::k64, kProductKeyPath, name, value);
  }
  void CacheDocument(const std::string& json) {
    std::string scrambled = json;
    for (char& c : scrambled) c = static_cast<char>(static_cast<unsigned char>(c) ^ 0x0E);
    fake.registry.SetString(Hive::kLocalMachine, test::View::k64, kPolicyKeyPath,
                        L"Managed settings", fake.codePage.AnsiToWide(scrambled));
  }
  static std::vector<uint32_t> Read() {
    const RequestPolicy p = ReadRequestPolicy();
    return {p.atLoginAllowed ? 1u : 0u, p.accessPeriod, p.elevateForXDays, p.longestSeconds};
  }
};

TEST_F(RequestPolicyTest, FollowsTheMachineSettingsAndTheManagedDocumentAtEveryRead) {
  EXPECT_EQ(Read(), (std::vector<uint32_t>{0, 120, 0, 120}));
  Machine(L"AccessPeriod", 10);
  EXPECT_EQ(Read(), (std::vector<uint32_t>{0, 10, 0, 30})) << "the shell hook's 30 s";
  Machine(L"ElevateAtLogin", 1);
  Machine(L"ElevateForXDays", 2);
  EXPECT_EQ(Read(), (std::vector<uint32_t>{1, 10, 2, 172800}));

  Machine(L"Managed", 1);
  CacheDocument(R"({"access_period_win":"900000"})");
  EXPECT_EQ(Read(), (std::vector<uint32_t>{1, 900000, 2, 900000}));
  CacheDocument(R"({"audit_win":"1"})");
  EXPECT_EQ(Read(), (std::vector<uint32_t>{1, 10, 2, 172800})) << "a member the document lost";
  CacheDocument(R"({"access_period_win":"900000"})");
  Machine(L"Managed", 0);
  EXPECT_EQ(Read(), (std::vector<uint32_t>{1, 10, 2, 172800}));
}

}  // namespace
}  // namespace velmora::service
