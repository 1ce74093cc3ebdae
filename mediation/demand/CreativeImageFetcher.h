// Downloads one creative picture of a bid: a GET through the platform's HTTP client with
// its body cap (kDefaultMaxResponseBytes), then the checks of CreativeImage. A redirect is
// followed only to the same scheme, host and port, at most kMaxRedirects times: a picture
// that leads elsewhere is refused, as is any answer but 200.
//
//   CreativeImageFetcher::fetch(url, [](std::shared_ptr<UIImage> image, std::string problem) {
//     ...  // a background task of the environment
//   });
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/UIImage.h"

namespace tilo::mediation::demand {

class CreativeImageFetcher {
 public:
  static constexpr int kMaxRedirects = 3;
  static constexpr double kTimeoutSeconds = 10;

  using Completion = std::function<void(std::shared_ptr<platform::UIImage>, std::string problem)>;
  // Completes exactly once, as a background task.
  static void fetch(const std::string& url, Completion done);
};

}  // namespace tilo::mediation::demand
