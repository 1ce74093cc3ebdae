// Random systems solved by our solver and by kiwisolver (an independent Cassowary
// implementation, driven as a black box through /usr/bin/python3) must agree on every
// status and on every variable at every check. tests/ui/solver_reference.py generates the
// systems (with a unique optimum each) and runs kiwisolver on them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ui/solver/Solver.h"
#include "support/TempDir.h"

namespace tilo::platform::solver {
namespace {

using nlohmann::json;

constexpr int kSeed = 20240611;
constexpr int kSystems = 300;

const std::string kScript = TILO_SOURCE_DIR "/tests/ui/solver_reference.py";

// Runs the reference script with `arguments` and parses what it prints.
json script(const std::string& arguments, const std::filesystem::path& out) {
  const std::string command =
      "/usr/bin/python3 " + kScript + " " + arguments + " > " + out.string();
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(out);
  return json::parse(in, nullptr, /*allow_exceptions=*/false);
}

Relation relationOf(const std::string& text) {
  if (text == "<=") return Relation::lessOrEqual;
  if (text == ">=") return Relation::greaterOrEqual;
  return Relation::equal;
}

// The reference's names; it reports no other status.
std::string statusName(SolverStatus status) {
  if (status == SolverStatus::unsatisfiableConstraint) return "unsatisfiable";
  if (status == SolverStatus::unknownConstraint) return "unknown";
  return describe(status);
}

struct Replay {
  std::vector<std::string> statuses;
  std::vector<std::vector<double>> checks;
};

Replay replay(const json& system) {
  std::vector<Variable> variables;
  for (int i = 0; i < system["variables"].get<int>(); ++i) {
    variables.emplace_back("v" + std::to_string(i));
  }
  Solver solver;
  std::map<int, Constraint> constraints;
  Replay result;
  for (const json& op : system["ops"]) {
    const std::string kind = op["op"];
    SolverStatus status = SolverStatus::ok;
    if (kind == "add") {
      std::vector<Term> terms;
      for (const json& term : op["terms"]) {
        terms.push_back(Term{variables.at(term[0].get<int>()), term[1].get<double>()});
      }
      Constraint constraint(Expression(std::move(terms), op["constant"].get<double>()),
                            relationOf(op["relation"]), op["strength"].get<double>());
      status = solver.addConstraint(constraint);
      constraints[op["id"].get<int>()] = constraint;
    } else if (kind == "remove") {
      status = solver.removeConstraint(constraints.at(op["id"].get<int>()));
    } else if (kind == "edit") {
      status = solver.addEditVariable(variables.at(op["var"]), op["strength"].get<double>());
    } else if (kind == "suggest") {
      status = solver.suggestValue(variables.at(op["var"]), op["value"].get<double>());
    } else if (kind == "unedit") {
      status = solver.removeEditVariable(variables.at(op["var"]));
    } else if (kind == "check") {
      solver.updateVariables();
      std::vector<double> values;
      for (const Variable& variable : variables) values.push_back(variable.value());
      result.checks.push_back(std::move(values));
    }
    result.statuses.push_back(statusName(status));
  }
  return result;
}

TEST(SolverReferenceTest, AgreesWithKiwisolverOnRandomSystems) {
  ASSERT_EQ(std::system("/usr/bin/python3 -c 'import kiwisolver' 2>/dev/null"), 0)
      << "python3-kiwisolver is missing for /usr/bin/python3: run scripts/bootstrap";

  test::TempDir dir;
  const auto systemsPath = dir.path() / "systems.json";
  const json systems =
      script("generate --seed " + std::to_string(kSeed) + " --count " + std::to_string(kSystems),
             systemsPath);
  const json expected = script("solve < " + systemsPath.string(), dir.path() / "expected.json");
  ASSERT_FALSE(systems.is_discarded());
  ASSERT_FALSE(expected.is_discarded());
  ASSERT_EQ(systems["systems"].size(), static_cast<std::size_t>(kSystems));
  ASSERT_EQ(expected["results"].size(), static_cast<std::size_t>(kSystems));

  std::size_t refused = 0, compared = 0, failures = 0;
  for (std::size_t i = 0; i < systems["systems"].size() && failures < 5; ++i) {
    const json& system = systems["systems"][i];
    const json& reference = expected["results"][i];
    const Replay ours = replay(system);
    const auto statuses = reference["statuses"].get<std::vector<std::string>>();
    const auto checks = reference["checks"].get<std::vector<std::vector<double>>>();
    bool same = ours.statuses == statuses && ours.checks.size() == checks.size();
    for (std::size_t c = 0; same && c < checks.size(); ++c) {
      for (std::size_t v = 0; v < checks[c].size(); ++v) {
        const double want = checks[c][v], got = ours.checks[c][v];
        same = same && std::fabs(got - want) <= 1e-6 * std::max(1.0, std::fabs(want));
        ++compared;
      }
    }
    for (const std::string& status : statuses) refused += status == "unsatisfiable";
    if (!same) {
      ++failures;
      ADD_FAILURE() << "system " << i << " differs from kiwisolver\nsystem: " << system.dump()
                    << "\nkiwisolver: " << reference.dump() << "\nours: "
                    << json{{"statuses", ours.statuses}, {"checks", ours.checks}}.dump();
    }
  }
  // The generator must exercise refusals and produce real comparisons.
  EXPECT_GT(refused, 10u);
  EXPECT_GT(compared, 5000u);
}

}  // namespace
}  // namespace tilo::platform::solver
