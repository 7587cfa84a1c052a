#include "identity/local_groups.h"

namespace velmora {

// Group reads are not wired yet: the user counts as not a member.
bool IsCurrentUserAdmin() { return false; }

}  // namespace velmora
