#include "bench/support/BenchSdk.h"

#include <stdlib.h>

#include <cstdint>
#include <optional>
#include <span>

#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/KeyCrypto.h"
#include "Tilo/entry/TiloAds.h"
#include "platform/AppContainer.h"
#include "platform/Bundle.h"
#include "platform/FileSystem.h"
#include "platform/MainLoop.h"
#include "platform/PlistValue.h"
#include "platform/ui/NSLayoutConstraint.h"
#include "platform/ui/UIWindow.h"
#include "tools/devserver/DevServer.h"

namespace tilo::bench {

namespace {
constexpr double kInitializeTimeout = 10;
}

std::filesystem::path makeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tilo-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) std::abort();
  return pattern;
}

void writeBundle(const std::filesystem::path& bundle, const std::string& configJson) {
  platform::FileSystem::atomicWrite(
      bundle / "Info.plist",
      platform::PlistValue(platform::PlistValue::Dictionary{
                               {"TiloAppKey", kAppKey}, {"CFBundleIdentifier", "com.tilo.bench"}})
          .toXml());
  auto sealed = encryptPayload(
      kAppKey,
      std::span(reinterpret_cast<const std::uint8_t*>(configJson.data()), configJson.size()));
  if (!sealed) std::abort();
  platform::FileSystem::atomicWrite(bundle / "ios-tilo-key.txt", *sealed);
}

LoopbackSdk::LoopbackSdk(const std::string& appInfoJson,
                         const std::function<void()>& beforeInitialize) {
  writeBundle(bundle_);
  devserver::DevServerOptions options;
  options.appKey = kAppKey;
  options.appInfoJson = appInfoJson;
  std::string error;
  server_ = devserver::DevServer::start(options, &error);
  if (!server_) std::abort();
  platform::Bundle::setMainBundleDirectory(bundle_);
  platform::AppContainer::setPath(container_);
  setApiBaseUrlOverride(server_->baseUrl());
  if (beforeInitialize) beforeInitialize();
  bool done = false;
  TiloAds::shared()->initialized([&](std::optional<TiloError> failure) {
    if (failure) std::abort();
    done = true;
  });
  if (!platform::MainLoop::shared()->runUntil([&] { return done; }, kInitializeTimeout)) {
    std::abort();
  }
}

LoopbackSdk::~LoopbackSdk() {
  server_->stop();
  std::filesystem::remove_all(bundle_);
  std::filesystem::remove_all(container_);
}

std::shared_ptr<platform::UIWindow> makePhoneWindow() {
  return platform::UIWindow::create({390, 844}, 3, {47, 0, 34, 0});
}

void placeAtBottom(const std::shared_ptr<platform::UIWindow>& window,
                   const std::shared_ptr<platform::UIView>& view) {
  window->addSubview(view);
  view->setTranslatesAutoresizingMaskIntoConstraints(false);
  platform::NSLayoutConstraint::activateConstraints(
      {view->centerXAnchor().constraintEqualToAnchor(window->centerXAnchor()),
       view->bottomAnchor().constraintEqualToAnchor(
           window->safeAreaLayoutGuide()->bottomAnchor())});
  window->layoutIfNeeded();
}

}  // namespace tilo::bench
