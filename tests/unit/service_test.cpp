// The service is the security boundary: whatever a tray wrote into the block, only a request
// that passes the record rules, Deny, the machine's policy and the identity check changes the
// group, every change is recorded before it happens, and refusals cannot flood the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "elevation/channel_records.h"
#include "log_text.h"
#include "machine_policy.h"
#include "service_logic.h"
#include "test_support.h"

namespace velmora::service {
namespace {

using channel::EncodeElevationRequest;
using channel::EncodeSettingsRecord;
using Users = std::vector<std::u16string>;
struct SimulatedCrash {};

std::u16string U16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// The system in memory. It keeps what a machine keeps across a crash (the group, the two
// recorded lists); the machine-changing step numbered crashAtStep throws instead of happening.
class FakeHost : public ServiceHost {
 public:
  uint64_t now = 1'000'000;
  std::vector<std::string> log, audited;
  std::string signals, audit;  // S E F; G N R
  std::optional<Users> activeUsers = Users{u"PC\\ann", u"PC\\bob"}, allUsers;  // nothing: unlisted
  bool sessionsFail = false, membersUnreadable = false, saveFails = false, crashed = false;
  std::map<std::u16string, bool> admins;
  std::u16string computer = u"PC";
  std::map<std::u16string, std::optional<uint32_t>> values;  // the service key; nothing: no DWORD
  RequestPolicy policy{true, kMaxElevationSeconds, 30, kMaxElevationSeconds};
  std::string stored;
  uint32_t addResult = 0, removeResult = 0, writeResult = 0;  // 0: as the group has it
  Users members, saved, savedMembersBefore;
  int steps = 0, crashAtStep = 0;

  uint64_t NowMs() override { return now; }
  void Log(const std::string& line) override { log.push_back(line); }
  void ReportAudit(AuditEvent kind, const std::string& line) override {
    audit += "GNR"[static_cast<int>(kind)];
    audited.push_back(line);
  }
  void Signal(Answer answer) override {
    Step();
    signals += "SEF"[static_cast<int>(answer)];
  }
  SessionList SessionUsers(bool activeOnly) override {
    const std::optional<Users>& users = activeOnly ? activeUsers : allUsers;
    if (sessionsFail) return {};
    return {users ? SessionList::Kind::kListed : SessionList::Kind::kNotListed,
            users.value_or(Users{})};
  }
  std::optional<bool> IsAdministrator(const std::u16string& user) override {
    const auto it = admins.find(user);
    return it == admins.end() ? std::nullopt : std::optional<bool>(it->second);
  }
  std::u16string ComputerName() override { return computer; }
  bool SameName(const std::u16string& a, const std::u16string& b) override {
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
  }
  uint32_t AddToAdministrators(const std::u16string& user) override {
    Step();
    if (addResult != 0) return addResult;
    if (Member(user) != members.end()) return status::kMemberInAlias;
    members.push_back(user);
    return status::kSuccess;
  }
  uint32_t RemoveFromAdministrators(const std::u16string& user) override {
    Step();
    if (removeResult != 0) return removeResult;
    if (Member(user) == members.end()) return status::kMemberNotInAlias;
    members.erase(Member(user));
    return status::kSuccess;
  }
  std::optional<bool> AdministratorsListed(const std::u16string& user) override {
    if (membersUnreadable) return std::nullopt;
    return Member(user) != members.end();
  }
  std::optional<uint32_t> ReadServiceDword(const char16_t* name) override {
    const auto it = values.find(name);
    return it == values.end() ? std::optional<uint32_t>() : it->second;
  }
  bool HasServiceValue(const char16_t* name) override { return values.count(name) != 0; }
  RequestPolicy ReadRequestPolicy() override { return policy; }
  uint32_t WriteSettingDword(const char16_t* name, uint32_t value) override {
    const std::u16string text = name;
    if (writeResult == 0) stored += std::string(text.begin(), text.end()) + "=";
    if (writeResult == 0) stored += std::to_string(value) + " ";
    return writeResult;
  }
  Users LoadElevatedUsers() override { return saved; }
  bool SaveElevatedUsers(const Users& users) override { return Save(&saved, users); }
  Users LoadMembersBeforeGrant() override { return savedMembersBefore; }
  bool SaveMembersBeforeGrant(const Users& users) override {
    return Save(&savedMembersBefore, users);
  }

