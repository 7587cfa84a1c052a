// The directory connector: cached verdicts, refreshed on a schedule by its own thread.
#pragma once

namespace velmora {

void StartADConnector();

}  // namespace velmora
