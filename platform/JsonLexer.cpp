#include "platform/JsonLexer.h"

#include <array>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/Unicode.h"

namespace tilo::platform {
namespace {

// Bytes that end a run of plain string bytes: quote, backslash, control characters and
// every byte of a multi-byte UTF-8 sequence (checked on its own).
constexpr std::array<bool, 256> kStopsRun = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = c < 0x20 || c >= 0x80 || c == '"' || c == '\\';
  return table;
}();

// The first byte at or after `at` that ends a run. Eight bytes are tested at once: a long
// string (an ad's markup inside a bid) costs about two instructions a byte.
const char* skipRun(const char* at, const char* end) {
  constexpr std::uint64_t kOnes = 0x0101010101010101, kHigh = 0x8080808080808080;
  while (end - at >= 8) {
    std::uint64_t bytes;
    std::memcpy(&bytes, at, sizeof bytes);
    const std::uint64_t quote = bytes ^ (kOnes * '"'), backslash = bytes ^ (kOnes * '\\');
    // A byte below 0x20, a zero byte of quote or backslash (that byte was '"' or '\\'), or
    // a high bit: each sets the high bit of its byte lane.
    const std::uint64_t stops = (((bytes - kOnes * 0x20) & ~bytes) | ((quote - kOnes) & ~quote) |
                                 ((backslash - kOnes) & ~backslash) | bytes) &
                                kHigh;
    if (stops != 0) break;
    at += 8;
  }
  while (at < end && !kStopsRun[static_cast<unsigned char>(*at)]) ++at;
  return at;
}

bool inRange(const char* at, const char* end, unsigned char low, unsigned char high) {
  if (at >= end) return false;
  const auto c = static_cast<unsigned char>(*at);
  return c >= low && c <= high;
}

// The length of the well-formed UTF-8 sequence at `at` (its lead byte is >= 0x80), or 0.
std::size_t utf8SequenceLength(const char* at, const char* end) {
  const auto lead = static_cast<unsigned char>(*at);
  unsigned char low = 0x80, high = 0xBF;
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (!inRange(at + 1, end, low, high)) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (!inRange(at + i, end, 0x80, 0xBF)) return 0;
  }
  return length;
}

