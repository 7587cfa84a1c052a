// Counts every GDI object and icon by kind, created and destroyed, so that tests can assert
// that a drawing leaves nothing behind.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/gdi.h"

namespace velmora::fakes {

class FakeGdi : public Gdi {
 public:
  enum class Kind { kWindowDc, kMemoryDc, kBitmap, kFont, kIcon };

  Dc GetWindowDc(Hwnd window) override;
  void ReleaseWindowDc(Hwnd window, Dc dc) override;
  Dc CreateMemoryDc(Dc compatibleWith) override;
  void DeleteMemoryDc(Dc dc) override;
  Object CreateBitmap(Dc compatibleWith, int width, int height) override;
  Object CreateTextFont(int height, int weight, uint8_t quality, uint8_t charset,
                        const std::wstring& face) override;
  Object Select(Dc dc, Object object) override;
  void DeleteGdiObject(Object object) override;
  void FillWhite(Dc dc, const Rect& rect) override;
  void FillBlack(Dc dc, const Rect& rect) override;
  void SetBackgroundColor(Dc dc, uint32_t rgb) override;
  void SetForegroundColor(Dc dc, uint32_t rgb) override;
  void DrawTextIn(Dc dc, const std::wstring& text, const Rect& rect, uint32_t format) override;
  IconHandle CreateIconFromBitmaps(Object mask, Object color) override;
  // Icons are destroyed through WindowSystem::DestroyIcon; the fake window system forwards
  // the icons made here.
  bool DestroyCreatedIcon(IconHandle icon);

  int Alive(Kind kind) const;
  int Created(Kind kind) const;
  // Objects deleted while still selected into a DC, deletes of unknown handles.
  int misuse() const { return misuse_; }

  struct Drawn {
    std::wstring text;
    int fontHeight;
    uint32_t format;
    uint32_t textColor;
    uint32_t backColor;
  };
  const std::vector<Drawn>& drawn() const { return drawn_; }
  struct FontMade {
    int weight;
    uint8_t quality;
    std::wstring face;
  };
  const std::vector<FontMade>& fonts() const { return fonts_; }

 private:
  void* Make(Kind kind);
  bool Release(void* handle, Kind kind);

  // A new DC holds the stock font and a stock 1×1 bitmap, as on Windows: what a first
  // SelectObject hands back and what must be selected again before the DC goes.
  static inline void* const kStockFont = reinterpret_cast<void*>(0x10);
  static inline void* const kStockBitmap = reinterpret_cast<void*>(0x20);

  struct DcState {
    void* font = kStockFont;
    void* bitmap = kStockBitmap;
    uint32_t text = 0;
    uint32_t back = 0xFFFFFF;
  };

  std::map<void*, Kind> alive_;
  std::map<Kind, int> created_;
  std::map<void*, DcState> dcs_;
  std::map<void*, int> fontHeights_;
  std::vector<Drawn> drawn_;
  std::vector<FontMade> fonts_;
  uintptr_t next_ = 0x900000;
  int misuse_ = 0;
};

}  // namespace velmora::fakes
