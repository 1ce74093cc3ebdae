/* The ad inspector: the SDK's own debugger, drawn into a tilo_window like any ad. Part of
 * tilo.h; include that.
 *
 *   static void on_closed(void* game, tilo_window* window) { resume_game(game); }
 *   tilo_ad_inspector_set_close_callback(on_closed, &game);
 *   if (tilo_ad_inspector_open(window) == TILO_STATUS_OK) pause_game(&game);
 *   // the host keeps rendering the window and forwarding taps (tilo_window_tap) and
 *   // scrolls (tilo_window_scroll); its close button, or this, closes it:
 *   tilo_ad_inspector_close(window);
 *
 * Its pages: SDK (version, initialization state and how long it took, the backend, the
 * app key masked, test mode and the scenario, the privacy choices as sent), Ad units
 * (each unit of the backend with its format, mediation unit, refresh interval and its
 * last ten loads: time, outcome, error, latency, network, revenue; a tap on "Test ad"
 * loads and shows a test ad of that unit), Networks (each adapter's start and latency, and
 * the privacy values it forwarded) and Analytics (events queued, sent and dropped, the
 * last upload, the crash report of the last start). It refreshes once a second while
 * open. Closed, it costs nothing and the window draws exactly as before it opened.
 *
 * Secrets never show: the app key and the consent strings appear masked ("abcd••••"),
 * and every recorded text is shown on one line, without control characters, cut to fit.
 *
 * Main thread only, like every window function.
 */
#ifndef TILO_TILO_INSPECTOR_H
#define TILO_TILO_INSPECTOR_H

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the inspector over `window`: above the views placed in it, under anything shown
 * later (a test ad it shows, an ad the host shows meanwhile). It works before
 * tilo_initialize too (its SDK page then says so) and never starts the SDK itself.
 * TILO_STATUS_OK also when it is open over this window already (nothing changes);
 * TILO_STATUS_AD_SHOWING while a full-screen ad or light popup is shown in the window
 * (nothing opens: open it after did_dismiss); TILO_STATUS_INVALID_HANDLE for a destroyed
 * window; TILO_STATUS_SHUT_DOWN after tilo_shutdown. */
TILO_API tilo_status tilo_ad_inspector_open(tilo_window* window);
/* Closes the inspector over `window`, with a test ad it shows. TILO_STATUS_OK also when
 * none is open (nothing happens then). */
TILO_API tilo_status tilo_ad_inspector_close(tilo_window* window);

/* Called once per close, whatever closed it (its close button, tilo_ad_inspector_close,
 * the window's destruction), on the main thread inside tilo_run_main_loop_for, with the
 * window's handle (already destroyed in the last case: compare it, do not use it). The
 * callback set when the call runs is the one called; NULL (the default) calls none. Any
 * thread. */
typedef void (*tilo_ad_inspector_close_callback)(void* context, tilo_window* window);
TILO_API tilo_status tilo_ad_inspector_set_close_callback(tilo_ad_inspector_close_callback callback,
                                                          void* context);

#ifdef __cplusplus
}
#endif

#endif /* TILO_TILO_INSPECTOR_H */
