// libtilo.so's side of the libraries it opens on first use (make_lazy_stubs.py writes the
// trampolines and tables): opening a library once, for a check or for a trampoline's first
// call, and resolving that call. Only the shared library links this file; the static
// archive links the libraries directly and has no trampolines.
#include <dlfcn.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#define TILO_LAZY_HIDDEN __attribute__((visibility("hidden")))

extern "C" {
extern TILO_LAZY_HIDDEN void* tilo_lazy_slots[];
extern TILO_LAZY_HIDDEN const char* const tilo_lazy_symbol_names[];
extern TILO_LAZY_HIDDEN const char* const tilo_lazy_library_names[];
extern TILO_LAZY_HIDDEN const unsigned char tilo_lazy_symbol_library[];
extern TILO_LAZY_HIDDEN const unsigned tilo_lazy_symbol_count;
extern TILO_LAZY_HIDDEN const unsigned tilo_lazy_library_count;
}

namespace {

constexpr unsigned kMaxLibraries = 32;  // as make_lazy_stubs.py allows

// Constant-initialized: loading libtilo.so runs nothing.
std::mutex openMutex;
std::atomic<void*> handles[kMaxLibraries];
bool failed[kMaxLibraries];
char failures[kMaxLibraries][256];

// The handle of library `index`, opening it once; null, with the loader's reason in
// failures[index], when it cannot be opened.
void* open(unsigned index) {
  if (void* handle = handles[index].load(std::memory_order_acquire)) return handle;
  std::lock_guard lock(openMutex);
  if (void* handle = handles[index].load(std::memory_order_relaxed)) return handle;
  if (failed[index]) return nullptr;
  void* handle = ::dlopen(tilo_lazy_library_names[index], RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = ::dlerror();
    std::snprintf(failures[index], sizeof failures[index], "%s", reason ? reason : "not found");
    failed[index] = true;
    return nullptr;
  }
  handles[index].store(handle, std::memory_order_release);
  return handle;
}

}  // namespace

// Whether the library that defines `symbol` can be used; when not, `library` gets its
// soname and `reason` the loader's words. A symbol no trampoline stands for is linked.
extern "C" TILO_LAZY_HIDDEN int tilo_lazy_require(const char* symbol, char* library,
                                                  std::size_t libraryCapacity, char* reason,
                                                  std::size_t reasonCapacity) {
  for (unsigned i = 0; i < tilo_lazy_symbol_count; ++i) {
    if (std::strcmp(tilo_lazy_symbol_names[i], symbol) != 0) continue;
    const unsigned index = tilo_lazy_symbol_library[i];
    if (open(index)) return 1;
    std::lock_guard lock(openMutex);
    std::snprintf(library, libraryCapacity, "%s", tilo_lazy_library_names[index]);
    std::snprintf(reason, reasonCapacity, "%s", failures[index]);
    return 0;
  }
  return 1;
}

// A trampoline's first call (from tilo_lazy_enter): the address of its symbol, stored in
// its slot so that later calls go straight there. The caller expects the function to run
// and has no way to hear an error, so a library that cannot be opened ends the process
// here; the SDK checks its libraries before the calls that need them, so that a missing
// one is reported to the host instead.
extern "C" TILO_LAZY_HIDDEN void* tilo_lazy_resolve(unsigned index) {
  const unsigned library = tilo_lazy_symbol_library[index];
  void* handle = open(library);
  void* address = handle ? ::dlsym(handle, tilo_lazy_symbol_names[index]) : nullptr;
  if (!address) {
    std::fprintf(stderr, "[TILO] ERROR cannot call %s: %s (%s): install %s\n",
                 tilo_lazy_symbol_names[index], tilo_lazy_library_names[library],
                 handle ? "the symbol is missing" : failures[library],
                 tilo_lazy_library_names[library]);
    std::fflush(stderr);
    std::abort();
  }
  __atomic_store_n(&tilo_lazy_slots[index], address, __ATOMIC_RELEASE);
  return address;
}
