// Work that only a host with a window needs, such as decoding pictures ahead of a first ad,
// waits for the first window instead of loading the graphics stack into every host:
//
//   whenAWindowExists([] { background->post(decodePictures); });
#pragma once

#include <functional>

namespace tilo::platform {

// Runs `task` now when a window was made already, else once the first one is made, on the
// thread that makes it.
void whenAWindowExists(std::function<void()> task);
// UIWindow::create's part.
void noteWindowCreated();
// Test hook: as if no window had been made yet (what waits is dropped).
void forgetWindowsForTesting();

}  // namespace tilo::platform
