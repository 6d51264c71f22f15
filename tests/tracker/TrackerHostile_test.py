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
import shutil
import subprocess
import sys
import tempfile

from TrackerExtract_test import extractor_folders


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
    for tool in ("tracker3", "dbus-run-session"):
        if shutil.which(tool) is None:
            print(f"skipped: {tool} is not installed")
            return 77
    if os.environ.get("VX_TRACKER_TEST_SESSION") != "1":
        os.environ["VX_TRACKER_TEST_SESSION"] = "1"
        os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv)
    module, rule, system_modules, system_rules, make_hostile_set = sys.argv[1:]
    if not os.path.isdir(system_rules) or not os.path.isdir(system_modules):
        print("skipped: the extractor (tracker-extract) is not installed")
        return 77

    failures = []
    with tempfile.TemporaryDirectory() as work:
        rules, modules = extractor_folders(work, module, rule, system_modules, system_rules)
        home = os.path.join(work, "home")
        os.makedirs(home)
        env = dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(work, "cache"),
                   XDG_CONFIG_HOME=os.path.join(work, "config"),
                   XDG_DATA_HOME=os.path.join(work, "data"),
                   TRACKER_EXTRACTOR_RULES_DIR=rules, TRACKER_EXTRACTORS_DIR=modules,
                   GIO_USE_VFS="local", GSETTINGS_BACKEND="memory")
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
