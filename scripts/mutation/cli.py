"""The command line: which mutants, what is known of them, what to judge,
and the report.

Exit status: 0 nothing survived, 1 something survived, 2 could not run (bad
arguments, an unmutated tree that does not build or fails its own tests, a
run stopped by a signal)."""
import argparse
import collections
import os
import random
import re
import signal
import subprocess
import sys

from . import RunError, ROOT
from .bookkeeping import (EQUIVALENT_LIST, RESULTS_FILE, digest_of, equivalent_entry,
                          match_equivalents,
                          parse_equivalents, sha256, source_digest, tree_files, verdict_digest)
from .judging import JUDGE_VERSION, SOAK_ROUNDS, Runner, result_line
from .operators import OPERATORS, find_mutants
from .scanning import mask_source

RUNNER_FILES = ("scripts/mutants.py", EQUIVALENT_LIST, RESULTS_FILE)

def changed_lines(base, root=ROOT):
    """{path: set of line numbers} changed since the git commit base, with
    new untracked sources counted whole."""
    diff = subprocess.run(["git", "diff", "-U0", base, "--", "src", "res"], cwd=root,
                          capture_output=True, text=True)
    if diff.returncode != 0:
        raise RunError(f"git diff {base} failed: {diff.stderr.strip()}")
    lines = collections.defaultdict(set)
    path = None
    for row in diff.stdout.splitlines():
        if row.startswith("+++ "):
            path = None if row[4:] == "/dev/null" else row[6:]
        elif row.startswith("@@") and path:
            hunk = re.match(r"@@ -\S+ \+(\d+)(?:,(\d+))? @@", row)
            first, count = int(hunk.group(1)), int(hunk.group(2) or 1)
            lines[path].update(range(first, first + count))
    untracked = subprocess.run(["git", "ls-files", "-o", "--exclude-standard", "src", "res"], cwd=root,
                               capture_output=True, text=True).stdout.split()
    for name in untracked:
        lines[name].update(range(1, 1 << 30))
    return {p: s for p, s in lines.items() if MUTATED.fullmatch(p) and s}


def mutant_lines(mutant):
    return range(mutant.line, mutant.end_line + 1)


def sample_mutants(mutants_by_file, line_counts, count, seed):
    """count mutants spread over the files in proportion to their lines (each
    file's share filled at random within it), the same for the same seed
    and sources."""
    files = sorted(f for f in mutants_by_file if mutants_by_file[f])
    room = {f: len(mutants_by_file[f]) for f in files}
    quota = dict.fromkeys(files, 0)
    left = min(count, sum(room.values()))
    # Largest remainders; a file with fewer mutants than its share passes the
    # rest on to the others.
    while left > 0:
        open_files = [f for f in files if quota[f] < room[f]]
        weight = sum(line_counts[f] or 1 for f in open_files)
        exact = {f: left * (line_counts[f] or 1) / weight for f in open_files}
        add = {f: min(int(exact[f]), room[f] - quota[f]) for f in open_files}
        if all(add[f] == int(exact[f]) for f in open_files):
            spare = left - sum(add.values())
            by_remainder = sorted((f for f in open_files if quota[f] + add[f] < room[f]),
                                  key=lambda f: (-(exact[f] - int(exact[f])), f))
            for f in by_remainder[:spare]:
                add[f] += 1
        if not any(add.values()):
            break  # cannot happen while the shares add up; never loop forever
        for f, extra in add.items():
            quota[f] += extra
            left -= extra
    chosen = []
    for f in files:
        generator = random.Random(f"{seed}:{f}")
        picked = generator.sample(range(room[f]), quota[f])
        chosen.extend(mutants_by_file[f][k] for k in sorted(picked))
    return chosen


def summary_line(counts):
    killed = counts["killed"] + counts["hang"]
    judged = killed + counts["survived"]
    score = f"{100.0 * killed / judged:.1f}%" if judged else "n/a"
    return (f"{killed} killed, {counts['survived']} survived, {counts['equivalent']} equivalent, "
            f"{counts['not-built']} not built; score {score}")


# ------------------------------------------------------------------- main

