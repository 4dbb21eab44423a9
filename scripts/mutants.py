#!/usr/bin/env python3
"""Plants small faults in the engine and convert-batch, one at a time, and
counts how many the tests catch.

    scripts/mutants.py [--sample N] [--seed S] [FILE...]

Each fault is one of: a comparison or logical operator swapped, a boolean
flipped, an off-by-one, or a statement deleted. For each, the library build
(no Qt) is rebuilt in a work tree under build/mutants/ and its tests run.
A fault that does not compile is not counted. Prints every fault that no
test caught, then the share caught. Takes about ten seconds a fault."""
import argparse
import random
import re
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
WORK = ROOT / "build" / "mutants"
ENGINE = [ROOT / "Convert" / layer
          for layer in ("text", "sources", "containers", "workbooks", "records", "files", "run")]
DEFAULT_FILES = sorted(
    str(p.relative_to(ROOT))
    for p in [f for folder in ENGINE for f in folder.rglob("*.cpp")]
    + [f for folder in ENGINE for f in folder.rglob("*.h")]
    + [ROOT / "Convert" / "batch" / "batch_command.cpp"]
    if not p.name.endswith(("_win32.cpp", "_xmllite.cpp", "xmllite_stream.cpp", "xmllite_stream.h",
                            "_pulled.cpp")))

SWAPS = [(" == ", " != "), (" != ", " == "), (" < ", " <= "), (" <= ", " < "),
         (" > ", " >= "), (" >= ", " > "), (" && ", " || "), (" || ", " && "),
         ("true", "false"), ("false", "true"), (" + 1", ""), (" - 1", ""),
         ("+ 1", "+ 2"), ("(!", "(")]
STATEMENT = re.compile(r"^\s*(?!return\b|const\b|auto\b|static\b|using\b|case\b|default\b|"
                       r"std::\w+<|[A-Z]\w*\s+\w+\s*[({=;])[\w:.\->\[\]*&]+\s*(\(.*\)|[-+]?=.*|\+\+|--);\s*$")


def faults(path):
    """Every (line number, new line, description) of one file."""
    lines = (ROOT / path).read_text().splitlines(keepends=True)
    for number, line in enumerate(lines):
        code = line.split("//")[0]
        if not code.strip() or code.lstrip().startswith(("#", "*")):
            continue
        for old, new in SWAPS:
            pattern = rf"\b{old}\b" if old.isalpha() else re.escape(old)
            for match in re.finditer(pattern, code):
                yield (number, line[:match.start()] + new + line[match.end():],
                       f"'{old.strip()}' -> '{new.strip()}'")
        if STATEMENT.match(code):
            yield number, "\n", "statement deleted"


def run(command, **kwargs):
    return subprocess.run(command, cwd=WORK, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          **kwargs).returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sample", type=int, default=0, help="try N faults drawn at random")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("files", nargs="*", default=DEFAULT_FILES)
    args = parser.parse_args()

    if WORK.exists():
        shutil.rmtree(WORK)
    subprocess.run(["git", "worktree", "prune"], cwd=ROOT, check=True)
    subprocess.run(["git", "worktree", "add", "--detach", "-f", str(WORK)], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    # The work tree holds the committed code; take the working copy's too.
    for path in subprocess.run(["git", "ls-files", "-m", "-o", "--exclude-standard"], cwd=ROOT,
                               capture_output=True, text=True).stdout.split():
        if (ROOT / path).is_file() and not path.startswith("build/"):
            (WORK / path).parent.mkdir(parents=True, exist_ok=True)
            shutil.copy2(ROOT / path, WORK / path)
    if run(["cmake", "--preset", "library"]) or run(["cmake", "--build", "build/library"]):
        sys.exit("the unchanged library build fails")
    if run(["ctest", "--test-dir", "build/library", "-j2"]):
        sys.exit("the unchanged tests fail")

    planted = [(path, *fault) for path in args.files for fault in faults(path)]
    if args.sample and args.sample < len(planted):
        planted = random.Random(args.seed).sample(planted, args.sample)
    caught, survived = 0, []
    for index, (path, number, new_line, what) in enumerate(planted, 1):
        source = WORK / path
        original = source.read_text()
        lines = original.splitlines(keepends=True)
        lines[number] = new_line
        source.write_text("".join(lines))
        try:
            if run(["cmake", "--build", "build/library"], timeout=600):
                verdict = "does not compile"
            elif run(["ctest", "--test-dir", "build/library", "-j2", "--timeout", "60",
                      "--stop-on-failure"],
                     timeout=900):
                verdict = "caught"
                caught += 1
            else:
                verdict = "SURVIVED"
                survived.append(f"{path}:{number + 1}: {what}: {lines[number].strip()}")
        except subprocess.TimeoutExpired:
            verdict = "caught (timed out)"
            caught += 1
        finally:
            source.write_text(original)
        print(f"[{index}/{len(planted)}] {path}:{number + 1} {what}: {verdict}", flush=True)
    run(["cmake", "--build", "build/library"])
    print("\nsurvivors:")
    for line in survived:
        print("  " + line)
    total = caught + len(survived)
    if total:
        print(f"\ncaught {caught} of {total} faults that compile: {100.0 * caught / total:.1f} %")


if __name__ == "__main__":
    main()
