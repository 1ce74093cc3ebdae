#include "platform/ui/solver/Solver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace tilo::platform::solver {
namespace {

using ::testing::DoubleEq;
using ::testing::DoubleNear;
using ::testing::ElementsAre;
using ::testing::Pointwise;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

void addAll(Solver& solver, const std::vector<Constraint>& constraints) {
  for (const Constraint& c : constraints) EXPECT_EQ(solver.addConstraint(c), SolverStatus::ok);
}

std::vector<double> valuesOf(Solver& solver, const std::vector<Variable>& variables) {
  solver.updateVariables();
  std::vector<double> values;
  for (const Variable& variable : variables) values.push_back(variable.value());
  return values;
}

MATCHER_P(Near, want, "") {
  return ::testing::ExplainMatchResult(Pointwise(DoubleNear(1e-9), want), arg, result_listener);
}

TEST(SolverTest, StrongerPreferencesWinAndEqualOnesCompromise) {
  Variable x("x");

  // Up to 999 weak units weigh less than one medium; likewise medium against strong.
  Solver solver;
  for (int i = 0; i < 150; ++i) addAll(solver, {(x == 0) | strength::weak});
  addAll(solver, {(x == -5) | strength::create(0, 0, 849), (x == 10) | strength::medium});
  EXPECT_THAT(valuesOf(solver, {x}), ElementsAre(DoubleEq(10)));
  for (int i = 0; i < 150; ++i) addAll(solver, {(x == 20) | strength::medium});
  addAll(solver, {(x == 20) | strength::create(0, 848, 0), (x == 30) | strength::strong});
  EXPECT_THAT(valuesOf(solver, {x}), ElementsAre(DoubleEq(30)));

  // Equal tiers compromise by least total weighted error: the weighted median.
  Solver median;
  addAll(median,
         {(x == 0) | strength::weak, (x == 10) | strength::weak, (x == 30) | strength::weak});
  EXPECT_THAT(valuesOf(median, {x}), ElementsAre(DoubleEq(10)));
  addAll(median, {(x == 30) | strength::create(0, 0, 1, 1.5)});
  EXPECT_THAT(valuesOf(median, {x}), ElementsAre(DoubleEq(30)));

  // Tiers clip to [0, 1000] after the weight; strengths clip to [0, required].
  EXPECT_EQ(strength::create(5, -3, 2000), 5e6 + 1000);
  EXPECT_EQ(strength::create(1, 1, 1, 2000), strength::required);
  EXPECT_EQ(Constraint(x == 1, 5e12).strength(), strength::required);
  EXPECT_EQ(Constraint(x == 1, -4).strength(), 0);
  EXPECT_TRUE(Constraint(x == 1, strength::create(1000, 1000, 1000)).isRequired());
}

TEST(SolverTest, RefusesAConflictingRequiredConstraintAndReportsIt) {
  Variable x("x"), y("y"), z("z");

  // Two required equations on one variable: the second is refused, the first named.
  Solver solver;
  const Constraint ten = x == 10, twenty = x == 20;
  addAll(solver, {ten});
  EXPECT_EQ(solver.addConstraint(twenty), SolverStatus::unsatisfiableConstraint);
  EXPECT_EQ(solver.conflictingConstraints(), std::vector<Constraint>{ten});
  EXPECT_FALSE(solver.hasConstraint(twenty));
  EXPECT_EQ(solver.constraintCount(), 1u);
  EXPECT_THAT(valuesOf(solver, {x}), ElementsAre(DoubleEq(10)));

  // A conflict through inequalities (found by the phase-one search) names every required
  // constraint that takes part, in the order they were added, and no other. (That a refusal
  // leaves nothing behind, SolverReferenceTest checks against kiwisolver's refusals.)
  const Constraint atLeast = x >= 10, gap = y >= x + 5, unrelated = z >= 3, ceiling = y <= 12;
  Solver chain;
  addAll(chain, {unrelated, atLeast, (y == 100) | strength::strong, gap});
  EXPECT_EQ(chain.addConstraint(ceiling), SolverStatus::unsatisfiableConstraint);
  EXPECT_EQ(chain.conflictingConstraints(), (std::vector<Constraint>{atLeast, gap}));

  // With one opponent gone the refused constraint fits; the report is cleared.
  EXPECT_EQ(chain.removeConstraint(atLeast), SolverStatus::ok);
  EXPECT_EQ(chain.addConstraint(ceiling), SolverStatus::ok);
  EXPECT_TRUE(chain.conflictingConstraints().empty());
  EXPECT_THAT(valuesOf(chain, {y, z}), Near(std::vector<double>{12, 3}));
}

TEST(SolverTest, EditsFollowSuggestionsAndRefuseBadCalls) {
  // The values edits give are compared with kiwisolver's in SolverReferenceTest; here the
  // bookkeeping and the statuses it never sees.
  Variable left("left"), width("width"), right("right");
  const std::vector<Variable> all{left, width, right};
  const std::vector<Constraint> layout{right == left + width, left >= 0, right <= 500,
                                       (width == 100) | strength::strong,
                                       (left == 10) | strength::weak};
  Solver solver;
  addAll(solver, layout);

  // Before any suggestion the edit pulls towards 0, like `left == 0` at its strength.
  ASSERT_EQ(solver.addEditVariable(left, strength::medium), SolverStatus::ok);
  EXPECT_TRUE(solver.hasEditVariable(left));
  EXPECT_THAT(valuesOf(solver, all), Near(std::vector<double>{0, 100, 100}));
  // Removed, the edit is gone (the values of suggestions are compared with kiwisolver's).
  ASSERT_EQ(solver.suggestValue(left, 450), SolverStatus::ok);
  ASSERT_EQ(solver.removeEditVariable(left), SolverStatus::ok);
  EXPECT_FALSE(solver.hasEditVariable(left));

  // Refused edit calls change nothing.
  EXPECT_EQ(solver.suggestValue(left, 5), SolverStatus::unknownEditVariable);
  EXPECT_EQ(solver.removeEditVariable(Variable("stranger")), SolverStatus::unknownEditVariable);
  EXPECT_EQ(solver.addEditVariable(left, strength::required), SolverStatus::badRequiredStrength);
  EXPECT_EQ(solver.addEditVariable(left, 2 * strength::required),
            SolverStatus::badRequiredStrength);
  EXPECT_EQ(solver.addEditVariable(left, kNaN), SolverStatus::nonFiniteValue);
  ASSERT_EQ(solver.addEditVariable(left, strength::strong), SolverStatus::ok);
  EXPECT_EQ(solver.addEditVariable(left, strength::weak), SolverStatus::duplicateEditVariable);
  ASSERT_EQ(solver.suggestValue(left, 60), SolverStatus::ok);
  EXPECT_EQ(solver.suggestValue(left, kNaN), SolverStatus::nonFiniteValue);
  EXPECT_EQ(solver.suggestValue(left, -kInf), SolverStatus::nonFiniteValue);
  EXPECT_THAT(valuesOf(solver, all), Near(std::vector<double>{60, 100, 160}));
  EXPECT_EQ(solver.constraintCount(), layout.size());
}

TEST(SolverTest, DegeneratePivotsDoNotCycle) {
  // Beale's example, on which the steepest-coefficient rule cycles through degenerate
  // pivots forever: minimize −¾x4 + 20x5 − ½x6 + 6x7 subject to the equations below and
  // x >= 0. The objective becomes a weak wish to lie far below its optimum (−1.25 at
  // x1 = ¾, x4 = x6 = 1), so that its error is the objective plus a constant.
  std::vector<Variable> x(8);
  Solver solver;
  for (int i = 1; i <= 7; ++i) addAll(solver, {x[i] >= 0});
  const Expression objective = -0.75 * x[4] + 20 * x[5] - 0.5 * x[6] + 6 * x[7];
  addAll(solver, {x[1] + 0.25 * x[4] - 8 * x[5] - x[6] + 9 * x[7] == 0,
                  x[2] + 0.5 * x[4] - 12 * x[5] - 0.5 * x[6] + 3 * x[7] == 0, x[3] + x[6] == 1,
                  (objective <= -10) | strength::weak});
  EXPECT_THAT(valuesOf(solver, {x.begin() + 1, x.end()}),
              Near(std::vector<double>{0.75, 0, 0, 1, 0, 1, 0}));
  EXPECT_NEAR(objective.value(), -1.25, 1e-9);
}

TEST(SolverTest, RefusesDuplicatesUnknownsAndNonFiniteInput) {
  Variable x("x"), y("y");
  Solver solver;
  const Constraint base = x + y == 10;
  addAll(solver, {base, (x == 3) | strength::weak});

  // Identity, not shape: a copy is a duplicate, an equal-looking one is not.
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

  // NaN and infinity anywhere in a constraint are refused before anything changes.
  for (const Constraint& c : {x * kNaN == 1, x + kInf >= y, x == y / 0.0, (x == 4) | kNaN,
                              y - x * kInf <= 0, x == -kInf}) {
    EXPECT_EQ(solver.addConstraint(c), SolverStatus::nonFiniteValue);
    EXPECT_FALSE(solver.hasConstraint(c));
  }
  EXPECT_EQ(solver.constraintCount(), 2u);
  EXPECT_THAT(valuesOf(solver, {x, y}), ElementsAre(DoubleEq(3), DoubleEq(7)));

  // reset forgets everything; the old constraints can be added again.
  solver.reset();
  EXPECT_EQ(solver.constraintCount(), 0u);
  EXPECT_FALSE(solver.hasConstraint(base));
  EXPECT_EQ(solver.addConstraint(base), SolverStatus::ok);
}

}  // namespace
}  // namespace tilo::platform::solver
