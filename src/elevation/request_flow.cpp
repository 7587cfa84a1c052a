#include "elevation/request_flow.h"

namespace velmora {

// Requests are not sent yet.
void AddUserToAdmin(ElevationKind, uint32_t) {}

}  // namespace velmora
