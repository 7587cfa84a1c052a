// Which language file the tray reads, from where, and what its values may change: a name from
// the registry or the platform must stay a plain file name in the Localization folder, and a
// value must never bring a conversion its entry does not supply.
#include <gtest/gtest.h>

#include <clocale>
#include <cwctype>
#include <map>
#include <string>
#include <tuple>

#include "localization/localized_texts.h"
#include "test_support.h"

namespace velmora::test {
namespace {

TEST(SelectLanguageTest, ChoosesAPlainFileNameBySettingOrByThePlatform) {
  // Lowering follows the user's locale, not only A to Z, where the C runtime can tell.
  const std::string savedLocale = std::setlocale(LC_CTYPE, nullptr);
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
  const bool accents = std::towlower(L'\u00C9') == L'\u00E9';
  const std::wstring longName(85, L'a'), tooLong(86, L'a');
  const struct {
    const wchar_t* language;   // nullptr: absent
    const wchar_t* reference;  // nullptr: absent
    const wchar_t* preferred;  // first of PreferredUILanguages; nullptr: absent
    uint16_t inputLanguage;    // 0: the query fails
    std::wstring file;
  } cases[] = {
      {nullptr, nullptr, L"fr-FR", 0x407, L"en-us.lng"},
      {L"De-DE", L"3", L"fr-FR", 0x407, L"de-de.lng"},
      {L"\u00C9SPA\u00D1OL", nullptr, nullptr, 0,
       accents ? L"\u00e9spa\u00f1ol.lng" : L"\u00C9spa\u00D1ol.lng"},
      {L"AUTO", nullptr, L"fr-FR", 0x407, L"fr-FR.lng"},
      {L"auto", L"1", nullptr, 0x407, L"de-DE.lng"},
      {L"auto", L"1", nullptr, 0, L"en-us.lng"},
      {L"auto", L"2", L"fr-FR", 0x407, L"de-DE.lng"},
      {L"auto", L"3", L"fr-FR", 0x407, L"it-IT.lng"},
      {L"auto", L"01", L"fr-FR", 0x407, L"en-us.lng"},
      // A failed country query leaves the language; a failed language query names nothing.
      {L"auto", L"2", nullptr, 0xC0A, L"es.lng"},
      {L"auto", L"2", nullptr, 0x1234, L"en-us.lng"},
      // Names that would leave the folder or open a device.
      {L"..\\..\\Windows\\win", nullptr, nullptr, 0, L"en-us.lng"},
      {L"de\tde", nullptr, nullptr, 0, L"en-us.lng"},
      {L"nul  ", nullptr, nullptr, 0, L"en-us.lng"},
      {L"lpt\u00B9", nullptr, nullptr, 0, L"en-us.lng"},
      {L"com10", nullptr, nullptr, 0, L"com10.lng"},
      {L"auto", L"1", L"CoM1", 0x407, L"en-us.lng"},  // the platform's letter case is kept
      {longName.c_str(), nullptr, nullptr, 0, longName + L".lng"},
      {tooLong.c_str(), nullptr, nullptr, 0, L"en-us.lng"}};
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
  std::setlocale(LC_CTYPE, savedLocale.c_str());
  EXPECT_FALSE(IsSafeLanguageName(std::wstring(L"de\0x", 4)));
}

class LocalizationTest : public TrayTest {
 protected:
  void SetUp() override { fake.files.modulePath = L"C:\\Program Files\\Velmora\\VelmoraTray.exe"; }
  void LoadFile(const std::wstring& name, const std::string& bytes) {
    LoadBuiltInTexts();
    fake.files.SetFile(L"C:\\Program Files\\Velmora\\Localization\\" + name, bytes);
    LoadLanguageFile(name);
  }
};

TEST_F(LocalizationTest, FileInTheFolderOverridesOnlyTheEntriesItGivesFittingValues) {
  const TextId about = TextId::kMenuItemAbout;
  const std::string file = Utf16(L"MenuItemAbout=\"Info\"");
  const std::tuple<std::wstring, std::string, std::map<TextId, std::wstring>> cases[] = {
      {L"xx-xx.lng", "", {}},
      {L"xx-xx.lng", Utf16(L"\uFEFF") + file, {{about, L"Info"}}},
      {L"xx-xx.lng", Utf16(std::wstring(L"x\0", 2)) + file, {{about, L"Info"}}},  // NUL: data
      {L"xx-xx.lng", file + std::string(kMaxLanguageFileBytes, ' '), {}},
      // Names that are no plain file name in the folder are never read.
      {L"..\\evil.lng", file, {}}, {L".lng", file, {}}, {L"de-de", file, {}}};
  for (const auto& [name, bytes, changed] : cases) {
    LoadFile(name, bytes);
    for (const TextInfo& info : kTextTable) {
      const auto entry = changed.find(info.id);
      EXPECT_EQ(LocalizedText(info.id), entry != changed.end()
                                            ? entry->second
                                            : fakes::ProgramStringTable().at(info.resourceId))
          << name << ": " << info.key;
    }
  }
  // A misfit is logged for the admin; percent signs show as written; a name is an argument,
  // never a template.
  StartLog();
  LoadFile(L"xx-xx.lng", Utf16(L"BalloonServiceNotRunning=\"%n %s%d 100%\" BalloonAlreadyAdmin2="
                               L"\"%Timer %User\" EternalElevation=\"%User 50%\""));
  EXPECT_TRUE(Logged("The placeholders of 'BalloonAlreadyAdmin2' do not fit the entry. Keeping"));
  EXPECT_EQ(FormatText<TextId::kBalloonServiceNotRunning>(), L"%n %s%d 100%");
  EXPECT_EQ(FormatText<TextId::kEternalElevation>(L"50%s%d"), L"50%s%d 50%");
  // A program path without a folder has no Localization folder.
  fake.files.modulePath = L"VelmoraTray.exe";
  fake.files.SetFile(L"Localization\\de-de.lng", file);
  fake.files.SetFile(L"\\Localization\\de-de.lng", file);
  LoadFile(L"de-de.lng", file);
  EXPECT_EQ(LocalizedText(about), L"About");
}

}  // namespace
}  // namespace velmora::test
