#!/usr/bin/env python3
"""Seeded mutation sampling of the core library.

Picks mutants of src/core (operator flips, off-by-one constants, negated
conditions, deleted statements) spread over every core folder, rebuilds the
test programs incrementally for each one, runs the tests that reach the core
and prints, by folder, the share of mutants the tests caught. The same seed
and count give the same mutants on the same sources.

    tools/mutants.py [--build DIR] [--seed N] [--count N] [--folder F] [--list]
                     [--save FILE] [--replay FILE] [--matrix FILE]

--matrix FILE runs every test program in full for each mutant and writes
which tests failed (a crash or hang is pinned on the test that was running,
and the rest of its program is run without it), so that tests can be
compared by the faults only they find. A run with --matrix picks up where an
interrupted one left off.

--save writes the chosen mutants to a JSON file; --replay applies the mutants
of such a file to today's sources instead of choosing new ones. A replayed
mutant is found by its original line (in the file of the same name when the
file has moved, nearest to its old line number) and keeps the folder it was
chosen in, so two suites can be compared on the very same faults after the
code has been reorganised. A mutant whose line no longer exists is "gone".
"""

import argparse
import json
import os
import random
import re
import signal
import subprocess
import sys
import time
from collections import defaultdict
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
CORE = ROOT / "src" / "core"

# The test programs that exercise kelvane_core, cheapest first so that a
# caught mutant is usually caught early. The window tests are left out: they
# reach the core through the same calls as these and take far longer.
TEST_PROGRAMS = [
    "tests/malformed/kelvane_malformed_tests",
    "tests/gl/kelvane_gl_tests",
    "tests/kelvane_core_tests",
    "tests/cli/kelvane_cli_tests",
]
BUILD_TARGETS = [
    "kelvane",
    "kelvane_core_tests",
    "kelvane_malformed_tests",
    "kelvane_gl_tests",
    "kelvane_cli_tests",
]

BINARY_SWAPS = [
    (" == ", " != "),
    (" != ", " == "),
    (" <= ", " < "),
    (" >= ", " > "),
    (" < ", " <= "),
    (" > ", " >= "),
    (" && ", " || "),
    (" || ", " && "),
    (" + ", " - "),
    (" - ", " + "),
    (" * ", " / "),
    (" / ", " * "),
    (" += ", " -= "),
    (" -= ", " += "),
]
INTEGER = re.compile(r"(?<![\w.])(\d+)(?![\w.'])")
CONDITION = re.compile(r"\b(if|while) \(")
STATEMENT_START = re.compile(r"^\s*[A-Za-z_][\w:.\->\[\]()]*\s*(\(|=|\+=|-=|\+\+|--|;)")


@dataclass(frozen=True)
class Mutant:
    path: Path
    line: int  # 1-based
    kind: str
    original: str
    mutated: str
    chosen_in: str = ""  # the folder of a replayed mutant when it was chosen

    @property
    def folder(self):
        return self.chosen_in or self.path.relative_to(CORE).parts[0]

    def describe(self):
        rel = self.path.relative_to(ROOT)
        return f"{rel}:{self.line} {self.kind}: {self.original.strip()} => {self.mutated.strip() or '(deleted)'}"


