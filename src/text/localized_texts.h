// The twenty user-interface texts: built-in English, overridden by the chosen language file.
#pragma once

namespace velmora {

void SelectLanguage();
void LoadBuiltInTexts();
void LoadLanguageFile();

}  // namespace velmora
