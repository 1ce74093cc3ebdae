// What the host passes when it creates an ad object.
#pragma once

#include <optional>
#include <string>

namespace tilo {

struct TiloAdUnit {
  std::string unitId;                                   // the backend's tiloAdUnitId
  std::optional<std::string> placement = std::nullopt;  // host-defined, optional
};

}  // namespace tilo