def code_part(line):
    """The line with string and character literals blanked and any // comment
    cut, so that operators are only looked for in code."""
    out = []
    quote = None
    i = 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            if c == quote:
                quote = None
                out.append(c)
            else:
                out.append(" ")
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def matching_paren(text, open_at):
    depth = 0
    for i in range(open_at, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def sites_in_file(path):
    lines = path.read_text(encoding="utf-8").splitlines(keepends=True)
    in_block_comment = False
    previous_code = ";"
    for number, line in enumerate(lines, start=1):
        stripped = line.strip()
        if in_block_comment:
            if "*/" in stripped:
                in_block_comment = False
            continue
        if stripped.startswith("/*"):
            in_block_comment = "*/" not in stripped
            continue
        if not stripped or stripped.startswith("//") or stripped.startswith("#"):
            continue
        code = code_part(line)
        if "static_assert" in code or "constexpr" in code or "template" in code:
            previous_code = code.strip() or previous_code
            continue

        for old, new in BINARY_SWAPS:
            start = 0
            while (at := code.find(old, start)) >= 0:
                yield Mutant(path, number, "operator", line, line[:at] + new + line[at + len(old):])
                start = at + len(old)
        for match in INTEGER.finditer(code):
            value = int(match.group(1))
            replacement = str(value + 1) if value == 0 or match.start() % 2 == 0 else str(value - 1)
            mutated = line[: match.start()] + replacement + line[match.end():]
            yield Mutant(path, number, "constant", line, mutated)
        for match in CONDITION.finditer(code):
            open_at = match.end() - 1
            close_at = matching_paren(code, open_at)
            if close_at > 0:
                inner = line[open_at + 1 : close_at]
                mutated = line[: open_at + 1] + "!(" + inner + ")" + line[close_at:]
                yield Mutant(path, number, "negated", line, mutated)
        statement_begins = previous_code.endswith((";", "{", "}")) or previous_code.endswith(":")
        if (
            statement_begins
            and code.rstrip().endswith(";")
            and STATEMENT_START.match(code)
            and not re.match(r"^\s*(return|using|typedef|const|auto|static|struct|class|enum)\b", code)
        ):
            yield Mutant(path, number, "deleted", line, "\n")
        previous_code = code.strip() or previous_code


def choose(seed, count, only_folder):
    by_folder = defaultdict(list)
    for path in sorted(CORE.rglob("*.cpp")):
        for mutant in sites_in_file(path):
            by_folder[mutant.folder].append(mutant)
    if only_folder:
        by_folder = {only_folder: by_folder.get(only_folder, [])}
    folders = sorted(f for f in by_folder if by_folder[f])
    if not folders:
        sys.exit("mutants: no mutation sites found")
    rng = random.Random(seed)
    # An even share per folder first, the rest in proportion to the sites.
    share = {f: min(len(by_folder[f]), max(1, count // len(folders))) for f in folders}
    left = count - sum(share.values())
    total_sites = sum(len(by_folder[f]) for f in folders)
    for f in folders:
        if left <= 0:
            break
        extra = min(left, len(by_folder[f]) - share[f], round(count * len(by_folder[f]) / total_sites))
        share[f] += max(0, extra)
        left -= max(0, extra)
    chosen = []
    for f in folders:
        chosen.extend(rng.sample(by_folder[f], share[f]))
    chosen.sort(key=lambda m: (str(m.path), m.line, m.kind, m.mutated))
    return chosen


def occurrence(m):
    """Which of the identical lines of its file the mutant's line is, and how
    many there are, so that a replay picks the same one after lines moved."""
    lines = m.path.read_text(encoding="utf-8").splitlines(keepends=True)
    same = [n for n, text in enumerate(lines, start=1) if text == m.original]
    return [same.index(m.line), len(same)]


def save(mutants, target):
    rows = [
        {
            "path": str(m.path.relative_to(ROOT)),
            "line": m.line,
            "kind": m.kind,
            "folder": m.folder,
            "original": m.original,
            "mutated": m.mutated,
            "occurrence": occurrence(m),
        }
        for m in mutants
    ]
    Path(target).write_text(json.dumps(rows, indent=1) + "\n", encoding="utf-8")


def locate(row):
    """Today's place of a saved mutant: (path, line), or None when gone. The
    line is looked for in its own file first, then in a moved file of the same
    name, then in any one core file that holds it; among identical lines, the
    same one of as many, else the nearest to its old line number."""
    def places_in(path):
        lines = path.read_text(encoding="utf-8").splitlines(keepends=True)
        return [n for n, text in enumerate(lines, start=1) if text == row["original"]]

    def pick(places):
        index, count = row.get("occurrence", [0, 0])
        if len(places) == count:
            return places[index]
        return min(places, key=lambda n: abs(n - row["line"]))

    own = ROOT / row["path"]
    candidates = [own] if own.exists() else sorted(CORE.rglob(own.name))
    for path in candidates:
        if places := places_in(path):
            return path, pick(places)
    holding = [(path, places) for path in sorted(CORE.rglob("*.cpp")) if (places := places_in(path))]
    if len(holding) != 1:
        return None
    path, places = holding[0]
    return path, pick(places)


def replayed(source):
    mutants, gone = [], []
    for row in json.loads(Path(source).read_text(encoding="utf-8")):
        place = locate(row)
        if place is None:
            gone.append(row)
            continue
        path, line = place
        mutants.append(Mutant(path, line, row["kind"], row["original"], row["mutated"], row["folder"]))
    return mutants, gone


def run(cmd, cwd, timeout=None, stdout=subprocess.DEVNULL):
    """Runs `cmd` in a process group of its own: on a hang the whole group
    is killed, so a mutated kelvane that a test started cannot outlive it."""
    with subprocess.Popen(cmd, cwd=cwd, stdout=stdout, stderr=subprocess.DEVNULL,
                          start_new_session=True) as process:
        try:
            output, _ = process.communicate(timeout=timeout)
        except subprocess.TimeoutExpired as stopped:
            os.killpg(process.pid, signal.SIGKILL)
            stopped.stdout = process.communicate()[0]
            raise
        finally:
            try:
                os.killpg(process.pid, signal.SIGKILL)  # children left by the test
            except ProcessLookupError:
                pass
        return subprocess.CompletedProcess(cmd, process.returncode, output)


def configure(build):
    if (build / "build.ninja").exists():
        return
    cmd = [
        "cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
        "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS_DEBUG=-O1",
        "-DKELVANE_BENCH=OFF", "-DKELVANE_WERROR=OFF",
    ]
    if subprocess.run(cmd).returncode != 0:
        sys.exit("mutants: configure failed")


def build_targets(build):
    return run(["cmake", "--build", str(build), "--target", *BUILD_TARGETS], ROOT).returncode == 0


def test_time_limits(build):
    """Runs each test program on the unmutated core; a mutant's run may take
    five times as long (at least 20 s) before it counts as caught by a hang."""
    limits = {}
    for program in TEST_PROGRAMS:
        started = time.monotonic()
        result = run([str(build / program)], build)
        if result.returncode != 0:
            sys.exit(f"mutants: {program} fails on the unmutated sources; fix that first")
        limits[program] = max(20.0, 5 * (time.monotonic() - started))
    return limits


def caught(build, limits):
    for program in TEST_PROGRAMS:
        try:
            result = run([str(build / program), "--gtest_fail_fast"], build, timeout=limits[program])
        except subprocess.TimeoutExpired:
            return True
        if result.returncode != 0:
            return True
    return False


def failing_tests(build, program, limit):
    """The tests of `program` that fail; a crash or hang is put on the test
    that was running, and the program is run again without it."""
    failed, left_out = [], []
    report = build / "mutant-tests.json"
    for _ in range(30):
        report.unlink(missing_ok=True)
        cmd = [str(build / program), f"--gtest_output=json:{report}"]
        if left_out:
            cmd.append("--gtest_filter=-" + ":".join(left_out))
        try:
            result = run(cmd, build, timeout=limit, stdout=subprocess.PIPE)
            output, how = result.stdout, "crash"
            if result.returncode == 0:
                return failed
            if report.exists():
                for suite in json.loads(report.read_text(encoding="utf-8")).get("testsuites", []):
                    failed += [f"{suite['name']}.{t['name']}" for t in suite.get("testsuite", []) if t.get("failures")]
                return failed
        except subprocess.TimeoutExpired as stopped:
            output, how = stopped.stdout or b"", "hang"
        running = None
        for line in output.decode(errors="replace").splitlines():
            if line.startswith("[ RUN      ] "):
                running = line[13:].strip()
            elif running and line[13:].split(" ")[0] == running:
                if line.startswith("[  FAILED  ] "):
                    failed.append(running)
                running = None
        if running is None:
            return failed + [f"{program} ({how})"]
        failed.append(f"{running} ({how})")
        left_out.append(running)
    return failed


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build-mutants", help="build folder (default build-mutants)")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--count", type=int, default=160)
    parser.add_argument("--folder", help="only mutants of this core folder")
    parser.add_argument("--list", action="store_true", help="print the mutants and stop")
    parser.add_argument("--survivors", help="write the mutants the tests missed to this file")
    parser.add_argument("--save", help="write the chosen mutants to this JSON file")
    parser.add_argument("--replay", help="use the mutants saved in this JSON file")
    parser.add_argument("--matrix", help="run every test for each mutant; write which failed to this JSON file")
    args = parser.parse_args()

    build = (ROOT / args.build).resolve()
    # A run that was killed leaves the source it had mutated in this file.
    pending = build / "mutant-original.txt"
    if pending.exists():
        path, _, original = pending.read_text(encoding="utf-8").partition("\n")
        Path(path).write_text(original, encoding="utf-8")
        pending.unlink()
        print(f"mutants: restored {path} from an interrupted run")
    gone = []
    if args.replay:
        mutants, gone = replayed(args.replay)
        for row in gone:
            print(f"gone: {row['path']}:{row['line']} {row['kind']}: {row['original'].strip()}")
    else:
        mutants = choose(args.seed, args.count, args.folder)
    if args.save:
        save(mutants, args.save)
    if args.list:
        for m in mutants:
            print(m.describe())
        return

    configure(build)
    if not build_targets(build):
        sys.exit("mutants: the unmutated sources do not build")
    limits = test_time_limits(build)

    results = defaultdict(lambda: {"mutants": 0, "stillborn": 0, "caught": 0})
    survivors = []
    matrix = []
    if args.matrix and Path(args.matrix).exists():
        matrix = json.loads(Path(args.matrix).read_text(encoding="utf-8"))
    matrixed = {row["mutant"]: row for row in matrix}
    for index, m in enumerate(mutants, start=1):
        if m.describe() in matrixed:
            row = results[m.folder]
            row["mutants"] += 1
            known = matrixed[m.describe()]
            row["stillborn"] += known["tests"] is None
            row["caught"] += bool(known["tests"])
            continue
        text = m.path.read_text(encoding="utf-8")
        lines = text.splitlines(keepends=True)
        lines[m.line - 1] = m.mutated
        row = results[m.folder]
        row["mutants"] += 1
        try:
            pending.write_text(str(m.path) + "\n" + text, encoding="utf-8")
            m.path.write_text("".join(lines), encoding="utf-8")
            if not build_targets(build):
                row["stillborn"] += 1
                verdict = "does not build"
            elif args.matrix:
                failed = [t for p in TEST_PROGRAMS for t in failing_tests(build, p, limits[p])]
                row["caught"] += bool(failed)
                verdict = f"caught by {len(failed)}" if failed else "SURVIVED"
                if not failed:
                    survivors.append(m)
            elif caught(build, limits):
                row["caught"] += 1
                verdict = "caught"
            else:
                survivors.append(m)
                verdict = "SURVIVED"
        finally:
            m.path.write_text(text, encoding="utf-8")
            pending.unlink()
        if args.matrix:
            built = verdict != "does not build"
            matrix.append({"mutant": m.describe(), "folder": m.folder, "tests": failed if built else None})
            Path(args.matrix).write_text(json.dumps(matrix, indent=1) + "\n", encoding="utf-8")
        print(f"[{index}/{len(mutants)}] {verdict:14} {m.describe()}", flush=True)
    build_targets(build)

    print()
    if args.replay:
        print(f"replayed {args.replay}: {len(mutants)} mutants, {len(gone)} gone")
    else:
        print(f"seed {args.seed}, {len(mutants)} mutants")
    print(f"{'folder':12} {'mutants':>8} {'built':>6} {'caught':>7} {'share':>7}")
    totals = {"mutants": 0, "stillborn": 0, "caught": 0}
    for folder in sorted(results):
        row = results[folder]
        for key in totals:
            totals[key] += row[key]
        print_row(folder, row)
    print_row("all", totals)
    if args.survivors:
        Path(args.survivors).write_text("".join(m.describe() + "\n" for m in survivors), encoding="utf-8")


def print_row(name, row):
    built = row["mutants"] - row["stillborn"]
    share = f"{100.0 * row['caught'] / built:.1f}%" if built else "-"
    print(f"{name:12} {row['mutants']:>8} {built:>6} {row['caught']:>7} {share:>7}")


if __name__ == "__main__":
    os.environ.setdefault("ASAN_OPTIONS", "detect_leaks=0")
    main()