  Users::iterator Member(const std::u16string& user) {
    return std::find_if(members.begin(), members.end(),
                        [&](const std::u16string& m) { return SameName(m, user); });
  }
  size_t Lines(const std::string& part) const {
    return std::count_if(log.begin(), log.end(),
                         [&](const std::string& l) { return l.find(part) != std::string::npos; });
  }

 private:
  void Step() {
    if (++steps == crashAtStep) throw SimulatedCrash{};
  }
  bool Save(Users* list, const Users& users) {
    Step();
    if (!saveFails) *list = users;
    return !saveFails;
  }
};

// "ann bob" as accounts of PC, and back, sorted.
Users Accounts(const std::string& names) {
  Users users;
  std::istringstream in(names);
  for (std::string name; in >> name;) users.push_back(u"PC\\" + U16(name));
  return users;
}
std::string Names(Users users) {
  std::sort(users.begin(), users.end());
  std::string names;
  for (const std::u16string& user : users) {
    names += (names.empty() ? "" : " ") + std::string(user.begin() + 3, user.end());
  }
  return names;
}

// A service on a FakeHost, driven by a script of steps separated by single blanks:
//   ann:60 a timed request of PC\ann (a name with a backslash stays whole, ~ann is just "ann"),
//   ann:login one at login, ann:login+5 one at login with seconds, which no tray writes;
//   +N N ms pass and the timer runs; E EMERGENCYSTART; stop; shutdown; restart a new run;
//   torn the next request's name field is torn; !N the N-th machine change from now crashes,
//   and the run is lost until the next restart;
//   deny=N|text sessions=none|fail computer=NAME members=unreadable add=ERROR remove=ERROR
//   save=fails policy=ATLOGIN/PERIOD/DAYS/LONGEST: the machine from now on.
struct Service {
  FakeHost host;
  std::unique_ptr<ServiceLogic> logic = std::make_unique<ServiceLogic>(host);

