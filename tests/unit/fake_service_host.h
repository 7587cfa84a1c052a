// The system behind ServiceLogic in memory: it records what the logic did, answers as scripted,
// keeps what a real machine keeps across a crash (the group, the registry lists) and can crash
// before any step that changes something.
#pragma once

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "service_logic.h"

namespace velmora::service {

struct SimulatedCrash {};

class FakeHost : public ServiceHost {
 public:
  uint64_t now = 1'000'000;
  std::vector<std::string> log;
  std::vector<Answer> signals;
  std::vector<std::pair<AuditEvent, std::string>> events;
  std::optional<std::vector<std::u16string>> activeUsers;  // nothing: the platform lists none
  std::optional<std::vector<std::u16string>> allUsers;
  bool sessionsFail = false;
  std::map<std::u16string, bool> admins;
  std::u16string computer = u"PC";
  std::map<std::u16string, uint32_t> dwords;  // the service key
  std::set<std::u16string> otherValues;       // the service key, values of other types
  // A machine that allows every request the records can carry.
  RequestPolicy policy{true, kMaxElevationSeconds, 30, kMaxElevationSeconds};
  std::map<std::u16string, uint32_t> settings;
  std::vector<std::u16string> members;  // Administrators
  bool membersUnreadable = false;
  uint32_t addResult = 0;  // 0: the add itself decides
  uint32_t removeResult = 0;
  bool saveFails = false;
  std::vector<std::u16string> saved;  // ElevatedUsers
  std::vector<std::u16string> savedMembersBefore;
  std::vector<std::u16string> savedWhenAdding;
  std::vector<std::string> calls;
  // Steps that change the machine, counted from 1; the step numbered crashAtStep throws
  // SimulatedCrash instead of happening (0: never).
  int steps = 0;
  int crashAtStep = 0;

  uint64_t NowMs() override { return now; }
  void Log(const std::string& line) override { log.push_back(line); }
  void ReportAudit(AuditEvent kind, const std::string& line) override {
    events.emplace_back(kind, line);
  }
  void Signal(Answer answer) override {
    Step();
    signals.push_back(answer);
  }
  SessionList SessionUsers(bool activeOnly) override {
    SessionList list;
    const std::optional<std::vector<std::u16string>>& users = activeOnly ? activeUsers : allUsers;
    if (sessionsFail) return list;
    list.kind = users ? SessionList::Kind::kListed : SessionList::Kind::kNotListed;
    if (users) list.users = *users;
    return list;
  }
  std::optional<bool> IsAdministrator(const std::u16string& user) override {
    const auto it = admins.find(user);
    if (it == admins.end()) return std::nullopt;
    return it->second;
  }
  std::u16string ComputerName() override { return computer; }
  bool SameName(const std::u16string& a, const std::u16string& b) override {
    const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
  }
  uint32_t AddToAdministrators(const std::u16string& user) override {
    Step();
    calls.push_back("add");
    savedWhenAdding = saved;
    if (addResult != 0) return addResult;
    if (Listed(user)) return status::kMemberInAlias;
    members.push_back(user);
    return 0;
  }
  uint32_t RemoveFromAdministrators(const std::u16string& user) override {
    Step();
    calls.push_back("remove");
    if (removeResult != 0) return removeResult;
    const auto it = Find(user);
    if (it == members.end()) return status::kMemberNotInAlias;
    members.erase(it);
    return 0;
  }
  std::optional<bool> AdministratorsListed(const std::u16string& user) override {
    if (membersUnreadable) return std::nullopt;
    return Listed(user);
  }
  std::optional<uint32_t> ReadServiceDword(const char16_t* name) override {
    const auto it = dwords.find(name);
    if (it == dwords.end()) return std::nullopt;
    return it->second;
  }
  bool HasServiceValue(const char16_t* name) override {
    return dwords.count(name) != 0 || otherValues.count(name) != 0;
  }
  RequestPolicy ReadRequestPolicy() override { return policy; }
  uint32_t WriteSettingDword(const char16_t* name, uint32_t value) override {
    settings[name] = value;
    return 0;
  }
  std::vector<std::u16string> LoadElevatedUsers() override { return saved; }
  bool SaveElevatedUsers(const std::vector<std::u16string>& users) override {
    Step();
    if (saveFails) return false;
    saved = users;
    return true;
  }
  std::vector<std::u16string> LoadMembersBeforeGrant() override { return savedMembersBefore; }
  bool SaveMembersBeforeGrant(const std::vector<std::u16string>& users) override {
    Step();
    if (saveFails) return false;
    savedMembersBefore = users;
    return true;
  }

  std::vector<std::u16string>::iterator Find(const std::u16string& user) {
    return std::find_if(members.begin(), members.end(),
                        [&](const std::u16string& member) { return SameName(member, user); });
  }
  bool Listed(const std::u16string& user) { return Find(user) != members.end(); }
  bool Logged(const std::string& part) const {
    return std::any_of(log.begin(), log.end(), [&](const std::string& line) {
      return line.find(part) != std::string::npos;
    });
  }

 private:
  void Step() {
    if (++steps == crashAtStep) throw SimulatedCrash{};
  }
};

}  // namespace velmora::service
