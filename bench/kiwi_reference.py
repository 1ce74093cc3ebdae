#!/usr/bin/env python3
"""Times python3-kiwisolver on the systems that bench_solver_bench builds, so that the
benchmark can print kiwisolver's numbers next to ours.

  /usr/bin/python3 kiwi_reference.py systems.json  ->  JSON on standard output

Input: {"systems": [{"name", "variables": n, "constraints": [[terms, constant, op,
strength], ...], "edit": {"var", "strength", "values"}, "replace": {"index",
"constants"}}]}, where terms is [[variable index, coefficient], ...] and a constraint
reads sum(terms) + constant op 0.

Output per system, in milliseconds or microseconds of CPU time (median over repetitions;
the machine may be shared):
  build_solve_ms  make the constraint objects, a solver, add them all, updateVariables
  solve_ms        a solver, add prebuilt constraints, updateVariables
  edit_us         one suggestValue + updateVariables on an edit variable
  replace_us      remove one constraint, add it back with another constant, updateVariables
  values          every variable after the first solve, to check that both sides solved
                  the same system
"""

import json
import statistics
import sys
import time

import kiwisolver as kiwi

REPEATS = 7


def build(system, variables):
    Term, Expression, Constraint = kiwi.Term, kiwi.Expression, kiwi.Constraint
    return [Constraint(Expression([Term(variables[v], c) for v, c in terms], constant), op, s)
            for terms, constant, op, s in system["constraints"]]


def solved(constraints):
    solver = kiwi.Solver()
    add = solver.addConstraint
    for constraint in constraints:
        add(constraint)
    solver.updateVariables()
    return solver


def measure(system):
    variables = [kiwi.Variable("v%d" % i) for i in range(system["variables"])]
    build_solve, solve = [], []
    for _ in range(REPEATS):
        start = time.process_time()
        solved(build(system, variables))
        build_solve.append(time.process_time() - start)
    constraints = build(system, variables)
    solved(constraints)
    solution = [v.value() for v in variables]
    for _ in range(REPEATS):
        start = time.process_time()
        solved(constraints)
        solve.append(time.process_time() - start)

    # Edits: one suggestion per step, the values cycling.
    solver = solved(constraints)
    edit = system["edit"]
    variable = variables[edit["var"]]
    solver.addEditVariable(variable, edit["strength"])
    values = edit["values"]
    rounds = []
    for _ in range(REPEATS):
        start = time.process_time()
        for value in values:
            solver.suggestValue(variable, value)
            solver.updateVariables()
        rounds.append((time.process_time() - start) / len(values))

    # Replacing one constraint by a copy with another constant.
    solver = solved(constraints)
    replace = system["replace"]
    terms, _, op, strength = system["constraints"][replace["index"]]
    current = constraints[replace["index"]]
    expressions = [kiwi.Expression([kiwi.Term(variables[v], c) for v, c in terms], k)
                   for k in replace["constants"]]
    swaps = []
    for _ in range(REPEATS):
        start = time.process_time()
        for expression in expressions:
            solver.removeConstraint(current)
            current = kiwi.Constraint(expression, op, strength)
            solver.addConstraint(current)
            solver.updateVariables()
        swaps.append((time.process_time() - start) / len(expressions))

    return {
        "build_solve_ms": statistics.median(build_solve) * 1e3,
        "solve_ms": statistics.median(solve) * 1e3,
        "edit_us": statistics.median(rounds) * 1e6,
        "replace_us": statistics.median(swaps) * 1e6,
        "values": solution,
    }


def main():
    with open(sys.argv[1]) as f:
        document = json.load(f)
    json.dump({s["name"]: measure(s) for s in document["systems"]}, sys.stdout)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
