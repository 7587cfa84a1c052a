#include "fakes/fake_gdi.h"

namespace velmora::fakes {

void* FakeGdi::Make(Kind kind) {
  void* handle = reinterpret_cast<void*>(next_ += 0x10);
  alive_[handle] = kind;
  ++created_[kind];
  return handle;
}

Gdi::Dc FakeGdi::MakeDc(Kind kind) {
  void* dc = Make(kind);
  dcs_[dc] = DcState{};
  return dc;
}

void FakeGdi::ReleaseDc(Dc dc, Kind kind) {
  // Objects still selected into a DC that goes are lost for good.
  if (dcs_[dc].font != kStockFont || dcs_[dc].bitmap != kStockBitmap) ++misuse;
  dcs_.erase(dc);
  Release(dc, kind);
}

bool FakeGdi::Release(void* handle, Kind kind, bool counted) {
  const auto it = alive_.find(handle);
  if (it == alive_.end() || it->second != kind) {
    misuse += counted ? 1 : 0;
    return false;
  }
  alive_.erase(it);
  return true;
}

Gdi::Object FakeGdi::CreateTextFont(int height, int, uint8_t, uint8_t, const std::wstring&) {
  void* font = Make(Kind::kFont);
  fontHeights_[font] = height;
  return font;
}

Gdi::Object FakeGdi::Select(Dc dc, Object object) {
  const auto it = alive_.find(object);
  const bool font = object == kStockFont || (it != alive_.end() && it->second == Kind::kFont);
  if (!font && object != kStockBitmap && (it == alive_.end() || it->second != Kind::kBitmap)) {
    ++misuse;
    return nullptr;
  }
  DcState& state = dcs_[dc];
  void** slot = font ? &state.font : &state.bitmap;
  void* previous = *slot;
  *slot = object;
  return previous;
}

void FakeGdi::DeleteGdiObject(Object object) {
  for (const auto& dc : dcs_) {
    if (dc.second.font == object || dc.second.bitmap == object) ++misuse;
  }
  const auto it = alive_.find(object);
  if (it == alive_.end() || (it->second != Kind::kBitmap && it->second != Kind::kFont)) {
    ++misuse;
    return;
  }
  alive_.erase(it);
}

int FakeGdi::Alive(Kind kind) const {
  int count = 0;
  for (const auto& entry : alive_) count += entry.second == kind ? 1 : 0;
  return count;
}

}  // namespace velmora::fakes
