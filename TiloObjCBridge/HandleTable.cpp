#include "TiloObjCBridge/HandleTable.h"

namespace tilo::bridge {
namespace {

// A handle's bits: generation (32) | kind (8) | slot index (24). The generation starts at
// 1, so no handle is null, and moves on when the slot is freed.
static_assert(sizeof(void*) == 8, "handles pack 64 bits into a pointer");
constexpr std::uint64_t kIndexBits = 24;
constexpr std::uint64_t kMaxSlots = std::uint64_t{1} << kIndexBits;

void* encode(std::uint32_t generation, HandleType type, std::uint32_t index) {
  const std::uint64_t bits = (std::uint64_t{generation} << 32) |
                             (std::uint64_t{static_cast<std::uint8_t>(type)} << kIndexBits) | index;
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(bits));
}

}  // namespace

HandleTable& HandleTable::shared() {
  static HandleTable* table = new HandleTable();  // outlives every static destructor
  return *table;
}

void* HandleTable::insert(HandleType type, std::shared_ptr<HandleObject> object) {
  std::lock_guard lock(mutex_);
  if (closed_) return nullptr;
  std::uint32_t index;
  if (!free_.empty()) {
    index = free_.back();
    free_.pop_back();
  } else {
    if (slots_.size() >= kMaxSlots) return nullptr;
    index = static_cast<std::uint32_t>(slots_.size());
    slots_.emplace_back();
  }
  Slot& slot = slots_[index];
  slot.type = type;
  slot.object = std::move(object);
  return encode(slot.generation, type, index);
}

const HandleTable::Slot* HandleTable::locate(const void* handle, HandleType type,
                                             tilo_status& status) const {
  status = closed_ ? TILO_STATUS_SHUT_DOWN : TILO_STATUS_INVALID_HANDLE;
  if (closed_) return nullptr;
  const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
  const auto index = static_cast<std::uint32_t>(bits & (kMaxSlots - 1));
  const auto encodedType = static_cast<std::uint8_t>((bits >> kIndexBits) & 0xff);
  const auto generation = static_cast<std::uint32_t>(bits >> 32);
  if (index >= slots_.size()) return nullptr;
  const Slot& slot = slots_[index];
  if (!slot.object || slot.generation != generation ||
      static_cast<std::uint8_t>(slot.type) != encodedType) {
    return nullptr;
  }
  if (slot.type != type) {
    status = TILO_STATUS_WRONG_HANDLE_TYPE;
    return nullptr;
  }
  status = TILO_STATUS_OK;
  return &slot;
}

HandleTable::Found HandleTable::find(const void* handle, HandleType type) const {
  std::lock_guard lock(mutex_);
  Found found;
  if (const Slot* slot = locate(handle, type, found.status)) found.object = slot->object;
  return found;
}

tilo_status HandleTable::visit(const void* handle, HandleType type,
                               const std::function<void(HandleObject&)>& visit) const {
  std::lock_guard lock(mutex_);
  tilo_status status;
  if (const Slot* slot = locate(handle, type, status)) visit(*slot->object);
  return status;
}

HandleTable::Found HandleTable::remove(const void* handle, HandleType type) {
  std::lock_guard lock(mutex_);
  Found found;
  const Slot* located = locate(handle, type, found.status);
  if (!located) return found;
  Slot& slot = const_cast<Slot&>(*located);
  found.object = std::move(slot.object);
  slot.object = nullptr;
  if (++slot.generation == 0) slot.generation = 1;
  free_.push_back(static_cast<std::uint32_t>(&slot - slots_.data()));
  return found;
}

std::vector<std::shared_ptr<HandleObject>> HandleTable::close() {
  std::lock_guard lock(mutex_);
  closed_ = true;
  std::vector<std::shared_ptr<HandleObject>> objects;
  for (Slot& slot : slots_) {
    if (slot.object) objects.push_back(std::move(slot.object));
  }
  slots_.clear();
  free_.clear();
  return objects;
}

void HandleTable::reopenForTesting() {
  std::lock_guard lock(mutex_);
  closed_ = false;
}

std::size_t HandleTable::liveCount() const {
  std::lock_guard lock(mutex_);
  return slots_.size() - free_.size();
}

}  // namespace tilo::bridge
