// The service is the security boundary: whatever a tray wrote into the block, only a request
// that passes the record rules, Deny, the machine's policy and the identity check changes the
// group, every change is recorded before it happens, and refusals cannot flood the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <tuple>

#include "elevation/channel_records.h"
#include "log_text.h"
#include "machine_policy.h"
#include "service_logic.h"
#include "test_support.h"

namespace velmora::service {
namespace {

using Name = std::u16string;
using Users = std::vector<Name>;
struct SimulatedCrash {};

Name U16(const std::string& text) { return {text.begin(), text.end()}; }
std::string Narrow(const Name& text) { return {text.begin(), text.end()}; }
Name Lower(Name text) {
  for (char16_t& c : text) c = c >= u'A' && c <= u'Z' ? c + 32 : c;
  return text;
}
// "ann,~bob" as "PC\ann" and "bob".
Users Accounts(const std::string& names) {
  Users users;
  std::istringstream in(names);
  for (std::string name; std::getline(in, name, ',');) {
    users.push_back(name[0] == '~' ? U16(name.substr(1)) : u"PC\\" + U16(name));
  }
  return users;
}

// The system in memory, answering as the script's KEY=VALUE steps set it, and a ServiceLogic
// on it. The group (names lower-cased, as Windows compares them) and the two recorded lists
// outlive a crash: the machine-changing step numbered crash= throws instead.
class FakeHost : public ServiceHost {
 public:
  std::unique_ptr<ServiceLogic> logic = std::make_unique<ServiceLogic>(*this);
  // policy=ATLOGIN/PERIOD/DAYS/LONGEST, the service key's Deny= and AllowUnverifiedSettings=
  // (a number, or "text" for another type), sessions=none|fail, logged=NAMES (every session;
  // PC\adm, an administrator, unless set), admin:NAME=1|0, computer=NAME, members=unreadable,
  // save=fails, torn= (the requests' name fields are torn), crash=N, and add=, remove= and
  // write= with the error the call answers.
  std::map<std::string, std::string> machine = {
      {"computer", "PC"}, {"logged", "adm"}, {"admin:adm", "1"}};
  uint64_t now = 1'000'000;
  std::vector<std::string> log;
  std::string events, stored;  // events in order: G N R audited, S E F signalled
  std::set<Name> members;
  Users saved, membersBefore;
  int steps = 0;

  uint32_t Number(const std::string& key) { return machine.count(key) ? stoul(machine[key]) : 0; }
  uint64_t NowMs() override { return now; }
  void Log(const std::string& line) override { log.push_back(line); }
  void ReportAudit(AuditEvent kind, const std::string& line) override {
    events += "GNR"[static_cast<int>(kind)];
    EXPECT_EQ(line, log.back()) << "the event log gets nothing the service's log lacks";
  }
  void Signal(Answer answer) override {
    Step();
    events += "SEF"[static_cast<int>(answer)];
  }
  // Active sessions are PC\ann's and PC\bob's; logged=NAMES lists every session.
  SessionList SessionUsers(bool activeOnly) override {
    if (machine["sessions"] == "fail") return {};
    if (machine["sessions"] == "none") return {SessionList::Kind::kNotListed, {}};
    return {SessionList::Kind::kListed, Accounts(activeOnly ? "ann,bob" : machine["logged"])};
  }
  std::optional<bool> IsAdministrator(const Name& user) override {
    const auto it = machine.find("admin:" + Narrow(user.substr(3)));  // set to 1 or 0 for PC\NAME
    return it == machine.end() ? std::nullopt : std::optional<bool>(it->second == "1");
  }
  Name ComputerName() override { return U16(machine["computer"]); }
  bool SameName(const Name& a, const Name& b) override { return Lower(a) == Lower(b); }
  uint32_t AddToAdministrators(const Name& user) override {
    Step();
    if (Number("add") != 0) return Number("add");
    return members.insert(Lower(user)).second ? status::kSuccess : status::kMemberInAlias;
  }
  uint32_t RemoveFromAdministrators(const Name& user) override {
    Step();
    if (Number("remove") != 0) return Number("remove");
    return members.erase(Lower(user)) ? status::kSuccess : status::kMemberNotInAlias;
  }
  std::optional<bool> AdministratorsListed(const Name& user) override {
    if (machine.count("members")) return std::nullopt;
    return members.count(Lower(user)) != 0;
  }
  // The service key's values are set under their own names; "text" is one of another type.
  std::optional<uint32_t> ReadServiceDword(const char16_t* name) override {
    if (!HasServiceValue(name) || machine[Narrow(name)] == "text") return std::nullopt;
    return Number(Narrow(name));
  }
  bool HasServiceValue(const char16_t* name) override { return machine.count(Narrow(name)); }
  RequestPolicy ReadRequestPolicy() override {
    unsigned atLogin = 1, period = kMaxElevationSeconds, days = 30, longest = period;
    std::sscanf(machine["policy"].c_str(), "%u/%u/%u/%u", &atLogin, &period, &days, &longest);
    return {atLogin != 0, period, days, longest};
  }
  uint32_t WriteSettingDword(const char16_t* name, uint32_t value) override {
    if (Number("write") == 0) stored += Narrow(name) + "=" + std::to_string(value) + " ";
    return Number("write");
  }
  Users LoadElevatedUsers() override { return saved; }
  bool SaveElevatedUsers(const Users& users) override { return Save(&saved, users); }
  Users LoadMembersBeforeGrant() override { return membersBefore; }
  bool SaveMembersBeforeGrant(const Users& users) override { return Save(&membersBefore, users); }

