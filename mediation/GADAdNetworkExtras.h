// Network-specific parameters attached to one ad request.
#pragma once

#include <string>

namespace tilo::mediation {

class GADAdNetworkExtras {
 public:
  virtual ~GADAdNetworkExtras() = default;
  // The extras' kind; a request holds at most one extras object of each kind.
  virtual std::string className() const = 0;
  // The parameters as "key=value" pairs, for request records and debug output.
  virtual std::string description() const = 0;
};

}  // namespace tilo::mediation
