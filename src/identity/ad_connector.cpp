#include "identity/ad_connector.h"

namespace velmora {

// No directory check is made: the verdicts stay valid and no thread is started.
void StartADConnector() {}

}  // namespace velmora
