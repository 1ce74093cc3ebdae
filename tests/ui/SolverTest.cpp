#include "platform/ui/solver/Solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace tilo::platform::solver {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Values of `variables` after solving `constraints` from scratch.
std::vector<double> freshSolve(const std::vector<Constraint>& constraints,
                               const std::vector<Variable>& variables) {
  Solver solver;
  for (const Constraint& constraint : constraints) {
    EXPECT_EQ(solver.addConstraint(constraint), SolverStatus::ok);
  }
  solver.updateVariables();
  std::vector<double> values;
  for (const Variable& variable : variables) values.push_back(variable.value());
  return values;
}

std::vector<double> valuesOf(Solver& solver, const std::vector<Variable>& variables) {
  solver.updateVariables();
  std::vector<double> values;
  for (const Variable& variable : variables) values.push_back(variable.value());
  return values;
}

void expectNear(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], want[i], 1e-9) << "#" << i;
}

TEST(SolverTest, SolvesEqualitiesAndInequalities) {
  Variable x("x"), y("y"), left("left"), width("width");

  // 1. Two equations, two unknowns.
  Solver solver;
  ASSERT_EQ(solver.addConstraint(x + y == 10), SolverStatus::ok);
  ASSERT_EQ(solver.addConstraint(x - y == 2), SolverStatus::ok);
  solver.updateVariables();
  EXPECT_DOUBLE_EQ(x.value(), 6);
  EXPECT_DOUBLE_EQ(y.value(), 4);

  // 2. Repeated variables merge: x + 2 == x / 2 is 0.5·x + 2 == 0.
  Solver merged;
  const Constraint halves = x + 2 == x / 2;
  ASSERT_EQ(halves.expression().terms().size(), 1u);
  ASSERT_EQ(merged.addConstraint(halves), SolverStatus::ok);
  merged.updateVariables();
  EXPECT_DOUBLE_EQ(x.value(), -4);

  // 3. Required bounds beat preferences from either side.
  Solver bounds;
  ASSERT_EQ(bounds.addConstraint(left >= 20), SolverStatus::ok);
  ASSERT_EQ(bounds.addConstraint(left + width <= 100), SolverStatus::ok);
  ASSERT_EQ(bounds.addConstraint((left == 5) | strength::strong), SolverStatus::ok);
  ASSERT_EQ(bounds.addConstraint((width == 300) | strength::medium), SolverStatus::ok);
  bounds.updateVariables();
  EXPECT_DOUBLE_EQ(left.value(), 20);
  EXPECT_DOUBLE_EQ(width.value(), 80);

  // 4. A bound that does not bind leaves the preference alone; a non-required
  //    inequality only pushes while it is violated.
  Solver loose;
  ASSERT_EQ(loose.addConstraint(x <= 1000), SolverStatus::ok);
  ASSERT_EQ(loose.addConstraint((x == 40) | strength::weak), SolverStatus::ok);
  ASSERT_EQ(loose.addConstraint((x >= 30) | strength::strong), SolverStatus::ok);
  ASSERT_EQ(loose.addConstraint((x <= 35) | strength::medium), SolverStatus::ok);
  loose.updateVariables();
  EXPECT_DOUBLE_EQ(x.value(), 35);
}

