// Binary property lists built byte by byte, in forms our own writer never makes (a NUL
// inside a string, UTF-16 keys), as a host may leave them behind.
//
//   std::string file = binaryPlist({{plistUtf16(u"key"), plistAscii("value")}});
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tilo::test {

// A string object in ASCII, or in big-endian UTF-16; fewer than 15 units.
std::string plistAscii(std::string_view text);
std::string plistUtf16(std::u16string_view text);
// A file of one dictionary of the given (key, value) objects.
std::string binaryPlist(const std::vector<std::pair<std::string, std::string>>& entries);

}  // namespace tilo::test
