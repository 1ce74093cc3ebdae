// Marks the symbols a host may call; everything else in libtilo.so stays hidden.
#pragma once

#define TILO_EXPORT __attribute__((visibility("default")))
// For members of an exported class that only the SDK and its tests may call.
#define TILO_HIDDEN __attribute__((visibility("hidden")))
