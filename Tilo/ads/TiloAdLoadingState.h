// Where a view's load stands, in the order a load moves through them.
#pragma once

namespace tilo {

enum class TiloAdLoadingState {
  idle,           // no loader yet, and none being made (or making one failed)
  syncRequested,  // the loader is being made
  synced,         // the loader exists; no load in flight
  requested,      // a load is in flight
  received,       // the last load succeeded
};

}  // namespace tilo
