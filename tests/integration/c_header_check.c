/* Compiled as C (never linked): tilo.h must stay a valid C header, and a C host must be
 * able to write every callback type and call every function with it. */
#include <stddef.h>

#include "../../TiloObjCBridge/tilo.h"

static void on_init(void* context, const tilo_error* error) {
  (void)context;
  (void)error;
}

static void on_reward(void* context, const tilo_ad_info* info, const tilo_reward* reward) {
  (void)context;
  (void)info;
  (void)reward;
}

int tilo_c_header_check(void);
int tilo_c_header_check(void) {
  tilo_interstitial_callbacks interstitial_callbacks = {0};
  tilo_rewarded_callbacks rewarded_callbacks = {0};
  tilo_interstitial_loader* interstitial = tilo_interstitial_loader_create("unit");
  tilo_rewarded_loader* rewarded = tilo_rewarded_loader_create("unit");
  tilo_interstitial_ad* interstitial_ad = NULL;
  tilo_rewarded_ad* rewarded_ad = NULL;
  int status = 0;
  rewarded_callbacks.on_earned_reward = on_reward;
  status |= tilo_set_log_level(TILO_LOG_LEVEL_DEBUG);
  status |= tilo_set_user_id("user");
  status |= tilo_set_has_user_consent(TILO_YES);
  status |= tilo_set_do_not_sell(TILO_NO);
  status |= tilo_set_child_directed(TILO_UNSET);
  status |= tilo_set_gdpr_consent_string(NULL);
  status |= tilo_set_ccpa_string("1YNN");
  status |= tilo_set_tracking_authorization(TILO_TRACKING_AUTHORIZED);
  status |= tilo_initialize(on_init, NULL);
  status |= tilo_run_main_loop_for(0.5);
  status |= tilo_interstitial_loader_load(interstitial, &interstitial_callbacks, NULL);
  status |= tilo_interstitial_ad_is_ready(interstitial_ad);
  status |= tilo_interstitial_ad_show(interstitial_ad);
  status |= tilo_rewarded_loader_load(rewarded, &rewarded_callbacks, NULL);
  status |= tilo_rewarded_ad_is_ready(rewarded_ad);
  status |= tilo_rewarded_ad_show(rewarded_ad);
  tilo_interstitial_ad_destroy(interstitial_ad);
  tilo_rewarded_ad_destroy(rewarded_ad);
  tilo_interstitial_loader_destroy(interstitial);
  tilo_rewarded_loader_destroy(rewarded);
  return status;
}
