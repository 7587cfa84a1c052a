// The directory through ADSI: the ADSystemInfo object, ADsGetObject and IADs::Get. activeds
// and oleaut32 are loaded from the system folder at the first directory call, so a tray with
// the checks switched off never maps them.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "platform/directory.h"

namespace velmora {

class Win32Directory final : public Directory {
 public:
  bool BeginCom() override;
  void EndCom() override;
  int32_t CreateSystemInfo(Object* info) override;
  int32_t ComputerName(Object info, std::wstring* name) override;
  int32_t UserName(Object info, std::wstring* name) override;
  int32_t BindObject(const std::wstring& path, Object* object) override;
  int32_t GetText(Object object, const std::wstring& attribute, std::wstring* text) override;
  int32_t GetValues(Object object, const std::wstring& attribute, DirectoryValue* value) override;
  void ReleaseObject(Object object) override;
};

// An attribute's value as the seam hands it over: one string, or an array's elements from its
// lower bound on (variants, strings, or other elements as their type only). The VARIANT stays
// the caller's.
DirectoryValue DirectoryValueOf(const VARIANT& value);

}  // namespace velmora
