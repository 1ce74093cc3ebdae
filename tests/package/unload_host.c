// A plugin host: loads libtilo.so with dlopen, uses it, shuts it down and unloads it; no
// thread it started (/proc/self/task) and no mapping of it (/proc/self/maps) may remain, and
// a copy loaded again starts afresh. Loading maps none of the libraries opened on first use;
// initializing maps the network ones, a line banner rendered in a host colour (which must
// come out exact) the graphics ones.
//
//   unload_host LIBTILO BUNDLE CONTAINER URL upload   load an interstitial, go to the
//       background (an upload starts), shut down at once
//   unload_host LIBTILO BUNDLE CONTAINER URL deliver STOPFILE   go to the background, pump
//       until STOPFILE exists (at most 60 s), shut down
//   unload_host LIBTILO BUNDLE CONTAINER URL cycles N   N plugin lives (render a line
//       banner, load an interstitial): from the first one's end on, the open descriptors
//       stay the same and the heap grows under 50 kB a cycle (18 kB today; a font
//       configuration left behind would add 54 kB).
//
// Every mode checks that an idle frame (a pump and a render, nothing due) allocates no
// memory on the main thread. Prints "unload host: <what failed>" and exits 1 on the first
// failed check.
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "proc_threads.h"
#include "tilo/tilo.h"
#include "tilo/tilo_views.h"

// The C library's allocator under the functions every library of the process calls.
extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* pointer, size_t size);
static __thread int counting;  // on the main thread, around idle frames
static size_t allocations;
void* malloc(size_t size) {
  if (counting) ++allocations;  // only the main thread counts
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  if (counting) ++allocations;
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
  if (counting) ++allocations;
  return __libc_realloc(pointer, size);
}

#define FAIL(...)                     \
  do {                                \
    fprintf(stderr, "unload host: "); \
    fprintf(stderr, __VA_ARGS__);     \
    fprintf(stderr, "\n");            \
    exit(1);                          \
  } while (0)

// The functions used, looked up by name as a plugin loader does; typed by the header.
// clang-format off
#define TILO_FUNCTIONS(X) \
  X(status_name) \
  X(set_bundle_directory) \
  X(set_application_container) \
  X(set_development_base_url) \
  X(set_log_level) \
  X(initialize) \
  X(run_main_loop_for) \
  X(application_set_state) \
  X(shutdown) \
  X(interstitial_ad_create) \
  X(interstitial_ad_load) \
  X(interstitial_ad_is_ready) \
  X(window_create) \
  X(window_destroy) \
  X(window_add_view_pinned) \
  X(window_render_rgba) \
  X(window_render) \
  X(line_banner_view_create) \
  X(line_banner_view_destroy) \
  X(line_banner_view_set_delegate) \
  X(line_banner_view_set_line_background_color) \
  X(line_banner_view_load_ad)
// clang-format on
#define API_FIELD(name) __typeof__(tilo_##name)* name;
struct api {
  void* library;
  TILO_FUNCTIONS(API_FIELD)
};

static void* symbol(void* library, const char* name) {
  void* found = dlsym(library, name);
  if (!found) FAIL("no symbol %s: %s", name, dlerror());
  return found;
}

#define LOOK_UP(name) *(void**)(&api->name) = symbol(api->library, "tilo_" #name);

static void load(struct api* api, const char* path) {
  memset(api, 0, sizeof *api);
  api->library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!api->library) FAIL("dlopen: %s", dlerror());
  TILO_FUNCTIONS(LOOK_UP)
}

