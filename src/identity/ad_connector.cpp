#include "identity/ad_connector.h"

namespace velmora {

// Directory checks are not wired yet: the verdicts stay valid and no thread is started.
void StartADConnector() {}

}  // namespace velmora
