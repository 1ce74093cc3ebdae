"""TiloObjCNames.json against the bridge's published selectors (objc_selectors.txt, beside
this script) and the C headers: the table maps every class selector and every delegate
method listed there, with the same required or optional flag; every selector of an
available class maps to a declared function and every delegate method to an entry of its
struct; every function of an available wrapper is mapped; pending classes have nothing
declared yet.

    python3 check_objc_names.py TiloObjCNames.json include/tilo
"""
import glob
import json
import os
import re
import sys

table = json.load(open(sys.argv[1], encoding="utf-8"))
# The C headers: tilo.h and the headers beside it that it includes.
header = "".join(open(path, encoding="utf-8").read()
                 for path in sorted(glob.glob(os.path.join(sys.argv[2], "*.h"))))
declared = set(re.findall(r"^TILO_API[^(]*?\b(tilo_[a-z0-9_]+)\(", header, re.M))
handles = [c["handle"] for c in table["classes"] if c["handle"]]


def owner(function):
    """The handle a function belongs to: the longest one it is prefixed by (the light
    popup ad's functions are not the light popup ad loader's)."""
    matching = [h for h in handles if function.startswith(h + "_")]
    return max(matching, key=len) if matching else None


problems = []
# What the table maps: class -> selectors, protocol -> {method: required}.
mapped_selectors = {}
mapped_methods = {}
for entry in table["classes"] + [v for v in table["values"] if "class" in v]:
    selectors = mapped_selectors.setdefault(entry["class"], set())
    selectors |= {s["selector"] for s in entry.get("selectors", [])} | set(entry.get("properties", {}))
    if entry.get("delegate"):
        mapped_methods[entry["delegate"]["protocol"]] = {
            m["selector"]: m["required"] for m in entry["delegate"]["methods"]}
published = os.path.join(os.path.dirname(os.path.abspath(__file__)), "objc_selectors.txt")
for line in open(published, encoding="utf-8"):
    words = line.split()
    if not words or words[0].startswith("#"):
        continue
    name, flag = words[0], None
    for word in words[1:]:
        if word in ("required", "optional"):
            flag = word
        elif flag is None:
            if word not in mapped_selectors.get(name, set()):
                problems.append(f"{name}: {word} not mapped")
        elif word not in mapped_methods.get(name, {}):
            problems.append(f"{name}: {word} not mapped")
        elif mapped_methods[name][word] != (flag == "required"):
            problems.append(f"{name}: {word} should be {flag}")
for cls in table["classes"]:
    name, handle = cls["class"], cls["handle"]
    functions = {s["c"] for s in cls["selectors"] if s["c"]}
    if cls["status"] == "available":
        problems += [f"{name}: {f} is not declared" for f in sorted(functions - declared)]
        if handle:
            own = {f for f in declared if owner(f) == handle}
            problems += [f"{name}: {f} maps no selector" for f in sorted(own - functions)]
        delegate = cls.get("delegate")
        if delegate:
            body = re.search(r"typedef struct %s \{(.*?)\} %s;" % (delegate["struct"], delegate["struct"]),
                             header, re.S)
            if not body:
                problems.append(f"{name}: struct {delegate['struct']} missing")
                continue
            entries = set(re.findall(r"\(\*([a-z_]+)\)", body.group(1)))
            mapped = {m["entry"] for m in delegate["methods"]} | {e["entry"] for e in delegate.get("extensions", [])}
            problems += [f"{name}: entry {e} missing in {delegate['struct']}" for e in sorted(mapped - entries)]
            problems += [f"{name}: entry {e} maps no method" for e in sorted(entries - mapped)]
    else:
        problems += [f"{name}: pending but {f} is declared" for f in sorted(functions & declared)]
if problems:
    print("\n".join(problems))
    sys.exit(1)
print(f"{len(table['classes'])} classes mapped, {len(declared)} functions declared")
