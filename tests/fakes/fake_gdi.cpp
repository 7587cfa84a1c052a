#include "fakes/fake_gdi.h"

namespace velmora::fakes {

void* FakeGdi::Make(Kind kind) {
  void* handle = reinterpret_cast<void*>(next_);
  next_ += 0x10;
  alive_[handle] = kind;
  ++created_[kind];
  return handle;
}

bool FakeGdi::Release(void* handle, Kind kind) {
  auto it = alive_.find(handle);
  if (it == alive_.end() || it->second != kind) {
    ++misuse_;
    return false;
  }
  alive_.erase(it);
  return true;
}

Gdi::Dc FakeGdi::GetWindowDc(Hwnd) {
  void* dc = Make(Kind::kWindowDc);
  dcs_[dc] = DcState{};
  return dc;
}

void FakeGdi::ReleaseWindowDc(Hwnd, Dc dc) {
  Release(dc, Kind::kWindowDc);
  dcs_.erase(dc);
}

Gdi::Dc FakeGdi::CreateMemoryDc(Dc) {
  void* dc = Make(Kind::kMemoryDc);
  dcs_[dc] = DcState{};
  return dc;
}

void FakeGdi::DeleteMemoryDc(Dc dc) {
  // Deleting a DC with our objects still selected loses them for good.
  const DcState& state = dcs_[dc];
  if (state.font != kStockFont || state.bitmap != kStockBitmap) ++misuse_;
  Release(dc, Kind::kMemoryDc);
  dcs_.erase(dc);
}

Gdi::Object FakeGdi::CreateBitmap(Dc, int, int) { return Make(Kind::kBitmap); }

Gdi::Object FakeGdi::CreateTextFont(int height, int weight, uint8_t quality, uint8_t,
                                    const std::wstring& face) {
  void* font = Make(Kind::kFont);
  fontHeights_[font] = height;
  fonts_.push_back(FontMade{weight, quality, face});
  return font;
}

Gdi::Object FakeGdi::Select(Dc dc, Object object) {
  DcState& state = dcs_[dc];
  auto it = alive_.find(object);
  const bool font = object == kStockFont || (it != alive_.end() && it->second == Kind::kFont);
  const bool bitmap =
      object == kStockBitmap || (it != alive_.end() && it->second == Kind::kBitmap);
  if (!font && !bitmap) {
    ++misuse_;
    return nullptr;
  }
  void** slot = font ? &state.font : &state.bitmap;
  void* previous = *slot;
  *slot = object;
  return previous;
}

void FakeGdi::DeleteGdiObject(Object object) {
  for (const auto& dc : dcs_) {
    if (dc.second.font == object || dc.second.bitmap == object) ++misuse_;
  }
  auto it = alive_.find(object);
  if (it == alive_.end() || (it->second != Kind::kBitmap && it->second != Kind::kFont)) {
    ++misuse_;
    return;
  }
  alive_.erase(it);
  fontHeights_.erase(object);
}

void FakeGdi::FillWhite(Dc, const Rect&) {}
void FakeGdi::FillBlack(Dc, const Rect&) {}
void FakeGdi::SetBackgroundColor(Dc dc, uint32_t rgb) { dcs_[dc].back = rgb; }
void FakeGdi::SetForegroundColor(Dc dc, uint32_t rgb) { dcs_[dc].text = rgb; }

void FakeGdi::DrawTextIn(Dc dc, const std::wstring& text, const Rect&, uint32_t format) {
  const DcState& state = dcs_[dc];
  auto height = fontHeights_.find(state.font);
  drawn_.push_back(Drawn{text, height == fontHeights_.end() ? 0 : height->second, format,
                         state.text, state.back});
}

IconHandle FakeGdi::CreateIconFromBitmaps(Object, Object) { return Make(Kind::kIcon); }

bool FakeGdi::DestroyCreatedIcon(IconHandle icon) {
  auto it = alive_.find(icon);
  if (it == alive_.end() || it->second != Kind::kIcon) return false;
  alive_.erase(it);
  return true;
}

int FakeGdi::Alive(Kind kind) const {
  int count = 0;
  for (const auto& entry : alive_) count += entry.second == kind ? 1 : 0;
  return count;
}

int FakeGdi::Created(Kind kind) const {
  auto it = created_.find(kind);
  return it == created_.end() ? 0 : it->second;
}

}  // namespace velmora::fakes
