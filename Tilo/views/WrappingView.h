// Puts a fresh platform media view inside a host's media container, filling it: any
// media view an earlier binding left there is removed first. The container keeps the
// host's size and position: one placed by its frame keeps that frame through
// constraints.
#pragma once

#include <memory>

#include "mediation/GADMediaView.h"
#include "platform/ui/UIView.h"

namespace tilo {

struct WrappingView {
  std::shared_ptr<mediation::GADMediaView> mediaView;

  static WrappingView wrap(const std::shared_ptr<platform::UIView>& mediaContentView);
};

}  // namespace tilo
