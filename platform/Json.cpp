#include "platform/Json.h"

#include "platform/JsonLexer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

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

// What parseJson makes of a number token that no double holds (JsonLexer gives
// infinity): an infinite number, which no JSON text can spell, so that it fails wherever a
// number or anything else is read.
template <class J>
bool isOutOfRangeNumber(const J& value) {
  return value.is_number_float() && !std::isfinite(value.template get<double>());
}

template <class J>
[[noreturn]] void mismatch(std::string_view key, std::string_view expected, const J& found) {
  if (isOutOfRangeNumber(found)) {
    throw DecodingError(
        DecodingError::Kind::dataCorrupted,
        keyed(key, "expected " + std::string(expected) + ", found a number out of range"));
  }
  const auto kind =
      found.is_null() ? DecodingError::Kind::valueNotFound : DecodingError::Kind::typeMismatch;
  throw DecodingError(
      kind, keyed(key, "expected " + std::string(expected) + ", found " + found.type_name()));
}

template <class T, class J>
struct Convert;

template <class J>
struct Convert<std::string, J> {
  static std::string from(const J& value, std::string_view key) {
    if (!value.is_string()) mismatch(key, "string", value);
    return value.template get<std::string>();
  }
};

template <class J>
struct Convert<bool, J> {
  static bool from(const J& value, std::string_view key) {
    if (!value.is_boolean()) mismatch(key, "boolean", value);
    return value.template get<bool>();
  }
};

template <class J>
struct Convert<double, J> {
  static double from(const J& value, std::string_view key) {
    if (!value.is_number() || isOutOfRangeNumber(value)) mismatch(key, "number", value);
    return value.template get<double>();
  }
};

template <class J>
struct Convert<std::int64_t, J> {
  static std::int64_t from(const J& value, std::string_view key) {
    if (value.is_number_integer()) {
      if (!value.is_number_unsigned() ||
          value.template get<std::uint64_t>() <=
              std::uint64_t{std::numeric_limits<std::int64_t>::max()}) {
        return value.template get<std::int64_t>();
      }
    } else if (value.is_number_float()) {
      // 3.0 is an integer written with a point; 3.5 and 1e300 are not int64 values.
      const double d = value.template get<double>();
      if (std::trunc(d) == d && d >= -0x1p63 && d < 0x1p63) return static_cast<std::int64_t>(d);
    }
    mismatch(key, "integer", value);
  }
};

template <class J>
struct Convert<J, J> {
  static J from(const J& value, std::string_view key) {
    if (value.is_null()) mismatch(key, "value", value);
    return value;
  }
};

template <class J>
const J* find(const J& object, std::string_view key) {
  const auto it = requireObject(object).find(key);
  return it == object.end() ? nullptr : &*it;
}

template <class J>
const J& findRequired(const J& object, std::string_view key) {
  const J* value = find(object, key);
  if (value == nullptr) {
    throw DecodingError(DecodingError::Kind::keyNotFound,
                        "key \"" + std::string(key) + "\" not found");
  }
  return *value;
}

// Builds a document (J is ParsedJson or Json) from TextReader's events, never throwing:
// nesting and keys are capped so that no later recursive
// walk (copy, dump, compare) can run out of stack and no document costs more than its cap.
// Of two equal keys the last value wins, as with the library's own parser.
//
// A small object's members go straight into it. Beyond kDirectMembers, a ParsedJson object
// collects them in a vector, sorted once at its end and handed to its std::map in order, so
// that the map's nodes lie in key order: building, reading and freeing a large object stay
// close to linear instead of missing the caches on every key. A Json object keeps its
// members in text order (a repeated key keeps its first place) and finds repeated keys
// through a hash index instead of walking every key before.
template <class J>
class DomBuilder {
 public:
  explicit DomBuilder(std::size_t maxKeys) : keysLeft_(maxKeys) {}

  bool null() { return put(J(nullptr)); }
  bool boolean(bool value) { return put(J(value)); }
  bool number_integer(typename J::number_integer_t value) { return put(J(value)); }
  bool number_unsigned(typename J::number_unsigned_t value) { return put(J(value)); }
  // Infinite for a number beyond double's range (see isOutOfRangeNumber).
  bool number_float(typename J::number_float_t value) { return put(J(value)); }
  bool string(std::string& value) { return put(J(std::move(value))); }

