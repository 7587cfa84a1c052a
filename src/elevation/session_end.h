// What the end of the user's session does to a running elevation.
#pragma once

#include <cstdint>

namespace velmora {

// WM_ENDSESSION: signals the service's emergency event when "Resuscitate" says so for this
// kind of session end (lParam's ENDSESSION_LOGOFF bit tells a log-off).
void OnEndSessionResuscitate(intptr_t lParam);

}  // namespace velmora
