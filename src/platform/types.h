// Opaque handle and message types shared by the seam; the Win32 side casts its real handles
// to these, the fakes hand out unique non-null values.
#pragma once

#include <cstdint>

namespace velmora {

using Handle = void*;     // kernel object (event, mutex, file mapping)
using Hwnd = void*;       // window
using IconHandle = void*;  // created icon

// Values that cross the seam keep their Windows meaning so that logic and tests speak the same
// numbers as the real API.
namespace win {
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorAlreadyExists = 183;

constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitTimeout = 258;
constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;

// Message box styles and results.
constexpr uint32_t kMbOk = 0x0;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr int kIdOk = 1;
}  // namespace win

}  // namespace velmora
