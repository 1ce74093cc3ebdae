// The tokens of one JSON text (RFC 8259), read in one pass over its bytes.
//
//   JsonLexer lexer(text);
//   for (auto token = lexer.scan(); token != JsonLexer::Token::endOfInput; token = lexer.scan()) {
//     if (token == JsonLexer::Token::parseError) return lexer.errorMessage();
//     if (token == JsonLexer::Token::string) use(lexer.string());
//   }
//
// Strings are checked as UTF-8 and unescaped (\uXXXX pairs joined, a lone surrogate refused);
// a run of plain bytes is copied at once, so that a long string costs about a byte compare
// per byte. A number keeps its kind: an integer that fits 64 bits is an integer, any other
// number a double, infinite when it lies beyond a double's range (the reader above decides
// what such a value means) and zero when it is too small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tilo::platform {

class JsonLexer {
 public:
  enum class Token {
    literalTrue,
    literalFalse,
    literalNull,
    string,
    unsignedNumber,
    integerNumber,
    floatNumber,
    beginArray,
    beginObject,
    endArray,
    endObject,
    nameSeparator,
    valueSeparator,
    parseError,
    endOfInput,
  };

  explicit JsonLexer(std::string_view text);

  Token scan();

  // The last string token, unescaped; the caller may move from it.
  std::string& string() { return string_; }
  std::uint64_t unsignedValue() const { return unsigned_; }
  std::int64_t integerValue() const { return integer_; }
  double floatValue() const { return float_; }

  // The bytes read so far: where a syntax error was found.
  std::size_t position() const { return static_cast<std::size_t>(next_ - begin_); }
  // What was wrong with the last parseError token; never quotes the input.
  const char* errorMessage() const { return error_; }
  static const char* tokenName(Token token);

 private:
  Token scanString();
  Token scanNumber();
  Token scanLiteral(std::string_view word, Token token);
  bool scanEscape();
  Token fail(const char* message);

  const char* begin_;
  const char* next_;
  const char* end_;
  std::string string_;
  std::uint64_t unsigned_ = 0;
  std::int64_t integer_ = 0;
  double float_ = 0;
  const char* error_ = "";
};

}  // namespace tilo::platform
