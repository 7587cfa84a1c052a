// What the end of the user's session does to a running elevation.
#pragma once

#include <cstdint>

namespace velmora {

// WM_ENDSESSION: signals the service's emergency event when "Resuscitate" says so for this
// kind of session end (lParam's ENDSESSION_LOGOFF bit tells a log-off). When the session
// really ends (wParam non-zero) the expiry that answers keeps "timerEnd", so that the next start
// resumes the rest of the elevation; after a cancelled end it is an ordinary expiry.
void OnEndSessionResuscitate(uintptr_t wParam, intptr_t lParam);

}  // namespace velmora
