// Which language file the tray reads, from where, and what its values may change: a name from
// the registry or the platform must stay a plain file name in the Localization folder, and a
// value must never bring a conversion its entry does not supply.
#include <clocale>
#include <cwctype>
#include <string>
#include <tuple>

#include "localization/localized_texts.h"
#include "test_support.h"

namespace velmora::test {
namespace {

using LocalizationTest = TrayTest;

TEST_F(LocalizationTest, ChoosesAPlainFileNameBySettingOrByThePlatform) {
  // Lowering follows the user's locale, not only A to Z, where the C runtime can tell.
  const std::string savedLocale = std::setlocale(LC_CTYPE, nullptr);
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) std::setlocale(LC_CTYPE, "");
  const bool accents = std::towlower(L'\u00C9') == L'\u00E9';
  const std::wstring longName(85, L'a'), tooLong(86, L'a');
  // The system's locale has no country.
  fake.shell.localeInfo = {{{0x407, locale_info::kIso639LangName}, L"de"},
                           {{0x407, locale_info::kIso3166CtryName}, L"DE"},
                           {{locale_info::kSystemDefault, locale_info::kIso639LangName}, L"it"}};
  // The machine values stay from one case to the next; nullptr leaves them as they are, so the
  // first cases see them absent. preferred: the first of PreferredUILanguages, "" for none.
  // inputLanguage 0: the query fails.
  const struct {
    const wchar_t *language, *reference, *preferred;
    uint16_t inputLanguage;
    std::wstring file;
  } cases[] = {
      {nullptr, nullptr, L"fr-FR", 0x407, L"en-us.lng"},
      {L"AUTO", nullptr, L"fr-FR", 0x407, L"fr-FR.lng"},
      {L"De-DE", L"3", L"fr-FR", 0x407, L"de-de.lng"},
      {L"\u00C9SPA\u00D1OL", nullptr, L"", 0,
       accents ? L"\u00e9spa\u00f1ol.lng" : L"\u00C9spa\u00D1ol.lng"},
      {L"auto", L"1", L"", 0x407, L"de-DE.lng"},
      {L"auto", L"1", L"", 0, L"en-us.lng"},
      {L"auto", L"2", L"fr-FR", 0x407, L"de-DE.lng"},
      {L"auto", L"3", L"fr-FR", 0x407, L"it.lng"},
      {L"auto", L"01", L"fr-FR", 0x407, L"en-us.lng"},
      // A failed language query names nothing.
      {L"auto", L"2", L"", 0x1234, L"en-us.lng"},
      // Names that are no plain file name, from the setting or the platform (whose letter case
      // is kept otherwise).
      {longName.c_str(), nullptr, L"", 0, longName + L".lng"},
      {tooLong.c_str(), nullptr, L"", 0, L"en-us.lng"},
      {L"auto", L"1", L"CoM1", 0x407, L"en-us.lng"}};
  for (const auto& c : cases) {
    fake.shell.inputLanguage = c.inputLanguage;
    if (c.language) SetMachineString(L"Language", c.language);
    if (c.reference) SetMachineString(L"PreferredUIReference", c.reference);
    fake.registry.SetRaw(kUser, View::k64, L"Control Panel\\Desktop", L"PreferredUILanguages",
                         reg::kRegMultiSz,
                         ToUtf16LeBytes(c.preferred + std::wstring(1, L'\0') + L"en-US", true));
    EXPECT_EQ(SelectLanguage(), c.file) << (c.language ? c.language : L"-");
  }
  std::setlocale(LC_CTYPE, savedLocale.c_str());
  // Names that would leave the folder or open a device.
  const std::wstring unsafe[] = {L"..\\..\\Windows\\win", L"de\tde", std::wstring(L"de\0x", 4),
                                 L"nul  ", L"lpt\u00B9"};
  for (const std::wstring& name : unsafe) EXPECT_FALSE(IsSafeLanguageName(name)) << name.size();
  EXPECT_TRUE(IsSafeLanguageName(L"com10"));
}

TEST_F(LocalizationTest, FileInTheFolderOverridesOnlyTheEntriesItGivesFittingValues) {
  fake.files.modulePath = L"C:\\Program Files\\Velmora\\VelmoraTray.exe";
  const auto load = [this](const std::wstring& name, const std::string& bytes) {
    LoadBuiltInTexts();
    fake.files.SetFile(L"C:\\Program Files\\Velmora\\Localization\\" + name, bytes);
    LoadLanguageFile(name);
  };
  const std::string file = Utf16(L"MenuItemAbout=\"Info\"");
  const std::string pad(kMaxLanguageFileBytes - file.size(), ' ');
  // Whether the file's value is taken; every other entry keeps its built-in text.
  const std::tuple<std::wstring, std::string, bool> cases[] = {
      {L"xx-xx.lng", "", false},
      {L"xx-xx.lng", Utf16(std::wstring(L"\uFEFFx\0", 3)) + file, true},  // NUL: data
      {L"xx-xx.lng", file + pad, true},
      {L"xx-xx.lng", file + pad + ' ', false},
      // Names that are no plain file name in the folder are never read.
      {L"..\\evil.lng", file, false},
      {L".lng", file, false},
      {L"de-de", file, false}};
  for (const auto& [name, bytes, read] : cases) {
    load(name, bytes);
    for (const TextInfo& info : kTextTable) {
      const std::wstring builtIn = fakes::ProgramStringTable().at(info.resourceId);
      const bool taken = read && info.id == TextId::kMenuItemAbout;
      EXPECT_EQ(LocalizedText(info.id), taken ? L"Info" : builtIn) << name << ": " << info.key;
    }
  }
  // A misfit is logged for the admin; percent signs show as written; a name is an argument,
  // never a template.
  StartLog();
  load(L"xx-xx.lng", Utf16(L"BalloonServiceNotRunning=\"%n %s%d 100%\" BalloonAlreadyAdmin2="
                           L"\"%Timer %User\" EternalElevation=\"%User 50%\""));
  EXPECT_TRUE(Logged("of 'BalloonAlreadyAdmin2' do not fit the entry. Keeping its text"));
  EXPECT_EQ(FormatText<TextId::kBalloonServiceNotRunning>(), L"%n %s%d 100%");
  EXPECT_EQ(FormatText<TextId::kEternalElevation>(L"50%s%d"), L"50%s%d 50%");
  // A program path without a folder has no Localization folder: none relative, none under its name.
  fake.files.modulePath = L"VelmoraTray.exe";
  for (const std::wstring folder : {L"", L"\\", L"VelmoraTray.exe\\"}) {
    fake.files.SetFile(folder + L"Localization\\de-de.lng", file);
  }
  load(L"de-de.lng", file);
  EXPECT_EQ(LocalizedText(TextId::kMenuItemAbout), L"About");
}

}  // namespace
}  // namespace velmora::test
