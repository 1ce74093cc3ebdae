// A host run with one system library taken away (library_matrix_test.sh): it goes
// through the calls a game makes, prints the status of each ("create_banner_view
// TILO_STATUS_UNAVAILABLE libcairo.so.2 cannot be loaded ..."), and always ends with exit
// 0 after tilo_shutdown. A library the SDK could not use must show as a named status,
// never as the end of the process.
//
//   matrix_host BUNDLE CONTAINER URL window|headless|fork
//
// "window" makes a window, places the views in it and renders; "headless" never makes one
// and loads views, popups and full-screen ads all the same. "fork" forks once the ads are
// loading: the child's calls must each answer TILO_STATUS_FORKED at once (an alarm ends a
// child that hangs) and the child exits normally; the parent goes on.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "proc_threads.h"
#include "tilo/tilo.h"

static void report(const char* step, int status) {
  printf("%s %s", step, tilo_status_name(status));
  if (status == TILO_STATUS_UNAVAILABLE || status == TILO_STATUS_NOT_CONFIGURED) {
    printf(" %s", tilo_last_error_message());
  }
  printf("\n");
  fflush(stdout);
}

static int initialized, failed;
static void on_initialize(void* context, const tilo_error* error) {
  (void)context;
  if (error) printf("initialize_callback %s\n", error->message);
  failed = error != NULL;
  initialized = 1;
}

static int loaded;
static tilo_window* window;  // NULL without one
#define VIEW_CALLBACKS(kind)                                                                 \
  static void on_##kind##_load(void* context, tilo_##kind* view, const tilo_ad_info* info) { \
    (void)context, (void)view, (void)info;                                                   \
    ++loaded;                                                                                \
  }                                                                                          \
  static void on_##kind##_fail(void* context, tilo_##kind* view, const tilo_error* error) {  \
    (void)context, (void)view;                                                               \
    printf(#kind "_failed %s\n", error->message);                                            \
  }
VIEW_CALLBACKS(banner_view)
VIEW_CALLBACKS(native_view)
VIEW_CALLBACKS(light_popup_ad_loader)
// A loaded popup shows at once.
static void on_popup_load(void* context, tilo_light_popup_ad_loader* loader,
                          tilo_light_popup_ad* ad, const tilo_ad_info* info) {
  report("show_light_popup", tilo_light_popup_ad_show_from(
                                 ad, window ? tilo_window_root_view_controller(window) : NULL));
  on_light_popup_ad_loader_load(context, loader, info);
}

