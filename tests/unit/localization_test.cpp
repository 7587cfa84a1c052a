#include "localization/localized_texts.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "app/tray_app.h"
#include "fakes/fake_platform.h"
#include "fakes/string_table.h"
#include "log/log.h"
#include "platform/types.h"
#include "text/utf16.h"

namespace velmora {
namespace {

using fakes::FakePlatform;
using fakes::FakeRegistry;

constexpr wchar_t kProgram[] = L"C:\\Program Files\\Velmora\\VelmoraTray.exe";
const std::wstring kFolder = L"C:\\Program Files\\Velmora\\Localization\\";
const std::wstring kProduct = L"Software\\Ostrand\\Velmora";

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// resource.h's name of a key's string: BalloonCannotElevateAD -> IDS_BALLOON_CANNOT_ELEVATE_AD.
std::string IdsName(const std::wstring& key) {
  auto upper = [](wchar_t c) { return c >= L'A' && c <= L'Z'; };
  auto lower = [](wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9'); };
  std::string name = "IDS_";
  for (size_t i = 0; i < key.size(); ++i) {
    const wchar_t c = key[i];
    if (i > 0 && upper(c) &&
        (lower(key[i - 1]) || (upper(key[i - 1]) && i + 1 < key.size() && lower(key[i + 1])))) {
      name += '_';
    }
    name += static_cast<char>(c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c);
  }
  return name;
}

const std::map<int, std::wstring>& English() {
  return fakes::ProgramStringTable();
}

std::string Utf16(const std::wstring& text) {
  const std::vector<uint8_t> bytes = ToUtf16LeBytes(text, false);
  return std::string(bytes.begin(), bytes.end());
}

const std::wstring kUser = L"Ann";
const std::wstring kDuration = L"2 minute(s) 5 second(s)";
constexpr int kNumber = 7;

// What the entry shows with its own arguments, plus extra ones no template may ever reach.
std::wstring Shown(TextId id) {
  const TextArgs args = InfoOf(id).args;
  const std::wstring& text = LocalizedText(id);
  switch (args) {
    case TextArgs::kUserDuration:
      return FormatEntryText(text, args, {kUser, kDuration, L"EXTRA", 8});
    case TextArgs::kDuration:
      return FormatEntryText(text, args, {kDuration, L"EXTRA", 8});
    case TextArgs::kNumber:
      return FormatEntryText(text, args, {kNumber, L"EXTRA", 8});
    default:
      return FormatEntryText(text, args, {kUser, L"EXTRA", 8});
  }
}

class LocalizationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(English().size(), kTextCount + 1);  // and the application title
    for (const auto& entry : English()) fake.shell.SetString(entry.first, entry.second);
    fake.files.SetModulePath(kProgram);
    LoadBuiltInTexts();
  }

  static const std::wstring& BuiltIn(TextId id) { return English().at(InfoOf(id).resourceId); }

  void SetMachineString(const wchar_t* name, const std::wstring& value) {
    fake.registry.SetString(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct, name, value);
  }

  void LoadFile(const std::string& bytes) {
    LoadBuiltInTexts();
    fake.files.SetFile(kFolder + L"xx-xx.lng", bytes);
    LoadLanguageFile(L"xx-xx.lng");
  }

  FakePlatform fake;
};

TEST_F(LocalizationTest, EachEntryStartsWithTheStringOfItsOwnKey) {
  const std::string header = fakes::ReadSourceFile("resources/resource.h");
  for (const TextInfo& info : kTextTable) {
    const std::regex define("#define " + IdsName(info.key) + " (\\d+)");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(header, match, define)) << IdsName(info.key);
    EXPECT_EQ(LocalizedText(info.id), English().at(std::stoi(match[1]))) << info.key;
  }
}

struct LanguageCase {
  const wchar_t* language;   // nullptr: absent
  const wchar_t* reference;  // nullptr: absent
  const wchar_t* preferred;  // first name of PreferredUILanguages; nullptr: absent
  uint16_t inputLanguage;    // 0: the query fails
  const wchar_t* file;
};

