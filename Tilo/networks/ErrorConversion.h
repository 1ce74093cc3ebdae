// Platform errors as the host sees them (TiloError) and as analytics report them
// (AdResError).
//
//   loader->fail(toTiloError(error));      // no fill -> noFill with the app-ads.txt hint
//   logEvent(type, payload(toAdResError(error)));
#pragma once

#include "Tilo/base/ApiBaseUrl.h"
#include "Tilo/base/TiloError.h"
#include "Tilo/telemetry/AdLogEvent.h"
#include "mediation/NSError.h"

namespace tilo {

// Mediation errors by code, URL-loading errors as network failures, anything else
// unspecified with the error's description.
TiloError toTiloError(const mediation::NSError& error);
// The error's code and localized description.
AdResError toAdResError(const mediation::NSError& error);

}  // namespace tilo
