// Windows only, run under Wine: attribute values built with the real oleaut32 reach the logic
// whole, whatever form the directory hands them over in.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "platform/win32/win32_directory.h"

namespace velmora {
namespace {

VARIANT Bstr(const wchar_t* text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text != nullptr ? SysAllocString(text) : nullptr;
  return v;
}
VARIANT Number(LONG n) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = n;
  return v;
}

// A one-dimensional array from lowerBound on; the variants are copied into it and cleared.
VARIANT ArrayOf(VARTYPE type, LONG lowerBound, std::vector<VARIANT> elements) {
  SAFEARRAYBOUND bound = {static_cast<ULONG>(elements.size()), lowerBound};
  SAFEARRAY* array = SafeArrayCreate(type, 1, &bound);
  for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
    LONG index = lowerBound + i;
    VARIANT& e = elements[static_cast<size_t>(i)];
    void* data = type == VT_VARIANT ? static_cast<void*>(&e)
                 : type == VT_BSTR  ? static_cast<void*>(e.bstrVal)
                                    : static_cast<void*>(&e.lVal);
    EXPECT_EQ(S_OK, SafeArrayPutElement(array, &index, data));
    VariantClear(&e);
  }
  VARIANT v;
  VariantInit(&v);
  v.vt = static_cast<VARTYPE>(VT_ARRAY | type);
  v.parray = array;
  return v;
}

TEST(Win32DirectoryTest, ValuesArriveWholeInEveryForm) {
  struct Case {
    const char* name;
    VARIANT value;
    uint16_t type;
    std::wstring text;
    std::vector<DirectoryItem> items;
  };
  Case cases[] = {
      {"one text", Bstr(L"CN=A,OU=G"), VT_BSTR, L"CN=A,OU=G", {}},
      {"null text", Bstr(nullptr), VT_BSTR, L"", {}},
      {"variants", ArrayOf(VT_VARIANT, 0, {Bstr(L"CN=A"), Number(5)}), VT_ARRAY | VT_VARIANT, L"",
       {{VT_BSTR, false, L"CN=A"}, {VT_I4, false, L""}}},
      {"lower bound 1", ArrayOf(VT_VARIANT, 1, {Bstr(L"a"), Bstr(L"b")}), VT_ARRAY | VT_VARIANT,
       L"", {{VT_BSTR, false, L"a"}, {VT_BSTR, false, L"b"}}},
      {"strings", ArrayOf(VT_BSTR, 0, {Bstr(L"a"), Bstr(L"b")}), VT_ARRAY | VT_BSTR, L"",
       {{VT_BSTR, false, L"a"}, {VT_BSTR, false, L"b"}}},
      {"numbers", ArrayOf(VT_I4, 0, {Number(1)}), VT_ARRAY | VT_I4, L"", {{VT_I4, false, L""}}},
      {"empty array", ArrayOf(VT_VARIANT, 0, {}), VT_ARRAY | VT_VARIANT, L"", {}},
      {"nothing", Number(7), VT_I4, L"", {}},
  };
  for (Case& c : cases) {
    const DirectoryValue read = DirectoryValueOf(c.value);
    EXPECT_EQ(c.type, read.type) << c.name;
    EXPECT_EQ(c.text, read.text) << c.name;
    ASSERT_EQ(c.items.size(), read.items.size()) << c.name;
    for (size_t i = 0; i < c.items.size(); ++i) {
      EXPECT_EQ(c.items[i].type, read.items[i].type) << c.name << i;
      EXPECT_EQ(c.items[i].isNull, read.items[i].isNull) << c.name << i;
      EXPECT_EQ(c.items[i].text, read.items[i].text) << c.name << i;
    }
    VariantClear(&c.value);
  }
}

}  // namespace
}  // namespace velmora
