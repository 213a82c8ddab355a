#!/usr/bin/env python3
"""Checks a build tree that CMake configured for macOS (tools/test-objc.sh
does so with clang aimed at Darwin): every compile and every link of
build.ninja names the expected oldest system once, and the bundle's
Info.plist parses as a property list, names the same system, the executable
the bundle contains and the version text the windows and the About panel
show."""
import plistlib
import re
import sys
from pathlib import Path

EXPECTED = {
    "CFBundleExecutable": "Pelmora_mac",
    "CFBundlePackageType": "APPL",
    "CFBundleIconFile": "Pelmora.icns",
    "NSPrincipalClass": "NSApplication",
    "PelmoraVersion": "2026-10-17",
}
STEP = re.compile(r"^build ([^:]+): (\w+?_(?:COMPILER|EXECUTABLE_LINKER))__")


def build_problems(ninja, version):
    """Compiles and links whose FLAGS do not name exactly `version`."""
    problems, checked, step = [], set(), None
    for line in ninja.read_text().splitlines():
        if match := STEP.match(line):
            step = match.groups()
        elif step and line.startswith("  FLAGS = "):
            named = re.findall(r"-mmacosx-version-min=(\S+)", line)
            if named != [version]:
                problems.append(f"{step[0]} ({step[1]}) names {named or 'no system'}")
            checked.add(step[1])
            step = None
    for needed in ("OBJCXX_COMPILER", "CXX_COMPILER", "CXX_EXECUTABLE_LINKER"):
        if needed not in checked:
            problems.append(f"no {needed} step found")
    return problems


def plist_problems(path, version):
    with open(path, "rb") as f:
        info = plistlib.load(f)
    problems = []
    for key, value in {**EXPECTED, "LSMinimumSystemVersion": version}.items():
        if info.get(key) != value:
            problems.append(f"{key} is {info.get(key)!r}, expected {value!r}")
    left = [key for key, value in info.items() if isinstance(value, str) and ("${" in value or "@" in value)]
    problems += [f"{key} was not configured: {info[key]!r}" for key in left]
    return problems


def main(tree, version):
    tree = Path(tree)
    problems = build_problems(tree / "build.ninja", version)
    problems += plist_problems(tree / "Pelmora_mac/Pelmora_mac.app/Contents/Info.plist", version)
    for problem in problems:
        print(f"{tree}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