// Four hex digits at `at`, or -1.
long hex4(const char* at, const char* end) {
  if (end - at < 4) return -1;
  long value = 0;
  for (int i = 0; i < 4; ++i) {
    const int digit = hexDigitValue(at[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

bool isDigit(const char* at, const char* end) {
  return at < end && *at >= '0' && *at <= '9';
}

// A number that no double holds: infinite when its magnitude is beyond the largest double,
// zero when below the smallest. `digits` is the mantissa's text (digits and at most one
// point), `exponent` the decimal exponent written after it.
double outOfRange(bool negative, std::string_view digits, long long exponent) {
  long long magnitude = exponent;  // the power of ten of the first significant digit, +1
  const auto point = digits.find('.');
  const std::string_view whole = digits.substr(0, point);
  const auto firstNonZero = whole.find_first_not_of('0');
  if (firstNonZero != std::string_view::npos) {
    magnitude += static_cast<long long>(whole.size() - firstNonZero);
  } else if (point != std::string_view::npos) {
    const std::string_view fraction = digits.substr(point + 1);
    const auto leading = fraction.find_first_not_of('0');
    magnitude -= static_cast<long long>(leading == std::string_view::npos ? 0 : leading);
  }
  const double value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -value : value;
}

}  // namespace

JsonLexer::JsonLexer(std::string_view text)
    : begin_(text.data()), next_(text.data()), end_(text.data() + text.size()) {
  // A byte-order mark may open the text, and nothing else of it.
  if (text.starts_with("\xEF\xBB\xBF")) next_ += 3;
}

JsonLexer::Token JsonLexer::fail(const char* message) {
  error_ = message;
  return Token::parseError;
}

JsonLexer::Token JsonLexer::scan() {
  while (next_ < end_ && (*next_ == ' ' || *next_ == '\n' || *next_ == '\r' || *next_ == '\t')) {
    ++next_;
  }
  // A NUL byte ends the text as the JSON library's reader has it: a file padded with zeros
  // after its text (a crash in the middle of a write) still reads.
  if (next_ == end_ || *next_ == '\0') return Token::endOfInput;
  // One byte is a whole token for the six structural characters.
  static constexpr std::pair<char, Token> kStructural[] = {
      {'[', Token::beginArray}, {']', Token::endArray},      {'{', Token::beginObject},
      {'}', Token::endObject},  {':', Token::nameSeparator}, {',', Token::valueSeparator}};
  for (const auto& [character, token] : kStructural) {
    if (*next_ == character) {
      ++next_;
      return token;
    }
  }
  switch (*next_) {
    case '"':
      ++next_;
      return scanString();
    case 't':
      return scanLiteral("true", Token::literalTrue);
    case 'f':
      return scanLiteral("false", Token::literalFalse);
    case 'n':
      return scanLiteral("null", Token::literalNull);
    default:
      if (*next_ == '-' || (*next_ >= '0' && *next_ <= '9')) return scanNumber();
      return fail("invalid literal");
  }
}

JsonLexer::Token JsonLexer::scanLiteral(std::string_view word, Token token) {
  if (std::string_view(next_, static_cast<std::size_t>(end_ - next_)).starts_with(word)) {
    next_ += word.size();
    return token;
  }
  return fail("invalid literal");
}

JsonLexer::Token JsonLexer::scanString() {
  string_.clear();
  const char* run = next_;
  for (;;) {
    next_ = skipRun(next_, end_);
    if (next_ == end_) return fail("invalid string: missing closing quote");
    const auto c = static_cast<unsigned char>(*next_);
    if (c == '"') {
      string_.append(run, next_);
      ++next_;
      return Token::string;
    }
    if (c == '\\') {
      string_.append(run, next_);
      ++next_;
      if (!scanEscape()) return Token::parseError;
      run = next_;
    } else if (c < 0x20) {
      return fail("invalid string: control characters must be escaped");
    } else {
      const std::size_t length = utf8SequenceLength(next_, end_);
      if (length == 0) return fail("invalid string: ill-formed UTF-8 byte");
      next_ += length;
    }
  }
}

bool JsonLexer::scanEscape() {
  if (next_ == end_) {
    fail("invalid string: missing closing quote");
    return false;
  }
  const char c = *next_++;
  switch (c) {
    case '"':
    case '\\':
    case '/':
      string_.push_back(c);
      return true;
    case 'b':
      string_.push_back('\b');
      return true;
    case 'f':
      string_.push_back('\f');
      return true;
    case 'n':
      string_.push_back('\n');
      return true;
    case 'r':
      string_.push_back('\r');
      return true;
    case 't':
      string_.push_back('\t');
      return true;
    case 'u':
      break;
    default:
      fail("invalid string: forbidden character after backslash");
      return false;
  }
  const long first = hex4(next_, end_);
  if (first < 0) {
    fail("invalid string: '\\u' must be followed by 4 hex digits");
    return false;
  }
  next_ += 4;
  auto code = static_cast<std::uint32_t>(first);
  if (code >= 0xDC00 && code <= 0xDFFF) {
    fail("invalid string: surrogate U+DC00..U+DFFF must follow U+D800..U+DBFF");
    return false;
  }
  if (code >= 0xD800 && code <= 0xDBFF) {
    const long second =
        end_ - next_ >= 2 && next_[0] == '\\' && next_[1] == 'u' ? hex4(next_ + 2, end_) : -1;
    if (second < 0xDC00 || second > 0xDFFF) {
      fail("invalid string: surrogate U+D800..U+DBFF must be followed by U+DC00..U+DFFF");
      return false;
    }
    next_ += 6;
    code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<std::uint32_t>(second) - 0xDC00);
  }
  appendUtf8(string_, static_cast<char32_t>(code));
  return true;
}

JsonLexer::Token JsonLexer::scanNumber() {
  const char* start = next_;
  const bool negative = *next_ == '-';
  if (negative) ++next_;
  if (!isDigit(next_, end_)) return fail("invalid number; expected digit after '-'");
  if (*next_ == '0') {
    ++next_;
  } else {
    while (isDigit(next_, end_)) ++next_;
  }
  bool integral = true;
  if (next_ < end_ && *next_ == '.') {
    integral = false;
    ++next_;
    if (!isDigit(next_, end_)) return fail("invalid number; expected digit after '.'");
    while (isDigit(next_, end_)) ++next_;
  }
  const char* mantissaEnd = next_;
  long long exponent = 0;
  if (next_ < end_ && (*next_ == 'e' || *next_ == 'E')) {
    integral = false;
    ++next_;
    bool negativeExponent = false;
    if (next_ < end_ && (*next_ == '+' || *next_ == '-')) negativeExponent = *next_++ == '-';
    if (!isDigit(next_, end_)) return fail("invalid number; expected digit after exponent sign");
    for (; isDigit(next_, end_); ++next_) {
      // Held below any exponent a double can mean, however many digits follow.
      if (exponent < 1'000'000) exponent = exponent * 10 + (*next_ - '0');
    }
    if (negativeExponent) exponent = -exponent;
  }

  if (integral) {
    if (!negative) {
      const auto [end, error] = std::from_chars(start, next_, unsigned_);
      if (error == std::errc() && end == next_) return Token::unsignedNumber;
    } else {
      const auto [end, error] = std::from_chars(start, next_, integer_);
      if (error == std::errc() && end == next_) return Token::integerNumber;
    }
  }
  // from_chars reads the sign, and no locale's decimal point.
  const auto [end, error] = std::from_chars(start, next_, float_);
  if (error == std::errc::result_out_of_range) {
    const char* digits = start + (negative ? 1 : 0);
    float_ = outOfRange(negative, std::string_view(digits, mantissaEnd - digits), exponent);
  } else if (error != std::errc() || end != next_) {
    return fail("invalid number");
  }
  return Token::floatNumber;
}

const char* JsonLexer::tokenName(Token token) {
  switch (token) {
    case Token::literalTrue:
      return "true literal";
    case Token::literalFalse:
      return "false literal";
    case Token::literalNull:
      return "null literal";
    case Token::string:
      return "string literal";
    case Token::unsignedNumber:
    case Token::integerNumber:
    case Token::floatNumber:
      return "number literal";
    case Token::beginArray:
      return "'['";
    case Token::beginObject:
      return "'{'";
    case Token::endArray:
      return "']'";
    case Token::endObject:
      return "'}'";
    case Token::nameSeparator:
      return "':'";
    case Token::valueSeparator:
      return "','";
    case Token::parseError:
      return "<parse error>";
    case Token::endOfInput:
      break;
  }
  return "end of input";
}

}  // namespace tilo::platform
