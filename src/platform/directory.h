// The directory as its service interfaces show it: the names the system-information object
// knows, objects bound by their "LDAP://" path, and their attribute values. Calls answer the
// platform's HRESULT (negative on failure) and leave their out-parameters untouched on failure.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

namespace dir {
// VARIANT type numbers, as the directory hands values over.
constexpr uint16_t kTypeString = 8;             // VT_BSTR
constexpr uint16_t kTypeVariant = 12;           // VT_VARIANT
constexpr uint16_t kTypeArray = 0x2000;         // VT_ARRAY, combined with the element type
}  // namespace dir

// One element of a multi-valued attribute.
struct DirectoryItem {
  uint16_t type = 0;    // the element's own VARIANT type
  bool isNull = false;  // a string element whose text pointer is null
  std::wstring text;    // a string element's text
};

// An attribute value: one string when it holds one value, else an array of elements.
struct DirectoryValue {
  uint16_t type = 0;                 // the value's VARIANT type
  std::wstring text;                 // type kTypeString
  std::vector<DirectoryItem> items;  // an array's elements in index order
};

class Directory {
 public:
  // A system-information object or a bound object; released with ReleaseObject.
  using Object = void*;

  virtual ~Directory() = default;

  // CoInitialize(nullptr) for the calling thread: true when it succeeded and must be balanced
  // by EndCom (a thread already in another apartment answers false and stays usable).
  virtual bool BeginCom() = 0;
  virtual void EndCom() = 0;

  // The ADSystemInfo object, created in process.
  virtual int32_t CreateSystemInfo(Object* info) = 0;
  // Distinguished names of this computer and of the logged-on user, as the directory escapes
  // them.
  virtual int32_t ComputerName(Object info, std::wstring* name) = 0;
  virtual int32_t UserName(Object info, std::wstring* name) = 0;
  // ADsGetObject(path, IID_IADs).
  virtual int32_t BindObject(const std::wstring& path, Object* object) = 0;
  // IADs::Get of a single-valued attribute whose value is text; any other type fails.
  virtual int32_t GetText(Object object, const std::wstring& attribute, std::wstring* text) = 0;
  // IADs::Get of a multi-valued attribute, whatever form the value takes.
  virtual int32_t GetValues(Object object, const std::wstring& attribute,
                            DirectoryValue* value) = 0;
  virtual void ReleaseObject(Object object) = 0;
};

}  // namespace velmora