TEST(SolverTest, StrongerPreferencesWinAndEqualOnesCompromise) {
  Variable x("x");

  // 1. One medium wish against many weak ones (up to 999 weak units weigh less than one
  //    medium), one strong against many medium ones.
  Solver solver;
  for (int i = 0; i < 150; ++i) {
    ASSERT_EQ(solver.addConstraint((x == 0) | strength::weak), SolverStatus::ok);
  }
  ASSERT_EQ(solver.addConstraint((x == -5) | strength::create(0, 0, 849)), SolverStatus::ok);
  ASSERT_EQ(solver.addConstraint((x == 10) | strength::medium), SolverStatus::ok);
  solver.updateVariables();
  EXPECT_DOUBLE_EQ(x.value(), 10);
  for (int i = 0; i < 150; ++i) {
    ASSERT_EQ(solver.addConstraint((x == 20) | strength::medium), SolverStatus::ok);
  }
  ASSERT_EQ(solver.addConstraint((x == 20) | strength::create(0, 848, 0)), SolverStatus::ok);
  ASSERT_EQ(solver.addConstraint((x == 30) | strength::strong), SolverStatus::ok);
  solver.updateVariables();
  EXPECT_DOUBLE_EQ(x.value(), 30);

  // 2. Equal tiers compromise by least total weighted error: the weighted median.
  Solver median;
  ASSERT_EQ(median.addConstraint((x == 0) | strength::weak), SolverStatus::ok);
  ASSERT_EQ(median.addConstraint((x == 10) | strength::weak), SolverStatus::ok);
  ASSERT_EQ(median.addConstraint((x == 30) | strength::weak), SolverStatus::ok);
  median.updateVariables();
  EXPECT_DOUBLE_EQ(x.value(), 10);
  ASSERT_EQ(median.addConstraint((x == 30) | strength::create(0, 0, 1, 1.5)), SolverStatus::ok);
  median.updateVariables();
  EXPECT_DOUBLE_EQ(x.value(), 30);

  // 3. Tiers clip to [0, 1000] after the weight; strengths clip to [0, required].
  EXPECT_EQ(strength::create(5, -3, 2000), 5e6 + 1000);
  EXPECT_EQ(strength::create(1, 1, 1, 2000), strength::required);
  EXPECT_EQ(strength::required, 1001001000.0);
  EXPECT_EQ(Constraint(x == 1, 5e12).strength(), strength::required);
  EXPECT_EQ(Constraint(x == 1, -4).strength(), 0);
  EXPECT_TRUE(Constraint(x == 1, strength::create(1000, 1000, 1000)).isRequired());
}

TEST(SolverTest, RefusesAConflictingRequiredConstraintAndReportsIt) {
  Variable x("x"), y("y"), z("z");

  // 1. Two required equations on one variable: the second is refused, the first named.
  Solver solver;
  const Constraint ten = x == 10;
  ASSERT_EQ(solver.addConstraint(ten), SolverStatus::ok);
  const Constraint twenty = x == 20;
  EXPECT_EQ(solver.addConstraint(twenty), SolverStatus::unsatisfiableConstraint);
  EXPECT_EQ(solver.conflictingConstraints(), std::vector<Constraint>{ten});
  EXPECT_FALSE(solver.hasConstraint(twenty));
  EXPECT_EQ(solver.constraintCount(), 1u);
  solver.updateVariables();
  EXPECT_DOUBLE_EQ(x.value(), 10);

  // 2. A conflict through inequalities (found by the phase-one search) names every
  //    required constraint that takes part, in the order they were added, and no other.
  const Constraint atLeast = x >= 10, gap = y >= x + 5, unrelated = z >= 3;
  const Constraint wish = (y == 100) | strength::strong;
  Solver chain;
  for (const Constraint& c : {unrelated, atLeast, wish, gap}) {
    ASSERT_EQ(chain.addConstraint(c), SolverStatus::ok);
  }
  const Constraint ceiling = y <= 12;
  EXPECT_EQ(chain.addConstraint(ceiling), SolverStatus::unsatisfiableConstraint);
  EXPECT_EQ(chain.conflictingConstraints(), (std::vector<Constraint>{atLeast, gap}));

  // 3. The refusal left nothing behind: a twin that never saw it agrees to the last bit
  //    through later edits, additions and removals.
  Solver twin;
  for (const Constraint& c : {unrelated, atLeast, wish, gap}) twin.addConstraint(c);
  const std::vector<Variable> all{x, y, z};
  for (Solver* s : {&chain, &twin}) {
    ASSERT_EQ(s->addEditVariable(x, strength::medium), SolverStatus::ok);
    ASSERT_EQ(s->suggestValue(x, 40), SolverStatus::ok);
  }
  EXPECT_EQ(valuesOf(chain, all), valuesOf(twin, all));
  for (Solver* s : {&chain, &twin}) {
    ASSERT_EQ(s->removeConstraint(atLeast), SolverStatus::ok);
    ASSERT_EQ(s->suggestValue(x, -7), SolverStatus::ok);
    ASSERT_EQ(s->addConstraint((Expression(z) == y) | strength::weak), SolverStatus::ok);
  }
  EXPECT_EQ(valuesOf(chain, all), valuesOf(twin, all));

  // 4. With one opponent gone the refused constraint fits; the report is cleared.
  EXPECT_EQ(chain.addConstraint(ceiling), SolverStatus::ok);
  EXPECT_TRUE(chain.conflictingConstraints().empty());
  expectNear(valuesOf(chain, all), {-7, 12, 12});
}