#define CHECK_OK(api, call)                                                            \
  do {                                                                                 \
    tilo_status status_ = (call);                                                      \
    if (status_ != TILO_STATUS_OK) FAIL("%s: %s", #call, (api)->status_name(status_)); \
  } while (0)

// Whether a mapping of the file named `base` (e.g. "libtilo.so.1.2.3") is in the process.
static int mapped(const char* base) {
  FILE* maps = fopen("/proc/self/maps", "r");
  char line[4096];
  int found = 0;
  if (!maps) FAIL("cannot read /proc/self/maps");
  while (fgets(line, sizeof line, maps)) {
    const char* slash = strrchr(line, '/');
    if (slash && strncmp(slash + 1, base, strlen(base)) == 0) found = 1;
  }
  fclose(maps);
  return found;
}

// The libraries libtilo.so opens on first use: none is mapped by loading it alone.
static void expect_mapped(const char* const* names, int expected, const char* when) {
  for (; *names; ++names) {
    if (mapped(*names) != expected) FAIL("%s is %smapped %s", *names, expected ? "not " : "", when);
  }
}

static void on_line_banner_load(void* loaded, tilo_line_banner_view* view,
                                const tilo_ad_info* info) {
  (void)view, (void)info;
  *(int*)loaded = 1;
}
static void on_line_banner_fail(void* loaded, tilo_line_banner_view* view,
                                const tilo_error* error) {
  (void)loaded, (void)view;
  FAIL("the line banner failed to load: %s", error->message);
}

// Rounds of 60 idle frames: the SDK's timers may make one round busy, never all.
static void idle_frames(struct api* api, tilo_window* window, uint8_t* pixels, size_t stride) {
  size_t fewest = (size_t)-1;
  tilo_rect damaged;
  for (int round = 0; round < 5 && fewest > 0; ++round) {
    allocations = 0;
    counting = 1;
    for (int frame = 0; frame < 60; ++frame) {
      CHECK_OK(api, api->run_main_loop_for(0));
      CHECK_OK(api, api->window_render(window, pixels, stride, TILO_PIXEL_FORMAT_RGBA, &damaged));
    }
    counting = 0;
    if (allocations < fewest) fewest = allocations;
  }
  if (fewest > 0) FAIL("60 idle frames allocate %zu times", fewest);
}

// A line banner in a host colour, drawn through the trampolines into cairo (whose colour
// arguments travel in floating-point registers): its background must come out exact.
static void render_line_banner(struct api* api) {
  enum { kWidth = 320, kHeight = 100 };
  static uint8_t pixels[kWidth * kHeight * 4];
  tilo_line_banner_view_delegate delegate;
  tilo_window* window = api->window_create(kWidth, kHeight, 1);
  tilo_line_banner_view* view = api->line_banner_view_create("line-banner-main", 0);
  int loaded = 0;
  if (!window || !view) FAIL("no window or line banner");
  memset(&delegate, 0, sizeof delegate);
  delegate.size = sizeof delegate;
  delegate.did_load = on_line_banner_load;
  delegate.did_fail_with_error = on_line_banner_fail;
  CHECK_OK(api, api->line_banner_view_set_delegate(view, &delegate, &loaded));
  CHECK_OK(api, api->line_banner_view_set_line_background_color(view, 0x336699FFu));
  CHECK_OK(api, api->window_add_view_pinned(window, view, TILO_WINDOW_EDGE_TOP, 40));
  CHECK_OK(api, api->line_banner_view_load_ad(view));
  for (int i = 0; i < 3000 && !loaded; ++i) CHECK_OK(api, api->run_main_loop_for(0.01));
  if (!loaded) FAIL("the line banner did not load");
  CHECK_OK(api, api->window_render_rgba(window, pixels, kWidth * 4));
  const uint8_t* pixel = pixels + (2 * kWidth + 2) * 4;
  if (pixel[0] != 0x33 || pixel[1] != 0x66 || pixel[2] != 0x99 || pixel[3] != 0xFF) {
    FAIL("the line banner's background is %02x%02x%02x%02x, not 336699ff", pixel[0], pixel[1],
         pixel[2], pixel[3]);
  }
  idle_frames(api, window, pixels, kWidth * 4);
  CHECK_OK(api, api->line_banner_view_destroy(view));
  CHECK_OK(api, api->window_destroy(window));
}

// Open descriptors of this process.
static int descriptors(void) {
  DIR* fds = opendir("/proc/self/fd");
  struct dirent* entry;
  int count = 0;
  if (!fds) FAIL("cannot read /proc/self/fd");
  while ((entry = readdir(fds))) count += entry->d_name[0] != '.';
  closedir(fds);
  return count - 1;  // the one opendir holds
}

static int initialized;
static void on_initialize(void* context, const tilo_error* error) {
  (void)context;
  if (error) FAIL("initialization failed: %s", error->message);
  initialized = 1;
}

static void start(struct api* api, char** argv) {
  CHECK_OK(api, api->set_log_level(TILO_LOG_LEVEL_ERROR));
  CHECK_OK(api, api->set_bundle_directory(argv[2]));
  CHECK_OK(api, api->set_application_container(argv[3]));
  CHECK_OK(api, api->set_development_base_url(argv[4]));
  CHECK_OK(api, api->initialize(on_initialize, NULL));
  for (int i = 0; i < 6000 && !initialized; ++i) CHECK_OK(api, api->run_main_loop_for(0.01));
  if (!initialized) FAIL("not initialized within 60 s");
}

// An interstitial loaded and left for the shutdown to close.
static void load_interstitial(struct api* api) {
  tilo_interstitial_ad* ad = api->interstitial_ad_create("interstitial-main");
  if (!ad) FAIL("no interstitial ad");
  CHECK_OK(api, api->interstitial_ad_load(ad));
  for (int i = 0; i < 3000 && api->interstitial_ad_is_ready(ad) != 1; ++i) {
    CHECK_OK(api, api->run_main_loop_for(0.01));
  }
  if (api->interstitial_ad_is_ready(ad) != 1) FAIL("the interstitial did not load");
}

// One plugin life: load, initialize, draw, load an ad, shut down, unload.
static void cycle(char** argv) {
  struct api api;
  load(&api, argv[1]);
  initialized = 0;
  start(&api, argv);
  render_line_banner(&api);
  load_interstitial(&api);
  CHECK_OK(&api, api.shutdown());
  if (dlclose(api.library) != 0) FAIL("dlclose: %s", dlerror());
}

static int reload(char** argv, int cycles) {
  enum { kMaxGrowthPerCycle = 50 * 1000 };
  int fds_warm = 0;
  size_t heap_warm = 0;
  if (cycles < 2) FAIL("cycles: at least 2");
  for (int i = 1; i <= cycles; ++i) {
    cycle(argv);
    malloc_trim(0);
    const int fds = descriptors();
    const size_t heap = mallinfo2().uordblks;
    printf("cycle %2d: %d descriptors, %zu bytes in use\n", i, fds, heap);
    if (i == 1) {
      fds_warm = fds;
      heap_warm = heap;
    } else if (fds != fds_warm) {
      FAIL("cycle %d ends with %d descriptors open, the first with %d", i, fds, fds_warm);
    }
  }
  const double growth = ((double)mallinfo2().uordblks - (double)heap_warm) / (cycles - 1);
  printf("reload: %d cycles, descriptors flat at %d, heap %+.0f bytes a cycle (limit %d)\n", cycles,
         fds_warm, growth, kMaxGrowthPerCycle);
  if (growth >= kMaxGrowthPerCycle) FAIL("the heap grows %.0f bytes a cycle", growth);
  return 0;
}

int main(int argc, char** argv) {
  char before[8192], after[8192];
  const char* base;
  struct api api;
  int threads_before;
  static const char* const network[] = {"libcurl.so", "libcrypto.so", NULL};
  static const char* const graphics[] = {"libcairo.so", "libpango-1.0.so", NULL};
  if (argc < 6) FAIL("usage: unload_host LIBTILO BUNDLE CONTAINER URL upload|deliver [STOPFILE]");
  base = strrchr(argv[1], '/') ? strrchr(argv[1], '/') + 1 : argv[1];
  if (strcmp(argv[5], "cycles") == 0) return reload(argv, argc > 6 ? atoi(argv[6]) : 20);
  threads_before = count_threads("", before, sizeof before);
  if (threads_before < 0) FAIL("cannot read /proc/self/task");

  load(&api, argv[1]);
  if (!mapped(base)) FAIL("%s is not in /proc/self/maps after dlopen", base);
  expect_mapped(network, 0, "after dlopen");
  expect_mapped(graphics, 0, "after dlopen");
  start(&api, argv);
  expect_mapped(network, 1, "once initialized");
  if (strcmp(argv[5], "upload") == 0) {
    render_line_banner(&api);
    expect_mapped(graphics, 1, "after a render");
    load_interstitial(&api);
    // The events so far go out at once; the backend holds the answer back.
    CHECK_OK(&api, api.application_set_state(TILO_APPLICATION_BACKGROUND));
    for (int i = 0; i < 20; ++i) CHECK_OK(&api, api.run_main_loop_for(0.01));
  } else if (argc > 6) {
    CHECK_OK(&api, api.application_set_state(TILO_APPLICATION_BACKGROUND));
    for (int i = 0; i < 6000 && access(argv[6], F_OK) != 0; ++i) {
      CHECK_OK(&api, api.run_main_loop_for(0.01));
    }
  }
  CHECK_OK(&api, api.shutdown());
  if (dlclose(api.library) != 0) FAIL("dlclose: %s", dlerror());

  if (count_threads("", after, sizeof after) != threads_before) {
    FAIL("threads before loading:%s\n  after unloading:%s", before, after);
  }
  if (mapped(base)) FAIL("%s is still mapped after shutdown and dlclose", base);

  // A new copy: its own state, not the old one's shutdown.
  load(&api, argv[1]);
  CHECK_OK(&api, api.set_development_base_url(argv[4]));
  CHECK_OK(&api, api.shutdown());
  if (dlclose(api.library) != 0) FAIL("dlclose: %s", dlerror());
  if (mapped(base)) FAIL("%s is still mapped after the second unload", base);
  printf("unloaded: %d threads, as before loading\n", threads_before);
  return 0;
}
