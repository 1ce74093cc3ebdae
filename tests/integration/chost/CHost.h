// A C11 host of the C ABI; the C++ side gives it a driver and reads its first failed check.
#ifndef TILO_TESTS_C_HOST_H
#define TILO_TESTS_C_HOST_H

#include "tilo/tilo.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct c_host_env {
  void* impl;
  // Runs the SDK's work on mock time until *flag != 0 or `max_seconds` passed.
  int (*drive_until)(void* impl, const int* flag, double max_seconds);
  // Runs the SDK's work for `seconds` of mock time.
  void (*advance)(void* impl, double seconds);
  // Scripts one mediation ad unit of the ad source with a JSON object.
  void (*script)(void* impl, const char* mediation_unit, const char* json);
  char failure[1024];  // the first failed check, "" when all passed
} c_host_env;

// 1 when every check passed; the units inter, reward, open, banner, mrec, native on gad/<unit>.
int c_host_full_screen_delegates(c_host_env* env);
int c_host_bad_input(c_host_env* env);
// The views and the light popup; returns the handles it leaves for the C++ side.
typedef struct c_host_views {
  void* window;       // tilo_window*, 390 x 844 points
  void* native;       // tilo_native_view*, placed twice with auto_load 1
  void* line_banner;  // tilo_line_banner_view*, with every colour set
} c_host_views;
int c_host_view_delegates(c_host_env* env, c_host_views* out);

#ifdef __cplusplus
}
#endif

#endif
