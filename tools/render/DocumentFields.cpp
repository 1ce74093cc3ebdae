#include "tools/render/DocumentFields.h"

#include <fstream>
#include <sstream>
#include <system_error>

namespace tilo::render {

using platform::Json;

[[noreturn]] void fail(const std::string& where, const std::string& problem) {
  throw DocumentError(where + ": " + problem);
}

const char* typeName(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null:
      return "null";
    case Json::value_t::object:
      return "an object";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::boolean:
      return "a boolean";
    case Json::value_t::discarded:
      return "nothing";
    default:
      return "a number";
  }
}
std::string readFile(const std::filesystem::path& path, std::uintmax_t limit,
                     const std::string& what) {
  std::error_code error;
  auto status = std::filesystem::status(path, error);
  if (error || !std::filesystem::exists(status))
    throw DocumentError(what + ": no file " + path.string());
  if (!std::filesystem::is_regular_file(status)) {
    throw DocumentError(what + ": " + path.string() + " is not a regular file");
  }
  auto size = std::filesystem::file_size(path, error);
  if (error) throw DocumentError(what + ": cannot read " + path.string());
  if (size > limit) {
    throw DocumentError(what + ": " + path.string() + " is larger than " +
                        std::to_string(limit >> 20) + " MB");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw DocumentError(what + ": cannot open " + path.string());
  std::ostringstream content;
  content << in.rdbuf();
  std::string bytes = content.str();
  if (bytes.size() > limit) throw DocumentError(what + ": " + path.string() + " grew while read");
  return bytes;
}

}  // namespace tilo::render
