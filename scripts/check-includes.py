#!/usr/bin/env python3
"""Checks that the program's includes point down (layers 1 and 2 of platform/README.md).

Reads the `#include "..."` lines of the sources under common/, settings/, ipc/, windows/
and resources/ (a header and its source count as one file) and fails, printing what it
found, when the files include each other in a loop other than the known knots below, or
when settings/, ipc/ or common/ include anything from windows/ other than the log.
Usage: check-includes.py [TOP OF THE TREE]
"""
import os
import re
import sys

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
FOLDERS = ["common", "settings", "ipc", "windows", "resources"]
SEARCH = ["", "ipc/include", "platform/include"]
KNOWN_LOOPS = {
    # The log names its file with the path helpers and the system folders, and they (and
    # the library loading the file helpers use) log.
    "the log": {"windows/common/" + n for n in ("AllUtils", "Dll", "FileUtils", "Logger", "SysInfo")},
    # The error texts use the string helpers, which throw the error types.
    "errors and strings": {"common/share/Errors", "common/share/tstrings"},
    # settings.h holds the library's public types, which all of it uses; its source, the
    # table of entry points, sits on top of them all.
    "the settings library": {"settings/share/" + n for n in (
        "Config", "ConfigBuilder", "ConfigParser", "Context", "ExceptionCode", "PlainTextFileConfigParser",
        "SystemConfig", "Validators", "settings")},
}
# Logging lives in windows/common; the floors below it may log through it.
LOGGING = "windows/common/AllUtils.h"


def includes():
    """(including file, included file) for every include that names a file of the tree."""
    for folder in FOLDERS:
        for directory, _, names in os.walk(os.path.join(ROOT, folder)):
            for name in (n for n in names if n.endswith((".h", ".cpp"))):
                path = os.path.relpath(os.path.join(directory, name), ROOT)
                with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
                    for target in re.findall(r'^\s*#\s*include\s+"([^"]+)"', f.read(), re.M):
                        for base in [os.path.dirname(path)] + SEARCH:
                            resolved = os.path.normpath(os.path.join(base, target))
                            if os.path.isfile(os.path.join(ROOT, resolved)):
                                yield path, resolved
                                break


def main():
    edges, failures = {}, []
    for path, target in includes():
        source, header = os.path.splitext(path)[0], os.path.splitext(target)[0]
        if source != header:
            edges.setdefault(source, set()).add(header)
        if path.split("/")[0] in ("settings", "ipc", "common") and target.startswith("windows/") and target != LOGGING:
            failures.append(f"upward include: {path} -> {target}")

    def reach(start):
        seen, todo = set(), [start]
        while todo:
            for nxt in edges.get(todo.pop(), ()):
                if nxt not in seen:
                    seen.add(nxt)
                    todo.append(nxt)
        return seen

    reachable = {node: reach(node) for node in edges}
    loops = {frozenset(n for n in reachable if n in reachable[node] and node in reachable[n])
             for node in reachable if node in reachable[node]}
    for loop in sorted(sorted(l) for l in loops):
        known = [name for name, members in KNOWN_LOOPS.items() if set(loop) <= members]
        print(f"known knot ({known[0]}): " if known else "include loop: ", ", ".join(loop), sep="")
        if not known:
            failures.append("loop")
    for line in failures:
        if line != "loop":
            print(line)
    print(f"{len(edges)} files, {sum(map(len, edges.values()))} includes:", "FAILED" if failures else "they point down")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
