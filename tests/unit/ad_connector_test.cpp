// The directory checks against the fake directory and the fake clock: exact comparisons, log
// texts and clean-up on every path, the path a name is bound by, recorded verdicts standing in
// while the directory is out of reach, and the refresh thread's period.
#include "identity/ad_connector.h"

#include "identity/ad_checks.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using Ad = fakes::FakeDirectory;
constexpr wchar_t kPc[] = L"CN=PC-042,OU=Workstations,DC=corp", kMary[] = L"CN=Mary,OU=Staff";
constexpr int64_t kDay = 864000000000;
const std::wstring kConnector = kProduct + L"\\Connector";
const std::wstring kGone = L"-", kHuge = L"99999999999999999999";  // kGone: no such value

DirectoryValue Text(const std::wstring& text) { return {dir::kTypeString, text, {}}; }
// An array of variants: {type, null text, text} each, Str for plain text.
DirectoryValue Array(std::vector<DirectoryItem> items) {
  return {dir::kTypeArray | dir::kTypeVariant, L"", std::move(items)};
}
DirectoryItem Str(const std::wstring& text) { return {dir::kTypeString, false, text}; }
std::wstring Path(const std::wstring& dn) { return L"LDAP://" + EscapeDnForLdapPath(dn); }

class DirectoryTest : public TrayTest {
 protected:
  void SetUp() override {
    StartLog();
    fake.kernel.sleepsToStop = 2;  // the refresh thread's second sleep ends it
  }
  // A directory where both requirements are met (or neither), and an empty log.
  Ad& NewCase(const std::wstring& computer = kPc, const std::wstring& user = kMary, bool met = 1) {
    fake.files.Delete(FakePlatform::kLogPath);
    Ad& d = fake.directory = Ad();
    d.computer = computer;
    d.user = user;
    d.objects[Path(computer)][L"managedBy"] = Text(met ? kMary : L"CN=Other,OU=Staff");
    d.objects[Path(user)][L"memberOf"] = Text(met ? L"CN=Helpdesk,OU=G" : L"CN=Staff,OU=G");
    return d;
  }
  // A machine value of the Connector subkey or a user value of the product key.
  void Put(Hive hive, const std::wstring& name, const std::wstring& text) {
    const std::wstring& path = hive == kMachine ? kConnector : kProduct;
    if (text == kGone) fake.registry.DeleteKeyValue(hive, path, name);
    if (text != kGone) fake.registry.SetString(hive, View::k64, path, name, text);
  }
  std::wstring At(int64_t offset) { return std::to_wstring(fake.clock.LocalFileTime() + offset); }
};

