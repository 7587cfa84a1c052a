// What the program entry hands over to once the real platform is installed. Declared here so
// that the Win32 side needs nothing from the layers above it; the application defines it.
#pragma once

namespace velmora {

// The whole life of the process after the platform is installed; answers the exit code.
int TrayMain();

}  // namespace velmora
