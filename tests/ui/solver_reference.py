#!/usr/bin/env python3
"""Random constraint systems, and kiwisolver's solutions of them to compare ours against.
kiwisolver is an independent Cassowary solver (python3-kiwisolver for /usr/bin/python3).

  solver_reference.py generate --seed N --count K > systems.json
  /usr/bin/python3 solver_reference.py solve < systems.json > expected.json

A system is a list of operations on one solver: "add" (sum(terms) + constant relation 0,
with a strength and an id), "remove" (by id), "edit", "suggest", "unedit" (on a variable)
and "check" (record every variable's value). "solve" prints, per system, each operation's
status ("ok", "unsatisfiable", or "unknown" for removing a refused constraint) and the
values at each check.

Two correct solvers agree only on a unique optimum, so every variable carries a weak wish
of its own that is never removed, and every non-required constraint its own random weight.
Every fifteenth system is a long chain of boxes, the shape of a column of views.
"""

import argparse
import json
import random
import sys

STRONG, MEDIUM, WEAK = 1000000.0, 1000.0, 1.0


def preference(rng, tier):
    # A tier times a generic weight: no two constraints weigh the same.
    return tier * rng.uniform(0.5, 2.0)


def random_terms(rng, count):
    chosen = rng.sample(range(count), min(count, rng.choice([1, 2, 2, 2, 3])))
    return [[v, rng.choice([1.0, 1.0, -1.0, -1.0, 2.0, 0.5, -3.0])] for v in chosen]


def generate_system(rng, chained=False):
    # A chained system stacks 60 to 90 boxes, each top on the one before's bottom, as a
    # column of views is laid out: rows as long as the chain, which the solver keeps
    # short by referring to earlier rows.
    links = rng.randint(60, 90) if chained else 0
    count = 2 * links + 1 if chained else rng.randint(2, 12)
    ops = []
    next_id = 0
    removable = []
    editing = set()

    def add(terms, constant, relation, strength, keep=False):
        nonlocal next_id
        ops.append({"op": "add", "id": next_id, "terms": terms, "constant": constant,
                    "relation": relation, "strength": strength})
        if not keep:
            removable.append(next_id)
        next_id += 1

    # Half the systems draw their required constraints at random (some get refused); the
    # other half make them all hold at hidden integer points, so that none is refused but
    # many are tight or redundant (equation cycles, inequalities met with equality), which
    # is where degenerate pivots and dummy rows live.
    hidden = [rng.randint(-50, 250) for _ in range(count)] if rng.random() < 0.5 else None

    def required(relation):
        terms = random_terms(rng, count)
        if hidden is None:
            return terms, float(rng.randint(-60, 60))
        at_hidden = sum(c * hidden[v] for v, c in terms)
        margin = 0.0 if relation == "==" else rng.choice([0.0, 0.0, 5.0, 20.0])
        return terms, -at_hidden + (margin if relation == ">=" else -margin)

    if chained:
        # Variable 0 is the first top; 2i+1 is box i's height and 2i+2 the next top. Half
        # pin the first top before the chain, as a window is; the others after it, so that
        # the chain is built around a free variable.
        pin_first = rng.random() < 0.5
        if pin_first:
            add([[0, 1.0]], -float(rng.randint(0, 40)), "==", 1001001000.0)
        for i in range(links):
            top, height, below = 2 * i, 2 * i + 1, 2 * i + 2
            add([[height, 1.0]], -rng.uniform(10, 40), "==", preference(rng, MEDIUM), keep=True)
            add([[height, 1.0]], -1.0, ">=", 1001001000.0, keep=True)
            add([[below, 1.0], [top, -1.0], [height, -1.0]], -float(rng.randint(0, 8)), "==",
                1001001000.0)
        if not pin_first:
            add([[0, 1.0]], -float(rng.randint(0, 40)), "==", 1001001000.0)
    for v in range(count):
        add([[v, 1.0]], -rng.uniform(-100, 300), "==", preference(rng, WEAK), keep=True)
    for _ in range(rng.randint(20, 60) if chained else rng.randint(1, 3 * count)):
        roll = rng.random()
        if roll < 0.55:
            relation = rng.choice(["<=", ">=", ">=", "=="] if hidden is None else
                                  ["<=", ">=", "==", "=="])
            terms, constant = required(relation)
            add(terms, constant, relation, 1001001000.0)
        elif roll < 0.75:
            tier = rng.choice([MEDIUM, STRONG])
            add(random_terms(rng, count), float(rng.randint(-60, 60)),
                rng.choice(["<=", ">=", "=="]), preference(rng, tier))
        elif roll < 0.85 and removable:
            victim = rng.choice(removable)
            removable.remove(victim)
            ops.append({"op": "remove", "id": victim})
        elif roll < 0.95:
            v = rng.randrange(count)
            if v in editing:
                ops.append({"op": "suggest", "var": v, "value": rng.uniform(-100, 300)})
            else:
                editing.add(v)
                ops.append({"op": "edit", "var": v,
                            "strength": preference(rng, rng.choice([MEDIUM, STRONG]))})
                ops.append({"op": "suggest", "var": v, "value": rng.uniform(-100, 300)})
        elif editing:
            v = rng.choice(sorted(editing))
            editing.remove(v)
            ops.append({"op": "unedit", "var": v})
        if rng.random() < 0.3:
            ops.append({"op": "check"})
    for v in sorted(editing):
        ops.append({"op": "suggest", "var": v, "value": rng.uniform(-100, 300)})
        ops.append({"op": "check"})
    ops.append({"op": "check"})
    return {"variables": count, "ops": ops}


