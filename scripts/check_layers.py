#!/usr/bin/env python3
"""Fails when a file under src/ includes a folder above its own layer.

The layers are the table in docs/ARCHITECTURE.md between the "layers:" markers, lowest first: a
folder may include its own headers and those of every folder listed before it.
"""
import pathlib
import re
import sys

root = pathlib.Path(__file__).resolve().parent.parent
doc = (root / "docs" / "ARCHITECTURE.md").read_text(encoding="utf-8")
block = re.search(r"<!-- layers:begin -->(.*?)<!-- layers:end -->", doc, re.S)
if not block:
    sys.exit("check_layers: no layer table in docs/ARCHITECTURE.md")
layers = {}
for folder in re.findall(r"^\|\s*\d+\s*\|\s*`([\w/]+)/`", block.group(1), re.M):
    layers[folder] = len(layers)


def layer_of(path):
    """The layer of the longest listed folder that holds `path` (relative to src/)."""
    best = None
    for folder in layers:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


errors = []
for source in sorted((root / "src").rglob("*")):
    if source.suffix not in (".h", ".cpp"):
        continue
    own_path = source.relative_to(root / "src").as_posix()
    own = layer_of(own_path)
    if own is None:
        errors.append(f"src/{own_path}: its folder is not in the layer table")
        continue
    for number, line in enumerate(source.read_text(encoding="utf-8").splitlines(), 1):
        match = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
        if not match or "/" not in match.group(1):
            continue  # resource.h and generated headers belong to no layer
        target = layer_of(match.group(1))
        if target is None:
            errors.append(f"src/{own_path}:{number}: includes {match.group(1)}, in no layer")
        elif target != own and layers[target] > layers[own]:
            errors.append(f"src/{own_path}:{number}: {own}/ includes {match.group(1)} "
                          f"from {target}/, a layer above it")

for error in errors:
    print(error)
print(f"check_layers: {len(layers)} layers, {len(errors)} wrong-way includes")
sys.exit(1 if errors else 0)
