// How often and how late a view retries a failed load. Every view uses the defaults.
#pragma once

namespace tilo {

struct AdRetryPolicy {
  int maxRequestRetryCount = 10;
  double baseDelay = 1.0;  // seconds
  double maxDelay = 60.0;  // seconds
};

}  // namespace tilo
