// Directory gating against the fake directory and the fake clock: the two checks with their
// exact comparisons, log texts and clean-up on every failure, the path a distinguished name is
// bound by, the recorded verdicts that stand in while the directory is out of reach, and the
// refresh thread's period.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_platform_settings.h"
#include "identity/ad_checks.h"
#include "identity/ad_connector.h"
#include "settings/settings_store.h"
#include "state/globals.h"

namespace velmora {
namespace {

using fakes::FakeDirectory;
using Step = FakeDirectory::Step;
using View = fakes::FakeRegistry::View;

constexpr wchar_t kComputerDn[] = L"CN=PC-042,OU=Workstations,DC=corp,DC=example";
constexpr wchar_t kUserDn[] = L"CN=Mary Major,OU=Staff,DC=corp,DC=example";
constexpr wchar_t kConnectorKey[] = L"Software\\Ostrand\\Velmora\\Connector";
constexpr int64_t kDay = 864000000000LL;
constexpr int64_t kHour = kDay / 24;

DirectoryValue Text(const std::wstring& text) {
  DirectoryValue value;
  value.type = dir::kTypeString;
  value.text = text;
  return value;
}
DirectoryItem Item(const std::wstring& text) { return DirectoryItem{dir::kTypeString, false, text}; }
DirectoryValue Array(std::vector<DirectoryItem> items) {
  DirectoryValue value;
  value.type = dir::kTypeArray | dir::kTypeVariant;
  value.items = std::move(items);
  return value;
}
std::wstring Path(const std::wstring& dn) { return L"LDAP://" + dn; }

struct StopThread {};

// Hands the connector thread's body to the test, which runs it on its own thread; each sleep
// moves the fake clock on, and the last one allowed ends the thread.
class ThreadKernel : public fakes::FakeKernel {
 public:
  explicit ThreadKernel(fakes::FakeClock& clock) : clock_(clock) {}
  bool StartDetachedThread(std::function<void()> body) override {
    bodies.push_back(std::move(body));
    return true;
  }
  void Sleep(uint32_t ms) override {
    slept.push_back(ms);
    clock_.Advance(ms / 1000);
    if (--sleepsLeft <= 0) throw StopThread();
  }
  void RunThread(size_t index, int sleeps) {
    sleepsLeft = sleeps;
    try {
      bodies.at(index)();
    } catch (const StopThread&) {
    }
  }

  std::vector<std::function<void()>> bodies;
  std::vector<uint32_t> slept;
  int sleepsLeft = 0;

 private:
  fakes::FakeClock& clock_;
};

class AdConnectorTest : public fakes::SettingsTestBase {
 protected:
  AdConnectorTest() {
    saved_ = GetPlatform();
    Platform platform = saved_;
    platform.kernel = &threads_;
    InstallPlatform(platform);
    platform_.clock.SetLocal(2026, 3, 10, 12, 0, 0);
    now_ = platform_.clock.LocalFileTime();
  }
  ~AdConnectorTest() override { InstallPlatform(saved_); }

  // A fresh directory for one case of a table; the log lines it adds are read from here on.
  FakeDirectory& NewDirectory() {
    directory_ = std::make_unique<FakeDirectory>();
    Platform platform = GetPlatform();
    platform.directory = directory_.get();
    InstallPlatform(platform);
    directory_->SetNames(kComputerDn, kUserDn);
    logFrom_ = LogMessages().size();
    return *directory_;
  }
  std::vector<std::string> NewLog() const {
    const std::vector<std::string> all = LogMessages();
    return std::vector<std::string>(all.begin() + static_cast<long>(logFrom_), all.end());
  }
  bool Logged(const std::string& line) const {
    const std::vector<std::string> log = NewLog();
    return std::find(log.begin(), log.end(), line) != log.end();
  }
  void ExpectCleanedUp(const std::string& name) const {
    EXPECT_EQ(0u, directory_->live_objects()) << name;
    EXPECT_EQ(0, directory_->unpaired_calls()) << name;
  }

