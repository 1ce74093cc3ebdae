// The folder and the serial I/O queue shared by crash markers, the ad-load tracker, the
// lifecycle file and the cached "sdkConfig.json".
//
//   crashMarkerFileQueue().sync([&] {
//     writeMarkerFile("tilo_lifecycle.json", text);   // atomic: temporary file + rename
//   });
//
// Every read, write and delete of these files runs synchronously on that queue, so a
// read-modify-write by one caller never interleaves with another. Failures are silent:
// telemetry degrades to reporting nothing.
//
// Warning: the file functions below must run on crashMarkerFileQueue().
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/DispatchQueue.h"

namespace tilo {

// <caches directory>/TiloMarkersCache for the current application container.
std::filesystem::path markersDirectory();
// "com.tilo.crashmarker.fileio", utility priority, created once.
platform::SerialQueue& crashMarkerFileQueue();

// Content of the named file in the markers folder; nullopt when missing or unreadable.
std::optional<std::string> readMarkerFile(std::string_view name);
// Writes atomically, creating the folder the first time for each container (and again
// if it disappeared). No fsync: a marker must survive a crash of the process, not a
// power loss.
bool writeMarkerFile(std::string_view name, std::string_view bytes);
// A missing file is not an error.
void removeMarkerFile(std::string_view name);

}  // namespace tilo
