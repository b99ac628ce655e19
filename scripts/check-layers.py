#!/usr/bin/env python3
"""Fails when the folders of src/core or src/ui include each other in a circle.

Each folder (core/list, ui/frame, ...) is a layer: it may include the folders below it and never one above, so
that a folder can be read, built and tested with only what lies under it. The layers from the bottom up are
written in docs/DESIGN.md; this check keeps the code to them.
  scripts/check-layers.py [SOURCE_ROOT]
"""

import collections
import os
import re
import sys

INCLUDE = re.compile(r'\s*#\s*include\s+"((?:core|ui)/[^/"]+)/[^"]+"')


def folder_edges(src):
    """{folder: {included folder: [the lines that include it]}} for the folders two levels under src."""
    edges = collections.defaultdict(lambda: collections.defaultdict(list))
    for top in ("core", "ui"):
        for path, _, names in os.walk(os.path.join(src, top)):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp")):
                    continue
                file = os.path.join(path, name)
                relative = os.path.relpath(file, src)
                parts = relative.split(os.sep)
                if len(parts) < 3:
                    continue
                folder = "/".join(parts[:2])
                with open(file, encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if match and match.group(1) != folder:
                            edges[folder][match.group(1)].append(f"{relative}:{number}: {line.strip()}")
    return edges


def circles(edges):
    """The groups of folders that reach each other (Tarjan's strongly connected components of two or more)."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for other in sorted(edges.get(node, {})):
            if other not in index:
                visit(other)
                low[node] = min(low[node], low[other])
            elif other in on_stack:
                low[node] = min(low[node], index[other])
        if low[node] == index[node]:
            group = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.append(member)
                if member == node:
                    break
            if len(group) > 1:
                found.append(sorted(group))

    nodes = set(edges) | {other for targets in edges.values() for other in targets}
    for node in sorted(nodes):
        if node not in index:
            visit(node)
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    edges = folder_edges(os.path.join(root, "src"))
    found = circles(edges)
    for group in found:
        print("These folders include each other: " + ", ".join(group))
        for folder in group:
            for other in group:
                for line in edges[folder].get(other, []):
                    print("  " + line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
