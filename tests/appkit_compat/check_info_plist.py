#!/usr/bin/env python3
"""Checks a configured Info.plist of the macOS application: it parses as a
property list, names the executable the bundle contains, and carries the
version text the windows and the About panel show."""
import plistlib
import sys

EXPECTED = {
    "CFBundleExecutable": "Pelmora_mac",
    "CFBundlePackageType": "APPL",
    "CFBundleIconFile": "Pelmora.icns",
    "NSPrincipalClass": "NSApplication",
    "PelmoraVersion": "2026-10-17",
}


def main(path):
    with open(path, "rb") as f:
        info = plistlib.load(f)
    problems = []
    for key, value in EXPECTED.items():
        if info.get(key) != value:
            problems.append(f"{key} is {info.get(key)!r}, expected {value!r}")
    left = [key for key, value in info.items() if isinstance(value, str) and ("${" in value or "@" in value)]
    problems += [f"{key} was not configured: {info[key]!r}" for key in left]
    for problem in problems:
        print(f"{path}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