TEST(SelectLanguageTest, ChoosesTheFileBySettingOrByThePlatform) {
  const std::wstring longName(85, L'a');
  const std::wstring tooLong(86, L'a');
  const std::wstring longFile = longName + L".lng";
  const LanguageCase cases[] = {
      {nullptr, nullptr, L"fr-FR", 0x407, L"en-us.lng"},
      {L"", nullptr, nullptr, 0x407, L"en-us.lng"},
      {L"De-DE", L"3", L"fr-FR", 0x407, L"de-de.lng"},
      {L"AUTO", nullptr, L"fr-FR", 0x407, L"fr-FR.lng"},
      {L"Auto", L"", L"fr-FR", 0x407, L"fr-FR.lng"},
      {L"auto", L"1", nullptr, 0x407, L"de-DE.lng"},
      {L"auto", L"1", nullptr, 0, L"en-us.lng"},
      {L"auto", L"2", L"fr-FR", 0x407, L"de-DE.lng"},
      {L"auto", L"2", L"fr-FR", 0, L"en-us.lng"},
      {L"auto", L"3", L"fr-FR", 0x407, L"it-IT.lng"},
      {L"auto", L"4", L"fr-FR", 0x407, L"en-us.lng"},
      {L"auto", L"01", L"fr-FR", 0x407, L"en-us.lng"},
      {L" auto", L"1", L"fr-FR", 0x407, L" auto.lng"},
      // A failed country query leaves the language; a failed language query names nothing.
      {L"auto", L"2", nullptr, 0xC0A, L"es.lng"},
      {L"auto", L"2", nullptr, 0x1234, L"en-us.lng"},
      // Names that would leave the folder or open a device.
      {L"..\\..\\Windows\\win", nullptr, nullptr, 0, L"en-us.lng"},
      {L"a/b", nullptr, nullptr, 0, L"en-us.lng"},
      {L"c:x", nullptr, nullptr, 0, L"en-us.lng"},
      {L"de-de:stream", nullptr, nullptr, 0, L"en-us.lng"},
      {L"..", nullptr, nullptr, 0, L"en-us.lng"},
      {L"de.de", nullptr, nullptr, 0, L"en-us.lng"},
      {L"COM1", nullptr, nullptr, 0, L"en-us.lng"},
      {L"nul  ", nullptr, nullptr, 0, L"en-us.lng"},
      {L"lpt\u00B9", nullptr, nullptr, 0, L"en-us.lng"},
      {L"de*", nullptr, nullptr, 0, L"en-us.lng"},
      {L"auto", L"1", L"..\\..\\x", 0x407, L"en-us.lng"},
      {tooLong.c_str(), nullptr, nullptr, 0, L"en-us.lng"},
      {longName.c_str(), nullptr, nullptr, 0, longFile.c_str()},
      {L"com10", nullptr, nullptr, 0, L"com10.lng"},
  };
  int row = 0;
  for (const LanguageCase& c : cases) {
    FakePlatform fake;
    fake.shell.SetLocaleInfo(0x407, locale_info::kIso639LangName, L"de");
    fake.shell.SetLocaleInfo(0x407, locale_info::kIso3166CtryName, L"DE");
    fake.shell.SetLocaleInfo(0xC0A, locale_info::kIso639LangName, L"es");
    fake.shell.SetLocaleInfo(locale_info::kSystemDefault, locale_info::kIso639LangName, L"it");
    fake.shell.SetLocaleInfo(locale_info::kSystemDefault, locale_info::kIso3166CtryName, L"IT");
    fake.shell.SetDefaultInputLanguage(c.inputLanguage);
    if (c.language) {
      fake.registry.SetString(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct,
                              L"Language", c.language);
    }
    if (c.reference) {
      fake.registry.SetString(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct,
                              L"PreferredUIReference", c.reference);
    }
    if (c.preferred) {
      const std::wstring list = std::wstring(c.preferred) + L'\0' + L"en-US" + L'\0';
      fake.registry.SetRaw(Hive::kCurrentUser, FakeRegistry::View::k64, L"Control Panel\\Desktop",
                           L"PreferredUILanguages", reg::kRegMultiSz, ToUtf16LeBytes(list, true));
    }
    EXPECT_EQ(SelectLanguage(), c.file) << "row " << row;
    ++row;
  }
  EXPECT_FALSE(IsSafeLanguageName(std::wstring(L"de\0x", 4)));
  EXPECT_FALSE(IsSafeLanguageName(L"de\tde"));
}

