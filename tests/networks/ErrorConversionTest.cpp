// Platform errors into TiloError (the analytics form is checked on the wire by the
// full-screen ad tests).
#include <gtest/gtest.h>

#include "Tilo/networks/ErrorConversion.h"
#include "platform/HttpClient.h"

using namespace tilo;
using Code = TiloError::Code;
using mediation::NSError;

namespace {

NSError admob(long code) {
  return {mediation::kGADErrorDomain, code, "Something"};
}
NSError url(long code) {
  return {mediation::kNSURLErrorDomain, code, "Offline"};
}

void expectError(const NSError& from, Code code, const std::string& message) {
  const TiloError error = toTiloError(from);
  EXPECT_EQ(error.code(), code) << from.domain << " " << from.code;
  EXPECT_EQ(error.message(), message) << from.domain << " " << from.code;
}

TEST(ErrorConversion, MediationCodes) {
  const TiloError noFill = toTiloError({mediation::kGADErrorDomain, 1, "No fill."});
  EXPECT_EQ(static_cast<int>(noFill.code()), 204);
  EXPECT_EQ(noFill.message(),
            "No fill.. If no fill persists, please verify app-ads.txt configuration at "
            "https://dashboard.tiloads.com");
  EXPECT_EQ(noFill.mediatedNetworkErrorCode, 0) << "other fields keep their defaults";

  expectError(admob(0), Code::invalidAdUnitIdentifier, "Something");
  expectError(admob(2), Code::networkError, "Something");
  expectError(admob(3), Code::networkError, "Ad server error: Something");
  expectError(admob(4), Code::unspecified, "OS version too low: Something");
  expectError(admob(5), Code::networkTimeout, "Something");
  expectError(admob(7), Code::adLoadFailed, "Mediation error: Something");
  expectError(admob(8), Code::adLoadFailed, "Mediation error: Something");
  expectError(admob(10), Code::unspecified, "Invalid ad size: Something");
  expectError(admob(11), Code::unspecified, "Internal error: Something");
  expectError(admob(12), Code::unspecified, "Invalid argument: Something");
  expectError(admob(19), Code::fullscreenAdAlreadyShowing, "Something");
  expectError(admob(20), Code::initializationFailed, "Application identifier missing");
  expectError(admob(21), Code::unspecified, "Received invalid ad string: Something");
  for (long bare : {6L, 9L, 13L, 18L, 22L, 99L, -1L}) {
    expectError(admob(bare), Code::unspecified, "Something");
  }
}

TEST(ErrorConversion, UrlLoadingAndOtherDomains) {
  const TiloError offline = toTiloError(url(-1009));
  EXPECT_EQ(offline.code(), Code::noNetwork);
  EXPECT_EQ(static_cast<int>(offline.code()), -1009);
  EXPECT_EQ(offline.message(), "Offline");
  expectError(url(-1001), Code::networkTimeout, "Offline");
  EXPECT_EQ(static_cast<int>(toTiloError(url(-1003)).code()), -1000);
  for (long code : {-1008L, -1002L, -1L, -1011L, 0L})
    expectError(url(code), Code::networkError, "Offline");

  // The HTTP client's refusals of a hostile answer (an encoded body, one over the size
  // cap) are network errors carrying the client's own description.
  for (long code :
       {platform::kUrlErrorCannotDecodeContentData, platform::kUrlErrorDataLengthExceedsMaximum}) {
    const platform::UrlError refusal = platform::UrlError::withCode(code);
    expectError({refusal.domain, refusal.code, refusal.localizedDescription}, Code::networkError,
                refusal.localizedDescription);
  }

  // Codes mean nothing outside their own domain.
  expectError({"com.example.other", 1, "Odd"}, Code::unspecified, "Odd");
  expectError({"com.example.other", -1009, "Odd"}, Code::unspecified, "Odd");
}

}  // namespace
