#include "tools/keytool/ConfigurationFormat.h"

#include <array>
#include <string_view>

namespace tilo::keytool {
namespace {

using platform::ParsedJson;

enum class Kind { string, slots };

struct Key {
  std::string_view name;
  Kind kind;
  bool required;
  std::string_view meaning;
};

// In the order the SDK reads them.
constexpr std::array<Key, 10> kKeys = {{
    {"appKey", Kind::string, true, "the app key; sent to the backend with every request"},
    {"platform", Kind::string, true, "the store platform, for example \"ios\""},
    {"storeUrl", Kind::string, false, "the app's store page"},
    {"storeId", Kind::string, true, "the app's store identifier"},
    {"admobKey", Kind::string, false, "the mediation platform's application id"},
    {"applovinSdkKey", Kind::string, false, "AppLovin's SDK key"},
    {"apsAppId", Kind::string, false, "Amazon Publisher Services' app id"},
    {"apsSlotUUIDs", Kind::slots, false, "Amazon slots: [{\"type\": FORMAT, \"uuid\": SLOT}, ...]"},
    {"verveToken", Kind::string, false, "Verve's token"},
    {"smaatoPublisherId", Kind::string, false, "Smaato's publisher id"},
}};

std::string quoted(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

std::string typeName(const ParsedJson& value) {
  return value.is_number()    ? "a number"
         : value.is_boolean() ? "a boolean"
         : value.is_array()   ? "an array"
         : value.is_object()  ? "an object"
         : value.is_null()    ? "null"
                              : "a string";
}

void checkSlots(const ParsedJson& slots, std::vector<std::string>& problems) {
  if (!slots.is_array()) {
    problems.push_back("\"apsSlotUUIDs\" must be an array of {\"type\", \"uuid\"} objects, not " +
                       typeName(slots));
    return;
  }
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const std::string place = "\"apsSlotUUIDs\"[" + std::to_string(i) + "]";
    if (!slots[i].is_object()) {
      problems.push_back(place + " must be an object, not " + typeName(slots[i]));
      continue;
    }
    for (std::string_view field : {"type", "uuid"}) {
      const auto found = slots[i].find(field);
      if (found == slots[i].end() || found->is_null()) {
        problems.push_back(place + "." + std::string(field) + " is missing (a string)");
      } else if (!found->is_string()) {
        problems.push_back(place + "." + std::string(field) + " must be a string, not " +
                           typeName(*found));
      }
    }
  }
}

}  // namespace

std::vector<std::string> configurationProblems(const ParsedJson& json) {
  if (!json.is_object()) return {"the configuration must be a JSON object, not " + typeName(json)};
  std::vector<std::string> problems;
  for (const Key& key : kKeys) {
    const auto found = json.find(key.name);
    // A null counts as absent, as the SDK reads it.
    if (found == json.end() || found->is_null()) {
      if (key.required) problems.push_back(quoted(key.name) + " is missing (a string)");
    } else if (key.kind == Kind::slots) {
      checkSlots(*found, problems);
    } else if (!found->is_string()) {
      problems.push_back(quoted(key.name) + " must be a string, not " + typeName(*found));
    }
  }
  return problems;
}

std::string configurationHelp() {
  std::string text = "The configuration (keyfile --config FILE) is one JSON object:\n";
  for (const Key& key : kKeys) {
    std::string line = "  " + quoted(key.name);
    line.resize(22, ' ');
    line += key.kind == Kind::slots ? "array" : "string";
    line += key.required ? ", required: " : ": ";
    text += line + std::string(key.meaning) + "\n";
  }
  text +=
      "Other keys are ignored; a null is as if the key were absent. For example:\n"
      "  {\"appKey\": \"my-app-key\", \"platform\": \"ios\", \"storeId\": \"1234567890\",\n"
      "   \"admobKey\": \"ca-app-pub-0000000000000000~0000000000\",\n"
      "   \"apsSlotUUIDs\": [{\"type\": \"banner\", \"uuid\": \"my-banner-slot\"}]}\n";
  return text;
}

}  // namespace tilo::keytool
