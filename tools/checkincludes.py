#!/usr/bin/env python3
"""Checks that the includes of src/ run one way, down the layers.

The layers are the diagram in docs/architecture.md (the lines between
"top" and "bottom" of its layer block, the top first; folders on one
line, separated by " | ", stand side by side and include none of each
other). A file may include its own folder and the folders of the layers
below it; every folder of src/ must be placed in the diagram; and no
files may depend on each other in a cycle (a .cpp and its .hpp count as
one unit, so two files that call into each other form a cycle).

    tools/checkincludes.py [ROOT]

Prints one line per problem, FILE:LINE first, and exits 1 when there is
any; exits 0 and prints a one-line summary otherwise.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = (".cpp", ".hpp", ".h", ".in")


def read_layers(doc):
    """The layer of each folder (0 = the bottom), from the diagram."""
    lines = open(doc, encoding="utf-8").read().splitlines()
    try:
        top = next(i for i, l in enumerate(lines) if l.strip() == "top")
        bottom = next(i for i, l in enumerate(lines) if i > top and l.strip() == "bottom")
    except StopIteration:
        sys.exit(f"{doc}: no layer diagram (a block of lines between 'top' and 'bottom')")
    rows = [l for l in lines[top + 1:bottom] if l.strip()]
    layers = {}
    for rank, row in enumerate(reversed(rows)):
        names = re.split(r"\s{2,}", row.strip())[0]
        for name in names.split(" | "):
            layers[name.strip()] = rank
    return layers


def unit_of(path):
    """The unit of a file: its path without the extension."""
    return os.path.splitext(path)[0]


def find_cycle(graph):
    """One cycle of the graph as a list of nodes, or None."""
    state = {}
    stack = []

    def visit(n):
        state[n] = 1
        stack.append(n)
        for m in sorted(graph.get(n, ())):
            if state.get(m) == 1:
                return stack[stack.index(m):] + [m]
            if m not in state:
                found = visit(m)
                if found:
                    return found
        stack.pop()
        state[n] = 2
        return None

    for n in sorted(graph):
        if n not in state:
            found = visit(n)
            if found:
                return found
    return None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    src = os.path.join(root, "src")
    doc = os.path.join(root, "docs", "architecture.md")
    layers = read_layers(doc)
    problems = []
    folders = sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d)))
    for d in folders:
        if d not in layers:
            problems.append(f"src/{d}/: folder not placed in the layer diagram of docs/architecture.md")
    for d in layers:
        if d not in folders:
            problems.append(f"docs/architecture.md: the layer diagram names {d}, which is not a folder of src/")

    graph = {}
    nfiles = 0
    nincludes = 0
    for d in folders:
        for base, _, files in os.walk(os.path.join(src, d)):
            for f in sorted(files):
                if not f.endswith(SOURCES):
                    continue
                nfiles += 1
                path = os.path.relpath(os.path.join(base, f), src)
                me = unit_of(path)
                for lineno, line in enumerate(open(os.path.join(base, f), encoding="utf-8", errors="replace"), 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    nincludes += 1
                    target = m.group(1)
                    where = f"src/{path}:{lineno}"
                    if "/" not in target:
                        problems.append(f'{where}: includes "{target}" without its folder')
                        continue
                    folder = target.split("/")[0]
                    if folder not in layers:
                        continue  # a header from elsewhere
                    if folder != d and d in layers:
                        if layers[folder] > layers[d]:
                            problems.append(f'{where}: includes "{target}": {folder} is above {d}')
                        elif layers[folder] == layers[d]:
                            problems.append(f'{where}: includes "{target}": {folder} stands beside {d}')
                    them = unit_of(target)
                    if them != me:
                        graph.setdefault(me, set()).add(them)
    cycle = find_cycle(graph)
    if cycle:
        problems.append("src/: files that depend on each other in a cycle: " + " -> ".join(cycle))
    for p in problems:
        print(p)
    if problems:
        return 1
    print(f"checkincludes: {nincludes} includes in {nfiles} files of src/ run down {len(set(layers.values()))} layers, no cycle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