def still_holds(recorded, tests_hash):
    """A survivor holds while no test changed; a kill while the files it
    rests on are as they were; a mutant that did not build, always."""
    outcome = recorded["outcome"]
    if outcome == "survived":
        return recorded.get("tests") == tests_hash
    if outcome in ("killed", "hang"):
        return "rests_on" in recorded and recorded["rests_on"] == verdict_digest(
            ROOT, recorded["stage"], recorded["test"])
    return True


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        description="Plants one fault at a time in a scratch copy of the tree and runs the tests on it.")
    parser.add_argument("--all", action="store_true", help="every mutant of every file")
    parser.add_argument("--changed", metavar="BASE", help="every mutant on the src/ lines changed since git BASE")
    parser.add_argument("--sample", metavar="N", type=int, help="N mutants spread over the files by their lines")
    parser.add_argument("--seed", default="0", help="the sample's seed (default 0)")
    parser.add_argument("--file", metavar="F", action="append", help="only file F of src/ or res/ (all its "
                        "mutants, or --sample of them); given again, those files")
    parser.add_argument("--match", metavar="TEXT", help="only the mutants whose id contains TEXT")
    parser.add_argument("--list", action="store_true", help="print the mutants and their count; run nothing")
    parser.add_argument("--jobs", type=int, default=min(2, os.cpu_count() or 1),
                        help="mutants judged at once, each in its own copy (default min(2, cores))")
    parser.add_argument("--rejudge", action="store_true", help="judge again mutants with a recorded result")
    arguments = parser.parse_args(argv)
    modes = [arguments.changed is not None, arguments.sample is not None, arguments.file is not None]
    if (arguments.changed is not None and any(modes[1:])) or arguments.all == any(modes):
        parser.error("give --all, --changed BASE, --sample N, --file F or --file F --sample N")
    if arguments.sample is not None and arguments.sample < 1 or arguments.jobs < 1:
        parser.error("--sample and --jobs take a positive number")
    return arguments


# What is mutated: the program's sources and headers, its resource script
# and its manifests.
MUTATED = re.compile(r"src/.*\.(cpp|h)|res/[^/]*\.(rc|manifest)")
# Where the program's named constants are gathered for sibling-constant.
CONSTANT_SOURCES = re.compile(r"src/.*\.(cpp|h)|res/resource\.h")
CONSTANT_NAME = re.compile(r"(?<![\w.>:])[A-Z][A-Z0-9]*_[A-Z0-9_]*[A-Z0-9](?![\w(])")


def source_paths():
    paths = []
    for top in ("src", "res"):
        for folder, _, names in os.walk(os.path.join(ROOT, top)):
            paths += [os.path.relpath(os.path.join(folder, n), ROOT) for n in names]
    return sorted(p for p in paths if MUTATED.fullmatch(p))


def program_constants(texts):
    """The named constants the program uses (types such as UINT_PTR aside):
    the families sibling-constant picks from."""
    names = set()
    for path, text in texts.items():
        if CONSTANT_SOURCES.fullmatch(path):
            names.update(CONSTANT_NAME.findall(mask_source(text)[0]))
    return frozenset(n for n in names if not n.endswith("_PTR"))


def main(argv=None):
    try:
        arguments = parse_arguments(argv)
    except SystemExit as exit_:
        return 2 if exit_.code else 0
    try:
        return run(arguments)
    except RunError as error:
        print(f"mutants: {error}", file=sys.stderr)
        return 2


