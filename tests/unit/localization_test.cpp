#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <cwctype>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "app/tray_app.h"
#include "test_support.h"
#include "localization/localized_texts.h"

namespace velmora::test {
namespace {

const std::wstring kFolder = L"C:\\Program Files\\Velmora\\Localization\\";
const std::wstring kUserName = L"<user>";
const std::wstring kDuration = L"2 minute(s) 5 second(s)";

// resource.h's name of a key's string: BalloonCannotElevateAD -> IDS_BALLOON_CANNOT_ELEVATE_AD.
std::string IdsName(const std::wstring& key) {
  auto upper = [](wchar_t c) { return c >= L'A' && c <= L'Z'; };
  auto lower = [](wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9'); };
  std::string name = "IDS_";
  for (size_t i = 0; i < key.size(); ++i) {
    if (i > 0 && upper(key[i]) &&
        (lower(key[i - 1]) || (upper(key[i - 1]) && i + 1 < key.size() && lower(key[i + 1])))) {
      name += '_';
    }
    name += static_cast<char>(std::towupper(key[i]));
  }
  return name;
}

// What the entry shows with its own arguments, plus extra ones no template may ever reach.
std::wstring Shown(TextId id) {
  const TextArgs args = InfoOf(id).args;
  const std::wstring& text = LocalizedText(id);
  switch (args) {
    case TextArgs::kUserDuration:
      return FormatEntryText(text, args, {kUserName, kDuration, L"EXTRA", 8});
    case TextArgs::kDuration:
      return FormatEntryText(text, args, {kDuration, L"EXTRA", 8});
    case TextArgs::kNumber:
      return FormatEntryText(text, args, {7, L"EXTRA", 8});
    default:
      return FormatEntryText(text, args, {kUserName, L"EXTRA", 8});
  }
}

class LocalizationTest : public TrayTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(fakes::ProgramStringTable().size(), kTextCount + 1);  // and the application title
    fake.files.modulePath = L"C:\\Program Files\\Velmora\\VelmoraTray.exe";
    LoadBuiltInTexts();
  }
  static const std::wstring& BuiltIn(TextId id) {
    return fakes::ProgramStringTable().at(InfoOf(id).resourceId);
  }
  void LoadFile(const std::string& bytes) {
    LoadBuiltInTexts();
    fake.files.SetFile(kFolder + L"xx-xx.lng", bytes);
    LoadLanguageFile(L"xx-xx.lng");
  }
};

TEST_F(LocalizationTest, EachEntryStartsWithTheStringOfItsOwnKey) {
  const std::string header = fakes::ReadSourceFile("resources/resource.h");
  for (const TextInfo& info : kTextTable) {
    std::smatch match;
    ASSERT_TRUE(
        std::regex_search(header, match, std::regex("#define " + IdsName(info.key) + " (\\d+)")))
        << IdsName(info.key);
    EXPECT_EQ(LocalizedText(info.id), fakes::ProgramStringTable().at(std::stoi(match[1])))
        << info.key;
  }
}

TEST(SelectLanguageTest, ChoosesTheFileBySettingOrByThePlatform) {
  const std::wstring longName(85, L'a');
  const std::wstring longFile = longName + L".lng";
  const std::wstring tooLong(86, L'a');
  const struct {
    const wchar_t* language;   // nullptr: absent
    const wchar_t* reference;  // nullptr: absent
    const wchar_t* preferred;  // first name of PreferredUILanguages; nullptr: absent
    uint16_t inputLanguage;    // 0: the query fails
    const wchar_t* file;
  } cases[] = {{nullptr, nullptr, L"fr-FR", 0x407, L"en-us.lng"},
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
               {L"de-de:stream", nullptr, nullptr, 0, L"en-us.lng"},
               {L"de.de", nullptr, nullptr, 0, L"en-us.lng"},
               {L"COM1", nullptr, nullptr, 0, L"en-us.lng"},
               {L"nul  ", nullptr, nullptr, 0, L"en-us.lng"},
               {L"lpt\u00B9", nullptr, nullptr, 0, L"en-us.lng"},
               {L"de*", nullptr, nullptr, 0, L"en-us.lng"},
               {L"de\tde", nullptr, nullptr, 0, L"en-us.lng"},
               {L"auto", L"1", L"..\\..\\x", 0x407, L"en-us.lng"},
               {L"auto", L"1", L"CoM1", 0x407, L"en-us.lng"},  // the platform's letter case is kept
               {tooLong.c_str(), nullptr, nullptr, 0, L"en-us.lng"},
               {longName.c_str(), nullptr, nullptr, 0, longFile.c_str()},
               {L"com10", nullptr, nullptr, 0, L"com10.lng"}};
  for (const auto& c : cases) {
    FakePlatform fake;
    fake.shell.localeInfo = {{{0x407, locale_info::kIso639LangName}, L"de"},
                             {{0x407, locale_info::kIso3166CtryName}, L"DE"},
                             {{0xC0A, locale_info::kIso639LangName}, L"es"},
                             {{locale_info::kSystemDefault, locale_info::kIso639LangName}, L"it"},
                             {{locale_info::kSystemDefault, locale_info::kIso3166CtryName}, L"IT"}};
    fake.shell.inputLanguage = c.inputLanguage;
    if (c.language) fake.registry.SetString(kMachine, View::k64, kProduct, L"Language", c.language);
    if (c.reference) {
      fake.registry.SetString(kMachine, View::k64, kProduct, L"PreferredUIReference", c.reference);
    }
    if (c.preferred) {
      fake.registry.SetRaw(kUser, View::k64, L"Control Panel\\Desktop", L"PreferredUILanguages",
                           reg::kRegMultiSz,
                           ToUtf16LeBytes(c.preferred + std::wstring(1, L'\0') + L"en-US", true));
    }
    EXPECT_EQ(SelectLanguage(), c.file) << (c.language ? c.language : L"-");
  }
  EXPECT_FALSE(IsSafeLanguageName(std::wstring(L"de\0x", 4)));
}

TEST(SelectLanguageTest, LowersEveryLetterUnderTheUserLocale) {
  const std::string saved = std::setlocale(LC_CTYPE, nullptr);
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
  const bool lowersAccents = std::towlower(L'\u00C9') == L'\u00E9';
  if (lowersAccents) {
    FakePlatform fake;
    fake.registry.SetString(kMachine, View::k64, kProduct, L"Language", L"\u00C9SPA\u00D1OL");
    EXPECT_EQ(SelectLanguage(), L"\u00e9spa\u00f1ol.lng");
  }
  std::setlocale(LC_CTYPE, saved.c_str());
  if (!lowersAccents) GTEST_SKIP() << "this C runtime lowers only A to Z in every locale";
}

TEST_F(LocalizationTest, FileOverridesOnlyTheEntriesItGivesFittingValues) {
  const struct {
    const char* what;
    std::string bytes;
    std::map<TextId, std::wstring> changed;
  } cases[] = {
      {"empty file", "", {}},
      {"8-bit text", "MenuItemAbout=\"Info\"", {}},
      {"after a BOM",
       Utf16(L"\uFEFFMenuItemAbout=\"Info\"\r\n"),
       {{TextId::kMenuItemAbout, L"Info"}}},
      {"a NUL is data",
       Utf16(std::wstring(L"x\0MenuItemAbout=\"Info\"", 22)),
       {{TextId::kMenuItemAbout, L"Info"}}},
      {"odd byte count",
       Utf16(L"MenuItemAbout=\"Info\"") + "A",
       {{TextId::kMenuItemAbout, L"Info"}}},
      {"truncated in a value",
       Utf16(L"MenuItemStatus=\"Zustand\" MenuItemAbout=\"Inf"),
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
      {"5000 characters",
       Utf16(L"MenuItemAbout=\"" + std::wstring(5000, L'x') + L"\""),
       {{TextId::kMenuItemAbout, std::wstring(199, L'x')}}},
      {"larger than the limit",
       Utf16(L"MenuItemAbout=\"Info\"") + std::string(kMaxLanguageFileBytes, ' '),
       {}}};
  for (const auto& c : cases) {
    LoadFile(c.bytes);
    for (const TextInfo& info : kTextTable) {
      const auto changed = c.changed.find(info.id);
      EXPECT_EQ(LocalizedText(info.id),
                changed != c.changed.end() ? changed->second : BuiltIn(info.id))
          << c.what << ": " << info.key;
    }
  }
}

TEST_F(LocalizationTest, AMisfitValueIsLoggedForTheAdmin) {
  StartLog();
  LoadFile(Utf16(L"BalloonAlreadyAdmin2=\"noch %Timer f\u00fcr %User\""));
  EXPECT_TRUE(
      Logged("LoadLanguageFile. The placeholders of 'BalloonAlreadyAdmin2' do not fit the "
             "entry. Keeping its text"));
}

TEST_F(LocalizationTest, PercentSignsAndPlaceholdersInEveryEntryShowOnlyWhatTheEntryTakes) {
  // A name is an argument, never a template.
  EXPECT_EQ(FormatText<TextId::kEternalElevation>(L"50%s%d"),
            L"50%s%d is already a member. Elevated at login");
  for (const std::wstring value : {L"50% done", L"%n", L"%s%s%s", L"%1000000d", L"%", L"100%%"}) {
    std::wstring file;
    for (const TextInfo& info : kTextTable) file += info.key + (L"=\"" + value + L"\"\r\n");
    LoadFile(Utf16(file));
    for (const TextInfo& info : kTextTable) {
      EXPECT_EQ(Shown(info.id), value) << info.key << " " << value.c_str();
    }
  }
  std::wstring file;
  for (const TextInfo& info : kTextTable) file += info.key + std::wstring(L"=\"%User|%Timer\"");
  LoadFile(Utf16(file));
  for (const TextInfo& info : kTextTable) {
    if (info.args == TextArgs::kUserDuration) {
      EXPECT_EQ(Shown(info.id), kUserName + L"|" + kDuration);
    } else if (info.args == TextArgs::kShownAsWritten) {
      EXPECT_EQ(Shown(info.id), L"%s|%d") << info.key;
    } else {
      EXPECT_EQ(LocalizedText(info.id), BuiltIn(info.id)) << info.key;
    }
  }
}

TEST_F(LocalizationTest, FileOutsideTheLocalizationFolderIsNeverRead) {
  const std::string about = Utf16(L"MenuItemAbout=\"Info\"");
  for (const wchar_t* name : {L"..\\evil.lng", L"a/b.lng", L"c:x.lng", L"CoM1.lng", L".lng",
                              L"de-de", L"de-de.LNG\\..\\x.lng"}) {
    fake.files.SetFile(kFolder + name, about);
    LoadLanguageFile(name);
    EXPECT_EQ(LocalizedText(TextId::kMenuItemAbout), L"About") << name;
  }
  // A program path without a folder has no Localization folder.
  fake.files.modulePath = L"VelmoraTray.exe";
  fake.files.SetFile(L"Localization\\de-de.lng", about);
  fake.files.SetFile(L"\\Localization\\de-de.lng", about);
  LoadLanguageFile(L"de-de.lng");
  EXPECT_EQ(LocalizedText(TextId::kMenuItemAbout), L"About");
}

TEST_F(LocalizationTest, StartUpLoadsTheConfiguredLanguage) {
  SetMachineString(L"Language", L"De-DE");
  fake.files.SetFile(kFolder + L"de-de.lng", Utf16(L"MenuItemAbout=\"Info\""));
  ASSERT_TRUE(InitInstance());
  EXPECT_EQ(LocalizedText(TextId::kMenuItemAbout), L"Info");
  EXPECT_EQ(LocalizedText(TextId::kMenuItemSettings), L"Settings");
  CleanupInstance();
}

TEST_F(LocalizationTest, ShippedLanguageFilesTranslateEveryEntry) {
  const struct {
    const wchar_t* file;
    std::set<TextId> likeEnglish;
  } shipped[] = {{L"de-de.lng", {TextId::kBalloonCaption, TextId::kMenuItemStatus}},
                 {L"fr-fr.lng", {TextId::kBalloonCaption}},
                 {L"es-es.lng", {TextId::kBalloonCaption}}};
  for (const auto& language : shipped) {
    const std::wstring name = language.file;
    const std::string bytes =
        fakes::ReadSourceFile("resources/Localization/" + std::string(name.begin(), name.end()));
    ASSERT_FALSE(bytes.empty()) << bytes.size();
    LoadFile(bytes);
    for (const TextInfo& info : kTextTable) {
      SCOPED_TRACE(name + L" " + info.key);
      EXPECT_EQ(LocalizedText(info.id) == BuiltIn(info.id),
                language.likeEnglish.count(info.id) != 0);
      // Every argument appears, in order, and nothing else looks like a conversion.
      const std::wstring shown = Shown(info.id);
      EXPECT_EQ(shown.find(L'%'), std::wstring::npos) << shown.c_str();
      const size_t user = shown.find(kUserName);
      const size_t duration = shown.find(kDuration);
      const bool hasUser = info.args == TextArgs::kUser || info.args == TextArgs::kUserDuration;
      const bool hasDuration =
          info.args == TextArgs::kDuration || info.args == TextArgs::kUserDuration;
      EXPECT_EQ(hasUser, user != std::wstring::npos);
      EXPECT_EQ(hasDuration, duration != std::wstring::npos);
      if (info.args == TextArgs::kNumber) {
        EXPECT_NE(shown.find(L'7'), std::wstring::npos);
      } else if (hasUser && hasDuration) {
        EXPECT_LT(user, duration);
      }
    }
  }
}

}  // namespace
}  // namespace velmora::test
