// The preferences file round trip. A property list is decoded, encoded (binary and XML)
// and decoded again: binary gives back every value exactly; XML too, except where XML
// cannot hold a value (a control character other than tab, line feed and carriage return
// becomes U+FFFD, a date keeps its whole second within the years 1 to 9999), and a second
// round trip changes nothing. The same bytes as the user-defaults file: after the SDK saves
// one key, the file either stays as it was or holds that key beside every key of the host,
// unchanged.
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

// Whether XML holds `text` as it is.
bool xmlHolds(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
  }
  return tilo::platform::isValidUtf8(text);
}

// Whether the XML writer keeps every string, key and date of `value` as it is.
bool xmlKeeps(const PlistValue& value) {
  if (const auto* text = value.asString()) return xmlHolds(*text);
  if (const auto* date = value.asDate()) {
    const double seconds = date->secondsSince1970;
    return seconds >= -62135596800.0 && seconds <= 253402300799.0;  // years 1 to 9999
  }
  if (const auto* array = value.asArray()) {
    for (const auto& item : *array) {
      if (!xmlKeeps(item)) return false;
    }
  }
  if (const auto* dictionary = value.asDictionary()) {
    for (const auto& [key, item] : *dictionary) {
      if (!xmlHolds(key) || !xmlKeeps(item)) return false;
    }
  }
  return true;
}

// Equality where NaN equals NaN (in dates too) and dates agree to the microseconds the binary
// format keeps, or, for `b` read from XML, to the whole second that XML keeps.
bool same(const PlistValue& a, const PlistValue& b, bool wholeSeconds = false) {
  if (a.asReal() && b.asReal()) {
    const double x = *a.asReal(), y = *b.asReal();
    return x == y || (std::isnan(x) && std::isnan(y));
  }
  if (a.asDate() && b.asDate()) {
    double x = a.asDate()->secondsSince1970;
    if (wholeSeconds) x = std::floor(x - 978307200.0) + 978307200.0;
    const double y = b.asDate()->secondsSince1970;  // an infinite date stays infinite
    return x == y || (std::isnan(x) && std::isnan(y)) || std::abs(x - y) <= 2e-6;
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
  const bool xml = encode == &PlistValue::toXml;
  if (!xml || xmlKeeps(value)) check(same(value, *again, xml));
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
  // Rewritten only when every host value reads back as it was.
  check(same(PlistValue(before), PlistValue(hostKeys)));
  return 0;
}