// Makes a view of `kind` (refused at creation when it could not draw), gives it its
// callbacks, lets `place` put it in the window and loads it.
#define MAKE_AND_LOAD(kind, view, create, on_load, place, load)                       \
  tilo_##kind* view = create;                                                         \
  report("create_" #kind, view ? TILO_STATUS_OK : tilo_last_status());                \
  if (view) {                                                                         \
    tilo_##kind##_delegate delegate = {0};                                            \
    delegate.size = sizeof delegate;                                                  \
    delegate.did_load = on_load;                                                      \
    delegate.did_fail_with_error = on_##kind##_fail;                                  \
    report("set_delegate_" #kind, tilo_##kind##_set_delegate(view, &delegate, NULL)); \
    place;                                                                            \
    report("load_" #kind, load(view));                                                \
  }

// In a forked child: every call that needs the SDK says TILO_STATUS_FORKED, at once.
static void forked_child(const char* bundle) {
  int wrong = 0;
#define EXPECT_FORKED(call)                                            \
  do {                                                                 \
    int status_ = (call);                                              \
    if (status_ != TILO_STATUS_FORKED) {                               \
      printf("child: %s gave %s\n", #call, tilo_status_name(status_)); \
      wrong = 1;                                                       \
    }                                                                  \
  } while (0)
  alarm(30);
  EXPECT_FORKED(tilo_initialize(NULL, NULL));
  EXPECT_FORKED(tilo_run_main_loop_for(0));
  EXPECT_FORKED(tilo_set_bundle_directory(bundle));
  EXPECT_FORKED(tilo_set_log_callback(NULL, NULL));
  EXPECT_FORKED(tilo_application_set_state(TILO_APPLICATION_BACKGROUND));
  EXPECT_FORKED(tilo_interstitial_ad_create("interstitial-main") ? 0 : tilo_last_status());
  EXPECT_FORKED(tilo_window_create(10, 10, 1) ? 0 : tilo_last_status());
  EXPECT_FORKED(tilo_shutdown());
#undef EXPECT_FORKED
  exit(wrong);  // exit, not _exit: the SDK's static destructors run in the child too
}

static void pump(double seconds) {
  for (int i = 0; i < (int)(seconds * 100); ++i) (void)tilo_run_main_loop_for(0.01);
}

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: matrix_host BUNDLE CONTAINER URL window|headless|fork\n");
    return 2;
  }
  const int windowed = strcmp(argv[4], "window") == 0;
  report("set_log_level", tilo_set_log_level(TILO_LOG_LEVEL_ERROR));
  report("set_bundle_directory", tilo_set_bundle_directory(argv[1]));
  report("set_application_container", tilo_set_application_container(argv[2]));
  report("set_development_base_url", tilo_set_development_base_url(argv[3]));
  report("set_max_threads", tilo_set_max_threads(3));
  const tilo_status init = tilo_initialize(on_initialize, NULL);
  report("initialize", init);
  for (int i = 0; i < 1000 && init == TILO_STATUS_OK && !initialized; ++i) pump(0.01);
  report("set_max_threads_started", tilo_set_max_threads(2));
  printf("pool_threads %d\n", count_threads("tilo-pool-", NULL, 0));  // the SDK's pool

  if (windowed) {
    window = tilo_window_create(320, 480, 2);
    report("create_window", window ? TILO_STATUS_OK : tilo_last_status());
  }

  MAKE_AND_LOAD(
      banner_view, banner, tilo_banner_view_create("banner-main", 0, 1), on_banner_view_load,
      if (window) report("add_banner",
                         tilo_window_add_view_pinned(window, banner, TILO_WINDOW_EDGE_TOP, 50)),
      tilo_banner_view_load_ad)
  MAKE_AND_LOAD(native_view, native, tilo_native_view_create("native-main", 0), on_native_view_load,
                (void)0, tilo_native_view_load_native_ad)
  MAKE_AND_LOAD(light_popup_ad_loader, popup, tilo_light_popup_ad_loader_create("light-popup-main"),
                on_popup_load, (void)0, tilo_light_popup_ad_loader_load_ad)

  // A full-screen ad loads without drawing and is refused when shown.
  tilo_interstitial_ad* interstitial = tilo_interstitial_ad_create("interstitial-main");
  report("create_interstitial", interstitial ? TILO_STATUS_OK : tilo_last_status());
  if (interstitial) report("load_interstitial", tilo_interstitial_ad_load(interstitial));
  for (int i = 0; i < 300 && interstitial && tilo_interstitial_ad_is_ready(interstitial) != 1;
       ++i) {
    pump(0.01);
  }
  pump(0.3);
  if (strcmp(argv[4], "fork") == 0) {
    fflush(stdout);
    const pid_t child = fork();
    if (child == 0) forked_child(argv[1]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child) return 3;
    printf("fork_child %s %d\n", WIFEXITED(status) ? "exited" : "killed",
           WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status));
  }
  if (interstitial && tilo_interstitial_ad_is_ready(interstitial) == 1) {
    report("show_interstitial",
           tilo_interstitial_ad_show_from(
               interstitial, window ? tilo_window_root_view_controller(window) : NULL));
    pump(0.2);
  }
  if (window) {
    static uint8_t pixels[640 * 960 * 4];
    report("render_rgba", tilo_window_render_rgba(window, pixels, 640 * 4));
  }
  printf("loaded %d initialized %d\n", loaded, initialized && !failed);
  report("shutdown", tilo_shutdown());
  return 0;
}