  void Configure(const std::string& key, const std::string& value) {
    unsigned atLogin = 0, period = 0, days = 0, longest = 0;
    if (key == "deny" && value == "text") host.values[kDenyValue] = std::nullopt;
    if (key == "deny" && value != "text") host.values[kDenyValue] = std::stoul(value);
    if (key == "sessions" && value == "fail") host.sessionsFail = true;
    if (key == "sessions" && value == "none") host.activeUsers.reset();
    if (key == "computer") host.computer = U16(value);
    if (key == "members") host.membersUnreadable = true;
    if (key == "add") host.addResult = std::stoul(value);
    if (key == "remove") host.removeResult = std::stoul(value);
    if (key == "save") host.saveFails = true;
    if (key == "policy" &&
        std::sscanf(value.c_str(), "%u/%u/%u/%u", &atLogin, &period, &days, &longest) == 4) {
      host.policy = {atLogin != 0, period, days, longest};
    }
  }
  void Play(const std::string& script) {
    std::istringstream in(script);
    bool dead = false, torn = false;
    for (std::string step; std::getline(in, step, ' ');) {
      const size_t colon = step.find(':'), equals = step.find('=');
      if (colon == std::string::npos && equals != std::string::npos) {
        Configure(step.substr(0, equals), step.substr(equals + 1));
      } else if (step == "torn") {
        torn = true;
      } else if (step[0] == '!') {
        host.crashAtStep = host.steps + std::stoi(step.substr(1));
      } else if (step == "restart") {
        dead = false;
        host.crashAtStep = 0;
        logic = std::make_unique<ServiceLogic>(host);
        logic->Start();
      } else if (!dead) {
        try {
          if (colon != std::string::npos) {
            Request(step.substr(0, colon), step.substr(colon + 1), torn);
            torn = false;
          } else if (step[0] == '+') {
            host.now += std::stoull(step.substr(1));
            logic->OnTimer();
          } else if (step == "E") {
            logic->OnEmergencyStart();
          } else {
            logic->Stop(step == "shutdown");
          }
        } catch (const SimulatedCrash&) {
          dead = host.crashed = true;
        }
      }
    }
  }
  void Request(const std::string& name, const std::string& what, bool torn) {
    const std::u16string user = name[0] == '~' ? U16(name.substr(1))
                                : name.find('\\') != std::string::npos ? U16(name)
                                                                        : u"PC\\" + U16(name);
    const bool atLogin = what.compare(0, 5, "login") == 0;
    const std::string seconds = !atLogin ? what : what.size() > 5 ? what.substr(6) : "0";
    channel::ElevationRequest record = EncodeElevationRequest(user, u"r", atLogin, std::stoul(seconds));
    if (torn) record[channel::kRequestUserOffset + 40] = 'x';  // after the name's NUL
    logic->OnElevationRequest(record);
  }
};

TEST(ServiceTest, OnlyARequestThatPassesEveryRuleChangesTheGroupUntilItsEnd) {
  const char* longest =
      "Refused: policy rule longest request: 2592000 seconds is more than the 120 seconds a tray "
      "may ask for here (AccessPeriod 120 seconds, ElevateForXDays 0 days, shell hook 30 "
      "seconds).";
  const struct {
    const char* before;  // members of Administrators
    const char* script;
    const char* signals;
    const char* audit;  // G grant, N end, R refusal
    const char* after;
    int64_t dueMs;  // -1: nothing pending
    const char* logged;
  } cases[] = {
      // The machine's policy and Deny.
      {"", "policy=0/120/0/120 ann:login", "F", "R", "", -1,
       "Refused: policy rule ElevateAtLogin: an elevation at login needs the machine setting "
       "ElevateAtLogin to be 1."},
      {"", "policy=1/120/0/120 ann:login", "S", "G", "ann", -1, "until the elevation at login"},
      {"", "policy=0/120/0/120 ann:2592000", "F", "R", "", -1, longest},
      {"", "policy=0/600/0/600 ann:601", "F", "R", "", -1, "601 seconds is more than the 600"},
      {"", "policy=0/600/0/600 ann:600", "S", "G", "ann", 600000, "elevated for 600 seconds"},
      {"", "policy=0/120/30/2592000 ann:2592000", "S", "G", "ann", 2592000000, "2592000 seconds."},
      {"", "deny=1 ann:60", "F", "R", "", -1, "Refused: the machine value Deny is 1."},
      {"", "deny=2 ann:60", "F", "R", "", -1, "Refused: the machine value Deny is 2."},
      {"", "deny=0 ann:60", "S", "G", "ann", 60000, "Granted"},
      {"", "deny=text ann:60", "F", "R", "", -1,
       "Refused: the machine value Deny is not a REG_DWORD, which counts as deny."},
      // Identity: the user of an active session, or with no session list a local account.
      {"", "pc\\ANN:60", "S", "G", "ANN", 60000, "\"pc\\\\ANN\" is the user of an active interactive"},
      {"", "eve:60", "F", "R", "", -1, "\"PC\\\\eve\" is not the user of an active interactive session"},
      {"", "sessions=fail ann:60", "F", "R", "", -1,
       "Refused: the logon sessions cannot be listed, so \"PC\\\\ann\" cannot be vouched for"},
      {"", "sessions=none pc\\eve:60", "S", "G", "eve", 60000, "accepted as a local account of \"PC\""},
      {"", "sessions=none CORP\\ann:60", "F", "R", "", -1, "\"CORP\\\\ann\" is not a local account of \"PC\""},
      {"", "sessions=none computer= ann:60", "F", "R", "", -1, "is not a local account of \"\""},
      // Failing closed around the group change.
      {"", "members=unreadable ann:60", "F", "R", "", -1, "the members of Administrators cannot be read"},
      {"", "add=1387 ann:60", "F", "R", "", -1, "cannot add \"PC\\\\ann\" to Administrators: error 1387"},
      {"", "save=fails ann:60", "F", "R", "", -1, "the grant cannot be recorded for crash recovery"},
      // Records outside the rules.
      {"", "~ann:60", "F", "R", "", -1, "invalid request: the user name is not of the form domain\\account"},
      {"", "\\ann:60", "F", "R", "", -1, "not of the form"},
      {"", "PC\\:60", "F", "R", "", -1, "not of the form"},
      {"", "PC\\ann\\x:60", "F", "R", "", -1, "not of the form"},
      {"", "an\nn:60", "F", "R", "", -1, "invalid request: the user name holds a character that account names cannot have"},
      {"", "a\x7Fn:60", "F", "R", "", -1, "holds a character"},
      {"", "P*\\ann:60", "F", "R", "", -1, "holds a character"},
      {"", "ann:0", "F", "R", "", -1, "the seconds of a timed elevation must lie between 1 and 2592000"},
      {"", "ann:2592001", "F", "R", "", -1, "must lie between 1 and"},
      {"", "ann:login+5", "F", "R", "", -1, "an elevation at login must carry 0 seconds"},
      {"", "torn ann:60", "F", "R", "", -1, "a text field is not zero after its NUL"},
      // Ends: on time, by EMERGENCYSTART, by another user's request, never for an earlier member.
      {"", "ann:120 +119999", "S", "G", "ann", 1, "elevated for 120 seconds. Signalling START."},
      {"", "ann:120 +120000", "SE", "GN", "", -1, "ends: the period is over."},
      {"ann", "ann:10 ann:10 +10000", "SSE", "GGN", "ann", -1, ": membership left in place."},
      {"", "ann:login +3456000000 E", "SE", "GN", "", -1, "ends: EMERGENCYSTART."},
      {"", "E", "", "", "", -1, "EMERGENCYSTART with no elevation running: nothing to end."},
      {"", "ann:login ANN:100 +90000 ann:100 +20000", "SSS", "GGG", "ann", 80000, ""},
      {"", "ann:login ANN:100 +90000 ann:100 +100000", "SSSE", "GGGN", "", -1, ""},
      {"", "ann:login bob:60", "SES", "GNG", "bob", 60000, "replaced by a request for \"PC\\\\bob\""},
      // A failed removal is retried, and EXPIRE waits for it.
      {"", "ann:10 remove=5 +10000 remove=0 +59999", "S", "GN", "ann", 1, "retrying in 60 seconds."},
      {"", "ann:10 remove=5 +10000 remove=0 +60000", "SE", "GN", "", -1, ""},
      {"", "ann:10 remove=5 +10000 ann:10 remove=0 +10000", "SSE", "GNGN", "", -1,
       "\"PC\\\\ann\" is already a member of Administrators (added by this service)."},
      // Another user's elevation would take the EXPIRE for its own end.
      {"", "ann:10 remove=5 +10000 bob:600 remove=0 +60000", "SS", "GNG", "bob", 540000, ""},
      {"", "ann:10 remove=5 +10000 remove=0 stop", "SE", "GN", "", -1, ""},
      {"", "ann:login stop", "SE", "GN", "", -1, "ends: the service is stopping."},
      // A shutdown keeps the tray's end time; the next start removes what is left.
      {"", "ann:600 remove=5 shutdown", "S", "GN", "ann", 60000, "the next start removes it."},
      {"", "ann:600 remove=5 shutdown remove=0 restart", "SE", "GNN", "", -1,
       "\"PC\\\\ann\" was added to Administrators by an earlier run and never removed."},
      {"", "restart", "", "", "", -1, ""},
      {"ann", "!2 ann:60 restart", "E", "", "ann", -1,
       "\"PC\\\\ann\" was a member of Administrators before its grant: membership left in place."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    Service service;
    service.host.members = Accounts(c.before);
    service.Play(c.script);
    const FakeHost& host = service.host;
    EXPECT_EQ(host.signals, c.signals);
    EXPECT_EQ(host.audit, c.audit);
    EXPECT_EQ(Names(host.members), c.after);
    EXPECT_EQ(service.logic->NextDueInMs(),
              c.dueMs < 0 ? std::nullopt : std::optional<uint64_t>(c.dueMs));
    EXPECT_EQ(host.Lines(c.logged), *c.logged ? 1u : host.log.size());
    // Whatever the event log gets is in the service's log too; no record outlives a membership.
    for (const std::string& line : host.audited) EXPECT_GT(host.Lines(line), 0u);
    for (const std::u16string& user : host.saved) EXPECT_NE(service.host.Member(user), host.members.end());
  }
}

TEST(ServiceTest, CrashAtAnyStepLeavesExactlyTheEarlierAdministrators) {
  const std::pair<const char*, const char*> cases[] = {
      {"ann", "ann:10 +10000"}, {"ann", "ann:10 ann:20 E"}, {"", "ann:10 +10000"},
      {"bob", "ann:10 bob:10 ann:10 stop"}, {"", "ann:10 remove=5 +10000 ann:10 remove=0 +10000"}};
  for (const auto& [before, script] : cases) {
    for (int crashAt = 1;; ++crashAt) {
      SCOPED_TRACE(std::string(script) + ", crash at step " + std::to_string(crashAt));
      Service service;
      service.host.members = Accounts(std::string(before) + " root");
      service.Play("!" + std::to_string(crashAt) + " " + script + " remove=0 restart");
      EXPECT_EQ(Names(service.host.members), Names(Accounts(std::string(before) + " root")));
      EXPECT_TRUE(service.host.saved.empty());
      EXPECT_TRUE(service.host.savedMembersBefore.empty());
      if (!service.host.crashed) break;
    }
  }
}

TEST(ServiceTest, RefusalFloodIsCountedAndNeverDelaysAGrant) {
  Service service;
  FakeHost& host = service.host;
  service.Play("ann:600");
  for (int i = 0; i < 1000; ++i) {
    // The same invalid request, and identity refusals of ever new names.
    service.Play(i % 2 ? std::string(1, static_cast<char>('a' + i % 26)) + std::string(i % 7, 'y') + "x:60" : "ann:login+5");
    host.now += 10;
  }
  EXPECT_EQ(host.signals, "S" + std::string(1000, 'F'));
  EXPECT_EQ(host.Lines("Decision. Refused: "), kDetailedRefusalsPerWindow);
  EXPECT_EQ(host.Lines("Counted. "), 0u) << "counts wait for their time";
  EXPECT_LE(service.logic->NextDueInMs().value_or(UINT64_MAX), kRefusalSummaryDelayMs);
  service.Play("ann:600");
  EXPECT_EQ(host.signals.back(), 'S');
  EXPECT_EQ(host.log.end()[-5],
            "Counted. Repeated or beyond the hour's 50 lines, not written one by one: identity "
            "475, invalid request 475 (950 in all; every refused request had its FORBID).");
  EXPECT_EQ(host.audit, "G" + std::string(kDetailedRefusalsPerWindow, 'R') + "RG");
}

TEST(ServiceTest, RepeatsAreCollapsedAndStrayEndsCountedBeyondTheBudget) {
  const std::string refused =
      "Decision. Refused: \"PC\\\\eve\" is not the user of an active interactive session. "
      "Signalling FORBID.";
  const std::string counted = "Counted. Repeated or beyond the hour's 50 lines, not written one by one: ";
  const std::string all = " (2 in all; every refused request had its FORBID).";
  Service service;
  FakeHost& host = service.host;
  service.Play("eve:60 eve:60 eve:60 E");
  EXPECT_EQ(std::vector<std::string>(host.log.begin() + 1, host.log.end()),
            (std::vector<std::string>{
                refused, counted + "identity 2" + all,
                "Emergency. EMERGENCYSTART with no elevation running: nothing to end."}));
  // Each stray EMERGENCYSTART is written, as a tray's end of session is read off them.
  for (uint32_t i = 0; i < kDetailedRefusalsPerWindow; ++i) service.Play("E");
  EXPECT_EQ(host.Lines("Emergency. "), kDetailedRefusalsPerWindow - 1);
  service.Play("+59999");
  EXPECT_EQ(host.Lines("Counted. "), 1u);
  service.Play("+1");
  EXPECT_EQ(host.log.back(), counted + "EMERGENCYSTART with nothing to end 2" + all);
  EXPECT_FALSE(service.logic->NextDueInMs());
  service.Play("+3600000 eve:60");  // a new hour's budget
  EXPECT_EQ(host.log.back(), refused);
}

// The record names nobody, and its values apply to every user: it is stored only when sound
// and when everyone who could have written it is an administrator.
TEST(ServiceTest, SettingsAreStoredOnlyWhenSoundAndEveryLoggedOnUserIsAnAdministrator) {
  const auto logged = [](const char* users, std::map<std::u16string, bool> admins) {
    return [=](FakeHost& h) { h.allUsers = Accounts(users), h.admins = admins; };
  };
  const auto unverified = [](FakeHost& h) { h.values[kAllowUnverifiedSettingsValue] = 1; };
  const auto flag = [](uint8_t value) {
    channel::SettingsRecord record = EncodeSettingsRecord("60", '1', '0', false);
    record[channel::kSettingsElevateAtLoginOffset] = value;
    return record;
  };
  const auto record = EncodeSettingsRecord("600", '3', '2', true);
  const char* all = "AccessPeriod=600 Identity=3 Resuscitate=2 ElevateAtLogin=1 ";
  const char* digits = "Record rejected: the access period is not a decimal number of at most 7 digits";
  const char* range = "Record rejected: the access period must lie between 1 and 2592000";
  const char* mode = "Record rejected: the resuscitate mode is not one of 0, 1, 2, 3";
  const struct {
    std::function<void(FakeHost&)> arrange;
    channel::SettingsRecord record;
    const char* stored;
    const char* logged;
  } cases[] = {
      {[](FakeHost&) {}, record, "",
       "the platform does not list logon sessions, so the writer cannot be known to be an "
       "administrator (the machine value AllowUnverifiedSettings is not 1); nothing stored."},
      {[](FakeHost& h) { h.values[kAllowUnverifiedSettingsValue] = 2; }, record, "", "is not 1)"},
      {unverified, record, all, "accepted because the machine value AllowUnverifiedSettings is 1"},
      {[](FakeHost& h) { h.sessionsFail = true, h.values[kAllowUnverifiedSettingsValue] = 1; },
       record, "", "Settings. Refused: the logon sessions cannot be listed"},
      {logged("adm ann bob", {{u"PC\\adm", true}, {u"PC\\ann", false}}), record, "",
       "\"PC\\\\ann\" is logged on and is not an administrator"},
      {logged("adm bob", {{u"PC\\adm", true}}), record, "",
       "\"PC\\\\bob\" is logged on and its group membership cannot be read"},
      {logged("adm", {{u"PC\\adm", true}}), EncodeSettingsRecord("0120", 0, '0', false),
       "AccessPeriod=120 Resuscitate=0 ElevateAtLogin=0 ", "Every logged-on user is an admin"},
      {[](FakeHost& h) { h.writeResult = 5, h.values[kAllowUnverifiedSettingsValue] = 1; },
       record, "", "Settings. Cannot store AccessPeriod=600: error 5."},
      {unverified, EncodeSettingsRecord("2592000", '1', '3', false), "AccessPeriod=2592000 Identity=1 Resuscitate=3 ElevateAtLogin=0 ", "access-period=\"2592000\""},
      {unverified, EncodeSettingsRecord("0000060", '2', '1', false), "AccessPeriod=60 Identity=2 Resuscitate=1 ElevateAtLogin=0 ", "access-period=\"0000060\""},
      {unverified, EncodeSettingsRecord("", '1', '0', false), "", digits},
      {unverified, EncodeSettingsRecord(" 120", '1', '0', false), "", digits},
      {unverified, EncodeSettingsRecord("-5", '1', '0', false), "", digits},
      {unverified, EncodeSettingsRecord("+5", '1', '0', false), "", digits},
      {unverified, EncodeSettingsRecord("0x10", '1', '0', false), "", digits},
      {unverified, EncodeSettingsRecord("00000060", '1', '0', false), "", digits},
      {unverified, EncodeSettingsRecord("0", '1', '0', false), "", range},
      {unverified, EncodeSettingsRecord("2592001", '1', '0', false), "", range},
      {unverified, EncodeSettingsRecord("60", '1', '4', false), "", mode},
      {unverified, EncodeSettingsRecord("60", '1', '/', false), "", mode},
      {unverified, EncodeSettingsRecord("60", '1', 0, false), "", mode},
      {unverified, flag(2), "", "Record rejected: a 0/1 flag holds another number; nothing stored."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logged);
    FakeHost host;
    c.arrange(host);
    ServiceLogic(host).OnSettingsRecord(c.record);
    EXPECT_EQ(host.stored, c.stored);
    EXPECT_EQ(host.Lines(c.logged), 1u);
    EXPECT_EQ(host.signals, "") << "settings have no answer event";
  }
}

TEST(ServiceTest, TextFromTheBlockCannotForgeOrHideLogLines) {
  const std::pair<std::u16string, const char*> cases[] = {
      {u"a\r\n[01.01.2020 00:00:00] Decision", "a\\x0D\\x0A[01.01.2020 00:00:00] Decision"},
      {u"q\"\\x", "q\\\"\\\\x"},
      {u"\u202Eevil\u2028\x85\x7F\u200E\u2066\uFEFF",
       "\\u202Eevil\\u2028\\x85\\x7F\\u200E\\u2066\\uFEFF"},
      {std::u16string(u"\xD800x") + u"\U0001F600\xDC00\xD800",
       "\\uD800x\xF0\x9F\x98\x80\\uDC00\\uD800"},
      {u"J\u00FCrgen \u20AC", "J\xC3\xBCrgen \xE2\x82\xAC"}};
  for (const auto& [text, escaped] : cases) EXPECT_EQ(EscapeForLog(text), escaped);
  EXPECT_EQ(EscapeBytesForLog(std::string("1\r\xE9\"\\", 5)), "1\\x0D\\xE9\\\"\\\\");
  // The request's own line quotes what the block held, even when the record is refused.
  FakeHost host;
  ServiceLogic(host).OnElevationRequest(
      EncodeElevationRequest(u"PC\\ann\\x", u"fix\r\n\"PC\\eve\"", true, 0));
  EXPECT_EQ(host.log.front(),
            "Request. user=\"PC\\\\ann\\\\x\" reason=\"fix\\x0D\\x0A\\\"PC\\\\eve\\\"\" "
            "at-login=1 seconds=0");
}

// The policy is read by the tray's own settings code, managed document included, afresh for
// every request.
using RequestPolicyTest = test::TrayTest;

TEST_F(RequestPolicyTest, FollowsTheMachineSettingsAndTheManagedDocumentAtEveryRead) {
  const auto read = [] {
    const RequestPolicy p = ReadRequestPolicy();
    return std::vector<uint32_t>{p.atLoginAllowed, p.accessPeriod, p.elevateForXDays,
                                 p.longestSeconds};
  };
  const auto cache = [this](std::string json) {
    for (char& c : json) c = static_cast<char>(c ^ 0x0E);
    SetMachineString(L"Managed settings", fake.codePage.AnsiToWide(json), test::kPolicy);
  };
  EXPECT_EQ(read(), (std::vector<uint32_t>{0, 120, 0, 120}));
  SetMachine(L"AccessPeriod", 10);
  EXPECT_EQ(read(), (std::vector<uint32_t>{0, 10, 0, 30})) << "the shell hook's 30 s";
  SetMachine(L"ElevateAtLogin", 1);
  SetMachine(L"ElevateForXDays", 2);
  EXPECT_EQ(read(), (std::vector<uint32_t>{1, 10, 2, 172800}));
  SetMachine(L"Managed", 1);
  cache(R"({"access_period_win":"900000"})");
  EXPECT_EQ(read(), (std::vector<uint32_t>{1, 900000, 2, 900000}));
  cache(R"({"audit_win":"1"})");
  EXPECT_EQ(read(), (std::vector<uint32_t>{1, 10, 2, 172800})) << "a member the document lost";
  cache(R"({"access_period_win":"900000"})");
  SetMachine(L"Managed", 0);
  EXPECT_EQ(read(), (std::vector<uint32_t>{1, 10, 2, 172800}));
}

}  // namespace
}  // namespace velmora::service
