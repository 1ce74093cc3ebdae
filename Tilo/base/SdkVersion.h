// The version this build reports to the backend and in analytics.
#pragma once

namespace tilo {

inline constexpr const char* kSdkVersion = "1.1.44-beta";

}  // namespace tilo
