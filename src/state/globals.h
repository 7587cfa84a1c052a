// Process-wide state shared between the main thread and the worker threads. Each value is a
// 32-bit word written without locks; atomics with relaxed ordering make that sharing defined.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/types.h"

namespace velmora {

enum ElevationKind : int32_t {
  KindAtLogin = 0,
  KindPeriod = 1,
  KindDays = 2,
  KindResumed = 3,
  KindNone = 4,
  KindShellHook = 5,
};

enum NotifyKind : int32_t {
  NotifyStarted = 1,
  NotifyExpired = 2,
  NotifyForbidden = 3,
  NotifyAlreadyMember = 4,
  NotifyAlreadyMemberTimeLeft = 5,
  NotifyServiceNotRunning = 6,
  NotifyElevatedAtLogin = 7,
  NotifyCannotElevateAD = 8,
};

extern std::atomic<Hwnd> g_hMainWnd;
extern std::atomic<int32_t> g_nElevationKind;
extern std::atomic<int32_t> g_bShellHookElevation;
// The session is really ending and the service was asked to end the elevation now: its expiry
// must leave "timerEnd" for the next start to resume.
extern std::atomic<int32_t> g_bSessionEnding;
extern std::atomic<int32_t> g_bReasonDlgOpen;
extern std::atomic<int32_t> g_bManualElevationDisabled;
extern std::atomic<int32_t> g_bADUserValid;
extern std::atomic<int32_t> g_bADUserGroupValid;

inline int32_t Load(const std::atomic<int32_t>& v) { return v.load(std::memory_order_relaxed); }
inline void Store(std::atomic<int32_t>& v, int32_t x) { v.store(x, std::memory_order_relaxed); }

// Back to the values a new process starts with; for tests.
void ResetGlobals();

}  // namespace velmora