TEST(SolverTest, EditsFollowSuggestions) {
  Variable left("left"), width("width"), right("right");
  const std::vector<Variable> all{left, width, right};
  std::vector<Constraint> layout{right == left + width, left >= 0, right <= 500,
                                 (width == 100) | strength::strong, (left == 10) | strength::weak};
  Solver solver;
  for (const Constraint& c : layout) ASSERT_EQ(solver.addConstraint(c), SolverStatus::ok);

  // 1. Before any suggestion the edit pulls towards 0, like `left == 0` at its strength.
  ASSERT_EQ(solver.addEditVariable(left, strength::medium), SolverStatus::ok);
  EXPECT_TRUE(solver.hasEditVariable(left));
  expectNear(valuesOf(solver, all), {0, 100, 100});

  // 2. Each suggestion gives what a fresh solve with `left == value` at the edit's
  //    strength gives: inside the bounds, below 0, past the right edge (where the strong
  //    width gives way), and back.
  for (double value : {30.0, -5.0, 450.0, 1000.0, 37.5, 0.0, 123.0}) {
    ASSERT_EQ(solver.suggestValue(left, value), SolverStatus::ok);
    std::vector<Constraint> equivalent = layout;
    equivalent.push_back((left == value) | strength::medium);
    expectNear(valuesOf(solver, all), freshSolve(equivalent, all));
  }
  solver.updateVariables();
  EXPECT_DOUBLE_EQ(left.value(), 123);

  // 3. Two edits at once; the strong width outweighs the medium edit of left.
  ASSERT_EQ(solver.addEditVariable(right, strength::strong * 2), SolverStatus::ok);
  ASSERT_EQ(solver.suggestValue(right, 300), SolverStatus::ok);
  ASSERT_EQ(solver.suggestValue(left, 250), SolverStatus::ok);
  expectNear(valuesOf(solver, all), {200, 100, 300});

  // 4. Removing the edits gives the plain layout back.
  ASSERT_EQ(solver.removeEditVariable(right), SolverStatus::ok);
  ASSERT_EQ(solver.removeEditVariable(left), SolverStatus::ok);
  EXPECT_FALSE(solver.hasEditVariable(left));
  expectNear(valuesOf(solver, all), {10, 100, 110});

  // 5. Refused edit calls change nothing.
  Variable stranger("stranger");
  EXPECT_EQ(solver.suggestValue(left, 5), SolverStatus::unknownEditVariable);
  EXPECT_EQ(solver.removeEditVariable(stranger), SolverStatus::unknownEditVariable);
  EXPECT_EQ(solver.addEditVariable(left, strength::required), SolverStatus::badRequiredStrength);
  EXPECT_EQ(solver.addEditVariable(left, 2 * strength::required),
            SolverStatus::badRequiredStrength);
  EXPECT_EQ(solver.addEditVariable(left, kNaN), SolverStatus::nonFiniteValue);
  ASSERT_EQ(solver.addEditVariable(left, strength::strong), SolverStatus::ok);
  EXPECT_EQ(solver.addEditVariable(left, strength::weak), SolverStatus::duplicateEditVariable);
  ASSERT_EQ(solver.suggestValue(left, 60), SolverStatus::ok);
  EXPECT_EQ(solver.suggestValue(left, kNaN), SolverStatus::nonFiniteValue);
  EXPECT_EQ(solver.suggestValue(left, -kInf), SolverStatus::nonFiniteValue);
  expectNear(valuesOf(solver, all), {60, 100, 160});
  EXPECT_EQ(solver.constraintCount(), layout.size());
}

