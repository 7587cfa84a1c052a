#include "state/globals.h"

namespace velmora {

std::atomic<Hwnd> g_hMainWnd{nullptr};
std::atomic<int32_t> g_nElevationKind{KindNone};
std::atomic<int32_t> g_bShellHookElevation{0};
std::atomic<int32_t> g_bSessionEnding{0};
std::atomic<int32_t> g_bReasonDlgOpen{0};
std::atomic<int32_t> g_bManualElevationDisabled{0};
std::atomic<int32_t> g_bADUserValid{0};
std::atomic<int32_t> g_bADUserGroupValid{0};

void ResetGlobals() {
  g_hMainWnd.store(nullptr, std::memory_order_relaxed);
  Store(g_nElevationKind, KindNone);
  Store(g_bShellHookElevation, 0);
  Store(g_bSessionEnding, 0);
  Store(g_bReasonDlgOpen, 0);
  Store(g_bManualElevationDisabled, 0);
  Store(g_bADUserValid, 0);
  Store(g_bADUserGroupValid, 0);
}

}  // namespace velmora
