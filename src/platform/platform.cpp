#include "platform/platform.h"

namespace velmora {
namespace {
Platform g_platform;
}

void InstallPlatform(const Platform& platform) { g_platform = platform; }
const Platform& GetPlatform() { return g_platform; }

}  // namespace velmora