TEST_F(DirectoryTest, EachCheckComparesExactlyAndEveryFailingCallEndsInItsExceptionLine) {
  // A user's name with every kind of escape, and a computer's name ending in a lone backslash.
  const std::wstring odd = L"CN=\\ O\\, Brien/Jr \\#1\\+x\\\"q\\\"\\\\b\\/c\\5C\\ ,OU=A/B";
  const DirectoryValue mary = Text(kMary), helpdesk = Text(L"CN=Helpdesk,");
  struct Case {
    bool group, verdict, error;  // group: CheckADUserGroup(L"Helpdesk"), else CheckADUser
    DirectoryValue value;        // of managedBy or memberOf
    std::string line;            // the end of a line logged (or of several, see Logged)
    Ad::Step failing = Ad::kNone;
    std::wstring computer = kPc, user = kMary;
  } cases[] = {
      {0, 1, 0, mary, "CheckADUser. ManagedBy: CN=Mary,OU=Staff"},
      {0, 0, 0, Text(L"CN=mary,OU=Staff"), "CheckADUser. Logged on UserName: CN=Mary,OU=Staff"},
      {0, 1, 0, mary, "Current computerName: CN=PC,OU=A/B\\", Ad::kNone, L"CN=PC,OU=A/B\\"},
      {0, 0, 1, mary, "CheckADUser. exception. Cannot get ManagedBy", Ad::kRead},
      {0, 0, 1, mary, "exception. Cannot create ADSystemInfo object", Ad::kSystemInfo},
      {0, 0, 1, mary, "exception. Cannot retrieve computer name", Ad::kComputerName},
      {0, 0, 0, mary, "CheckADUser. Logged on UserName: ", Ad::kUserName},
      {0, 0, 1, mary, "exception. Cannot get AD object", Ad::kBind},
      {0, 1, 0, mary, "CheckADUser. Checking ManagedBy attribute for the user...", Ad::kCom},
      {1, 1, 0, Text(L"CN=Helpdesk,OU=G"), "CheckUserGroup. memberOf value: Helpdesk"},
      {1, 0, 0, Array({Str(L"CN=Helpdesk Admins,")}), "array value: Helpdesk Admins"},
      {1, 0, 0, Text(L"CN=helpdesk,OU=G"), "CheckUserGroup. memberOf type: 8"},
      {1, 0, 0, Array({}), "[CheckADUserGroup]5"},
      {1, 0, 0, Text(L"CN=,OU=G"), "memberOf value: "},
      {1, 0, 0, Text(L"OU=G,CN=Helpdesk"), "memberOf value: |[CheckADUserGroup]6"},
      // Elements that are no text, or null, or no common name are passed over, not the end.
      {1, 1, 0, Array({{3}, {dir::kTypeString, true}, Str(L"OU=G,"), Str(L"CN=Helpdesk,")}),
       "memberOf type: 8204|Ahtung! varItem!=VT_BSTR|[CheckADUserGroup]4|Ahtung! varItem.bstrVal"
       "==NULL|[CheckADUserGroup]4|[CheckADUserGroup]1|ExtractString returns FALSE!"},
      {1, 0, 1, helpdesk, "CheckADUserGroup. Exception. Cannot get MemberOf", Ad::kRead},
      {1, 1, 0, helpdesk,
       "Escaped user name: CN=\\ O\\, Brien\\/Jr \\#1\\+x\\\"q\\\"\\\\b\\/c\\5C\\ ,OU=A\\/B",
       Ad::kNone, kPc, odd},
      {1, 0, 1, helpdesk, "Exception. Cannot create ADSystemInfo object", Ad::kSystemInfo},
      {1, 0, 1, helpdesk, "CheckADUserGroup. Exception. Cannot get AD object2", Ad::kUserName},
  };
  for (const Case& c : cases) {
    Ad& d = NewCase(c.computer, c.user);
    d.objects[Path(c.group ? c.user : c.computer)][c.group ? L"memberOf" : L"managedBy"] = c.value;
    d.failing = c.failing;
    bool error = !c.error;
    const bool verdict = c.group ? CheckADUserGroup(L"Helpdesk", &error) : CheckADUser(&error);
    EXPECT_TRUE(verdict == c.verdict && error == c.error && Logged(c.line)) << c.line;
    EXPECT_TRUE(d.live.empty() && d.comDepth + d.unpaired == 0) << c.line;
  }
}

TEST_F(DirectoryTest, RecordedVerdictsStandInWhileTheDirectoryIsOutOfReach) {
  struct Case {
    bool reachable, met, valid;
    std::wstring cache, checkpoint, setting;  // the record before the run
    std::wstring written;  // the verdict recorded now; kGone: the record is left alone
  } cases[] = {
      {1, 1, 1, L"3", At(-kDay), L"405", L"301"},    {1, 0, 0, L"3", At(-kDay), L"301", L"405"},
      {0, 1, 1, L"3", At(-3 * kDay), L"301", kGone}, {0, 1, 0, L"3", At(-kDay), L"405", kGone},
      {0, 1, 0, L"3", At(-3 * kDay - 1), L"301", kGone},
      {0, 1, 0, L"3", At(-kDay), L"301 ", kGone},    {0, 1, 0, L"", At(-kDay), L"301", L"405"},
      {0, 1, 0, L"0", At(-kDay), L"301", L"405"},    {0, 1, 0, L"-3", At(-kDay), L"301", L"405"},
      {0, 1, 0, L"3", At(1) + L"x", L"301", kGone},  {0, 1, 0, L"3", kGone, L"301", kGone},
      {0, 1, 0, L"3", L"", L"301", kGone},           {0, 1, 0, L"3", At(-kDay), kGone, kGone},
      {0, 1, 0, L"3", At(-kDay), L"", kGone},        {0, 1, 1, kHuge, At(-kDay), L"301", kGone},
      {0, 1, 1, L"10675200", L"0", L"301", kGone},
      {0, 1, 0, kHuge, L"-9223372036854775808", L"301", kGone},
      // A day ahead still counts; the last case's log is read after the loop.
      {0, 1, 1, L"3", At(kDay), L"301", kGone},      {0, 1, 0, L"3", At(kDay + 1), L"301", kGone}};
  // The managedBy requirement (1) and the group requirement (2) keep their records alike;
  // ManagedBy other than exactly "1" leaves managedBy unchecked and met.
  for (const int r : {1, 2}) {
    const std::wstring checkpoint = L"checkpoint" + std::to_wstring(r);
    const std::wstring setting = L"setting" + std::to_wstring(r);
    Put(kMachine, L"ManagedBy", r == 1 ? L"1" : L"2");
    for (const Case& c : cases) {
      const std::string name = std::to_string(&c - cases) + "/" + std::to_string(r);
      NewCase(kPc, kMary, c.met).failing = c.reachable ? Ad::kNone : Ad::kBind;
      Put(kUser, checkpoint, c.checkpoint);
      Put(kUser, setting, c.setting);
      DoADConnectorLogic(r == 2 ? L"Helpdesk" : L"", c.cache);
      const bool recorded = c.written != kGone;
      EXPECT_EQ(c.valid, Load(r == 1 ? g_bADUserValid : g_bADUserGroupValid) == 1) << name;
      EXPECT_TRUE(Load(r == 1 ? g_bADUserGroupValid : g_bADUserValid) == 1 &&
                  UserString(L"setting" + std::to_wstring(3 - r)) == L"301") << name;
      EXPECT_EQ(recorded ? c.written : c.setting, UserString(setting).value_or(kGone)) << name;
      EXPECT_EQ(recorded ? At(0) : c.checkpoint, UserString(checkpoint).value_or(kGone)) << name;
      EXPECT_TRUE(Logged(r == 1 ? "ManagedBy set to 1" : "We do not check ManagedBy for the user"));
    }
  }
  EXPECT_TRUE(Logged("DoADConnectorLogic. checkpoint2 lies more than a day ahead of the local "
                     "time. The recorded verdict is not used"));
}

