#include "Tilo/base/Result.h"

#include "Tilo/base/NetworkError.h"
#include "Tilo/base/TiloError.h"
#include "platform/Json.h"

namespace tilo {

std::string localizedDescription(const std::exception_ptr& error) {
  if (!error) return {};
  try {
    std::rethrow_exception(error);
  } catch (const TiloError& e) {
    return e.message();
  } catch (const platform::DecodingError& e) {
    return e.localizedDescription();
  } catch (const TransportError& e) {
    return e.urlError().localizedDescription;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
  }
  return "The operation couldn't be completed.";
}

}  // namespace tilo
