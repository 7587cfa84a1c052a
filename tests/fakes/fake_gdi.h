// Counts every GDI object and icon by kind, created and alive, and every misuse (deleting an
// object still selected, a DC with our objects selected, a handle of the wrong kind), so that
// a drawing that leaves anything behind fails its test.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/gdi.h"

namespace velmora::fakes {

class FakeGdi : public Gdi {
 public:
  enum class Kind { kWindowDc, kMemoryDc, kBitmap, kFont, kIcon };

  Dc GetWindowDc(Hwnd) override { return MakeDc(Kind::kWindowDc); }
  void ReleaseWindowDc(Hwnd, Dc dc) override { ReleaseDc(dc, Kind::kWindowDc); }
  Dc CreateMemoryDc(Dc) override { return MakeDc(Kind::kMemoryDc); }
  void DeleteMemoryDc(Dc dc) override { ReleaseDc(dc, Kind::kMemoryDc); }
  Object CreateBitmap(Dc, int, int) override { return Make(Kind::kBitmap); }
  Object CreateTextFont(int height, int, uint8_t, uint8_t, const std::wstring&) override;
  Object Select(Dc dc, Object object) override;
  void DeleteGdiObject(Object object) override;
  void FillWhite(Dc, const Rect&) override {}
  void FillBlack(Dc, const Rect&) override {}
  void SetBackgroundColor(Dc, uint32_t) override {}
  void SetForegroundColor(Dc, uint32_t) override {}
  void DrawTextIn(Dc dc, const std::wstring& text, const Rect&, uint32_t) override {
    drawn.push_back({text, fontHeights_[dcs_[dc].font]});
  }
  IconHandle CreateIconFromBitmaps(Object, Object) override { return Make(Kind::kIcon); }
  // Icons go through WindowSystem::DestroyIcon, which forwards the ones made here.
  bool DestroyCreatedIcon(IconHandle icon) { return Release(icon, Kind::kIcon, false); }

  int Alive(Kind kind) const;
  int Created(Kind kind) const { return created_.count(kind) ? created_.at(kind) : 0; }
  int misuse = 0;
  struct Drawn {
    std::wstring text;
    int fontHeight;
  };
  std::vector<Drawn> drawn;

 private:
  // A new DC holds stock objects, which must be selected back before it goes.
  static inline void* const kStockFont = reinterpret_cast<void*>(0x10);
  static inline void* const kStockBitmap = reinterpret_cast<void*>(0x20);
  struct DcState {
    void* font = kStockFont;
    void* bitmap = kStockBitmap;
  };
  void* Make(Kind kind);
  Dc MakeDc(Kind kind);
  void ReleaseDc(Dc dc, Kind kind);
  bool Release(void* handle, Kind kind, bool counted = true);

  std::map<void*, Kind> alive_;
  std::map<Kind, int> created_;
  std::map<void*, DcState> dcs_;
  std::map<void*, int> fontHeights_;
  uintptr_t next_ = 0x900000;
};

}  // namespace velmora::fakes