TEST(SelectLanguageTest, LowersEveryLetterUnderTheUserLocale) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
  const bool lowersAccents = std::towlower(L'\u00C9') == L'\u00E9';
  if (lowersAccents) {
    FakePlatform fake;
    fake.registry.SetString(Hive::kLocalMachine, FakeRegistry::View::k64, kProduct, L"Language",
                            L"\u00C9SPA\u00D1OL");
    EXPECT_EQ(SelectLanguage(), L"\u00e9spa\u00f1ol.lng");
  }
  std::setlocale(LC_CTYPE, saved.c_str());
  if (!lowersAccents) GTEST_SKIP() << "this C runtime lowers only A to Z in every locale";
}

struct FileCase {
  const char* what;
  std::string bytes;
  std::map<TextId, std::wstring> changed;
};

TEST_F(LocalizationTest, FileOverridesOnlyTheEntriesItGivesFittingValues) {
  const std::wstring x5000(5000, L'x');
  const FileCase cases[] = {
      {"empty file", "", {}},
      {"8-bit text", "MenuItemAbout=\"Info\"", {}},
      {"only MenuItemAbout, after a BOM",
       Utf16(L"\uFEFFMenuItemAbout=\"Info\"\r\n"),
       {{TextId::kMenuItemAbout, L"Info"}}},
      {"odd byte count", Utf16(L"MenuItemAbout=\"Info\"") + "A", {{TextId::kMenuItemAbout, L"Info"}}},
      {"truncated in a value", Utf16(L"MenuItemStatus=\"Zustand\" MenuItemAbout=\"Inf"),
       {{TextId::kMenuItemStatus, L"Zustand"}}},
      {"key inside another value",
       Utf16(L"MenuItemSettings=\"see MenuItemAbout=\"Hilfe\" MenuItemAbout=\"Info\""),
       {{TextId::kMenuItemSettings, L"see MenuItemAbout="}, {TextId::kMenuItemAbout, L"Hilfe"}}},
      {"placeholders",
       Utf16(L"MenuItemElevate=\"Raise %User\" MenuElevateForXDays=\"%Timer Tage\" "
             L"BalloonAlreadyAdmin2=\"noch %Timer f\u00fcr %User\" MenuItemAbout=\"%User\""),
       {{TextId::kMenuItemElevate, L"Raise %s"},
        {TextId::kMenuElevateForXDays, L"%d Tage"},
        {TextId::kMenuItemAbout, L"%s"}}},
      {"5000 characters", Utf16(L"MenuItemAbout=\"" + x5000 + L"\""),
       {{TextId::kMenuItemAbout, std::wstring(199, L'x')}}},
      {"larger than the limit",
       Utf16(L"MenuItemAbout=\"Info\"") + std::string(kMaxLanguageFileBytes, ' '), {}},
  };
  for (const FileCase& c : cases) {
    LoadFile(c.bytes);
    for (const TextInfo& info : kTextTable) {
      const auto changed = c.changed.find(info.id);
      EXPECT_EQ(LocalizedText(info.id), changed != c.changed.end() ? changed->second
                                                                   : BuiltIn(info.id))
          << c.what << ": " << info.key;
    }
  }
}

TEST_F(LocalizationTest, AMisfitValueIsLoggedForTheAdmin) {
  CreateLogLock();
  ASSERT_TRUE(SetDefaultLogFilePath());
  LoadFile(Utf16(L"BalloonAlreadyAdmin2=\"noch %Timer f\u00fcr %User\""));
  EXPECT_NE(fake.files.Contents(FakePlatform::kLogPath)
                .find("LoadLanguageFile. The placeholders of 'BalloonAlreadyAdmin2' do not fit the "
                      "entry. Keeping its text"),
            std::string::npos);
  DestroyLogLock();
}