TEST(SolverTest, RemovalRestoresWhatTheRemainingConstraintsImply) {
  // A row of three boxes up to a wall, with spacing and preferences.
  std::vector<Variable> l, w;
  for (int i = 0; i < 3; ++i) {
    l.emplace_back("l" + std::to_string(i));
    w.emplace_back("w" + std::to_string(i));
  }
  Variable wall("wall");
  std::vector<Variable> all = l;
  all.insert(all.end(), w.begin(), w.end());
  all.push_back(wall);
  std::vector<Constraint> constraints{l[0] >= 0, wall == 300};
  for (int i = 0; i < 3; ++i) {
    constraints.push_back(w[i] >= 20);
    constraints.push_back((w[i] == 120 - 10 * i) | strength::medium);
    // Distinct weights keep the optimum unique whichever constraint is missing.
    constraints.push_back((l[i] == 50 * i) | strength::create(0, 0, 1, 1 + 0.13 * i));
    constraints.push_back((w[i] == 30) | strength::create(0, 0, 1, 0.7 + 0.1 * i));
    constraints.push_back(i < 2 ? Constraint(l[i + 1] >= l[i] + w[i] + 8)
                                : Constraint(l[i] + w[i] <= wall));
  }
  constraints.push_back((Expression(w[0]) == w[1]) | strength::strong);
  constraints.push_back(w[2] <= w[1]);

  // 1. Removing any one constraint (and then putting it back) gives what a fresh solve
  //    of the rest gives.
  Solver solver;
  for (const Constraint& c : constraints) ASSERT_EQ(solver.addConstraint(c), SolverStatus::ok);
  const std::vector<double> full = valuesOf(solver, all);
  expectNear(full, freshSolve(constraints, all));
  for (std::size_t i = 0; i < constraints.size(); ++i) {
    ASSERT_EQ(solver.removeConstraint(constraints[i]), SolverStatus::ok);
    std::vector<Constraint> rest = constraints;
    rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(i));
    expectNear(valuesOf(solver, all), freshSolve(rest, all));
    ASSERT_EQ(solver.addConstraint(constraints[i]), SolverStatus::ok);
    expectNear(valuesOf(solver, all), full);
  }

  // 2. Removing them all, in an order unlike the adding one, forgets every variable:
  //    each reads 0 once, and a forgotten variable can come back.
  for (std::size_t i = 0; i < constraints.size(); ++i) {
    const Constraint& c = constraints[(i * 7) % constraints.size()];
    ASSERT_EQ(solver.removeConstraint(c), SolverStatus::ok);
  }
  EXPECT_EQ(solver.constraintCount(), 0u);
  expectNear(valuesOf(solver, all), std::vector<double>(all.size(), 0.0));
  ASSERT_EQ(solver.addConstraint(wall == 42), SolverStatus::ok);
  solver.updateVariables();
  EXPECT_DOUBLE_EQ(wall.value(), 42);

  // 3. Redundant required equations (the third follows from the first two) come apart
  //    one at a time, each step matching a fresh solve.
  Variable x("x"), y("y"), z("z");
  const std::vector<Variable> xyz{x, y, z};
  std::vector<Constraint> tied{Expression(x) == y,           Expression(y) == z,
                               Expression(z) == x,           (x == 10) | strength::weak,
                               (z == 20) | strength::medium, (y <= 15) | strength::strong};
  Solver redundant;
  for (const Constraint& c : tied) ASSERT_EQ(redundant.addConstraint(c), SolverStatus::ok);
  ASSERT_EQ(redundant.addEditVariable(y, strength::weak), SolverStatus::ok);
  tied.push_back((y == 0) | strength::weak);
  expectNear(valuesOf(redundant, xyz), freshSolve(tied, xyz));
  expectNear(valuesOf(redundant, xyz), {15, 15, 15});
  for (std::size_t i = 0; i < 3; ++i) {
    ASSERT_EQ(redundant.removeConstraint(tied.front()), SolverStatus::ok);
    tied.erase(tied.begin());
    ASSERT_EQ(redundant.suggestValue(y, 3.0 * static_cast<double>(i)), SolverStatus::ok);
    tied.back() = (y == 3.0 * static_cast<double>(i)) | strength::weak;
    expectNear(valuesOf(redundant, xyz), freshSolve(tied, xyz));
  }
}

