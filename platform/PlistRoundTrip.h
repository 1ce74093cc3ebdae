// Whether a property list comes back from libplist with every value it held: the check
// that decides if a file the host shares with the SDK may be rewritten.
//
//   std::string rewritten = document.toBinary();     // as libplist would write it back
//   if (!PlistRoundTrip::sameValues(original, rewritten)) ... // never write it
//
// libplist reads some values differently from what the file says and writes some back
// differently from what it read: an integer beyond 64 bits is clamped, a date it cannot
// parse becomes 1970, text with a NUL is cut at the NUL, a duplicate key loses one value,
// an integer written "12abc" becomes 12. So both files are read again here, exactly and
// independently of libplist, and compared value by value: strings and keys by their
// Unicode text, integers by their full decimal value, reals and dates by their double,
// data by its bytes. Dictionary order, formatting and the file format do not count.
//
// Anything this reader does not take as exact (an XML entity it does not know, a date in
// another form, a carriage return in text, a set, a null object, ASCII text with bytes
// above 127, more than 100,000 values) makes the lists differ: an unknown form can only
// block a rewrite, never let an altered value through.
#pragma once

#include <cstddef>
#include <string_view>

namespace tilo::platform {

// Arrays and dictionaries inside one another, in every property list read (here and by
// PlistValue).
inline constexpr std::size_t kMaxPlistDepth = 128;

class PlistRoundTrip {
 public:
  // `original`: an XML list in UTF-8 (PlistValue::readableBytes) or a binary list;
  // `rewritten`: a binary list. False when either cannot be read exactly.
  static bool sameValues(std::string_view original, std::string_view rewritten);
};

}  // namespace tilo::platform
