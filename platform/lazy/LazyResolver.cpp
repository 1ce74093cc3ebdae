// libtilo.so's side of the libraries it opens on first use (make_lazy_stubs.py writes the
// trampolines and tables): opening a library once, with every function the SDK takes from
// it, for a check or for a trampoline's first call. Only the shared library links this
// file; the static archive links the libraries directly and has no trampolines.
//
// A library is usable whole or not at all: opening it resolves every one of its symbols
// into its trampoline's slot in one step, so that an older copy that lacks one function is
// refused before anything calls into it, not halfway through a drawing.
#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>

#define TILO_LAZY_HIDDEN __attribute__((visibility("hidden")))

extern "C" {
extern TILO_LAZY_HIDDEN void* tilo_lazy_slots[];
extern TILO_LAZY_HIDDEN const char* const tilo_lazy_symbol_names[];
extern TILO_LAZY_HIDDEN const char* const tilo_lazy_library_names[];
extern TILO_LAZY_HIDDEN const unsigned char tilo_lazy_symbol_library[];
extern TILO_LAZY_HIDDEN const unsigned char tilo_lazy_library_feature[];
extern TILO_LAZY_HIDDEN const unsigned tilo_lazy_symbol_count;
extern TILO_LAZY_HIDDEN const unsigned tilo_lazy_library_count;
// Returns zero in every return register (LazyEnter_x86_64.S).
TILO_LAZY_HIDDEN void tilo_lazy_unavailable();
}

namespace {

constexpr unsigned kMaxLibraries = 32;  // as make_lazy_stubs.py allows

enum State : int { unopened = 0, usable = 1, unusable = 2 };

// Constant-initialized: loading libtilo.so runs nothing.
std::mutex openMutex;
std::atomic<int> states[kMaxLibraries];
char failures[kMaxLibraries][256];  // written once, under openMutex, before `unusable`
bool reported[kMaxLibraries];       // under openMutex

// Opens library `index` once and fills the slot of every symbol it stands for; whether it
// is usable. An unusable one keeps the loader's reason, or the symbol it lacks, in
// failures[index].
bool open(unsigned index) {
  const int state = states[index].load(std::memory_order_acquire);
  if (state != unopened) return state == usable;
  std::lock_guard lock(openMutex);
  if (const int again = states[index].load(std::memory_order_relaxed); again != unopened) {
    return again == usable;
  }
  void* handle = ::dlopen(tilo_lazy_library_names[index], RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = ::dlerror();
    std::snprintf(failures[index], sizeof failures[index], "%s", reason ? reason : "not found");
    states[index].store(unusable, std::memory_order_release);
    return false;
  }
  // Everything first, then the slots: no trampoline reaches a library that turns out to
  // lack a later symbol.
  for (unsigned i = 0; i < tilo_lazy_symbol_count; ++i) {
    if (tilo_lazy_symbol_library[i] != index) continue;
    if (!::dlsym(handle, tilo_lazy_symbol_names[i])) {
      std::snprintf(failures[index], sizeof failures[index],
                    "it has no %s: an older version than the SDK needs", tilo_lazy_symbol_names[i]);
      ::dlclose(handle);
      states[index].store(unusable, std::memory_order_release);
      return false;
    }
  }
  for (unsigned i = 0; i < tilo_lazy_symbol_count; ++i) {
    if (tilo_lazy_symbol_library[i] != index) continue;
    __atomic_store_n(&tilo_lazy_slots[i], ::dlsym(handle, tilo_lazy_symbol_names[i]),
                     __ATOMIC_RELEASE);
  }
  states[index].store(usable, std::memory_order_release);
  return true;
}

}  // namespace

// Whether every library of `feature` (the generator's numbering: 0 graphics, 1 network,
// 2 security) can be used; when one cannot, `library` gets its soname and `reason` why.
extern "C" TILO_LAZY_HIDDEN int tilo_lazy_require_feature(unsigned feature, char* library,
                                                          std::size_t libraryCapacity, char* reason,
                                                          std::size_t reasonCapacity) {
  for (unsigned index = 0; index < tilo_lazy_library_count; ++index) {
    if (tilo_lazy_library_feature[index] != feature || open(index)) continue;
    std::snprintf(library, libraryCapacity, "%s", tilo_lazy_library_names[index]);
    std::snprintf(reason, reasonCapacity, "%s", failures[index]);
    return 0;
  }
  return 1;
}

// A trampoline's first call (from tilo_lazy_enter) into a library nothing checked before:
// opening it fills the slot. A library that cannot be used must not end the host, and the
// caller has no way to hear an error: the call returns zero (a null pointer, 0, 0.0), which
// the libraries' own APIs treat as a failure, and one error line says which library.
// The SDK checks its libraries before the calls that need them, so this is a last guard.
extern "C" TILO_LAZY_HIDDEN void* tilo_lazy_resolve(unsigned index) {
  const unsigned library = tilo_lazy_symbol_library[index];
  if (open(library)) return __atomic_load_n(&tilo_lazy_slots[index], __ATOMIC_ACQUIRE);
  std::lock_guard lock(openMutex);
  if (!reported[library]) {
    reported[library] = true;
    std::fprintf(stderr, "[TILO] ERROR %s cannot be loaded (%s): calls into it do nothing\n",
                 tilo_lazy_library_names[library], failures[library]);
    std::fflush(stderr);
  }
  void* fallback = reinterpret_cast<void*>(&tilo_lazy_unavailable);
  __atomic_store_n(&tilo_lazy_slots[index], fallback, __ATOMIC_RELEASE);
  return fallback;
}
