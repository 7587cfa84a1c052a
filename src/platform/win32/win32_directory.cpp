#include "platform/win32/win32_directory.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <iads.h>

#include <cstring>
#include <utility>

#include "platform/win32/unique_handle.h"

namespace velmora {

static_assert(VT_BSTR == dir::kTypeString && VT_VARIANT == dir::kTypeVariant &&
                  VT_ARRAY == dir::kTypeArray,
              "variant types cross the seam unchanged");

namespace {

// Defined here rather than taken from adsiid: three GUIDs are all the tray needs of it.
constexpr CLSID kClsidAdSystemInfo = {
    0x50B6327F, 0xAFD1, 0x11D2, {0x9C, 0xB9, 0x00, 0x00, 0xF8, 0x7A, 0x36, 0x9E}};
constexpr IID kIidAdSystemInfo = {
    0x5BB11929, 0xAFD1, 0x11D2, {0x9C, 0xB9, 0x00, 0x00, 0xF8, 0x7A, 0x36, 0x9E}};
constexpr IID kIidAds = {
    0xFD8256D0, 0xFD15, 0x11CE, {0xAB, 0xC4, 0x02, 0x60, 0x8C, 0x9E, 0x75, 0x53}};

template <typename Fn>
Fn Resolve(HMODULE module, const char* name) {
  return module == nullptr
             ? nullptr
             : reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// From the system folder by full path, never by the search order; kept for the process's life.
HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, length) + L"\\" + name;
  return ::LoadLibraryW(path.c_str());
}

struct AdsiApi {
  HRESULT(WINAPI* getObject)(LPCWSTR, REFIID, void**) = nullptr;
  decltype(&::SysAllocStringLen) allocString = nullptr;
  decltype(&::SysFreeString) freeString = nullptr;
  decltype(&::SysStringLen) stringLength = nullptr;
  decltype(&::VariantClear) clearVariant = nullptr;
  decltype(&::SafeArrayGetDim) arrayDims = nullptr;
  decltype(&::SafeArrayGetLBound) arrayLower = nullptr;
  decltype(&::SafeArrayGetUBound) arrayUpper = nullptr;
  decltype(&::SafeArrayGetElement) arrayElement = nullptr;
  bool complete = false;
};

const AdsiApi& Api() {
  static const AdsiApi api = [] {
    AdsiApi a;
    const HMODULE activeds = LoadSystemLibrary(L"activeds.dll");
    const HMODULE oleaut = LoadSystemLibrary(L"oleaut32.dll");
    a.getObject = Resolve<decltype(a.getObject)>(activeds, "ADsGetObject");
    a.allocString = Resolve<decltype(a.allocString)>(oleaut, "SysAllocStringLen");
    a.freeString = Resolve<decltype(a.freeString)>(oleaut, "SysFreeString");
    a.stringLength = Resolve<decltype(a.stringLength)>(oleaut, "SysStringLen");
    a.clearVariant = Resolve<decltype(a.clearVariant)>(oleaut, "VariantClear");
    a.arrayDims = Resolve<decltype(a.arrayDims)>(oleaut, "SafeArrayGetDim");
    a.arrayLower = Resolve<decltype(a.arrayLower)>(oleaut, "SafeArrayGetLBound");
    a.arrayUpper = Resolve<decltype(a.arrayUpper)>(oleaut, "SafeArrayGetUBound");
    a.arrayElement = Resolve<decltype(a.arrayElement)>(oleaut, "SafeArrayGetElement");
    a.complete = a.getObject && a.allocString && a.freeString && a.stringLength &&
                 a.clearVariant && a.arrayDims && a.arrayLower && a.arrayUpper && a.arrayElement;
    return a;
  }();
  return api;
}

HRESULT MissingApi() { return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND); }

// VariantInit without importing oleaut32: an all-zero VARIANT is VT_EMPTY.
void InitVariant(VARIANT* value) { std::memset(value, 0, sizeof(*value)); }

// Strings the directory's calls hand over, freed through the oleaut32 loaded here.
struct BstrTraits {
  using Handle = BSTR;
  static Handle Invalid() noexcept { return nullptr; }
  static bool IsValid(Handle h) noexcept { return h != nullptr; }
  static void Close(Handle h) noexcept { Api().freeString(h); }
};
using UniqueBstr = UniqueHandle<BstrTraits>;

// A VARIANT of ours, cleared when it goes.
class OwnedVariant {
 public:
  OwnedVariant() { InitVariant(&value); }
  ~OwnedVariant() { Api().clearVariant(&value); }
  OwnedVariant(const OwnedVariant&) = delete;
  OwnedVariant& operator=(const OwnedVariant&) = delete;
  VARIANT value;
};

// A BSTR's whole text (it may hold NULs); null is the empty text.
std::wstring FromBstr(BSTR text) {
  return text == nullptr ? std::wstring() : std::wstring(text, Api().stringLength(text));
}

// A getter's BSTR, freed once its text is copied.
HRESULT TakeBstr(HRESULT result, BSTR text, std::wstring* out) {
  const UniqueBstr owned(text);
  if (SUCCEEDED(result)) *out = FromBstr(owned.get());
  return result;
}