  size_t Lines(const std::string& part) const {
    return std::count_if(log.begin(), log.end(),
                         [&](const std::string& line) { return line.find(part) != line.npos; });
  }
  std::string Group() const {
    std::string names;
    for (const Name& member : members) names += Narrow(member.substr(3)) + " ";
    return names;
  }

  // Steps, separated by single blanks: ann:60 a timed request of PC\ann (a name with a
  // backslash is taken whole, ~ann is "ann"), ann:login one at login, ann:5login one at login
  // with seconds, which no tray writes; set:IRF/PERIOD a settings record: identity,
  // resuscitate ('-': empty) and the at-login flag, a character each, then the access period;
  // +N: N ms pass and the timer runs; E: EMERGENCYSTART; stop; shutdown; restart: a new run;
  // member=NAMES: administrators already; KEY=VALUE: see machine. A crash ends the script.
  void Play(const std::string& script) {
    std::istringstream in(script);
    try {
      for (std::string step; std::getline(in, step, ' ');) Act(step);
    } catch (const SimulatedCrash&) {
      // The run is lost, and the rest of the script with it.
    }
  }

 private:
  void Step() {
    if (++steps == static_cast<int>(Number("crash"))) throw SimulatedCrash{};
  }
  bool Save(Users* list, const Users& users) {
    Step();
    if (!machine.count("save")) *list = users;
    return !machine.count("save");
  }
  void Act(const std::string& step) {
    const size_t colon = step.find(':'), equals = step.find('=');
    const std::string name = step.substr(0, colon), what = step.substr(colon + 1);
    if (step.compare(0, 7, "member=") == 0) {
      for (const Name& user : Accounts(step.substr(7))) members.insert(Lower(user));
    } else if (equals != step.npos) {
      machine[step.substr(0, equals)] = step.substr(equals + 1);
    } else if (name == "set") {
      channel::SettingsRecord record = channel::EncodeSettingsRecord(
          what.substr(4), what[0], what[1] == '-' ? 0 : what[1], false);
      record[channel::kSettingsElevateAtLoginOffset] = static_cast<uint8_t>(what[2] - '0');
      logic->OnSettingsRecord(record);
    } else if (colon != step.npos) {
      channel::ElevationRequest record = channel::EncodeElevationRequest(
          name.find('\\') != name.npos ? U16(name) : Accounts(name).front(), u"r",
          what.find("login") != what.npos, std::atoi(what.c_str()));
      if (machine.count("torn")) record[channel::kRequestUserOffset + 40] = 'x';  // after the NUL
      logic->OnElevationRequest(record);
    } else if (step[0] == '+') {
      now += std::stoull(step.substr(1));
      logic->OnTimer();
    } else if (step == "E") {
      logic->OnEmergencyStart();
    } else if (step == "restart") {
      logic = std::make_unique<ServiceLogic>(*this);
      logic->Start();
    } else {
      logic->Stop(step == "shutdown");
    }
  }
};

// A request changes the group only when it passes the record rules, Deny, the policy and the
// identity check. A settings record names nobody and its values apply to every user: it is
// stored only when sound and when everyone who could have written it is an administrator.
TEST(ServiceTest, ARecordChangesTheMachineOnlyWhenItPassesEveryRule) {
  const char* all = "AccessPeriod=600 Identity=3 Resuscitate=2 ElevateAtLogin=1 ";
  // Scripts (several, each on its own host, between '|'); the events (G N R audited, S E F
  // signalled); Administrators afterwards, then the settings stored; the ms until the timer is
  // due (-1: nothing pending); and the part of the one log line that tells why.
  const std::tuple<std::string, const char*, const char*, int64_t, const char*> cases[] = {
      // The machine's policy and Deny.
      {"policy=0/120/0/120 ann:login", "RF", "", -1, "needs the machine setting ElevateAtLogin"},
      {"policy=1/120/0/120 ann:login", "GS", "ann ", -1, "until the elevation at login is ended"},
      {"policy=0/600/0/600 ann:601", "RF", "", -1, "601 seconds is more than the 600 seconds"},
      {"policy=0/600/0/600 ann:600", "GS", "ann ", 600000, "elevated for 600 seconds"},
      {"Deny=2 ann:60", "RF", "", -1, "Refused: the machine value Deny is 2."},
      {"Deny=0 ann:2592000", "GS", "ann ", 2592000000, "Group. Added \"PC\\\\ann\" to"},
      {"Deny=text ann:60", "RF", "", -1, "Deny is not a REG_DWORD, which counts as deny."},
      // Identity: the user of an active session, or with no session list a local account.
      {"pc\\ANN:60", "GS", "ann ", 60000, "\"pc\\\\ANN\" is the user of an active interactive"},
      {"sessions=fail ann:60", "RF", "", -1, "sessions cannot be listed, so \"PC\\\\ann\""},
      {"sessions=none pc\\eve:60", "GS", "eve ", 60000, "accepted as a local account of \"PC\""},
      {"sessions=none CORP\\ann:60", "RF", "", -1, "\"CORP\\\\ann\" is not a local account of"},
      {"sessions=none computer= ann:60", "RF", "", -1, "is not a local account of \"\""},
      // Failing closed around the group change.
      {"members=unreadable ann:60", "RF", "", -1, "members of Administrators cannot be read"},
      {"add=1387 ann:60", "RF", "", -1, "cannot add \"PC\\\\ann\" to Administrators: error 1387"},
      {"save=fails ann:60", "RF", "", -1, "the grant cannot be recorded for crash recovery"},
      // Records outside the rules.
      {"~ann:60|\\ann:60|PC\\:60", "RF", "", -1, "invalid request: the user name is not of the"},
      {"an\nn:60|a\x7Fn:60|P*\\ann:60", "RF", "", -1, "holds a character that account names"},
      {"ann:0|ann:2592001", "RF", "", -1, "the seconds of a timed elevation must lie between 1"},
      {"torn=1 ann:60", "RF", "", -1, "a text field is not zero after its NUL"},
      // Ends: on time, by EMERGENCYSTART, by another user's request.
      {"ann:120 +120000", "GSNE", "", -1, "ends: the period is over."},
      {"ann:login +3456000000 E", "GSNE", "", -1, "ends: EMERGENCYSTART."},
      // A refusal like the one before is counted, and the count written before the next line.
      {"eve:60 eve:60 eve:60 E", "RFFFR", "", -1, "not written one by one: identity 2 (2 in all"},
      {"ann:login bob:60", "GSNEGS", "bob ", 60000, "replaced by a request for \"PC\\\\bob\""},
      // A failed removal is retried, and EXPIRE waits for it.
      {"ann:10 remove=5 +10000 +60000", "GSN", "ann ", 60000, ""},
      {"ann:10 remove=5 +10000 remove=0 +60000", "GSNE", "", -1, ""},
      // Another user's elevation would take the EXPIRE for its own end.
      {"ann:10 remove=5 +10000 bob:600 remove=0 +60000", "GSNGS", "bob ", 540000, ""},
      // A user who asks again is no longer a removal to retry.
      {"ann:10 remove=5 +10000 remove=0 ann:600 +60000", "GSNGS", "ann ", 540000, ""},
      {"ann:10 remove=5 +10000 remove=0 stop", "GSNE", "", -1, ""},
      {"ann:login stop", "GSNE", "", -1, "ends: the service is stopping."},
      // A shutdown keeps the tray's end time; the next start removes what is left.
      {"ann:600 remove=5 shutdown remove=0 restart", "GSNNE", "", -1, "by an earlier run"},
      // Settings, which have no answer.
      {"sessions=none AllowUnverifiedSettings=2 set:321/600", "", "", -1, "is not 1); nothing"},
      {"sessions=none AllowUnverifiedSettings=1 set:321/600", "", all, -1, "accepted because"},
      {"sessions=fail AllowUnverifiedSettings=1 set:321/600", "", "", -1, "Refused: the logon"},
      {"logged=adm,ann admin:ann=0 set:321/600", "", "", -1, "ann\" is logged on and is not an"},
      {"logged=adm,bob set:321/600", "", "", -1, "bob\" is logged on and its group"},
      {"set:-00/0120", "", "AccessPeriod=120 Resuscitate=0 ElevateAtLogin=0 ", -1,
       "Every logged-on user is an administrator."},
      {"logged= set:321/600", "", "", -1, "Refused: nobody is logged on"},
      {"write=5 set:321/600", "", "", -1, "Cannot store AccessPeriod=600: error 5."},
      {"set:130/2592000", "", "AccessPeriod=2592000 Identity=1 Resuscitate=3 ElevateAtLogin=0 ", -1,
       "Settings. access-period=\"2592000\" identity=1 resuscitate=3 elevate-at-login=0"},
      {"set:100/|set:100/-5|set:100/00000060", "", "", -1, "access period is not a decimal"},
      {"set:100/0|set:100/2592001", "", "", -1, "access period must lie between 1 and 2592000"},
      {"set:140/60|set:1-0/60", "", "", -1, "resuscitate mode is not one of 0, 1, 2, 3"},
      {"set:102/60", "", "", -1, "Record rejected: a 0/1 flag holds another number"}};
  for (const auto& [scripts, events, changed, dueMs, logged] : cases) {
    std::istringstream in(scripts);
    for (std::string script; std::getline(in, script, '|');) {
      SCOPED_TRACE(script);
      FakeHost host;
      host.Play(script);
      EXPECT_EQ(host.events, events);
      EXPECT_EQ(host.Group() + host.stored, changed);
      EXPECT_EQ(host.logic->NextDueInMs().value_or(-1), static_cast<uint64_t>(dueMs));
      EXPECT_EQ(host.Lines(logged), *logged ? 1u : host.log.size());
      // No record of a grant outlives its membership.
      for (const Name& user : host.saved) EXPECT_EQ(host.members.count(Lower(user)), 1u);
    }
  }
}

TEST(ServiceTest, CrashAtAnyStepLeavesExactlyTheEarlierAdministrators) {
  for (const std::string script :
       {"member=ann ann:10 +10000", "member=ann ann:10 ann:20 E", "ann:10 +10000",
        "member=bob ann:10 bob:10 ann:10 stop", "ann:10 remove=5 +10000 ann:10 remove=0 +10000"}) {
    for (int crashAt = 1;; ++crashAt) {
      SCOPED_TRACE(script + ", crash at step " + std::to_string(crashAt));
      FakeHost host;
      host.Play("crash=" + std::to_string(crashAt) + " member=root " + script);
      const bool crashed = host.steps == crashAt;
      host.Play("crash=0 remove=0 restart");
      // Afterwards exactly root and the one already named by member=, if any.
      EXPECT_EQ(host.Group(), (script[0] == 'm' ? script.substr(7, 4) : "") + "root ");
      EXPECT_TRUE(host.saved.empty() && host.membersBefore.empty());
      if (!crashed) break;
    }
  }
}

TEST(ServiceTest, RefusalsBeyondTheHoursBudgetAreCountedAndNeverDelayAGrant) {
  FakeHost host;
  host.Play("ann:600");
  for (int i = 0; i < 1000; ++i, host.now += 10) {
    // The same invalid request, and identity refusals of ever new names.
    host.Play(i % 2 ? "x" + std::to_string(i) + ":60" : "ann:5login");
  }
  EXPECT_EQ(host.Lines("Decision. Refused: "), kDetailedRefusalsPerWindow);
  EXPECT_LE(host.logic->NextDueInMs().value_or(UINT64_MAX), kRefusalSummaryDelayMs);
  host.Play("ann:600");
  EXPECT_NE(host.log.end()[-5].find("one by one: identity 475, invalid request 475 (950 in all"),
            std::string::npos);
  std::string events = "GS";
  for (int i = 0; i < 1000; ++i) events += i < 50 ? "RF" : "F";
  EXPECT_EQ(host.events, events + "RGS");
  // Stray EMERGENCYSTARTs are written each within the budget, as a tray's end of session is
  // read off them; the rest are counted within a minute, and a new hour has a new budget.
  FakeHost stray;
  for (uint32_t i = 0; i <= kDetailedRefusalsPerWindow; ++i) stray.Play("E");
  stray.Play("+59999");
  EXPECT_EQ(stray.Lines("Emergency. "), kDetailedRefusalsPerWindow);
  EXPECT_EQ(stray.Lines("Counted. "), 0u);
  stray.Play("+1");
  EXPECT_EQ(stray.Lines("one by one: EMERGENCYSTART with nothing to end 1 (1 in all"), 1u);
  stray.Play("+3600000 E");
  EXPECT_EQ(stray.Lines("Emergency. "), kDetailedRefusalsPerWindow + 1);
}

TEST(ServiceTest, TextFromTheBlockCannotForgeOrHideLogLines) {
  EXPECT_EQ(EscapeForLog(u"\u202Eev l\u2028\x9F\x7F\u200F\u2069\uFEFF\u061C\u200B\u2060\u202A"),
            "\\u202Eev l\\u2028\\x9F\\x7F\\u200F\\u2069\\uFEFF\\u061C\\u200B\\u2060\\u202A");
  EXPECT_EQ(EscapeForLog(Name(u"\xD800x") + u"\U00010000\U0010FFFF\xDFFF\xD800"),
            "\\uD800x\xF0\x90\x80\x80\xF4\x8F\xBF\xBF\\uDFFF\\uD800");
  EXPECT_EQ(EscapeBytesForLog(std::string("1\r\xE9\"\\", 5)), "1\\x0D\\xE9\\\"\\\\");
  // The request's own line quotes what the block held, even when the record is refused.
  FakeHost host;
  host.logic->OnElevationRequest(
      channel::EncodeElevationRequest(u"PC\\ann\\x", u"fix\r\n\"PC\\eve\"", true, 0));
  EXPECT_EQ(host.log.front(), "Request. user=\"PC\\\\ann\\\\x\" reason=\"fix\\x0D\\x0A\\\"PC\\\\eve"
                              "\\\"\" at-login=1 seconds=0");
}

// The tray's own settings code reads the policy, managed document included, for every request.
using RequestPolicyTest = test::TrayTest;

TEST_F(RequestPolicyTest, FollowsTheMachineSettingsAndTheManagedDocumentAtEveryRead) {
  using Policy = std::vector<uint32_t>;
  // The policy read with the managed document cached as `json`.
  const auto read = [this](const std::string& json) {
    CacheDocument(json);
    const RequestPolicy p = ReadRequestPolicy();
    return Policy{p.atLoginAllowed, p.accessPeriod, p.elevateForXDays, p.longestSeconds};
  };
  EXPECT_EQ(read("{}"), (Policy{0, 120, 0, 120}));
  SetMachine(L"Managed", 1);
  SetMachine(L"ElevateAtLogin", 1);
  SetMachine(L"ElevateForXDays", 2);
  SetMachine(L"AccessPeriod", 10);
  EXPECT_EQ(read(R"({"access_period_win":"900000"})"), (Policy{1, 900000, 2, 900000}));
  EXPECT_EQ(read(R"({"audit_win":"1"})"), (Policy{1, 10, 2, 172800})) << "a member it lost";
}

}  // namespace
}  // namespace velmora::service