def run(arguments):
    paths = source_paths()
    if arguments.file:
        wanted = [os.path.relpath(os.path.abspath(name), ROOT) for name in arguments.file]
        for name, path in zip(arguments.file, wanted):
            if path not in paths:
                raise RunError(f"{name} is not a source file under src/ or res/")
        paths = sorted(set(wanted))
    originals = {}
    for path in source_paths():
        with open(os.path.join(ROOT, path), encoding="utf-8", newline="") as source:
            originals[path] = source.read()
    constants = program_constants(dict(originals, **{"res/resource.h": _read("res/resource.h")}))
    every = {p: find_mutants(p, originals[p], constants) for p in originals}
    by_file = {p: every[p] for p in paths}
    if arguments.changed is not None:
        lines = changed_lines(arguments.changed)
        by_file = {p: [m for m in every.get(p, []) if lines.get(p, set()).intersection(mutant_lines(m))]
                   for p in sorted(lines) if p in every}
    if arguments.sample is not None:
        line_counts = {p: originals[p].count("\n") + 1 for p in by_file}
        chosen = sample_mutants(by_file, line_counts, arguments.sample, arguments.seed)
    else:
        chosen = [m for p in sorted(by_file) for m in by_file[p]]
    if arguments.match:
        chosen = [m for m in chosen if arguments.match in m.id]

    try:
        with open(os.path.join(ROOT, EQUIVALENT_LIST), encoding="utf-8") as listed:
            entries, problems = parse_equivalents(listed.read())
    except OSError:
        entries, problems = [], []
    for problem in problems:
        print(f"warning: {problem}", file=sys.stderr)
    equivalents, stale = match_equivalents(entries, every)
    # An entry that covers nothing may have moved onto another mutant's
    # line, or lost its own: the list must be mended before it is trusted.
    for entry in stale:
        print(f"error: {EQUIVALENT_LIST}:{entry.line}: {entry.path} {entry.operator}"
              f"{' in ' + entry.function if entry.function else ''} '{entry.before}' "
              "matches no mutant any more", file=sys.stderr)

    if arguments.list:
        for mutant in chosen:
            reason = equivalents.get(mutant.equivalence_key)
            print(mutant.id + (f"  [equivalent: {reason}]" if reason else ""))
        per_operator = collections.Counter(m.operator for m in chosen)
        print("per operator: " + ", ".join(f"{op} {per_operator[op]}" for op in OPERATORS))
        if len(by_file) > 1:
            per_file = collections.Counter(m.path for m in chosen)
            for path in sorted(per_file):
                print(f"  {path}: {per_file[path]}")
        print(f"{len(chosen)} mutants in {len({m.path for m in chosen})} files")
        return 1 if stale else 0

    files = tree_files()
    # The runner's own files and the documents change no build and no
    # test's outcome.
    judged = [f for f in files if f not in RUNNER_FILES
              and not f.startswith(("scripts/mutation/", "tests/mutants/", "docs/"))
              and not f.endswith(".md")]
    tree_hash = digest_of(ROOT, judged)
    tests_hash = sha256(f"{digest_of(ROOT, [f for f in judged if f.startswith('tests/')])}"
                        f":{SOAK_ROUNDS}:{JUDGE_VERSION}".encode())
    runner = Runner()
    file_hashes = {p: source_digest(p, originals[p]) for p in originals}
    runner.results.forget_other_versions(file_hashes)
    outcomes = []  # (mutant, result)
    pending = []
    for mutant in chosen:
        key = f"{file_hashes[mutant.path]}:{mutant.id}"
        reason = equivalents.get(mutant.equivalence_key)
        if reason is not None:
            outcomes.append((mutant, {"outcome": "equivalent", "detail": reason}))
            continue
        recorded = runner.results.data["mutants"].get(key)
        if recorded and not arguments.rejudge and still_holds(recorded, tests_hash):
            outcomes.append((mutant, recorded))
            continue
        pending.append((len(pending), mutant, key))
    for mutant, result in outcomes:
        print(result_line(mutant, result, "recorded    " if result["outcome"] != "equivalent" else ""))
    print(f"{len(chosen)} mutants: {len(outcomes)} known, {len(pending)} to judge", flush=True)

    if pending:
        jobs = min(arguments.jobs, len(pending))
        previous = {s: signal.signal(s, runner.interrupt) for s in (signal.SIGINT, signal.SIGTERM)}
        try:
            runner.run_all(pending, originals, tree_hash, tests_hash, files, jobs)
        finally:
            for s, handler in previous.items():
                signal.signal(s, handler)
        if runner.stop.is_set():
            print("mutants: stopped; the results so far are kept and the next run goes on from them",
                  file=sys.stderr)
            return 2
        for _, mutant, key in pending:
            outcomes.append((mutant, runner.results.data["mutants"][key]))

    counts = collections.Counter()
    per_file = collections.defaultdict(collections.Counter)
    survivors = []
    for mutant, result in outcomes:
        counts[result["outcome"]] += 1
        per_file[mutant.path][result["outcome"]] += 1
        if result["outcome"] == "survived":
            survivors.append(mutant)
    if len(per_file) > 1:
        for path in sorted(per_file):
            print(f"  {path}: {summary_line(per_file[path])}")
    if survivors:
        print(f"survivors ({len(survivors)}); one that no user or file could tell apart goes into "
              f"{EQUIVALENT_LIST} as:")
        for mutant in sorted(survivors, key=lambda m: (m.path, m.line)):
            print(f"  {mutant.id}")
        print(equivalent_entry(survivors[0]) + "...")
    print(summary_line(counts))
    return 1 if survivors or stale else 0


def _read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8", newline="") as source:
        return source.read()
