#include "mediation/demand/DemandActivity.h"

#include "platform/Environment.h"

namespace tilo::mediation::demand {

void DemandActivity::end() {
  --count();
  platform::postBackground([] {});
}

}  // namespace tilo::mediation::demand
