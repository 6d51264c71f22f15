#!/usr/bin/env python3
"""The hostile set through the desktop search's extractor, with the module and
rule of the build tree (see TrackerExtract_test.py).

make_hostile_set writes the set and keeps rewriting its changing drawing while
tracker3 extract, in a D-Bus session of the test's own, reads every item as
the extractor is handed it: no extractor ends by a signal or runs out of time,
what it prints is well-formed UTF-8, a drawing's extraction succeeds, and a
name with no regular file behind it gets none of the module's facts.
Exit 77: the extractor is not installed.

  TrackerHostile_test.py MODULE RULE SYSTEM_MODULES SYSTEM_RULES MAKE_HOSTILE_SET
"""
import json
import os
import re
import subprocess
import sys
import tempfile

from TrackerExtract_test import extractor_env, in_own_session


def read_list(maker):
    """The set's items (name, kind, what), up to the empty line that ends the list."""
    items = []
    for line in maker.stdout:
        line = line.rstrip("\n")
        if not line:
            return items
        name, kind, what = line.split("\t", 2)
        items.append((name, kind, what))
    raise RuntimeError("make_hostile_set ended before its list did")


def main():
    if not in_own_session():
        return 77
    module, rule, system_modules, system_rules, make_hostile_set = sys.argv[1:]

    failures = []
    items = []
    with tempfile.TemporaryDirectory() as work:
        env = extractor_env(work, module, rule, system_modules, system_rules)
        if env is None:
            return 77
        folder = os.path.join(work, "set")
        with subprocess.Popen([make_hostile_set, folder, "--keep-changing"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True) as maker:
            try:
                items = read_list(maker)
                for name, kind, what in items:
                    path = os.path.join(folder, name)
                    try:
                        run = subprocess.run(["tracker3", "extract", "-o", "json-ld", path],
                                             capture_output=True, env=env, timeout=60)
                    except subprocess.TimeoutExpired:
                        failures.append(f"{name} ({what}): no answer within 60 s")
                        continue
                    log = run.stderr.decode("utf-8", "replace")
                    try:
                        output = run.stdout.decode("utf-8").strip()
                        facts = json.loads(output) if output.startswith("{") else {}
                    except (UnicodeDecodeError, json.JSONDecodeError) as error:
                        failures.append(f"{name} ({what}): {error}")
                        continue
                    ended = run.returncode < 0 or re.search(
                        r"(?i)segmentation|core dumped|signal|timed out|timeout", log)
                    if ended or (kind == "drawing" and run.returncode != 0):
                        failures.append(f"{name} ({what}): exit {run.returncode}\n{log}")
                    if kind == "not-a-file" and "nfo:VectorImage" in facts.get("@type", []):
                        failures.append(f"{name} ({what}): facts {facts}")
            finally:
                maker.stdin.close()
                maker.wait(timeout=60)

    for failure in failures:
        print(failure)
    print(f"{len(items)} items, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
