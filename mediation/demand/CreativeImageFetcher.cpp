#include "mediation/demand/CreativeImageFetcher.h"

#include <optional>
#include <utility>

#include "mediation/CreativeImage.h"
#include "mediation/demand/DemandActivity.h"
#include "platform/Environment.h"
#include "platform/HttpClient.h"
#include "platform/Url.h"

namespace tilo::mediation::demand {
namespace {

// Where a redirect leads: an absolute URL, or a path on the same server.
std::optional<platform::Url> redirectTarget(const platform::Url& from,
                                            const std::string& location) {
  if (!location.empty() && location.front() == '/' && location.rfind("//", 0) != 0) {
    auto target = from;
    target.rest = location;
    const std::string text = target.scheme + "://" + target.host +
                             (target.port.empty() ? "" : ":" + target.port) + location;
    return platform::Url::parse(text) ? std::optional(target) : std::nullopt;
  }
  return platform::Url::parse(location);
}

std::string textOf(const platform::Url& url) {
  return url.scheme + "://" + url.host + (url.port.empty() ? "" : ":" + url.port) + url.rest;
}

void get(platform::Url url, std::string shown, int redirects,
         CreativeImageFetcher::Completion done) {
  platform::HttpRequest request;
  request.url = textOf(url);
  request.timeoutSeconds = CreativeImageFetcher::kTimeoutSeconds;
  DemandActivity::begin();
  platform::HttpClient::shared()->send(
      std::move(request), [url = std::move(url), shown = std::move(shown), redirects,
                           done = std::move(done)](platform::HttpResult result) mutable {
        platform::postBackground([url = std::move(url), shown = std::move(shown), redirects,
                                  done = std::move(done), result = std::move(result)]() mutable {
          auto finish = [&](std::shared_ptr<platform::UIImage> image, std::string problem) {
            done(std::move(image), std::move(problem));
            DemandActivity::end();
          };
          if (const auto* error = std::get_if<platform::UrlError>(&result)) {
            return finish(nullptr,
                          "image " + shown + " did not download: " + error->localizedDescription);
          }
          auto& response = std::get<platform::HttpResponse>(result);
          if (response.status >= 300 && response.status < 400) {
            const auto location = response.header("Location");
            const auto target = location ? redirectTarget(url, *location) : std::nullopt;
            if (!target || !target->sameOrigin(url)) {
              return finish(nullptr, "image " + shown + " redirects to another server");
            }
            if (redirects >= CreativeImageFetcher::kMaxRedirects) {
              return finish(nullptr, "image " + shown + " redirects more than " +
                                         std::to_string(CreativeImageFetcher::kMaxRedirects) +
                                         " times");
            }
            get(*target, std::move(shown), redirects + 1, std::move(done));
            return DemandActivity::end();
          }
          if (response.status != 200) {
            return finish(nullptr,
                          "image " + shown + " answered HTTP " + std::to_string(response.status));
          }
          std::string problem;
          auto image =
              CreativeImage::fromBytes(platform::Bytes(response.body.begin(), response.body.end()),
                                       "image " + shown, &problem);
          finish(std::move(image), std::move(problem));
        });
      });
}

}  // namespace

void CreativeImageFetcher::fetch(const std::string& url, Completion done) {
  auto parsed = platform::Url::parse(url);
  if (!parsed) {
    platform::postBackground([done = std::move(done), url] {
      done(nullptr, "image " + url + " is not an http(s) URL");
    });
    return;
  }
  get(std::move(*parsed), url, 0, std::move(done));
}

}  // namespace tilo::mediation::demand