IADsADSystemInfo* AsSystemInfo(Directory::Object object) {
  return static_cast<IADsADSystemInfo*>(static_cast<IUnknown*>(object));
}
IADs* AsAds(Directory::Object object) {
  return static_cast<IADs*>(static_cast<IUnknown*>(object));
}

// IADs::Get with the attribute's name as a real BSTR (providers may ask for its length).
HRESULT GetAttribute(Directory::Object object, const std::wstring& attribute, VARIANT* value) {
  const UniqueBstr name(Api().allocString(attribute.c_str(), static_cast<UINT>(attribute.size())));
  if (!name) return E_OUTOFMEMORY;
  return AsAds(object)->Get(name.get(), value);
}

DirectoryItem ItemOf(VARTYPE type, const void* element) {
  DirectoryItem item;
  item.type = type;
  if (type == VT_BSTR) {
    const BSTR text = *static_cast<const BSTR*>(element);
    item.isNull = text == nullptr;
    item.text = FromBstr(text);
  }
  return item;
}

// The elements of a one-dimensional array of variants or strings, from its lower bound on.
void ReadArray(SAFEARRAY* array, VARTYPE elementType, std::vector<DirectoryItem>* items) {
  const AdsiApi& api = Api();
  LONG lower = 0;
  LONG upper = -1;
  if (array == nullptr || api.arrayDims(array) != 1 ||
      FAILED(api.arrayLower(array, 1, &lower)) || FAILED(api.arrayUpper(array, 1, &upper))) {
    return;
  }
  for (LONG index = lower; index <= upper; ++index) {
    if (elementType == VT_VARIANT) {
      OwnedVariant element;
      if (FAILED(api.arrayElement(array, &index, &element.value))) return;
      items->push_back(ItemOf(element.value.vt, &element.value.bstrVal));
    } else if (elementType == VT_BSTR) {
      BSTR text = nullptr;
      const HRESULT fetched = api.arrayElement(array, &index, &text);
      const UniqueBstr owned(text);
      if (FAILED(fetched)) return;
      items->push_back(ItemOf(VT_BSTR, &text));
    } else {
      // Elements of another type are never copied into a buffer sized for them.
      items->push_back(ItemOf(elementType, nullptr));
    }
    if (index == upper) return;  // no increment past the largest LONG
  }
}

}  // namespace

DirectoryValue DirectoryValueOf(const VARIANT& value) {
  DirectoryValue read;
  read.type = value.vt;
  if (!Api().complete) return read;
  if (value.vt == VT_BSTR) {
    read.text = FromBstr(value.bstrVal);
  } else if ((value.vt & VT_ARRAY) != 0 && (value.vt & VT_BYREF) == 0) {
    ReadArray(value.parray, static_cast<VARTYPE>(value.vt & VT_TYPEMASK), &read.items);
  }
  return read;
}

bool Win32Directory::BeginCom() { return SUCCEEDED(::CoInitialize(nullptr)); }

void Win32Directory::EndCom() { ::CoUninitialize(); }

int32_t Win32Directory::CreateSystemInfo(Object* info) {
  IADsADSystemInfo* created = nullptr;
  const HRESULT result = ::CoCreateInstance(kClsidAdSystemInfo, nullptr, CLSCTX_INPROC_SERVER,
                                            kIidAdSystemInfo, reinterpret_cast<void**>(&created));
  if (FAILED(result) || created == nullptr) return FAILED(result) ? result : E_POINTER;
  *info = static_cast<IUnknown*>(created);
  return result;
}

int32_t Win32Directory::ComputerName(Object info, std::wstring* name) {
  if (!Api().complete) return MissingApi();
  BSTR text = nullptr;
  return TakeBstr(AsSystemInfo(info)->get_ComputerName(&text), text, name);
}

int32_t Win32Directory::UserName(Object info, std::wstring* name) {
  if (!Api().complete) return MissingApi();
  BSTR text = nullptr;
  return TakeBstr(AsSystemInfo(info)->get_UserName(&text), text, name);
}

int32_t Win32Directory::BindObject(const std::wstring& path, Object* object) {
  const AdsiApi& api = Api();
  if (!api.complete) return MissingApi();
  IADs* bound = nullptr;
  const HRESULT result = api.getObject(path.c_str(), kIidAds, reinterpret_cast<void**>(&bound));
  if (FAILED(result) || bound == nullptr) return FAILED(result) ? result : E_POINTER;
  *object = static_cast<IUnknown*>(bound);
  return result;
}

int32_t Win32Directory::GetText(Object object, const std::wstring& attribute, std::wstring* text) {
  if (!Api().complete) return MissingApi();
  OwnedVariant value;
  const HRESULT result = GetAttribute(object, attribute, &value.value);
  if (FAILED(result)) return result;
  if (value.value.vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
  *text = FromBstr(value.value.bstrVal);
  return result;
}

int32_t Win32Directory::GetValues(Object object, const std::wstring& attribute,
                                  DirectoryValue* value) {
  if (!Api().complete) return MissingApi();
  OwnedVariant raw;
  const HRESULT result = GetAttribute(object, attribute, &raw.value);
  if (SUCCEEDED(result)) *value = DirectoryValueOf(raw.value);
  return result;
}

void Win32Directory::ReleaseObject(Object object) { static_cast<IUnknown*>(object)->Release(); }

}  // namespace velmora
