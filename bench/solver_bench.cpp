// The Auto Layout solver on two systems of about 1,000 constraints, next to
// python3-kiwisolver (another Cassowary solver, driven from /usr/bin/python3 once per
// run by bench/kiwi_reference.py on the very same systems):
//   chain  x0 == 0, x(i+1) >= x(i) + 10, weak x(i) == 5i (500 variables)
//   grid   12 rows of 20 cells: widths >= 10 with weak wishes, 8-point spacing, strong
//          equal widths per row, rows stacked with spacing, all inside an edge W
// Three measures each: a full solve from scratch (building the constraints included, as
// kiwisolver's build_solve_ms includes its Python calls), one edit (suggestValue on an
// edit variable, then updateVariables), and replacing one constraint by a copy with
// another constant. Both sides are timed in CPU time (the machine may be shared), ours
// over each benchmark's whole loop. Counters: kiwi_* are kiwisolver's medians;
// ours_per_kiwi < 1 means faster than kiwisolver; full_per_edit and full_per_replace
// compare with our full solve. Then the targets, as ratios to kiwisolver from this run:
// the chain's full solve at most 0.5, an edit of either shape at most 0.1.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/ui/solver/Solver.h"

namespace {

using namespace tilo::platform::solver;
using nlohmann::json;

struct ConstraintRow {
  std::vector<std::pair<int, double>> terms;
  double constant;
  Relation relation;
  double strength;
};

struct System {
  std::string name;
  int variables = 0;
  std::vector<ConstraintRow> constraints;
  int editVariable = 0;
  double editStrength = strength::strong;
  std::vector<double> editValues;
  std::size_t replaceIndex = 0;
  std::vector<double> replaceConstants;
};

System chain() {
  constexpr int n = 500;
  System s;
  s.name = "chain";
  s.variables = n;
  s.constraints.push_back({{{0, 1}}, 0, Relation::equal, strength::required});
  for (int i = 0; i < n; ++i) {
    s.constraints.push_back({{{i, 1}}, -5.0 * i, Relation::equal, strength::weak});
    if (i + 1 < n) {
      s.constraints.push_back(
          {{{i + 1, 1}, {i, -1}}, -10, Relation::greaterOrEqual, strength::required});
    }
  }
  s.editVariable = n - 1;
  for (int k = 0; k < 64; ++k) s.editValues.push_back(5000 + 13 * (k % 7));
  s.replaceIndex = 2 * (n / 2);  // x250 >= x249 + 10
  for (int k = 0; k < 64; ++k) s.replaceConstants.push_back(-10.0 - 3 * (k % 5));
  return s;
}

System grid() {
  constexpr int rows = 12, columns = 20;
  System s;
  s.name = "grid";
  const int edge = s.variables++;
  s.constraints.push_back({{{edge, 1}}, -1200, Relation::equal, strength::medium});
  int previousTop = -1, previousHeight = -1;
  for (int r = 0; r < rows; ++r) {
    const int top = s.variables++, height = s.variables++;
    if (previousTop < 0) {
      s.constraints.push_back({{{top, 1}}, 0, Relation::equal, strength::required});
    } else {
      s.constraints.push_back({{{top, 1}, {previousTop, -1}, {previousHeight, -1}},
                               -8,
                               Relation::greaterOrEqual,
                               strength::required});
    }
    s.constraints.push_back({{{height, 1}}, -44, Relation::equal, strength::medium});
    previousTop = top;
    previousHeight = height;
    int firstWidth = -1, left = -1, width = -1;
    for (int c = 0; c < columns; ++c) {
      const int previousLeft = left, previousWidth = width;
      left = s.variables++;
      width = s.variables++;
      s.constraints.push_back({{{width, 1}}, -10, Relation::greaterOrEqual, strength::required});
      // Distinct weights keep the optimum unique, so that both solvers agree exactly.
      s.constraints.push_back({{{width, 1}},
                               -(50.0 + 7 * (c % 5)),
                               Relation::equal,
                               strength::create(0, 0, 1, 1 + 0.01 * c + 0.001 * r)});
      if (c == 0) {
        s.constraints.push_back({{{left, 1}}, 0, Relation::equal, strength::required});
        firstWidth = width;
      } else {
        s.constraints.push_back({{{left, 1}, {previousLeft, -1}, {previousWidth, -1}},
                                 -8,
                                 Relation::equal,
                                 strength::required});
        s.constraints.push_back(
            {{{width, 1}, {firstWidth, -1}}, 0, Relation::equal, strength::strong});
      }
    }
    if (r == rows / 2) s.replaceIndex = s.constraints.size();
    s.constraints.push_back(
        {{{left, 1}, {width, 1}, {edge, -1}}, 0, Relation::lessOrEqual, strength::required});
  }
  s.editVariable = edge;
  for (int k = 0; k < 64; ++k) s.editValues.push_back(900 + 17 * (k % 7));
  for (int k = 0; k < 64; ++k) s.replaceConstants.push_back(10.0 * (k % 4));
  return s;
}

const std::vector<System>& systems() {
  static const std::vector<System> all{chain(), grid()};
  return all;
}

Constraint build(const ConstraintRow& row, const std::vector<Variable>& variables,
                 double constant) {
  std::vector<Term> terms;
  terms.reserve(row.terms.size());
  for (const auto& [index, coefficient] : row.terms)
    terms.push_back({variables[index], coefficient});
  return Constraint(Expression(std::move(terms), constant), row.relation, row.strength);
}

std::vector<Variable> variablesFor(const System& system) {
  std::vector<Variable> variables;
  for (int i = 0; i < system.variables; ++i) variables.emplace_back("v" + std::to_string(i));
  return variables;
}

void solve(Solver& solver, const System& system, const std::vector<Variable>& variables) {
  for (const ConstraintRow& row : system.constraints) {
    solver.addConstraint(build(row, variables, row.constant));
  }
  solver.updateVariables();
}

const char* relationText(Relation relation) {
  return relation == Relation::lessOrEqual      ? "<="
         : relation == Relation::greaterOrEqual ? ">="
                                                : "==";
}

// kiwisolver's numbers for every system, from one Python run; null when it cannot run.
const json& kiwi() {
  static const json results = [] {
    json document{{"systems", json::array()}};
    for (const System& s : systems()) {
      json constraints = json::array();
      for (const ConstraintRow& row : s.constraints) {
        constraints.push_back({row.terms, row.constant, relationText(row.relation), row.strength});
      }
      document["systems"].push_back(
          {{"name", s.name},
           {"variables", s.variables},
           {"constraints", constraints},
           {"edit",
            {{"var", s.editVariable}, {"strength", s.editStrength}, {"values", s.editValues}}},
           {"replace", {{"index", s.replaceIndex}, {"constants", s.replaceConstants}}}});
    }
    char path[] = "/tmp/tilo-solver-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0) return json();
    ::close(fd);
    std::ofstream(path) << document.dump();
    const std::string command =
        std::string("/usr/bin/python3 " TILO_SOURCE_DIR "/bench/kiwi_reference.py ") + path;
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
      char buffer[4096];
      while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
      ::pclose(pipe);
    }
    std::remove(path);
    json parsed = json::parse(output, nullptr, /*allow_exceptions=*/false);
    return parsed.is_discarded() ? json() : parsed;
  }();
  return results;
}