  bool start_object(std::size_t) { return enter(true); }
  bool key(std::string& name) {
    if (keysLeft_ == 0) {
      tooManyKeys = true;
      return false;
    }
    --keysLeft_;
    stack_[depth_ - 1].key = std::move(name);
    return true;
  }
  bool end_object() {
    Container& done = stack_[--depth_];
    J object(std::move(done.object));
    if constexpr (kSorted) {
      if (Members& members = done.members; !members.empty()) {
        std::stable_sort(members.begin(), members.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        auto& map = object.template get_ref<typename J::object_t&>();
        for (std::size_t i = 0; i < members.size(); ++i) {
          if (i + 1 < members.size() && members[i + 1].first == members[i].first) continue;
          map.emplace_hint(map.end(), std::move(members[i].first), std::move(members[i].second));
        }
        members.clear();  // keeps its room for the next large object at this depth
      }
    } else {
      done.index.clear();
    }
    return put(std::move(object));
  }
  bool start_array(std::size_t) { return enter(false); }
  bool end_array() {
    Container& done = stack_[--depth_];
    J array(std::move(done.items));
    done.items.clear();
    return put(std::move(array));
  }

  J root;
  bool tooDeep = false;
  bool tooManyKeys = false;

 private:
  static constexpr bool kSorted = std::is_same_v<J, ParsedJson>;
  static constexpr std::size_t kDirectMembers = 32;
  using Members = std::vector<std::pair<std::string, J>>;

  // An object or array being read.
  struct Container {
    bool isObject = false;
    J object;                                            // its members (sorted: the first ones)
    Members members;                                     // sorted: the members after those
    std::unordered_map<std::string, std::size_t> index;  // in text order: key -> place
    typename J::array_t items;                           // of an array
    std::string key;                                     // of the member being read
  };

  bool enter(bool isObject) {
    if (depth_ >= kMaxJsonDepth) {
      tooDeep = true;
      return false;
    }
    if (depth_ == stack_.size()) stack_.emplace_back();
    Container& container = stack_[depth_++];
    container.isObject = isObject;
    if (isObject) container.object = J::object();
    return true;
  }

  bool put(J&& value) {
    if (depth_ == 0) {
      root = std::move(value);
      return true;
    }
    Container& top = stack_[depth_ - 1];
    if (!top.isObject) {
      top.items.push_back(std::move(value));
    } else if constexpr (kSorted) {
      putSorted(top, std::move(value));
    } else {
      putInOrder(top, std::move(value));
    }
    return true;
  }

  void putSorted(Container& top, J&& value) {
    auto& map = top.object.template get_ref<typename J::object_t&>();
    if (top.members.empty() && map.size() < kDirectMembers) {
      map.insert_or_assign(std::move(top.key), std::move(value));
      return;
    }
    if (top.members.empty()) {
      // The map's members go first, so that a later equal key still wins the sort.
      for (auto& [key, item] : map) top.members.emplace_back(key, std::move(item));
      map.clear();
    }
    top.members.emplace_back(std::move(top.key), std::move(value));
  }

  void putInOrder(Container& top, J&& value) {
    // The vector under ordered_map, whose own operator[] takes a key.
    auto& members = static_cast<typename J::object_t::Container&>(
        top.object.template get_ref<typename J::object_t&>());
    if (members.size() < kDirectMembers) {
      for (auto& member : members) {
        if (member.first == top.key) {
          member.second = std::move(value);
          return;
        }
      }
    } else {
      if (top.index.empty()) {
        for (std::size_t i = 0; i < members.size(); ++i) top.index.emplace(members[i].first, i);
      }
      const auto [found, added] = top.index.try_emplace(top.key, members.size());
      if (!added) {
        members[found->second].second = std::move(value);
        return;
      }
    }
    members.emplace_back(std::move(top.key), std::move(value));
  }

  std::vector<Container> stack_;  // containers being read; those beyond depth_ kept for reuse
  std::size_t depth_ = 0;
  std::size_t keysLeft_;
};

// The grammar of one JSON text over JsonLexer. The JSON library's parser stops the whole
// document at a number beyond double's range; here that number is only a value that fails
// where it is read, as a typed decoder would, so that a lenient field falls back instead of
// losing the document, and the text is read once.
template <class J>
class TextReader {
 public:
  TextReader(std::string_view text, DomBuilder<J>& builder) : lexer_(text), builder_(builder) {}