  void SetConnector(const wchar_t* name, const std::wstring& text) {
    registry_.SetString(Hive::kLocalMachine, View::k64, kConnectorKey, name, text);
  }
  void SetUser(const wchar_t* name, const std::wstring& text) {
    registry_.SetString(Hive::kCurrentUser, View::k64, kProductKeyPath, name, text);
  }
  std::optional<std::wstring> User(const wchar_t* name) const {
    return registry_.GetString(Hive::kCurrentUser, View::k64, kProductKeyPath, name);
  }
  std::wstring FileTime(int64_t offset) const {
    return FormatWide(L"%d", {static_cast<long long>(now_ + offset)});
  }

  ThreadKernel threads_{platform_.clock};
  Platform saved_;
  std::unique_ptr<FakeDirectory> directory_;
  size_t logFrom_ = 0;
  int64_t now_ = 0;
};

TEST(AdTextTest, CommonNamesAreCutAndNamesEscapedForThePath) {
  struct Cut {
    const wchar_t* source;
    const wchar_t* start;
    const wchar_t* end;
    const wchar_t* expected;  // nullptr: false, output untouched
  };
  const Cut cuts[] = {
      {L"CN=Admins,OU=Groups", L"CN=", L",", L"Admins"},
      {L"CN=a,CN=b,", L"CN=", L",", L"a"},
      {L"CN=Smith\\, Admins,OU=G", L"CN=", L",", L"Smith\\"},
      {L"OU=G,CN=Admins", L"CN=", L",", nullptr},
      {L"cn=Admins,OU=G", L"CN=", L",", nullptr},
      {L"CN=,OU=G", L"CN=", L",", nullptr},
      {L"abc,def", nullptr, L",", L"abc"},
      {L"CN=abc", L"CN=", nullptr, L"abc"},
      {L"", nullptr, nullptr, nullptr},
  };
  for (const Cut& c : cuts) {
    std::wstring out = L"untouched";
    EXPECT_EQ(c.expected != nullptr, ExtractString(c.source, c.start, c.end, &out)) << c.source;
    EXPECT_EQ(c.expected != nullptr ? c.expected : L"untouched", out) << c.source;
  }

  // The directory's own escapes survive; only a bare "/" (the path separator) gains one.
  const std::pair<std::wstring, std::wstring> names[] = {
      {kUserDn, kUserDn},
      {L"CN=Smith\\, John,OU=A/B,DC=corp", L"CN=Smith\\, John,OU=A\\/B,DC=corp"},
      {L"CN=Back\\\\slash,OU=x", L"CN=Back\\\\slash,OU=x"},
      {L"CN=\\#1\\+2\\\"q\\\",OU=x", L"CN=\\#1\\+2\\\"q\\\",OU=x"},
      {L"CN=\\ lead and trail\\ ,OU=x", L"CN=\\ lead and trail\\ ,OU=x"},
      {L"CN=already\\/escaped", L"CN=already\\/escaped"},
      {L"CN=\\5C/a/b", L"CN=\\5C\\/a\\/b"},
      {L"CN=ends in\\", L"CN=ends in\\"},
  };
  for (const auto& [dn, path] : names) EXPECT_EQ(path, EscapeDnForLdapPath(dn)) << dn;
}

TEST_F(AdConnectorTest, ManagedByMustNameTheUserExactly) {
  struct Case {
    const char* name;
    std::wstring computer;
    std::optional<DirectoryValue> managedBy;
    std::optional<Step> failing;
    bool verdict;
    bool error;
    std::string line;
  };
  const Case cases[] = {
      {"match", kComputerDn, Text(kUserDn), {}, true, false,
       "CheckADUser. ManagedBy: CN=Mary Major,OU=Staff,DC=corp,DC=example"},
      {"a group", kComputerDn, Text(L"CN=Desk Admins,OU=Groups,DC=corp,DC=example"), {}, false,
       false, "CheckADUser. ManagedBy: CN=Desk Admins,OU=Groups,DC=corp,DC=example"},
      {"letter case", kComputerDn, Text(L"CN=mary major,OU=Staff,DC=corp,DC=example"), {}, false,
       false, "CheckADUser. Logged on UserName: CN=Mary Major,OU=Staff,DC=corp,DC=example"},
      {"slash in an OU", L"CN=PC-7,OU=Sales/Marketing,DC=corp", Text(kUserDn), {}, true, false,
       "CheckADUser. Current computerName: CN=PC-7,OU=Sales/Marketing,DC=corp"},
      {"not set", kComputerDn, {}, {}, false, true, "CheckADUser. exception. Cannot get ManagedBy"},
      {"not text", kComputerDn, Array({Item(kUserDn)}), {}, false, true,
       "CheckADUser. exception. Cannot get ManagedBy"},
      {"no system info", kComputerDn, Text(kUserDn), Step::kSystemInfo, false, true,
       "CheckADUser. exception. Cannot create ADSystemInfo object"},
      {"no computer name", kComputerDn, Text(kUserDn), Step::kComputerName, false, true,
       "CheckADUser. exception. Cannot retrieve computer name"},
      {"no user name", kComputerDn, Text(kUserDn), Step::kUserName, false, false,
       "CheckADUser. Logged on UserName: "},
      {"no bind", kComputerDn, Text(kUserDn), Step::kBind, false, true,
       "CheckADUser. exception. Cannot get AD object"},
      {"no read", kComputerDn, Text(kUserDn), Step::kRead, false, true,
       "CheckADUser. exception. Cannot get ManagedBy"},
      {"foreign apartment", kComputerDn, Text(kUserDn), Step::kCom, true, false,
       "CheckADUser. Checking ManagedBy attribute for the user..."},
  };
  for (const Case& c : cases) {
    FakeDirectory& directory = NewDirectory();
    directory.SetNames(c.computer, kUserDn);
    const std::wstring path = Path(EscapeDnForLdapPath(c.computer));
    directory.SetAttribute(path, L"cn", Text(L"PC"));
    if (c.managedBy) directory.SetAttribute(path, L"managedBy", *c.managedBy);
    if (c.failing) directory.FailAt(*c.failing);
    bool error = !c.error;
    EXPECT_EQ(c.verdict, CheckADUser(&error)) << c.name;
    EXPECT_EQ(c.error, error) << c.name;
    EXPECT_TRUE(Logged(c.line)) << c.name << ": no line [" << c.line << "]";
    ExpectCleanedUp(c.name);
  }
}

TEST_F(AdConnectorTest, GroupMustBeTheCommonNameOfAMemberOfValue) {
  const std::wstring oddUser = L"CN=\\ O\\, Brien/Jr \\#1\\+x\\\"q\\\"\\ ,OU=A/B,DC=corp";
  DirectoryItem number{3, false, L""};
  DirectoryItem nullText{dir::kTypeString, true, L""};
  struct Case {
    const char* name;
    std::optional<DirectoryValue> memberOf;
    std::wstring group;
    bool verdict;
    bool error;
    std::string line;
    std::wstring user = kUserDn;
    std::optional<Step> failing = std::nullopt;
  };
  const Case cases[] = {
      {"one text", Text(L"CN=Helpdesk,OU=Groups,DC=corp"), L"Helpdesk", true, false,
       "CheckUserGroup. memberOf value: Helpdesk"},
      {"array", Array({Item(L"CN=Staff,OU=G"), Item(L"CN=Helpdesk,OU=G")}), L"Helpdesk", true,
       false, "CheckUserGroup. memberOf type: 8204"},
      {"prefix of a name", Array({Item(L"CN=Helpdesk Admins,OU=G")}), L"Helpdesk", false, false,
       "CheckUserGroup. memberOf array value: Helpdesk Admins"},
      {"longer than a name", Text(L"CN=Helpdesk,OU=G"), L"Helpdesk Admins", false, false,
       "[CheckADUserGroup]8"},
      {"letter case", Text(L"CN=Helpdesk,OU=G"), L"helpdesk", false, false, "[CheckADUserGroup]8"},
      {"full name", Text(L"CN=Helpdesk,OU=G"), L"CN=Helpdesk,OU=G", false, false,
       "[CheckADUserGroup]8"},
      {"escaped comma", Text(L"CN=Smith\\, Admins,OU=G"), L"Smith\\, Admins", false, false,
       "CheckUserGroup. memberOf value: Smith\\"},
      {"cut at the escape", Text(L"CN=Smith\\, Admins,OU=G"), L"Smith\\", true, false,
       "CheckUserGroup. memberOf value: Smith\\"},
      {"empty array", Array({}), L"Helpdesk", false, false, "[CheckADUserGroup]5"},
      {"empty text", Text(L""), L"Helpdesk", false, false, "CheckUserGroup. memberOf value: "},
      {"odd elements", Array({number, nullText, Item(L"OU=NoCn"), Item(L"CN=Helpdesk,OU=G")}),
       L"Helpdesk", true, false, "Ahtung! varItem.bstrVal==NULL"},
      {"odd elements", Array({number}), L"Helpdesk", false, false, "Ahtung! varItem!=VT_BSTR"},
      {"cut fails", Array({Item(L"OU=NoCn")}), L"Helpdesk", false, false,
       "ExtractString returns FALSE!"},
      {"empty group never matches", Text(L"OU=NoCn"), L"", false, false, "[CheckADUserGroup]8"},
      {"missing", {}, L"Helpdesk", false, true, "CheckADUserGroup. Exception. Cannot get MemberOf"},
      {"escaped user", Text(L"CN=Helpdesk,OU=G"), L"Helpdesk", true, false,
       "Escaped user name: CN=\\ O\\, Brien\\/Jr \\#1\\+x\\\"q\\\"\\ ,OU=A\\/B,DC=corp", oddUser},
      {"no system info", Text(L"CN=Helpdesk,OU=G"), L"Helpdesk", false, true,
       "CheckADUserGroup. Exception. Cannot create ADSystemInfo object", kUserDn, Step::kSystemInfo},
      {"no user name", Text(L"CN=Helpdesk,OU=G"), L"Helpdesk", false, true,
       "CheckADUserGroup. Exception. Cannot get AD object2", kUserDn, Step::kUserName},
      {"no bind", Text(L"CN=Helpdesk,OU=G"), L"Helpdesk", false, true,
       "CheckADUserGroup. Exception. Cannot get AD object2", kUserDn, Step::kBind},
      {"no read", Text(L"CN=Helpdesk,OU=G"), L"Helpdesk", false, true,
       "CheckADUserGroup. Exception. Cannot get MemberOf", kUserDn, Step::kRead},
      {"foreign apartment", Text(L"CN=Helpdesk,OU=G"), L"Helpdesk", true, false,
       "[CheckADUserGroup]8", kUserDn, Step::kCom},
  };
  for (const Case& c : cases) {
    FakeDirectory& directory = NewDirectory();
    directory.SetNames(kComputerDn, c.user);
    // The user object answers only at the path its escaped name makes.
    directory.SetAttribute(Path(EscapeDnForLdapPath(c.user)), L"cn", Text(L"user"));
    if (c.memberOf) {
      directory.SetAttribute(Path(EscapeDnForLdapPath(c.user)), L"memberOf", *c.memberOf);
    }
    if (c.failing) directory.FailAt(*c.failing);
    bool error = !c.error;
    EXPECT_EQ(c.verdict, CheckADUserGroup(c.group, &error)) << c.name;
    EXPECT_EQ(c.error, error) << c.name;
    EXPECT_TRUE(Logged(c.line)) << c.name << ": no line [" << c.line << "]";
    ExpectCleanedUp(c.name);
  }
}

TEST_F(AdConnectorTest, SeveralGroupsWriteTheNumberedTrace) {
  NewDirectory().SetAttribute(Path(kUserDn), L"memberOf",
                              Array({Item(L"CN=Staff,OU=G"), Item(L"CN=Helpdesk,OU=G")}));
  bool error = true;
  EXPECT_TRUE(CheckADUserGroup(L"Helpdesk", &error));
  const std::vector<std::string> expected = {
      "CheckUserGroup. Logged on username: CN=Mary Major,OU=Staff,DC=corp,DC=example",
      "Escaped user name: CN=Mary Major,OU=Staff,DC=corp,DC=example",
      "CheckUserGroup. memberOf type: 8204",
      "[CheckADUserGroup]1", "[CheckADUserGroup]2", "[CheckADUserGroup]21(CN=Staff,OU=G)",
      "CheckUserGroup. memberOf array value: Staff", "[CheckADUserGroup]3",
      "[CheckADUserGroup]4",
      "[CheckADUserGroup]1", "[CheckADUserGroup]2", "[CheckADUserGroup]21(CN=Helpdesk,OU=G)",
      "CheckUserGroup. memberOf array value: Helpdesk", "[CheckADUserGroup]3",
      "[CheckADUserGroup]4", "[CheckADUserGroup]5",
      "[CheckADUserGroup]6", "[CheckADUserGroup]7", "[CheckADUserGroup]8",
  };
  EXPECT_EQ(expected, NewLog());
}

TEST_F(AdConnectorTest, RecordedVerdictsStandInWhileTheDirectoryIsOutOfReach) {
  const std::wstring kept = L"kept";
  struct Case {
    const char* name;
    std::wstring group;
    std::wstring cache;
    bool reachable;
    std::wstring checkpoint;  // recorded before the run ("" none)
    std::wstring setting;
    bool groupValid;
    std::wstring written;  // setting2 after the run, "kept" when nothing was written
  };
  const Case cases[] = {
      {"no group", L"", L"3", false, L"", L"", true, L"301"},
      {"met", L"Helpdesk", L"3", true, FileTime(-kDay), L"405", true, L"301"},
      {"not met", L"Staff", L"3", true, FileTime(-kDay), L"301", false, L"405"},
      {"fresh 301", L"Helpdesk", L"3", false, FileTime(-2 * kDay), L"301", true, kept},
      {"expired 301", L"Helpdesk", L"3", false, FileTime(-4 * kDay), L"301", false, kept},
      {"301 at its expiry", L"Helpdesk", L"3", false, FileTime(-3 * kDay), L"301", true, kept},
      {"fresh 405", L"Helpdesk", L"3", false, FileTime(-kHour), L"405", false, kept},
      {"other verdict", L"Helpdesk", L"3", false, FileTime(-kHour), L"301 ", false, kept},
      {"no cache", L"Helpdesk", L"", false, FileTime(-kHour), L"301", false, L"405"},
      {"cache 0", L"Helpdesk", L"0", false, FileTime(-kHour), L"301", false, L"405"},
      {"negative cache", L"Helpdesk", L"-3", false, FileTime(-kHour), L"301", false, L"405"},
      {"an hour ahead", L"Helpdesk", L"3", false, FileTime(kHour), L"301", true, kept},
      {"two days ahead", L"Helpdesk", L"3", false, FileTime(2 * kDay), L"301", false, kept},
      {"largest time", L"Helpdesk", L"3", false, L"9223372036854775807", L"301", false, kept},
      {"not a number", L"Helpdesk", L"3", false, L"abc", L"301", false, kept},
      {"number and text", L"Helpdesk", L"999999", false, L"12x", L"301", false, kept},
      {"out of range", L"Helpdesk", L"99999999999999999999", false, L"-99999999999999999999",
       L"301", false, kept},
      {"no checkpoint", L"Helpdesk", L"3", false, L"", L"301", false, kept},
      {"no setting", L"Helpdesk", L"3", false, FileTime(-kHour), L"", false, kept},
      {"huge cache", L"Helpdesk", L"99999999999999999999", false, FileTime(-kDay), L"301", true,
       kept},
      {"huge cache, first time", L"Helpdesk", L"99999999999999999999", false, L"0", L"301", true,
       kept},
      {"cache just past the limit", L"Helpdesk", L"10675200", false, FileTime(-kDay), L"301",
       true, kept},
  };
  for (const Case& c : cases) {
    FakeDirectory& directory = NewDirectory();
    directory.SetAttribute(Path(kUserDn), L"memberOf", Text(L"CN=Helpdesk,OU=G"));
    if (!c.reachable) directory.FailAt(Step::kBind);
    registry_.SetString(Hive::kCurrentUser, View::k64, kProductKeyPath, L"setting2", kept);
    registry_.DeleteKeyValue(Hive::kCurrentUser, kProductKeyPath, L"checkpoint2");
    if (!c.checkpoint.empty()) SetUser(L"checkpoint2", c.checkpoint);
    if (!c.setting.empty()) SetUser(L"setting2", c.setting);
    if (c.setting.empty()) registry_.DeleteKeyValue(Hive::kCurrentUser, kProductKeyPath, L"setting2");
    const std::wstring before = User(L"setting2").value_or(kept);

    DoADConnectorLogic(c.group, c.cache);
    EXPECT_EQ(1, Load(g_bADUserValid)) << c.name;  // ManagedBy is not set
    EXPECT_EQ(c.groupValid ? 1 : 0, Load(g_bADUserGroupValid)) << c.name;
    if (c.written == kept) {
      EXPECT_EQ(before, User(L"setting2").value_or(kept)) << c.name;
      EXPECT_EQ(c.checkpoint, User(L"checkpoint2").value_or(L"")) << c.name;
    } else {
      EXPECT_EQ(c.written, User(L"setting2")) << c.name;
      EXPECT_EQ(FileTime(0), User(L"checkpoint2")) << c.name;
    }
    EXPECT_EQ(L"301", User(L"setting1")) << c.name;
    ExpectCleanedUp(c.name);
  }
  EXPECT_TRUE(shell_.boxes().empty());
}

TEST_F(AdConnectorTest, ManagedByIsCheckedOnlyWhenItsMachineValueIsOne) {
  const std::string checked = "DoADConnectorLogic. Reg value ManagedBy set to 1";
  const std::string skipped =
      "DoADConnectorLogic. Reg value ManagedBy not found. We do not check ManagedBy for the user";
  struct Case {
    const wchar_t* managedBy;  // nullptr: missing
    bool reachable;
    std::wstring recorded;  // setting1, an hour old
    bool userValid;
    std::wstring written;
    std::string line;
  };
  const Case cases[] = {
      {L"1", true, L"405", true, L"301", checked},
      {L"1", false, L"301", true, L"301", checked},
      {L"1", false, L"405", false, L"405", checked},
      {L"2", false, L"405", true, L"301", skipped},
      {L"0", false, L"405", true, L"301", skipped},
      {nullptr, false, L"405", true, L"301", skipped},
  };
  for (const Case& c : cases) {
    FakeDirectory& directory = NewDirectory();
    directory.SetAttribute(Path(kComputerDn), L"managedBy", Text(kUserDn));
    registry_.DeleteKeyValue(Hive::kLocalMachine, kConnectorKey, L"ManagedBy");
    if (c.managedBy != nullptr) SetConnector(L"ManagedBy", c.managedBy);
    if (!c.reachable) directory.FailAt(Step::kBind);
    SetUser(L"checkpoint1", FileTime(-kHour));
    SetUser(L"setting1", c.recorded);

    DoADConnectorLogic(L"", L"3");
    EXPECT_EQ(c.userValid ? 1 : 0, Load(g_bADUserValid)) << c.line;
    EXPECT_EQ(c.written, User(L"setting1")) << c.line;
    EXPECT_TRUE(Logged(c.line)) << c.line;
    ExpectCleanedUp(c.line);
  }
}

TEST_F(AdConnectorTest, StartsOnlyForExactlyOneAndRefreshesOnItsOwnThread) {
  struct Case {
    const char* name;
    const wchar_t* enabled;  // nullptr: missing
    const wchar_t* refresh;  // nullptr: missing
    bool on;
    bool thread;
  };
  const Case cases[] = {
      {"on, refresh", L"1", L"10", true, true},   {"on, empty refresh", L"1", L"", true, false},
      {"on, no refresh", L"1", nullptr, true, false}, {"yes", L"yes", L"10", false, false},
      {"01", L"01", L"10", false, false},          {"missing", nullptr, L"10", false, false},
  };
  for (const Case& c : cases) {
    NewDirectory().FailAt(Step::kBind);
    registry_.DeleteKeyValue(Hive::kCurrentUser, kProductKeyPath, L"setting2");
    for (const auto& [name, text] : {std::pair{L"ActiveDirectory", c.enabled},
                                     std::pair{L"ActiveDirectoryRefresh", c.refresh}}) {
      if (text != nullptr) SetConnector(name, text);
      if (text == nullptr) registry_.DeleteKeyValue(Hive::kLocalMachine, kConnectorKey, name);
    }
    SetConnector(L"ActiveDirectoryGroup", L"Helpdesk");
    Store(g_bADUserGroupValid, 1);
    threads_.bodies.clear();

    StartADConnector();
    EXPECT_EQ(c.on ? 0 : 1, Load(g_bADUserGroupValid)) << c.name;
    EXPECT_EQ(c.on ? std::optional<std::wstring>(L"405") : std::nullopt, User(L"setting2"))
        << c.name;
    EXPECT_EQ(c.thread ? 1u : 0u, threads_.bodies.size()) << c.name;
    EXPECT_TRUE(Logged(c.on ? "ActiveDirectory key is set" : "ActiveDirectory key is not set"))
        << c.name;
    EXPECT_EQ(c.on, Logged("ActiveDirectoryGroup:Helpdesk")) << c.name;
  }
}

TEST_F(AdConnectorTest, RefreshPeriodHasAFloorAndNoOverflowAndTheCacheAgesBetweenRuns) {
  SetConnector(L"ActiveDirectory", L"1");
  SetConnector(L"ActiveDirectoryGroup", L"Helpdesk");
  SetConnector(L"ActiveDirectoryCache", L"3");
  struct Case {
    const wchar_t* refresh;
    uint32_t firstSleep;
  };
  const Case cases[] = {{L"10", 600000}, {L"0", 60000}, {L"-5", 60000}, {L"ten", 60000},
                        {L"99999999999999999999", 86400000}};
  for (const Case& c : cases) {
    NewDirectory();
    SetConnector(L"ActiveDirectoryRefresh", c.refresh);
    threads_.bodies.clear();
    threads_.slept.clear();
    StartADConnector();
    threads_.RunThread(0, 1);
    EXPECT_EQ(std::vector<uint32_t>{c.firstSleep}, threads_.slept) << c.refresh;
  }

  // One check a day while the directory is out of reach: the record of two days ago carries
  // the user through the day it turns three, and no further.
  FakeDirectory& directory = NewDirectory();
  directory.FailAt(Step::kBind);
  SetConnector(L"ActiveDirectoryRefresh", L"1440");
  now_ = platform_.clock.LocalFileTime();
  SetUser(L"checkpoint2", FileTime(-2 * kDay));
  SetUser(L"setting2", L"301");
  threads_.bodies.clear();
  StartADConnector();
  EXPECT_EQ(1, Load(g_bADUserGroupValid));
  threads_.RunThread(0, 3);
  EXPECT_EQ(0, Load(g_bADUserGroupValid));
  std::vector<std::string> rounds;
  for (const std::string& line : NewLog()) {
    if (line.rfind("DoADConnectorLogic. g_", 0) == 0) rounds.push_back(line);
  }
  EXPECT_EQ(std::vector<std::string>({"DoADConnectorLogic. g_bADUserValid:1,g_bADUserGroupValid:1",
                                      "DoADConnectorLogic. g_bADUserValid:1,g_bADUserGroupValid:0"}),
            rounds);
  EXPECT_TRUE(Logged("ADConnectorTh. Refresh interval for AD passed, checking..."));

  // Settings gone by the time the thread reads them: no refresh value ends it at once.
  registry_.DeleteKeyValue(Hive::kLocalMachine, kConnectorKey, L"ActiveDirectoryRefresh");
  threads_.slept.clear();
  threads_.RunThread(0, 1);
  EXPECT_TRUE(threads_.slept.empty());
  EXPECT_TRUE(Logged("ADConnectorTh. Reg key ActiveDirectoryRefresh not found"));
}

}  // namespace
}  // namespace velmora
