// Deciding whether an elevation request may be made and sending it to the service.
#pragma once

#include <cstdint>

#include "app/globals.h"

namespace velmora {

void AddUserToAdmin(ElevationKind kind, uint32_t seconds);

}  // namespace velmora
