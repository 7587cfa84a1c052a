// Counts every GDI object and icon by kind, created and alive, and every misuse: deleting an
// object still selected, a DC that goes with our objects selected, a handle of the wrong kind.
// A drawing that leaves anything behind fails its test.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/gdi.h"

namespace velmora::fakes {

class FakeGdi : public Gdi {
 public:
  enum class Kind { kDc, kBitmap, kFont, kIcon, kStockFont, kStockBitmap };

  Dc GetWindowDc(Hwnd) override { return MakeDc(); }
  void ReleaseWindowDc(Hwnd, Dc dc) override { DeleteMemoryDc(dc); }
  Dc CreateMemoryDc(Dc) override { return MakeDc(); }
  void DeleteMemoryDc(Dc dc) override;
  Object CreateBitmap(Dc, int, int) override { return Make(Kind::kBitmap); }
  Object CreateTextFont(int height, int, uint8_t, uint8_t, const std::wstring&) override {
    Object font = Make(Kind::kFont);
    fontHeights_[font] = height;
    return font;
  }
  Object Select(Dc dc, Object object) override;
  void DeleteGdiObject(Object object) override;
  void FillWhite(Dc, const Rect&) override {}
  void FillBlack(Dc, const Rect&) override {}
  void SetBackgroundColor(Dc dc, uint32_t rgb) override { colors[dc].second = rgb; }
  void SetForegroundColor(Dc dc, uint32_t rgb) override { colors[dc].first = rgb; }
  void DrawTextIn(Dc dc, const std::wstring& text, const Rect&, uint32_t) override {
    drawn.push_back({text, fontHeights_[selected_[dc][Kind::kFont]]});
  }
  IconHandle CreateIconFromBitmaps(Object, Object) override { return Make(Kind::kIcon); }
  Object StockWhiteBrush() override { return &whiteBrush_; }
  // Icons go through WindowSystem::DestroyIcon, which forwards the ones made here.
  bool DestroyCreatedIcon(IconHandle icon) { return Release(icon, Kind::kIcon); }

  int Alive(Kind kind) const;
  int Created(Kind kind) const { return created_.count(kind) ? created_.at(kind) : 0; }
  int misuse = 0;
  struct Drawn {
    std::wstring text;
    int fontHeight;
  };
  std::vector<Drawn> drawn;
  std::map<Dc, std::pair<uint32_t, uint32_t>> colors;  // (text, background) set on a DC

 private:
  void* Make(Kind kind);
  Dc MakeDc();
  bool Release(void* handle, Kind kind);

  std::map<void*, Kind> alive_;
  std::map<Kind, int> created_;
  std::map<Dc, std::map<Kind, Object>> selected_;  // by kFont and kBitmap
  std::map<void*, int> fontHeights_;
  char whiteBrush_ = 0;
  uintptr_t next_ = 0x900000;
};

}  // namespace velmora::fakes
