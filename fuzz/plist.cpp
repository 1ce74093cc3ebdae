// Property lists, XML or binary: Info.plist as the bundle parses it, and a preferences
// file as user defaults read and update it. Nothing crashes or hangs; what reads exactly
// is written back, in its own form, to a list that reads the same; an update either leaves
// the file exactly as it was (memory only) or writes a file that reads back with the
// update in it and every key of the host unchanged, launch after launch.
#include "fuzz/support/FuzzSupport.h"
#include "platform/FileSystem.h"
#include "platform/PlistValue.h"
#include "platform/UserDefaults.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tilo::platform;
  using tilo::fuzz::check;
  const std::string_view bytes = tilo::fuzz::textOf(data, size);

  if (const auto reading = PlistValue::read(bytes)) {
    // Binary keeps everything; XML everything an XML file can hold.
    check(PlistValue::parse(reading->value.toBinary()) == reading->value);
    if (reading->exact && reading->format == PlistFormat::xml) {
      check(PlistValue::parse(reading->value.toXml()) == reading->value);
    }
  }

  // Two launches, each saving a value: after each, the file is the one before it or a
  // file that reads back with the value.
  const auto path = tilo::fuzz::scratchDirectory() / "prefs.plist";
  check(FileSystem::atomicWrite(path, bytes));
  std::string before(bytes);
  for (const char* key : {"tilo_first", "tilo_second"}) {
    UserDefaults::atPath(path)->setString(key, "value");
    const auto after = FileSystem::readFile(path);
    check(after.has_value());
    if (*after != before) {
      check(UserDefaults::atPath(path)->string(key) == "value");
      // A file that is no dictionary was damaged and is replaced.
      const auto host = PlistValue::parse(before), written = PlistValue::parse(*after);
      check(written && written->asDictionary());
      auto kept = *written->asDictionary(), hostKeys = PlistValue::Dictionary();
      if (host && host->asDictionary()) hostKeys = *host->asDictionary();
      for (const char* saved : {"tilo_first", "tilo_second"}) {
        kept.erase(saved);
        hostKeys.erase(saved);
      }
      check(kept == hostKeys);
    }
    before = *after;
  }
  return 0;
}