TEST(SolverTest, DegeneratePivotsDoNotCycle) {
  // Beale's example, the classic linear program on which the steepest-coefficient rule
  // cycles through degenerate pivots forever: minimize −¾x4 + 20x5 − ½x6 + 6x7 subject to
  // the three equations below and x >= 0. The objective becomes a weak wish that it be
  // far below its optimum (−1.25 at x1 = ¾, x4 = x6 = 1), so that its error is the
  // objective plus a constant.
  std::vector<Variable> x(8);
  Solver solver;
  for (int i = 1; i <= 7; ++i) ASSERT_EQ(solver.addConstraint(x[i] >= 0), SolverStatus::ok);
  ASSERT_EQ(solver.addConstraint(x[1] + 0.25 * x[4] - 8 * x[5] - x[6] + 9 * x[7] == 0),
            SolverStatus::ok);
  ASSERT_EQ(solver.addConstraint(x[2] + 0.5 * x[4] - 12 * x[5] - 0.5 * x[6] + 3 * x[7] == 0),
            SolverStatus::ok);
  ASSERT_EQ(solver.addConstraint(x[3] + x[6] == 1), SolverStatus::ok);
  const Expression objective = -0.75 * x[4] + 20 * x[5] - 0.5 * x[6] + 6 * x[7];
  ASSERT_EQ(solver.addConstraint((objective <= -10) | strength::weak), SolverStatus::ok);
  solver.updateVariables();
  EXPECT_NEAR(objective.value(), -1.25, 1e-9);
  expectNear({x[1].value(), x[2].value(), x[3].value(), x[4].value(), x[5].value(), x[6].value(),
              x[7].value()},
             {0.75, 0, 0, 1, 0, 1, 0});
}

TEST(SolverTest, RefusesDuplicatesUnknownsAndNonFiniteInput) {
  Variable x("x"), y("y");
  Solver solver;
  const Constraint base = x + y == 10;
  ASSERT_EQ(solver.addConstraint(base), SolverStatus::ok);
  ASSERT_EQ(solver.addConstraint((x == 3) | strength::weak), SolverStatus::ok);

  // 1. Identity, not shape: a copy is a duplicate, an equal-looking one is not.
  const Constraint copy = base;
  EXPECT_EQ(solver.addConstraint(copy), SolverStatus::duplicateConstraint);
  const Constraint lookalike = x + y == 10;
  EXPECT_EQ(solver.addConstraint(lookalike), SolverStatus::ok);
  EXPECT_EQ(solver.removeConstraint(lookalike), SolverStatus::ok);
  EXPECT_EQ(solver.removeConstraint(lookalike), SolverStatus::unknownConstraint);
  EXPECT_EQ(solver.removeConstraint(x == 3), SolverStatus::unknownConstraint);
  EXPECT_EQ(solver.addConstraint(Constraint()), SolverStatus::unknownConstraint);
  EXPECT_EQ(solver.removeConstraint(Constraint()), SolverStatus::unknownConstraint);
  EXPECT_TRUE((Constraint() | strength::weak).isNull());

  // 2. NaN and infinity anywhere in a constraint are refused before anything changes.
  const std::vector<Constraint> hostile{x * kNaN == 1,   x + kInf >= y,     x == y / 0.0,
                                        (x == 4) | kNaN, y - x * kInf <= 0, x == -kInf};
  for (const Constraint& c : hostile) {
    EXPECT_EQ(solver.addConstraint(c), SolverStatus::nonFiniteValue);
    EXPECT_FALSE(solver.hasConstraint(c));
  }
  EXPECT_EQ(solver.constraintCount(), 2u);
  solver.updateVariables();
  EXPECT_DOUBLE_EQ(x.value(), 3);
  EXPECT_DOUBLE_EQ(y.value(), 7);

  // 3. reset forgets everything; the old constraints can be added again.
  solver.reset();
  EXPECT_EQ(solver.constraintCount(), 0u);
  EXPECT_FALSE(solver.hasConstraint(base));
  EXPECT_EQ(solver.addConstraint(base), SolverStatus::ok);
}

}  // namespace
}  // namespace tilo::platform::solver