TEST_F(LocalizationTest, PercentSignsInEveryEntryAreShownAsWritten) {
  for (const std::wstring value : {L"50% done", L"%n", L"%s%s%s", L"%1000000d", L"%", L"100%%"}) {
    std::wstring file;
    for (const TextInfo& info : kTextTable) file += info.key + (L"=\"" + value + L"\"\r\n");
    LoadFile(Utf16(file));
    for (const TextInfo& info : kTextTable) {
      EXPECT_EQ(Shown(info.id), value) << info.key << " " << value.c_str();
    }
  }
}

TEST_F(LocalizationTest, PlaceholdersInEveryEntryFitOrTheEntryKeepsItsText) {
  std::wstring file;
  for (const TextInfo& info : kTextTable) file += info.key + std::wstring(L"=\"%User|%Timer\"");
  LoadFile(Utf16(file));
  for (const TextInfo& info : kTextTable) {
    if (info.args == TextArgs::kUserDuration) {
      EXPECT_EQ(Shown(info.id), kUser + L"|" + kDuration);
    } else if (info.args == TextArgs::kShownAsWritten) {
      EXPECT_EQ(Shown(info.id), L"%s|%d") << info.key;
    } else {
      EXPECT_EQ(LocalizedText(info.id), BuiltIn(info.id)) << info.key;
    }
  }
}

TEST_F(LocalizationTest, FileOutsideTheLocalizationFolderIsNeverRead) {
  const std::string about = Utf16(L"MenuItemAbout=\"Info\"");
  for (const wchar_t* name : {L"..\\evil.lng", L"a/b.lng", L"c:x.lng", L"com1.lng", L".lng",
                              L"de-de", L"de-de.LNG\\..\\x.lng"}) {
    fake.files.SetFile(kFolder + name, about);
    LoadBuiltInTexts();
    LoadLanguageFile(name);
    EXPECT_EQ(LocalizedText(TextId::kMenuItemAbout), L"About") << name;
  }
  // A program path without a folder has no Localization folder.
  fake.files.SetModulePath(L"VelmoraTray.exe");
  fake.files.SetFile(L"Localization\\de-de.lng", about);
  fake.files.SetFile(L"\\Localization\\de-de.lng", about);
  LoadLanguageFile(L"de-de.lng");
  EXPECT_EQ(LocalizedText(TextId::kMenuItemAbout), L"About");
}

TEST_F(LocalizationTest, FormatTextGivesEachEntryItsArguments) {
  EXPECT_EQ(FormatText<TextId::kBalloonAlreadyAdmin2>(std::wstring(L"CORP\\ann"),
                                                      DurationText(3725)),
            L"CORP\\ann is already a member. 1 hour(s) 2 minute(s) 5 second(s) left");
  EXPECT_EQ(FormatText<TextId::kBalloonStartMessage>(2),
            L"You have been assigned local administration privileges for 2 minutes");
  EXPECT_EQ(FormatText<TextId::kMenuElevateForXDays>(3u), L"Elevate for 3 days");
  EXPECT_EQ(FormatText<TextId::kMenuItemAbout>(), L"About");
  EXPECT_EQ(FormatText<TextId::kMenuItemElevate>(std::wstring(L"CORP\\ann")), L"Elevate CORP\\ann");
  // A name is an argument, never a template.
  EXPECT_EQ(FormatText<TextId::kEternalElevation>(L"50%s%d"),
            L"50%s%d is already a member. Elevated at login");
}

TEST_F(LocalizationTest, StartUpLoadsTheConfiguredLanguage) {
  SetMachineString(L"Language", L"De-DE");
  fake.files.SetFile(kFolder + L"de-de.lng", Utf16(L"MenuItemAbout=\"Info\""));
  ASSERT_TRUE(InitInstance());
  EXPECT_EQ(LocalizedText(TextId::kMenuItemAbout), L"Info");
  EXPECT_EQ(LocalizedText(TextId::kMenuItemSettings), L"Settings");
  CleanupInstance();
}

