// The preferences file round trip. A property list is decoded, encoded (binary and XML)
// and decoded again: the values come back unchanged, except where the writer documents a
// change (a string or key cut at its first NUL, invalid UTF-8 made U+FFFD, a date beyond
// libplist's 32-bit seconds clamped), and a second round trip changes nothing. The same bytes as
// the user-defaults file: after the SDK saves one key, the file either stays as it was or holds
// that key beside every key of the host, unchanged.
#include <cmath>
#include <fstream>

#include "fuzz/support/FuzzSupport.h"
#include "platform/FileSystem.h"
#include "platform/PlistValue.h"
#include "platform/Unicode.h"
#include "platform/UserDefaults.h"

namespace {

using tilo::fuzz::check;
using tilo::platform::PlistValue;

bool writable(std::string_view text) {
  return text.find('\0') == std::string_view::npos && tilo::platform::isValidUtf8(text);
}

// Whether the writer keeps every string and key of `value` as it is.
bool keptAsIs(const PlistValue& value) {
  if (const auto* text = value.asString()) return writable(*text);
  if (const auto* date = value.asDate()) {
    // libplist holds a date's whole seconds since 2001 in 32 bits; others are clamped.
    const double since2001 = date->secondsSince1970 - 978307200.0;
    return since2001 >= -2147483648.0 && since2001 < 2147483647.0;
  }
  if (const auto* array = value.asArray()) {
    for (const auto& item : *array) {
      if (!keptAsIs(item)) return false;
    }
  }
  if (const auto* dictionary = value.asDictionary()) {
    for (const auto& [key, item] : *dictionary) {
      if (!writable(key) || !keptAsIs(item)) return false;
    }
  }
  return true;
}

// Equality where NaN equals NaN and dates agree to the microseconds the binary format
// keeps, or, for `b` read from XML, to the whole second that XML keeps.
bool same(const PlistValue& a, const PlistValue& b, bool wholeSeconds = false) {
  if (a.asReal() && b.asReal()) {
    const double x = *a.asReal(), y = *b.asReal();
    return x == y || (std::isnan(x) && std::isnan(y));
  }
  if (a.asDate() && b.asDate()) {
    double x = a.asDate()->secondsSince1970;
    if (wholeSeconds) x = std::floor(x - 978307200.0) + 978307200.0;
    return std::abs(x - b.asDate()->secondsSince1970) <= 2e-6;  // rounding on both sides
  }
  if (a.asArray() && b.asArray()) {
    const auto &x = *a.asArray(), &y = *b.asArray();
    if (x.size() != y.size()) return false;
    for (std::size_t i = 0; i < x.size(); ++i) {
      if (!same(x[i], y[i], wholeSeconds)) return false;
    }
    return true;
  }
  if (a.asDictionary() && b.asDictionary()) {
    const auto &x = *a.asDictionary(), &y = *b.asDictionary();
    if (x.size() != y.size()) return false;
    for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
      if (i->first != j->first || !same(i->second, j->second, wholeSeconds)) return false;
    }
    return true;
  }
  return a == b;
}

void roundTrip(const PlistValue& value, std::string (PlistValue::*encode)() const) {
  const auto again = PlistValue::parse((value.*encode)());
  check(again.has_value());
  if (keptAsIs(value)) check(same(value, *again, encode == &PlistValue::toXml));
  const auto third = PlistValue::parse((*again.*encode)());
  check(third.has_value() && same(*again, *third));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tilo::platform;
  const std::string_view bytes = tilo::fuzz::textOf(data, size);

  const auto decoded = PlistValue::parse(bytes);
  if (decoded) {
    roundTrip(*decoded, &PlistValue::toBinary);
    roundTrip(*decoded, &PlistValue::toXml);
  }

  const auto path = tilo::fuzz::scratchDirectory() / "prefs.plist";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    check(out.good());
  }
  constexpr const char* kKey = "tilo_saved_ad_events";
  UserDefaults::atPath(path)->setString(kKey, "saved");
  const auto file = FileSystem::readFile(path);
  check(file.has_value());
  if (*file == bytes) return 0;  // kept in memory only
  const auto written = PlistValue::parse(*file);
  check(written && written->asDictionary());
  auto hostKeys = *written->asDictionary();
  const auto saved = hostKeys.find(kKey);
  check(saved != hostKeys.end() && saved->second == PlistValue("saved"));
  hostKeys.erase(saved);
  // A file that is no dictionary was damaged and is replaced.
  if (!decoded || !decoded->asDictionary()) {
    check(hostKeys.empty());
    return 0;
  }
  auto before = *decoded->asDictionary();
  before.erase(kKey);
  if (keptAsIs(PlistValue(before))) check(same(PlistValue(before), PlistValue(hostKeys)));
  return 0;
}
