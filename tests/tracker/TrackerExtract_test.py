#!/usr/bin/env python3
"""The desktop search's extractor with the module and rule of the build tree.

tracker3 extract, in a D-Bus session of the test's own, reads every drawing with
the module (the extractor's sandbox on) and must report for it exactly what the
host tool reports, in the extractor's vocabulary; a file that is no SVG, a
damaged compressed drawing and an empty file get none of the module's facts and
end no extractor. With the SPARQL library answering as one of another series
(OTHER_SERIES preloaded), the module declines and a drawing gets no facts.
Exit 77: the extractor is not installed.

  TrackerExtract_test.py MODULE RULE SYSTEM_MODULES SYSTEM_RULES HOST_TOOL OTHER_SERIES
                         DRAWING...
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

def extractor_folders(work, module, rule, system_modules, system_rules):
    """The system's rules and modules with the build's beside them, as installed.

    The build's rule and module stand in for an installed copy of the same name."""
    rules = os.path.join(work, "rules")
    modules = os.path.join(work, "modules")
    os.makedirs(rules)
    os.makedirs(modules)
    ours = {os.path.basename(rule), os.path.basename(module)}
    for source, target in ((system_rules, rules), (system_modules, modules)):
        for name in os.listdir(source):
            if name not in ours:
                os.symlink(os.path.join(source, name), os.path.join(target, name))
    os.symlink(os.path.abspath(rule), os.path.join(rules, os.path.basename(rule)))
    os.symlink(os.path.abspath(module), os.path.join(modules, os.path.basename(module)))
    return rules, modules


def in_own_session():
    """Runs this script again in a D-Bus session of its own, once; false (after
    saying why) when the tools for that are not installed."""
    for tool in ("tracker3", "dbus-run-session"):
        if shutil.which(tool) is None:
            print(f"skipped: {tool} is not installed")
            return False
    if os.environ.get("VX_TRACKER_TEST_SESSION") != "1":
        os.environ["VX_TRACKER_TEST_SESSION"] = "1"
        os.execvp("dbus-run-session", ["dbus-run-session", "--", sys.executable] + sys.argv)
    return True


def extractor_env(work, module, rule, system_modules, system_rules):
    """The environment of an extraction with the build's rule and module, in a
    throwaway home under work; None (after saying why) when the extractor is
    not installed."""
    if not os.path.isdir(system_rules) or not os.path.isdir(system_modules):
        print("skipped: the extractor (tracker-extract) is not installed")
        return None
    rules, modules = extractor_folders(work, module, rule, system_modules, system_rules)
    home = os.path.join(work, "home")
    os.makedirs(home)
    return dict(os.environ, HOME=home, XDG_CACHE_HOME=os.path.join(work, "cache"),
                XDG_CONFIG_HOME=os.path.join(work, "config"),
                XDG_DATA_HOME=os.path.join(work, "data"),
                TRACKER_EXTRACTOR_RULES_DIR=rules, TRACKER_EXTRACTORS_DIR=modules,
                GIO_USE_VFS="local", GSETTINGS_BACKEND="memory")


def extract(path, env):
    """The extractor's description of a file (a dict, empty for none) and its exit status."""
    run = subprocess.run(["tracker3", "extract", "-o", "json-ld", path],
                         capture_output=True, text=True, env=env, timeout=60)
    output = run.stdout.strip()
    facts = json.loads(output) if output.startswith("{") else {}
    return facts, run.returncode, run.stderr


def expected_facts(host_tool, path):
    """What the module must say of a drawing, from the host tool's report."""
    report = json.loads(subprocess.run([host_tool, "--json", path], capture_output=True,
                                       text=True, check=True).stdout)[0]
    facts = {"@type": ["nfo:VectorImage"]}
    width, height = report["Calculated Width (96)"], report["Calculated Height (96)"]
    if width and height:
        facts["nfo:width"] = width
        facts["nfo:height"] = height
    for field, prop in (("Metadata Title", "nie:title"),
                        ("Metadata Description", "nie:description"),
                        ("Application", "nie:generator")):
        if report[field]:
            facts[prop] = report[field]
    date = report["Metadata Date"]
    if date:
        # The host tool shows a plain date or date and time as written (a "T"
        # as a blank); other forms are checked by the date parser's own tests.
        match = re.fullmatch(r"(\d{4}-\d{2}-\d{2})(?: (\d{2}:\d{2}:\d{2}))?", date)
        facts["nie:contentCreated"] = (f"{match[1]}T{match[2] or '00:00:00'}Z" if match else None)
    return facts


def main():
    # Every extraction in one D-Bus session of the test's own.
    if not in_own_session():
        return 77
    module, rule, system_modules, system_rules, host_tool, other_series, *drawings = sys.argv[1:]

    failures = []
    with tempfile.TemporaryDirectory() as work:
        env = extractor_env(work, module, rule, system_modules, system_rules)
        if env is None:
            return 77
        home = env["HOME"]

        for drawing in drawings:
            facts, status, log = extract(os.path.abspath(drawing), env)
            want = expected_facts(host_tool, drawing)
            if want.get("nie:contentCreated", "") is None:
                want.pop("nie:contentCreated")
                facts.pop("nie:contentCreated", None)
            got = {k: v for k, v in facts.items() if k not in ("@id", "@context")}
            if status != 0 or got != want:
                failures.append(f"{drawing}: exit {status}\n  got  {got}\n  want {want}\n{log}")

        # Files the module is handed but must give nothing: no SVG under an SVG
        # name, a compressed drawing cut short, and an empty file.
        compressed = next(d for d in drawings if d.endswith(".svgz"))
        with open(compressed, "rb") as source:
            cut = source.read()[:-40]
        for name, content in (("no-drawing.svg", b"plain words, no markup\n"),
                              ("cut-short.svgz", cut), ("empty.svg", b"")):
            path = os.path.join(home, name)
            with open(path, "wb") as target:
                target.write(content)
            facts, status, log = extract(path, env)
            ours = {k for k in facts if k.startswith(("nfo:width", "nfo:height", "nie:"))}
            if status != 0 or ours or "nfo:VectorImage" in facts.get("@type", []) or \
                    re.search(r"(?i)segmentation|core dumped|signal", log):
                failures.append(f"{name}: exit {status}, facts {facts}\n{log}")

        # An extractor of another series: the module declines, nothing is said.
        facts, status, log = extract(os.path.abspath(drawings[0]),
                                     dict(env, LD_PRELOAD=os.path.abspath(other_series)))
        if status != 0 or "nfo:width" in facts or "not the one installed" not in log:
            failures.append(f"another series: exit {status}, facts {facts}\n{log}")

    for failure in failures:
        print(failure)
    print(f"{len(drawings)} drawings and 3 other files, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
