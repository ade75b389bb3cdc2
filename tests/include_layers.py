#!/usr/bin/env python3
"""The tree's layers: a folder includes only itself and the folders below
it, and no two units (a header with its .cpp) include each other, directly
or round a longer circle. Prints every breach and exits 1 on any.

    include_layers.py SOURCE_ROOT
"""
import os
import re
import sys

# Bottom up. The view control names nothing of the rest; the message model
# names its colour codes; the log file and the queue stand beside each other
# on it; the sink joins them; the network feeds the sink; the program holds
# everything together.
LAYERS = ["colorview", "syslog", "logfile", "queue", "sink", "net", "app"]
RANK = {"colorview": 0, "syslog": 1, "logfile": 2, "queue": 2, "sink": 3, "net": 4, "app": 5}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def unit_of(path):
    """folder/name for folder/name.h and folder/name.cpp."""
    return os.path.splitext(path)[0]


def read_includes(root):
    """{unit: {included unit}} for every product file."""
    graph = {}
    for folder in LAYERS:
        for name in sorted(os.listdir(os.path.join(root, folder))):
            if not name.endswith((".h", ".cpp")):
                continue
            path = f"{folder}/{name}"
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                text = f.read()
            unit = unit_of(path)
            graph.setdefault(unit, set())
            for included in INCLUDE.findall(text):
                if "/" not in included:
                    included = f"{folder}/{included}"
                if unit_of(included) != unit:
                    graph[unit].add(unit_of(included))
    return graph


def layer_breaches(graph):
    found = []
    for unit, includes in sorted(graph.items()):
        folder = unit.split("/")[0]
        for included in sorted(includes):
            other = included.split("/")[0]
            if other not in RANK:
                found.append(f"{unit} includes {included}, which is outside the product's folders")
            elif other != folder and RANK[other] >= RANK[folder]:
                found.append(f"{unit} includes {included}: {other}/ is not below {folder}/")
    return found


def circles(graph):
    """Each circle once, found by a depth-first walk."""
    found, state, path = [], {}, []

    def walk(unit):
        state[unit] = "open"
        path.append(unit)
        for included in sorted(graph.get(unit, ())):
            if state.get(included) == "open":
                found.append(" -> ".join(path[path.index(included):] + [included]))
            elif included not in state:
                walk(included)
        path.pop()
        state[unit] = "done"

    for unit in sorted(graph):
        if unit not in state:
            walk(unit)
    return found


def main():
    root = sys.argv[1]
    graph = read_includes(root)
    breaches = layer_breaches(graph) + [f"include circle: {c}" for c in circles(graph)]
    for breach in breaches:
        print(breach)
    print(f"{len(graph)} units in {len(LAYERS)} folders, {sum(map(len, graph.values()))} includes, "
          f"{len(breaches)} breaches")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
