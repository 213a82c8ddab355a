#!/usr/bin/env python3
"""Checks a tree CMake configured for macOS: every compile and link in
build.ninja names the oldest system given once, and the bundle's Info.plist
parses as a property list, names the same system, the executable the bundle
contains, the version text the windows and the About panel show, and the
languages it speaks."""
import plistlib
import re
import sys

EXPECTED = {
    "CFBundleExecutable": "Pelmora_mac",
    "CFBundlePackageType": "APPL",
    "CFBundleIconFile": "Pelmora.icns",
    "NSPrincipalClass": "NSApplication",
    "PelmoraVersion": "2026-10-17",
    # What macOS's own menu items and panels speak: English unless Japanese is preferred.
    "CFBundleDevelopmentRegion": "en",
    "CFBundleLocalizations": ["en", "ja"],
}


def build_problems(tree, version):
    step = r"^build ([^:]+): \w+?_(?:COMPILER|EXECUTABLE_LINKER)__.*\n(?:  (?!FLAGS).*\n)*  FLAGS = (.*)$"
    problems, steps = [], re.findall(step, open(f"{tree}/build.ninja").read(), re.M)
    for output, flags in steps:
        if (named := re.findall(r"-mmacosx-version-min=(\S+)", flags)) != [version]:
            problems.append(f"{output} is built for {named or 'no system'}")
    return problems + ([] if any("Contents/MacOS/Pelmora_mac" in s[0] for s in steps) else ["no link found"])


def main(tree, version):
    path = f"{tree}/Pelmora_mac/Pelmora_mac.app/Contents/Info.plist"
    with open(path, "rb") as f:
        info = plistlib.load(f)
    problems = build_problems(tree, version)
    for key, value in {**EXPECTED, "LSMinimumSystemVersion": version}.items():
        if info.get(key) != value:
            problems.append(f"{key} is {info.get(key)!r}, expected {value!r}")
    left = [key for key, value in info.items() if isinstance(value, str) and ("${" in value or "@" in value)]
    problems += [f"{key} was not configured: {info[key]!r}" for key in left]
    for problem in problems:
        print(f"{path}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
