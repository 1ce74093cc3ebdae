// Reading tilo-render's view-tree file: one JSON object at a time, its keys checked against
// what is allowed, and files read with a cap on their size. Every problem throws a
// DocumentError whose message names its place.
#pragma once

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/Json.h"
#include "platform/ui/UIColor.h"
#include "tools/render/RenderDocument.h"

namespace tilo::render {

// Throws DocumentError("<where>: <problem>").
[[noreturn]] void fail(const std::string& where, const std::string& problem);
// How a message names the type of `value` ("a string", "an object", ...).
const char* typeName(const platform::Json& value);

// The bytes of the regular file at `path`, at most `limit` of them; `what` names the file
// in errors.
std::string readFile(const std::filesystem::path& path, std::uintmax_t limit,
                     const std::string& what);

// One JSON object whose keys are checked against what is allowed.
class Fields {
 public:
  Fields(const platform::Json& object, std::string where)
      : object_(object), where_(std::move(where)) {
    if (!object_.is_object())
      fail(where_, std::string("expected an object, got ") + typeName(object_));
  }

  const std::string& where() const { return where_; }
  std::string at(const std::string& key) const { return where_ + "." + key; }
  bool has(const std::string& key) {
    used_.insert(key);
    return object_.contains(key);
  }
  const platform::Json& get(const std::string& key) {
    used_.insert(key);
    if (!object_.contains(key)) fail(at(key), "missing");
    return object_.at(key);
  }
  // Every key must have been asked for.
  void rejectUnknown(const std::string& what) const {
    for (const auto& item : object_.items()) {
      if (!used_.count(item.key())) {
        fail(where_, "unknown key \"" + item.key() + "\"" + (what.empty() ? "" : " for " + what));
      }
    }
  }

  double number(const std::string& key) {
    const platform::Json& value = get(key);
    if (!value.is_number()) fail(at(key), std::string("expected a number, got ") + typeName(value));
    double d = value.get<double>();
    if (!std::isfinite(d)) fail(at(key), "expected a finite number");
    return d;
  }
  double number(const std::string& key, double fallback) {
    return has(key) ? number(key) : fallback;
  }
  int integer(const std::string& key, int fallback) {
    if (!has(key)) return fallback;
    const platform::Json& value = get(key);
    if (!value.is_number_integer()) {
      fail(at(key), std::string("expected an integer, got ") + typeName(value));
    }
    auto i = value.get<std::int64_t>();
    if (i < -1000000 || i > 1000000) fail(at(key), "integer out of range");
    return static_cast<int>(i);
  }
  bool boolean(const std::string& key) {
    const platform::Json& value = get(key);
    if (!value.is_boolean())
      fail(at(key), std::string("expected true or false, got ") + typeName(value));
    return value.get<bool>();
  }
  std::string string(const std::string& key) {
    const platform::Json& value = get(key);
    if (!value.is_string()) fail(at(key), std::string("expected a string, got ") + typeName(value));
    return value.get<std::string>();
  }
  std::vector<double> numbers(const std::string& key, std::size_t count) {
    const platform::Json& value = get(key);
    if (!value.is_array() || value.size() != count) {
      fail(at(key), "expected an array of " + std::to_string(count) + " numbers");
    }
    std::vector<double> out;
    for (std::size_t i = 0; i < count; ++i) {
      if (!value[i].is_number() || !std::isfinite(value[i].get<double>())) {
        fail(at(key) + "[" + std::to_string(i) + "]", "expected a finite number");
      }
      out.push_back(value[i].get<double>());
    }
    return out;
  }
  platform::UIColor color(const std::string& key) {
    std::string text = string(key);
    auto color = platform::UIColor::fromHex(text);
    if (!color || text.empty() || text[0] != '#') {
      fail(at(key), "expected a colour as \"#RRGGBB\" or \"#RRGGBBAA\", got \"" + text + "\"");
    }
    return *color;
  }
  template <class Enum>
  Enum choice(const std::string& key, const std::vector<std::pair<const char*, Enum>>& table) {
    std::string text = string(key);
    std::string names;
    for (const auto& [name, value] : table) {
      if (text == name) return value;
      names += names.empty() ? "" : ", ";
      names += name;
    }
    fail(at(key), "\"" + text + "\" is not one of " + names);
  }

 private:
  const platform::Json& object_;
  std::string where_;
  std::set<std::string> used_;
};

}  // namespace tilo::render
