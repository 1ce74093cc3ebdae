// The C ABI's handles: each one names a slot of this table by index, generation and kind,
// so a handle is checked before anything is touched. A destroyed handle (its slot's
// generation has moved on), a pointer the table never issued and a handle of another kind
// are told apart by status; none of them is ever dereferenced.
//
//   void* handle = HandleTable::shared().insert(HandleType::rewardedAd, wrapper);
//   auto found = HandleTable::shared().find(handle, HandleType::rewardedAd);
//   if (found.status != TILO_STATUS_OK) return found.status;
//   HandleTable::shared().remove(handle, HandleType::rewardedAd);   // twice is harmless
//
// `find` hands out a strong reference: an object destroyed by the host while one of its
// calls runs (from inside its own callback) lives until that call returns.
// Thread-safe; the objects' own calls are main-thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "tilo/tilo.h"

namespace tilo::bridge {

// One value per handle kind; the view kinds are reserved for their wrappers.
enum class HandleType : std::uint8_t {
  rewardedAd = 1,
  interstitialAd = 2,
  appOpenAd = 3,
  window = 4,
  viewController = 5,
  bannerView = 6,
  nativeView = 7,
  lineBannerView = 8,
  lightPopupAdLoader = 9,
  lightPopupAd = 10,
  nativeAdLoader = 11,
  nativeAd = 12,
};

// What a handle owns.
class HandleObject {
 public:
  virtual ~HandleObject() = default;
  // Called once when the host destroys the handle; after it no host callback may run.
  virtual void willDestroy() {}
};

class HandleTable {
 public:
  static HandleTable& shared();

  struct Found {
    tilo_status status = TILO_STATUS_INVALID_HANDLE;
    std::shared_ptr<HandleObject> object;
  };

  // A new handle for `object`; null only when every slot is taken.
  void* insert(HandleType type, std::shared_ptr<HandleObject> object);
  Found find(const void* handle, HandleType type) const;
  // Runs `visit` on the live object under the table's lock and hands out no reference:
  // for threads other than the main one, which must never be the last owner of an
  // object (its destructor would run there). `visit` must be short and call nothing back.
  tilo_status visit(const void* handle, HandleType type,
                    const std::function<void(HandleObject&)>& visit) const;
  // Ends the handle: later finds say TILO_STATUS_INVALID_HANDLE. Returns the object (for
  // willDestroy), null with the reason when the handle is not live or of another kind.
  Found remove(const void* handle, HandleType type);
  std::size_t liveCount() const;
  // Ends every handle at once (shutdown) and hands back their objects, in no particular
  // order. From then on every call says TILO_STATUS_SHUT_DOWN and insert makes no handle.
  std::vector<std::shared_ptr<HandleObject>> close();
  // Tests of one process only: open again (empty) after close().
  void reopenForTesting();

 private:
  struct Slot {
    std::uint32_t generation = 1;
    HandleType type{};
    std::shared_ptr<HandleObject> object;  // null: free
  };
  // Finds the live slot `handle` names, or why there is none (requires lock).
  const Slot* locate(const void* handle, HandleType type, tilo_status& status) const;

  mutable std::mutex mutex_;
  std::vector<Slot> slots_;
  std::vector<std::uint32_t> free_;
  bool closed_ = false;
};

}  // namespace tilo::bridge
