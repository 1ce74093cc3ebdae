#include "platform/Json.h"

#include <cmath>
#include <limits>

namespace tilo::platform {
namespace {

std::string missingText(const std::string& detail) {
  return "The data couldn't be read because it is missing. (" + detail + ")";
}

std::string formatText(const std::string& detail) {
  return "The data couldn't be read because it isn't in the correct format. (" + detail + ")";
}

std::string keyed(std::string_view key, const std::string& text) {
  return key.empty() ? text : "key \"" + std::string(key) + "\": " + text;
}

[[noreturn]] void mismatch(std::string_view key, std::string_view expected, const Json& found) {
  const auto kind =
      found.is_null() ? DecodingError::Kind::valueNotFound : DecodingError::Kind::typeMismatch;
  throw DecodingError(
      kind, keyed(key, "expected " + std::string(expected) + ", found " + found.type_name()));
}

template <class T>
T convert(const Json& value, std::string_view key);

template <>
std::string convert<std::string>(const Json& value, std::string_view key) {
  if (!value.is_string()) mismatch(key, "string", value);
  return value.get<std::string>();
}

template <>
bool convert<bool>(const Json& value, std::string_view key) {
  if (!value.is_boolean()) mismatch(key, "boolean", value);
  return value.get<bool>();
}

template <>
double convert<double>(const Json& value, std::string_view key) {
  if (!value.is_number()) mismatch(key, "number", value);
  return value.get<double>();
}

template <>
std::int64_t convert<std::int64_t>(const Json& value, std::string_view key) {
  if (value.is_number_integer()) {
    if (!value.is_number_unsigned() ||
        value.get<std::uint64_t>() <= std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
      return value.get<std::int64_t>();
    }
  } else if (value.is_number_float()) {
    // 3.0 is an integer written with a point; 3.5 and 1e300 are not int64 values.
    const double d = value.get<double>();
    if (std::trunc(d) == d && d >= -0x1p63 && d < 0x1p63) return static_cast<std::int64_t>(d);
  }
  mismatch(key, "integer", value);
}

template <>
Json convert<Json>(const Json& value, std::string_view key) {
  if (value.is_null()) mismatch(key, "value", value);
  return value;
}

const Json* find(const Json& object, std::string_view key) {
  const auto it = requireObject(object).find(key);
  return it == object.end() ? nullptr : &*it;
}

const Json& findRequired(const Json& object, std::string_view key) {
  const Json* value = find(object, key);
  if (value == nullptr) {
    throw DecodingError(DecodingError::Kind::keyNotFound,
                        "key \"" + std::string(key) + "\" not found");
  }
  return *value;
}

}  // namespace

DecodingError::DecodingError(Kind kind, const std::string& detail)
    : std::runtime_error(kind == Kind::keyNotFound || kind == Kind::valueNotFound
                             ? missingText(detail)
                             : formatText(detail)),
      kind_(kind) {}

Json parseJson(std::string_view text) {
  try {
    return Json::parse(text.begin(), text.end());
  } catch (const Json::parse_error& error) {
    throw DecodingError(DecodingError::Kind::dataCorrupted,
                        std::string("invalid JSON: ") + error.what());
  }
}

const Json& requireObject(const Json& value, std::string_view context) {
  if (!value.is_object()) mismatch(context, "object", value);
  return value;
}

const Json& requireArray(const Json& value, std::string_view context) {
  if (!value.is_array()) mismatch(context, "array", value);
  return value;
}

const Json& requiredValue(const Json& object, std::string_view key) {
  const Json& value = findRequired(object, key);
  if (value.is_null()) mismatch(key, "value", value);
  return value;
}

template <class T>
T required(const Json& object, std::string_view key) {
  return convert<T>(findRequired(object, key), key);
}

template <class T>
std::optional<T> optional(const Json& object, std::string_view key) {
  const Json* value = find(object, key);
  if (value == nullptr || value->is_null()) return std::nullopt;
  return convert<T>(*value, key);
}

template <class T>
std::optional<T> lenient(const Json& object, std::string_view key) {
  try {
    return optional<T>(object, key);
  } catch (const DecodingError&) {
    return std::nullopt;
  }
}

std::string dumpCompact(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

#define TILO_JSON_INSTANTIATE(T)                                        \
  template T required<T>(const Json&, std::string_view);                \
  template std::optional<T> optional<T>(const Json&, std::string_view); \
  template std::optional<T> lenient<T>(const Json&, std::string_view);

TILO_JSON_INSTANTIATE(std::string)
TILO_JSON_INSTANTIATE(bool)
TILO_JSON_INSTANTIATE(double)
TILO_JSON_INSTANTIATE(std::int64_t)
TILO_JSON_INSTANTIATE(Json)

#undef TILO_JSON_INSTANTIATE

}  // namespace tilo::platform