// The real files of the source tree, read from disk as the program would read them.
class DiskFiles : public Files {
 public:
  explicit DiskFiles(std::wstring modulePath) : modulePath_(std::move(modulePath)) {}

  int64_t SizeOf(const std::wstring& path) override {
    std::ifstream in(Native(path), std::ios::binary | std::ios::ate);
    return in ? static_cast<int64_t>(in.tellg()) : -1;
  }
  bool ReadAll(const std::wstring& path, std::vector<uint8_t>* out) override {
    std::ifstream in(Native(path), std::ios::binary);
    if (!in) return false;
    out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
  }
  bool Append(const std::wstring&, const void*, size_t) override { return false; }
  bool Move(const std::wstring&, const std::wstring&) override { return false; }
  bool Delete(const std::wstring&) override { return false; }
  uint32_t Attributes(const std::wstring&) override { return win::kInvalidFileAttributes; }
  uint32_t ExpandEnvironment(const std::wstring&, std::wstring*) override { return 0; }
  std::wstring ModulePath() override { return modulePath_; }

 private:
  // The program speaks Windows paths; the source tree's path is ASCII.
  static std::string Native(const std::wstring& path) {
    std::string native;
    for (wchar_t c : path) native.push_back(c == L'\\' ? '/' : static_cast<char>(c));
    return native;
  }

  std::wstring modulePath_;
};

std::wstring WindowsPath(const std::string& posix) {
  std::wstring path = Widen(posix);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

TEST_F(LocalizationTest, ShippedLanguageFilesTranslateEveryEntry) {
  const std::wstring resources = WindowsPath(std::string(VELMORA_SOURCE_DIR) + "/resources");
  DiskFiles disk(resources + L"\\VelmoraTray.exe");
  struct UseFiles {
    UseFiles(Files* files, Files* restore) : restore_(restore) { Install(files); }
    ~UseFiles() { Install(restore_); }
    static void Install(Files* files) {
      Platform platform = GetPlatform();
      platform.files = files;
      InstallPlatform(platform);
    }
    Files* restore_;
  } useDisk(&disk, &fake.files);

  const struct {
    const wchar_t* file;
    std::set<TextId> likeEnglish;
  } shipped[] = {
      {L"de-de.lng", {TextId::kBalloonCaption, TextId::kMenuItemStatus}},
      {L"fr-fr.lng", {TextId::kBalloonCaption}},
      {L"es-es.lng", {TextId::kBalloonCaption}},
  };
  for (const auto& language : shipped) {
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(disk.ReadAll(resources + L"\\Localization\\" + language.file, &bytes))
        << language.file;
    const std::wstring fileText = FromUtf16LeBytesWhole(bytes.data(), bytes.size());
    LoadBuiltInTexts();
    LoadLanguageFile(language.file);
    for (const TextInfo& info : kTextTable) {
      SCOPED_TRACE(std::wstring(language.file) + L" " + info.key);
      EXPECT_TRUE(GetLanguageValue(fileText, info.key));
      if (language.likeEnglish.count(info.id)) {
        EXPECT_EQ(LocalizedText(info.id), BuiltIn(info.id));
      } else {
        EXPECT_NE(LocalizedText(info.id), BuiltIn(info.id));
      }
      // Every argument appears, in order, and nothing else looks like a conversion.
      const std::wstring shown = Shown(info.id);
      EXPECT_EQ(shown.find(L'%'), std::wstring::npos) << shown.c_str();
      const size_t user = shown.find(kUser);
      const size_t duration = shown.find(kDuration);
      switch (info.args) {
        case TextArgs::kUser:
          EXPECT_NE(user, std::wstring::npos);
          break;
        case TextArgs::kNumber:
          EXPECT_NE(shown.find(std::to_wstring(kNumber)), std::wstring::npos);
          break;
        case TextArgs::kDuration:
          EXPECT_NE(duration, std::wstring::npos);
          break;
        case TextArgs::kUserDuration:
          EXPECT_LT(user, duration);
          EXPECT_NE(duration, std::wstring::npos);
          break;
        default:
          break;
      }
    }
  }
}

}  // namespace
}  // namespace velmora
