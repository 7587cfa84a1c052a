// Windows only, run under Wine: attribute values built with the real oleaut32 reach the logic
// whole, whatever form the directory hands them over in.
#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "platform/win32/win32_directory.h"

namespace velmora {

bool operator==(const DirectoryItem& a, const DirectoryItem& b) {
  return a.type == b.type && a.isNull == b.isNull && a.text == b.text;
}
bool operator==(const DirectoryValue& a, const DirectoryValue& b) {
  return a.type == b.type && a.text == b.text && a.items == b.items;
}

namespace {

// A text (nullptr: a null BSTR) or, with a number other than 0, a VT_I4.
VARIANT Value(const wchar_t* text, LONG number = 0) {
  VARIANT v = {};
  v.vt = number != 0 ? VT_I4 : VT_BSTR;
  v.bstrVal = SysAllocString(text);  // null for nullptr
  if (number != 0) v.lVal = number;
  return v;
}

// A one-dimensional array of TYPE from lowerBound on; the elements are copied in and cleared.
VARIANT ArrayOf(VARTYPE type, LONG lowerBound, std::vector<VARIANT> elements) {
  VARIANT v = {};
  v.vt = static_cast<VARTYPE>(VT_ARRAY | type);
  v.parray = SafeArrayCreateVector(type, lowerBound, static_cast<ULONG>(elements.size()));
  for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
    VARIANT& e = elements[static_cast<size_t>(i)];
    LONG index = lowerBound + i;
    void* data = type == VT_VARIANT ? static_cast<void*>(&e)
                                    : type == VT_BSTR ? static_cast<void*>(e.bstrVal) : &e.lVal;
    EXPECT_EQ(S_OK, SafeArrayPutElement(v.parray, &index, data));
    VariantClear(&e);
  }
  return v;
}

TEST(Win32DirectoryTest, ValuesArriveWholeInEveryForm) {
  const uint16_t variants = VT_ARRAY | VT_VARIANT;
  struct Case { VARIANT value; DirectoryValue expected; } cases[] = {
      {Value(L"CN=A,OU=G"), {VT_BSTR, L"CN=A,OU=G", {}}},
      {Value(nullptr), {VT_BSTR, L"", {}}},
      {ArrayOf(VT_VARIANT, 1, {Value(L"CN=A"), Value(nullptr, 5)}),
       {variants, L"", {{VT_BSTR, false, L"CN=A"}, {VT_I4, false, L""}}}},
      {ArrayOf(VT_BSTR, 0, {Value(L"a")}), {VT_ARRAY | VT_BSTR, L"", {{VT_BSTR, false, L"a"}}}},
      {ArrayOf(VT_I4, 0, {Value(nullptr, 1)}), {VT_ARRAY | VT_I4, L"", {{VT_I4}}}},
      {ArrayOf(VT_VARIANT, 0, {}), {variants, L"", {}}},
      {Value(nullptr, 7), {VT_I4, L"", {}}},
  };
  for (Case& c : cases) {
    EXPECT_TRUE(DirectoryValueOf(c.value) == c.expected) << &c - cases;
    VariantClear(&c.value);
  }
}

}  // namespace
}  // namespace velmora
