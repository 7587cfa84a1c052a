// Membership of the local Administrators group.
#pragma once

namespace velmora {

bool IsCurrentUserAdmin();

}  // namespace velmora
