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

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/DispatchQueue.h"
#include "platform/Json.h"

namespace tilo {

// <caches directory>/TiloMarkersCache for the current application container.
std::filesystem::path markersDirectory();
// "com.tilo.crashmarker.fileio", utility priority, created once.
platform::SerialQueue& crashMarkerFileQueue();

// Content of the named file in the markers folder; nullopt when missing or unreadable:
// a link, a FIFO, a folder or a file over FileSystem::kMaxReadSize is not read.
// `errorCode` gets the errno value of a failure (ENOENT when nothing is there), else 0.
std::optional<std::string> readMarkerFile(std::string_view name, int* errorCode = nullptr);
// readMarkerFile for a file read at every marker (the lifecycle file): while fstatat finds
// it as it was when last read (device, inode, size, modification and change times) and
// nothing here wrote or removed it since, the text read then, without opening it again.
// After the folder was deleted under the queue it reads as missing, as nothing recreated
// it here: this process's writes reopen the folder.
std::optional<std::string> readKeptMarkerFile(std::string_view name);
// The record of type T (AdLoadTracker, AppLifecycleEvent, CrashMarkerInfo, SdkConfig) in a
// marker file's text; nullopt when it does not decode, whatever the JSON library throws.
template <class T>
std::optional<T> decodeMarkerFile(std::string_view text) {
  try {
    return T::decode(platform::parseJson(text));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// Writes atomically, creating the folder the first time for each container (and again
// if it disappeared); a folder in the way is removed. No fsync: a marker must survive a
// crash of the process, not a power loss.
bool writeMarkerFile(std::string_view name, std::string_view bytes);
// Removes whatever is under the name, folders included. A missing file is not an error.
void removeMarkerFile(std::string_view name);

// A writer killed between creating its temporary and renaming it leaves the temporary
// behind; ten minutes is far beyond any write of these small files, so an older one is
// stale even when its pid now names another live process.
inline constexpr double kStaleTemporaryAgeSeconds = 600;
// Deletes such temporaries in the markers folder (FileSystem::removeStaleTemporaries).
std::size_t removeStaleMarkerTemporaries();

// Closes the markers folder held open and drops the kept file (the SDK's shutdown, once
// the I/O queue's threads are joined); the next operation opens and reads them again.
void closeMarkerFolder();

}  // namespace tilo
