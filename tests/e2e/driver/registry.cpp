// The managed document as the service stores it, which `reg add` cannot write: REG_SZ text
// whose ANSI bytes are the JSON's UTF-8 bytes XOR 0x0E.
#include "driver.h"

namespace driver {
namespace {

int ManagedDocument(const Args& a) {
  std::string scrambled = ToUtf8(a[0]);
  for (char& byte : scrambled) byte = static_cast<char>(byte ^ 0x0E);
  const int units = MultiByteToWideChar(CP_THREAD_ACP, 0, scrambled.data(),
                                        static_cast<int>(scrambled.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(std::max(units, 0)), L'\0');
  MultiByteToWideChar(CP_THREAD_ACP, 0, scrambled.data(), static_cast<int>(scrambled.size()),
                      text.data(), units);
  // The tray converts the text back with the thread's ANSI code page: the bytes must survive.
  std::string back(scrambled.size() * 2 + 8, '\0');
  BOOL lossy = FALSE;
  back.resize(static_cast<size_t>(
      std::max(WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()),
                                   back.data(), static_cast<int>(back.size()), nullptr, &lossy),
               0)));
  if (lossy || back != scrambled) {
    return Fail("the scrambled document does not survive the ANSI code page");
  }
  HKEY key = nullptr;
  const LSTATUS status =
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Ostrand\\Velmora", 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS ||
      RegSetValueExW(key, L"Managed settings", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
    return Fail("cannot store the managed document");
  }
  return kOk;
}

}  // namespace

std::vector<Command> RegistryCommands() {
  return {{"managed-document", "<json>", "store the scrambled managed document", ManagedDocument}};
}

}  // namespace driver
