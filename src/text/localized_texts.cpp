#include "text/localized_texts.h"

namespace velmora {

// Localization is not wired yet.
void SelectLanguage() {}
void LoadBuiltInTexts() {}
void LoadLanguageFile() {}

}  // namespace velmora
