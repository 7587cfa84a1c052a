#include "fakes/fake_gdi.h"

namespace velmora::fakes {

void* FakeGdi::Make(Kind kind) {
  void* handle = reinterpret_cast<void*>(next_ += 0x10);
  alive_[handle] = kind;
  ++created_[kind];
  return handle;
}

// A new DC holds stock objects, which must be selected back before it goes.
Gdi::Dc FakeGdi::MakeDc() {
  Dc dc = Make(Kind::kDc);
  selected_[dc] = {{Kind::kFont, Make(Kind::kStockFont)},
                   {Kind::kBitmap, Make(Kind::kStockBitmap)}};
  return dc;
}

void FakeGdi::DeleteMemoryDc(Dc dc) {
  for (const auto& slot : selected_[dc]) {
    const auto it = alive_.find(slot.second);
    if (it == alive_.end() ||
        (it->second != Kind::kStockFont && it->second != Kind::kStockBitmap)) {
      ++misuse;
    }
    alive_.erase(slot.second);
  }
  selected_.erase(dc);
  if (!Release(dc, Kind::kDc)) ++misuse;
}

bool FakeGdi::Release(void* handle, Kind kind) {
  const auto it = alive_.find(handle);
  if (it == alive_.end() || it->second != kind) return false;
  alive_.erase(it);
  return true;
}

Gdi::Object FakeGdi::Select(Dc dc, Object object) {
  const auto it = alive_.find(object);
  if (it == alive_.end() || it->second == Kind::kDc || it->second == Kind::kIcon) {
    ++misuse;
    return nullptr;
  }
  const bool font = it->second == Kind::kFont || it->second == Kind::kStockFont;
  Object& slot = selected_[dc][font ? Kind::kFont : Kind::kBitmap];
  Object previous = slot;
  slot = object;
  return previous;
}

void FakeGdi::DeleteGdiObject(Object object) {
  for (auto& dc : selected_) {
    for (const auto& slot : dc.second) misuse += slot.second == object ? 1 : 0;
  }
  if (!Release(object, Kind::kFont) && !Release(object, Kind::kBitmap)) ++misuse;
}

int FakeGdi::Alive(Kind kind) const {
  int count = 0;
  for (const auto& entry : alive_) count += entry.second == kind ? 1 : 0;
  return count;
}

}  // namespace velmora::fakes