  // True when the text is one complete value. Otherwise the builder refused (its flags say
  // why) or error() names the syntax error.
  bool read() {
    Token token = lexer_.scan();
    bool expectValue = true;
    for (;;) {
      if (expectValue) {
        if (token == Token::beginObject || token == Token::beginArray) {
          const bool object = token == Token::beginObject;
          const Token close = object ? Token::endObject : Token::endArray;
          if (!(object ? builder_.start_object(kUnknownSize)
                       : builder_.start_array(kUnknownSize))) {
            return false;
          }
          token = lexer_.scan();
          if (token != close) {
            open_.push_back(object);
            if (object && !member(token)) return false;
            continue;  // the first value
          }
          if (!(object ? builder_.end_object() : builder_.end_array())) return false;
        } else if (!scalar(token)) {
          return false;
        }
        expectValue = false;
        token = lexer_.scan();
      }
      // After a value: the end of the text, of its container, or the next value.
      if (open_.empty()) return token == Token::endOfInput || unexpected(token, "end of input");
      const bool object = open_.back();
      if (token == Token::valueSeparator) {
        token = lexer_.scan();
        if (object && !member(token)) return false;
        expectValue = true;
      } else if (token == (object ? Token::endObject : Token::endArray)) {
        open_.pop_back();
        if (!(object ? builder_.end_object() : builder_.end_array())) return false;
        token = lexer_.scan();
      } else {
        return unexpected(token, object ? "',' or '}'" : "',' or ']'");
      }
    }
  }

  const std::string& error() const { return error_; }

 private:
  using Token = JsonLexer::Token;
  static constexpr std::size_t kUnknownSize = static_cast<std::size_t>(-1);

  // `token` is a member's key: reads it and its colon and leaves the value's first token.
  bool member(Token& token) {
    if (token != Token::string) return unexpected(token, "a key");
    if (!builder_.key(lexer_.string())) return false;
    if ((token = lexer_.scan()) != Token::nameSeparator) return unexpected(token, "':'");
    token = lexer_.scan();
    return true;
  }

  bool scalar(Token token) {
    switch (token) {
      case Token::literalNull:
        return builder_.null();
      case Token::literalTrue:
        return builder_.boolean(true);
      case Token::literalFalse:
        return builder_.boolean(false);
      case Token::string:
        return builder_.string(lexer_.string());
      case Token::unsignedNumber:
        return builder_.number_unsigned(lexer_.unsignedValue());
      case Token::integerNumber:
        return builder_.number_integer(lexer_.integerValue());
      case Token::floatNumber:
        return builder_.number_float(lexer_.floatValue());
      default:
        return unexpected(token, "a value");
    }
  }

  // Names the place and the token's kind, never its text: a message goes to logs and to
  // the host, and the input may hold a secret (a token, a key).
  bool unexpected(Token token, std::string_view expected) {
    error_ = "syntax error at byte " + std::to_string(lexer_.position()) + ": ";
    if (token == Token::parseError) {
      error_ += lexer_.errorMessage();
    } else {
      error_.append("unexpected ").append(JsonLexer::tokenName(token));
      error_.append(", expected ").append(expected);
    }
    return false;
  }