TEST_F(DirectoryTest, OnlyTheTextOneSwitchesTheChecksOnAndTheRefreshThreadHasAFloor) {
  Put(kMachine, L"ActiveDirectoryGroup", L"Helpdesk");
  // period 0: no thread. The last case's log is read after the loop.
  struct Case { std::wstring enabled, refresh; uint32_t period; } cases[] = {
      {L"1", L"10", 600000}, {L"1", kHuge, 86400000}, {L"1", L"-5", 60000}, {L"1", L"", 0},
      {L"1", kGone, 0},      {L"01", L"10", 0},       {kGone, L"10", 0},    {L"1", L"ten", 60000}};
  for (const Case& c : cases) {
    NewCase().failing = Ad::kBind;
    Put(kMachine, L"ActiveDirectory", c.enabled);
    Put(kMachine, L"ActiveDirectoryRefresh", c.refresh);
    Store(g_bADUserGroupValid, 1);
    fake.kernel.thread = nullptr;
    StartADConnector();
    const bool on = c.enabled == L"1";
    EXPECT_EQ(!on, Load(g_bADUserGroupValid) == 1) << c.period;
    EXPECT_TRUE(Logged(on ? "Group:Helpdesk|ActiveDirectoryCache:" : "Directory key is not set"));
    EXPECT_EQ(c.period != 0, fake.kernel.thread != nullptr);
    // The first re-check comes one period after the start; a day at most is slept at once. A
    // thread run without a refresh value ends at once.
    fake.kernel.slept.clear();
    if (fake.kernel.thread) {
      EXPECT_THROW(fake.kernel.thread(), fakes::FakeKernel::Stopped);
    }
    if (!fake.kernel.thread && on) ADConnectorTh();
    EXPECT_EQ(std::vector<uint32_t>(c.period != 0 ? 2 : 0, c.period), fake.kernel.slept);
  }
  EXPECT_TRUE(Logged("ADConnectorTh. Refresh interval for AD passed, checking..."));
  EXPECT_TRUE(Logged("DoADConnectorLogic. g_bADUserValid:1,g_bADUserGroupValid:0"));
  EXPECT_TRUE(Logged("ActiveDirectoryRefresh 'ten' is less than 1 minute. Checking every minute"));

  Put(kMachine, L"ActiveDirectoryGroup", kGone);
  Put(kMachine, L"ActiveDirectoryRefresh", kGone);
  ADConnectorTh();
  for (const std::string name : {"Group", "Cache", "Refresh"}) {
    EXPECT_TRUE(Logged("ADConnectorTh. Reg key ActiveDirectory" + name + " not found")) << name;
  }
}

}  // namespace
}  // namespace velmora::test
