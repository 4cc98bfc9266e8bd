#!/usr/bin/env python3
"""Checks the source tree's layers: a file includes only files on its own
layer or below, no modules (a header and its .cpp) include each other in a
circle, and the README's layout table names every source folder there is.
Prints what it found and exits non-zero on any breach."""
import os
import re
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(__file__), ".."))
# Higher includes lower; folders on one layer may include each other.
LAYERS = {"src/app": 3, "src/clock": 2, "src/dialogs": 1,
          "src/settings": 0, "src/win": 0, "res": 0}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)
SOURCE_SUFFIXES = (".h", ".cpp", ".rc")


def source_files():
    for top in ("src", "res"):
        for folder, _, names in os.walk(os.path.join(ROOT, top)):
            for name in sorted(names):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(folder, name), ROOT)


def module(path):
    return os.path.splitext(path)[0]


def find_circle(graph):
    """One circle of modules as a list, or None."""
    state = {}
    trail = []

    def visit(node):
        state[node] = "open"
        trail.append(node)
        for target in sorted(graph.get(node, ())):
            if state.get(target) == "open":
                return trail[trail.index(target):] + [target]
            if target not in state:
                found = visit(target)
                if found:
                    return found
        trail.pop()
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    errors = []
    graph = {}
    files = list(source_files())
    include_count = 0
    for path in files:
        folder = os.path.dirname(path)
        if folder not in LAYERS:
            errors.append(f"{path}: folder {folder} has no layer")
            continue
        with open(os.path.join(ROOT, path), encoding="utf-8") as source:
            text = source.read()
        for name in INCLUDE.findall(text):
            target = os.path.normpath(os.path.join(folder, name))
            include_count += 1
            if not os.path.exists(os.path.join(ROOT, target)):
                errors.append(f"{path}: includes {name}, which is not there")
                continue
            target_folder = os.path.dirname(target)
            if LAYERS.get(target_folder, 99) > LAYERS[folder]:
                errors.append(f"{path}: includes {target}, on a layer above")
            if module(target) != module(path):
                graph.setdefault(module(path), set()).add(module(target))
    circle = find_circle(graph)
    if circle:
        errors.append("circle: " + " -> ".join(circle))

    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as readme:
        table = set(re.findall(r"^\| `([^`]+)` \|", readme.read(), re.MULTILINE))
    folders = {f for f in LAYERS if os.path.isdir(os.path.join(ROOT, f))}
    for folder in sorted(folders - table):
        errors.append(f"README's layout table lacks {folder}")
    for folder in sorted(f for f in table - folders if f.startswith("src/")):
        errors.append(f"README's layout table names {folder}, which is gone")

    for error in errors:
        print("layout:", error)
    print(f"layout: {len(files)} files, {include_count} includes, "
          f"{len(errors)} problems")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