// This thread's CPU time in milliseconds.
double cpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) * 1e-6;
}

// Ratios to kiwisolver by benchmark name, for the target lines after the run.
std::map<std::string, double>& ratios() {
  static std::map<std::string, double> all;
  return all;
}

// Our median full solve in milliseconds (for the ratios of the incremental measures).
double ourFullSolveMs(const System& system) {
  const auto variables = variablesFor(system);
  std::vector<double> times;
  for (int i = 0; i < 7; ++i) {
    const double start = cpuMs();
    Solver solver;
    solve(solver, system, variables);
    times.push_back(cpuMs() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

bool checkAgainstKiwi(benchmark::State& state, const System& system, json& reference) {
  const json& all = kiwi();
  if (all.is_null() || !all.contains(system.name)) {
    state.SkipWithError("kiwisolver did not run: run scripts/bootstrap");
    return false;
  }
  reference = all[system.name];
  const auto variables = variablesFor(system);
  Solver solver;
  solve(solver, system, variables);
  const auto values = reference["values"].get<std::vector<double>>();
  for (std::size_t i = 0; i < variables.size(); ++i) {
    if (std::fabs(variables[i].value() - values[i]) > 1e-6 * std::max(1.0, std::fabs(values[i]))) {
      state.SkipWithError(("differs from kiwisolver at v" + std::to_string(i)).c_str());
      return false;
    }
  }
  return true;
}

void BM_FullSolve(benchmark::State& state) {
  const System& system = systems()[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(system.name);
  json reference;
  if (!checkAgainstKiwi(state, system, reference)) return;
  const auto variables = variablesFor(system);
  const double start = cpuMs();
  for (auto _ : state) {
    Solver solver;
    solve(solver, system, variables);
  }
  const double ours = (cpuMs() - start) / static_cast<double>(state.iterations());
  state.counters["constraints"] = static_cast<double>(system.constraints.size());
  state.counters["kiwi_ms"] = reference["build_solve_ms"].get<double>();
  state.counters["kiwi_solve_only_ms"] = reference["solve_ms"].get<double>();
  state.counters["ours_per_kiwi"] = ours / reference["build_solve_ms"].get<double>();
  state.counters["ours_per_kiwi_solve_only"] = ours / reference["solve_ms"].get<double>();
  ratios()["full " + system.name] = ours / reference["build_solve_ms"].get<double>();
}

void BM_EditResolve(benchmark::State& state) {
  const System& system = systems()[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(system.name);
  json reference;
  if (!checkAgainstKiwi(state, system, reference)) return;
  const double fullMs = ourFullSolveMs(system);
  const auto variables = variablesFor(system);
  Solver solver;
  solve(solver, system, variables);
  const Variable& edited = variables[static_cast<std::size_t>(system.editVariable)];
  solver.addEditVariable(edited, system.editStrength);
  std::size_t k = 0;
  const double start = cpuMs();
  for (auto _ : state) {
    solver.suggestValue(edited, system.editValues[k++ % system.editValues.size()]);
    solver.updateVariables();
  }
  const double ours = (cpuMs() - start) * 1000 / static_cast<double>(state.iterations());
  state.counters["kiwi_us"] = reference["edit_us"].get<double>();
  state.counters["ours_per_kiwi"] = ours / reference["edit_us"].get<double>();
  state.counters["full_per_edit"] = fullMs * 1000 / ours;
  ratios()["edit " + system.name] = ours / reference["edit_us"].get<double>();
}

void BM_ReplaceConstraint(benchmark::State& state) {
  const System& system = systems()[static_cast<std::size_t>(state.range(0))];
  state.SetLabel(system.name);
  json reference;
  if (!checkAgainstKiwi(state, system, reference)) return;
  const double fullMs = ourFullSolveMs(system);
  const auto variables = variablesFor(system);
  Solver solver;
  std::vector<Constraint> constraints;
  for (const ConstraintRow& row : system.constraints) {
    constraints.push_back(build(row, variables, row.constant));
    solver.addConstraint(constraints.back());
  }
  const ConstraintRow& row = system.constraints[system.replaceIndex];
  Constraint current = constraints[system.replaceIndex];
  std::size_t k = 0;
  const double start = cpuMs();
  for (auto _ : state) {
    solver.removeConstraint(current);
    current = build(row, variables, system.replaceConstants[k++ % system.replaceConstants.size()]);
    solver.addConstraint(current);
    solver.updateVariables();
  }
  const double ours = (cpuMs() - start) * 1000 / static_cast<double>(state.iterations());
  state.counters["kiwi_us"] = reference["replace_us"].get<double>();
  state.counters["ours_per_kiwi"] = ours / reference["replace_us"].get<double>();
  state.counters["full_per_replace"] = fullMs * 1000 / ours;
  ratios()["replace " + system.name] = ours / reference["replace_us"].get<double>();
}

}  // namespace

BENCHMARK(BM_FullSolve)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EditResolve)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReplaceConstraint)->DenseRange(0, 1)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The targets, each a ratio of CPU times measured in this run.
  const struct {
    const char* key;
    const char* what;
    double target;
  } targets[] = {{"full chain", "full solve of the 1,000-constraint chain", 0.5},
                 {"edit chain", "edit of the chain", 0.1},
                 {"edit grid", "edit of the grid", 0.1},
                 {"full grid", "full solve of the grid", 0},
                 {"replace chain", "replacing a constraint of the chain", 0},
                 {"replace grid", "replacing a constraint of the grid", 0}};
  for (const auto& line : targets) {
    auto found = ratios().find(line.key);
    if (found == ratios().end()) continue;
    if (line.target > 0) {
      std::printf("solver %s: %.3fx kiwisolver's CPU time (target <= %.1fx)\n", line.what,
                  found->second, line.target);
    } else {
      std::printf("solver %s: %.3fx kiwisolver's CPU time\n", line.what, found->second);
    }
  }
  return 0;
}
