// The key file's configuration JSON as tilo-keytool explains and checks it: one table of
// keys feeds both the --help text and the check, so the two cannot disagree.
//
//   auto problems = configurationProblems(parseJson(text));   // every problem, at once
//   if (problems.empty()) TiloConfiguration::decode(...);     // the SDK's own reading last
#pragma once

#include <string>
#include <vector>

#include "platform/Json.h"

namespace tilo::keytool {

// Each problem of the document in one line, in key order: every missing required key,
// every value of the wrong type, every bad APS slot. Empty when the SDK's decoder would
// find nothing of these to refuse.
std::vector<std::string> configurationProblems(const platform::ParsedJson& json);

// The keys, their types and an example, for --help.
std::string configurationHelp();

}  // namespace tilo::keytool