def generate(seed, count):
    rng = random.Random(seed)
    return {"seed": seed,
            "systems": [generate_system(rng, chained=i % 15 == 14) for i in range(count)]}


class Reference:
    """Replays a system on kiwisolver. After a refused constraint it rebuilds the solver
    from what was accepted, so that whatever kiwisolver keeps of a failed attempt cannot
    leak into later answers."""

    def __init__(self, kiwi, count):
        self.kiwi = kiwi
        self.variables = [kiwi.Variable("v%d" % i) for i in range(count)]
        self.constraints = {}  # id -> kiwi constraint, in order of acceptance
        self.edits = {}  # var -> [strength, value]
        self.solver = kiwi.Solver()

    def build(self, op):
        expression = self.kiwi.Expression(
            [self.kiwi.Term(self.variables[v], c) for v, c in op["terms"]], op["constant"])
        return self.kiwi.Constraint(expression, op["relation"], op["strength"])

    def rebuild(self):
        self.solver = self.kiwi.Solver()
        for constraint in self.constraints.values():
            self.solver.addConstraint(constraint)
        for v, (strength, value) in self.edits.items():
            self.solver.addEditVariable(self.variables[v], strength)
            if value is not None:
                self.solver.suggestValue(self.variables[v], value)

    def apply(self, op):
        kind = op["op"]
        if kind == "add":
            constraint = self.build(op)
            try:
                self.solver.addConstraint(constraint)
            except self.kiwi.UnsatisfiableConstraint:
                self.rebuild()
                return "unsatisfiable"
            self.constraints[op["id"]] = constraint
        elif kind == "remove":
            # The generator cannot know which additions get refused.
            if op["id"] not in self.constraints:
                return "unknown"
            self.solver.removeConstraint(self.constraints.pop(op["id"]))
        elif kind == "edit":
            self.solver.addEditVariable(self.variables[op["var"]], op["strength"])
            self.edits[op["var"]] = [op["strength"], None]
        elif kind == "suggest":
            self.solver.suggestValue(self.variables[op["var"]], op["value"])
            self.edits[op["var"]][1] = op["value"]
        elif kind == "unedit":
            self.solver.removeEditVariable(self.variables[op["var"]])
            del self.edits[op["var"]]
        return "ok"


def solve(document):
    import kiwisolver
    results = []
    for system in document["systems"]:
        reference = Reference(kiwisolver, system["variables"])
        statuses, checks = [], []
        for op in system["ops"]:
            if op["op"] == "check":
                reference.solver.updateVariables()
                checks.append([v.value() for v in reference.variables])
                statuses.append("ok")
            else:
                statuses.append(reference.apply(op))
        results.append({"statuses": statuses, "checks": checks})
    return {"results": results}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    gen = sub.add_parser("generate")
    gen.add_argument("--seed", type=int, default=1)
    gen.add_argument("--count", type=int, default=300)
    sub.add_parser("solve")
    args = parser.parse_args()
    if args.command == "generate":
        json.dump(generate(args.seed, args.count), sys.stdout)
    else:
        json.dump(solve(json.load(sys.stdin)), sys.stdout)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