  JsonLexer lexer_;
  DomBuilder<J>& builder_;
  std::vector<bool> open_;  // the containers around the next value: true for an object
  std::string error_;
};

// Parses `text` into J; see parseJson.
template <class J>
J parseInto(std::string_view text, std::size_t maxKeys) {
  DomBuilder<J> builder(maxKeys);
  TextReader<J> reader(text, builder);
  bool parsed = false;
  try {
    parsed = reader.read();
  } catch (const std::exception& error) {
    // A size limit of the container types, or memory, still ends here as corrupted data.
    throw DecodingError(DecodingError::Kind::dataCorrupted,
                        std::string("invalid JSON: ") + error.what());
  }
  if (parsed) return std::move(builder.root);
  if (builder.tooDeep) {
    throw DecodingError(DecodingError::Kind::dataCorrupted,
                        "invalid JSON: nested deeper than " + std::to_string(kMaxJsonDepth));
  }
  if (builder.tooManyKeys) {
    throw DecodingError(DecodingError::Kind::dataCorrupted,
                        "invalid JSON: more than " + std::to_string(maxKeys) + " keys");
  }
  throw DecodingError(DecodingError::Kind::dataCorrupted, "invalid JSON: " + reader.error());
}

}  // namespace

DecodingError::DecodingError(Kind kind, const std::string& detail)
    : std::runtime_error(kind == Kind::keyNotFound || kind == Kind::valueNotFound
                             ? missingText(detail)
                             : formatText(detail)),
      kind_(kind) {}

ParsedJson parseJson(std::string_view text, std::size_t maxKeys) {
  return parseInto<ParsedJson>(text, maxKeys);
}

Json parseJsonKeepingOrder(std::string_view text, std::size_t maxKeys) {
  return parseInto<Json>(text, maxKeys);
}

template <class J>
const J& requireObject(const J& value, std::string_view context) {
  if (!value.is_object()) mismatch(context, "object", value);
  return value;
}

template <class J>
const J& requireArray(const J& value, std::string_view context) {
  if (!value.is_array()) mismatch(context, "array", value);
  return value;
}

template <class J>
const J& requiredValue(const J& object, std::string_view key) {
  const J& value = findRequired(object, key);
  if (value.is_null()) mismatch(key, "value", value);
  return value;
}

template <class T, class J>
T required(const J& object, std::string_view key) {
  return Convert<T, J>::from(findRequired(object, key), key);
}

template <class T, class J>
std::optional<T> optional(const J& object, std::string_view key) {
  const J* value = find(object, key);
  if (value == nullptr || value->is_null()) return std::nullopt;
  return Convert<T, J>::from(*value, key);
}

template <class T, class J>
std::optional<T> lenient(const J& object, std::string_view key) {
  try {
    return optional<T>(object, key);
  } catch (const DecodingError&) {
    return std::nullopt;
  }
}

template <class J>
void requireAtMost(const J& value, std::size_t limit, std::string_view key) {
  if (value.size() > limit) {
    throw DecodingError(DecodingError::Kind::dataCorrupted,
                        keyed(key, "more than " + std::to_string(limit) + " entries"));
  }
}

std::string dumpCompact(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string dumpCompact(const ParsedJson& value) {
  return value.dump(-1, ' ', false, ParsedJson::error_handler_t::replace);
}

#define TILO_JSON_INSTANTIATE(T, J)                                     \
  template T required<T, J>(const J&, std::string_view);                \
  template std::optional<T> optional<T, J>(const J&, std::string_view); \
  template std::optional<T> lenient<T, J>(const J&, std::string_view);

#define TILO_JSON_INSTANTIATE_ALL(J)                              \
  TILO_JSON_INSTANTIATE(std::string, J)                           \
  TILO_JSON_INSTANTIATE(bool, J)                                  \
  TILO_JSON_INSTANTIATE(double, J)                                \
  TILO_JSON_INSTANTIATE(std::int64_t, J)                          \
  TILO_JSON_INSTANTIATE(J, J)                                     \
  template const J& requireObject<J>(const J&, std::string_view); \
  template const J& requireArray<J>(const J&, std::string_view);  \
  template const J& requiredValue<J>(const J&, std::string_view); \
  template void requireAtMost<J>(const J&, std::size_t, std::string_view);

TILO_JSON_INSTANTIATE_ALL(Json)
TILO_JSON_INSTANTIATE_ALL(ParsedJson)

#undef TILO_JSON_INSTANTIATE_ALL
#undef TILO_JSON_INSTANTIATE

}  // namespace tilo::platform
