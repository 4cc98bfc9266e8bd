#!/usr/bin/env python3
"""Counts the test command's results from the runners' XML reports (CTest's
JUnit files and GoogleTest's XML) and prints, for each runner, "N passed,
N failed, N skipped (registered N, ran N)", the names of its failed and
skipped tests, and a last line with the totals. Exits non-zero when anything
failed.

Its one argument is a list written by scripts/test.sh, a line per entry,
fields separated by tabs:

    run      NAME  EXIT-STATUS  MAY-SKIP  WHY  XML-FILE
    expect   NAME  REGISTERED-FILE  SELECTED-FILE  FILTER
    stopped  NAME  XML-FILE  SECONDS  NORMAL  FACTOR  LOG-FILE
    check    NAME  PASSED  FAILED
    note     NAME  TEXT

Lines of one NAME are one runner (a runner split over processes). A skipped
test counts as failed unless its name matches the MAY-SKIP pattern
(fnmatch; "-" for none), the tests this host cannot run, for the reason
WHY. A file that is missing or unreadable (the runner crashed or never
started) and an exit status that is not 0 with no failed test to show for
it count as one failure each, and so does a runner that ran no tests.

"expect" names two files of test names, one a line: every test the build
registered, and those the runner was to run: the same file, unless FILTER
describes the runner's deliberate selection ("-" for none). Tests the runner
should have run but did not, ran twice or that nobody registered count as
one failure. "stopped" says a process of the runner ran past its time limit
(FACTOR times its NORMAL seconds) and was stopped after SECONDS: one failure,
shown with the last lines of its LOG-FILE.

Helpers for scripts/test.sh, each printing test names one a line:
    --gtest-names               the tests in a --gtest_list_tests output (stdin)
    --ctest-names BUILD-DIR     the tests CTest has in BUILD-DIR, and those of
                                the GoogleTest programs it runs that it lacks
and one that writes "check" and "note" entries to a result list:
    --test-sources LIST BUILD-DIR...
                                every tests/**/*.cpp must be a source of some
                                target of one of the builds (CMake's file API)
"""
import collections
import fnmatch
import glob
import json
import os
import subprocess
import sys
import xml.etree.ElementTree as ElementTree

LAST_LINES = 12  # of a stopped runner's output
NAMES_SHOWN = 8  # of the tests missing from a run, or extra in it
LISTING_SECONDS = 60  # a native test program lists its tests in well under 1 s


class Runner:
    def __init__(self, name):
        self.name = name
        self.passed = 0
        self.failed = 0
        self.skipped = 0
        self.tests = 0
        self.notes = []  # lines shown under the runner's counts
        self.ran = []  # the names in its reports, once per report entry
        self.reports_complete = True
        self.expected = None  # (registered, selected, filter)
        self.stopped = False

    def line(self):
        counts = ""
        if self.expected is not None:
            counts = (f" (registered {len(self.expected[0])}, "
                      f"ran {len(self.ran)})")
        return (f"{self.name}: {self.passed} passed, {self.failed} failed, "
                f"{self.skipped} skipped{counts}")


def skip_reason(case):
    """The message a skipped test gave, as short as it comes."""
    skipped = case.find("skipped")
    message = skipped.get("message", "") if skipped is not None else ""
    if message == "SKIP_REGULAR_EXPRESSION_MATCHED":
        # CTest keeps GoogleTest's own words in the test's output.
        lines = (case.findtext("system-out") or "").splitlines()
        for before, after in zip(lines, lines[1:]):
            if before.endswith(": Skipped"):
                return after.strip()
        return ""
    return message.strip().splitlines()[-1] if message.strip() else ""


def outcome(case):
    """'failed', 'skipped' or 'passed' for one <testcase>, in either dialect:
    GoogleTest marks a skip with result="skipped", CTest with
    status="notrun" or "disabled"; both add a <skipped> element."""
    if (case.find("failure") is not None or case.find("error") is not None
            or case.get("status") == "fail"):
        return "failed"
    if (case.find("skipped") is not None
            or case.get("result") in ("skipped", "suppressed")
            or case.get("status") in ("notrun", "disabled")):
        return "skipped"
    return "passed"


def test_name(case):
    # GoogleTest gives the suite as classname; CTest repeats the full name.
    name, suite = case.get("name", ""), case.get("classname", "")
    if not name and not suite:
        return "(outside every test: set-up or tear-down of the program)"
    if not suite or suite == name:
        return name
    return f"{suite}.{name}"


def count_run(runner, status, may_skip, why, path, stopped):
    try:
        root = ElementTree.parse(path).getroot()
    except (OSError, ElementTree.ParseError) as error:
        runner.reports_complete = False
        if stopped:
            runner.notes.append(f"no results from {path}: it was stopped")
            return
        runner.failed += 1
        runner.notes.append(f"no results from {path} ({error.__class__.__name__}"
                            f"), exit status {status}: counted as 1 failed")
        return
    failed_before = runner.failed
    for case in root.iter("testcase"):
        runner.tests += 1
        name = test_name(case)
        runner.ran.append(name)
        result = outcome(case)
        if result == "failed":
            runner.failed += 1
            runner.notes.append(f"failed: {name}")
        elif result == "skipped":
            reason = skip_reason(case)
            reason = f" ({reason})" if reason else ""
            if may_skip != "-" and fnmatch.fnmatchcase(name, may_skip):
                runner.skipped += 1
                runner.notes.append(
                    f"skipped, this host cannot run it ({why}): {name}{reason}")
            else:
                runner.failed += 1
                runner.notes.append(
                    f"skipped, counted as failed: {name}{reason}")
        else:
            runner.passed += 1
    if status != "0" and runner.failed == failed_before and not stopped:
        runner.failed += 1
        runner.notes.append(f"{path}: exit status {status} with no failed test "
                            "in its results: counted as 1 failed")


def read_names(path):
    with open(path, encoding="utf-8") as names:
        return [line.strip() for line in names if line.strip()]


def some(names):
    names = sorted(names)
    more = len(names) - NAMES_SHOWN
    return ", ".join(names[:NAMES_SHOWN]) + (f" and {more} more" if more > 0 else "")


def compare_ran(runner):
    """One failure when the runner's reports hold other tests than it was
    to run: fewer, more, or some twice."""
    registered, selected, test_filter = runner.expected
    if test_filter != "-":
        runner.notes.append(f"only {test_filter}, deliberately: "
                            f"{len(selected)} of the {len(registered)} registered")
    if not registered:
        if not runner.stopped:  # else the stop is the failure
            runner.failed += 1
            runner.notes.append("the build registered no tests: counted as 1 failed")
        return
    if not runner.reports_complete:
        return  # already a failure; what ran is not known
    ran = collections.Counter(runner.ran)
    problems = []
    missing = set(selected) - set(ran)
    if missing:
        problems.append(f"registered but not run: {some(missing)}")
    unknown = set(ran) - set(registered)
    if unknown:
        problems.append(f"ran but not registered: {some(unknown)}")
    unselected = set(ran) - set(selected) - unknown
    if unselected:
        problems.append(f"ran but not selected: {some(unselected)}")
    twice = [name for name, times in ran.items() if times > 1]
    if twice:
        problems.append(f"ran more than once: {some(twice)}")
    if problems:
        runner.failed += 1
        runner.notes.extend(problems)
        runner.notes.append(f"ran {len(runner.ran)} of the {len(selected)} "
                            "tests it was to run: counted as 1 failed")


def last_lines(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as log:
            lines = log.read().replace("\r", "").splitlines()
    except OSError as error:
        return [f"({path}: {error.strerror})"]
    return lines[-LAST_LINES:] or ["(it printed nothing)"]


def summary(listing):
    runners = {}
    entries = []
    with open(listing, encoding="utf-8") as lines:
        for line in lines:
            fields = line.rstrip("\n").split("\t")
            if fields[0]:
                entries.append(fields)
                runners.setdefault(fields[1], Runner(fields[1]))
    stopped = {fields[2] for fields in entries if fields[0] == "stopped"}
    for fields in entries:
        kind, runner = fields[0], runners[fields[1]]
        if kind == "run":
            status, may_skip, why, path = fields[2:6]
            count_run(runner, status, may_skip, why, path, path in stopped)
        elif kind == "expect":
            registered, selected, test_filter = fields[2:5]
            runner.expected = (read_names(registered), read_names(selected),
                               test_filter)
        elif kind == "stopped":
            seconds, normal, factor, log = fields[3:7]
            runner.stopped = True
            runner.failed += 1
            runner.notes.append(
                f"TIMED OUT after {seconds} s (limit {factor}x the normal "
                f"{normal} s), stopped with its processes: counted as 1 "
                "failed; its last lines:")
            runner.notes.extend("    " + text for text in last_lines(log))
        elif kind == "check":
            runner.passed += int(fields[2])
            runner.failed += int(fields[3])
            runner.tests += int(fields[2]) + int(fields[3])
        elif kind == "note":
            runner.notes.append(fields[2])
        else:
            raise SystemExit(f"{listing}: unknown entry {kind!r}")
    for runner in runners.values():
        if runner.expected is not None:
            compare_ran(runner)
        if runner.tests == 0 and not runner.stopped:
            counted = ": counted as 1 failed" if runner.failed == 0 else ""
            runner.failed += 1 if counted else 0
            runner.notes.append(f"it ran no tests{counted}")
        print(runner.line())
        for note in runner.notes:
            print(f"    {note}")
    passed = sum(r.passed for r in runners.values())
    failed = sum(r.failed for r in runners.values())
    skipped = sum(r.skipped for r in runners.values())
    print(f"total: {passed} passed, {failed} failed, {skipped} skipped")
    return 1 if failed else 0


def gtest_names(listing):
    """Suite lines end in "." and tests follow indented; either may carry a
    "  # GetParam() = ..." comment."""
    names, suite = [], ""
    for line in listing.replace("\r", "").splitlines():
        entry = line.split("  #")[0].rstrip()
        if not entry.strip():
            continue
        if line.startswith(" "):
            names.append(suite + entry.strip())
        elif entry.endswith("."):
            suite = entry
    return names


def ctest_names(build):
    """A GoogleTest program's tests are registered when it is built, so a
    program built again or run with a filter can hold tests CTest lacks."""
    answer = subprocess.run(
        ["ctest", "--test-dir", build, "-N", "--show-only=json-v1"],
        capture_output=True, text=True, check=True)
    tests = json.loads(answer.stdout).get("tests", [])
    names = {test["name"] for test in tests}
    programs = {test["command"][0] for test in tests
                if any(a.startswith("--gtest_filter=") for a in test["command"])}
    for program in sorted(programs):
        listing = subprocess.run([program, "--gtest_list_tests"],
                                 capture_output=True, text=True, check=True,
                                 timeout=LISTING_SECONDS)
        names.update(gtest_names(listing.stdout))
    return sorted(names)


def target_sources(build):
    """The sources of every target of a build, from the reply to the
    codemodel query scripts/test.sh left in it, relative to the top folder."""
    reply = os.path.join(build, ".cmake", "api", "v1", "reply")
    indexes = sorted(glob.glob(os.path.join(reply, "index-*.json")))
    if not indexes:
        raise FileNotFoundError(f"no CMake file API reply in {reply}")
    with open(indexes[-1], encoding="utf-8") as index:
        models = [r for r in json.load(index)["reply"].values()
                  if isinstance(r, dict) and r.get("kind") == "codemodel"]
    sources = set()
    for model in models:
        with open(os.path.join(reply, model["jsonFile"]), encoding="utf-8") as f:
            codemodel = json.load(f)
        top = codemodel["paths"]["source"]
        for configuration in codemodel["configurations"]:
            for target in configuration["targets"]:
                with open(os.path.join(reply, target["jsonFile"]),
                          encoding="utf-8") as f:
                    for source in json.load(f).get("sources", []):
                        path = os.path.join(top, source["path"])
                        sources.add(os.path.relpath(path, top))
    return sources


def test_sources(listing, builds):
    """Writes a "test sources built" check: one pass per tests/**/*.cpp that
    some target compiles, one failure per file that none does."""
    files = subprocess.run(
        ["git", "ls-files", "-co", "--exclude-standard", "--", "tests/*.cpp"],
        capture_output=True, text=True, check=True).stdout.split()
    built, notes = set(), []
    for build in builds:
        try:
            built |= target_sources(build)
        except (OSError, ValueError, KeyError) as error:
            notes.append(f"could not read the targets of {build}: {error}")
    unbuilt = sorted(set(files) - built)
    notes += [f"built by no target of {', '.join(builds)}: {name}"
              for name in unbuilt]
    name = "test sources built"
    failed = len(unbuilt) + (1 if notes and not unbuilt else 0)
    with open(listing, "a", encoding="utf-8") as out:
        out.write(f"check\t{name}\t{len(files) - len(unbuilt)}\t{failed}\n")
        for note in notes:
            out.write(f"note\t{name}\t{note}\n")
    for note in notes:
        print(note)
    print(f"{len(files) - len(unbuilt)} of {len(files)} test sources built")


def main(arguments):
    if arguments[:1] == ["--gtest-names"] and len(arguments) == 1:
        print("\n".join(gtest_names(sys.stdin.read())))
        return 0
    if arguments[:1] == ["--ctest-names"] and len(arguments) == 2:
        try:
            print("\n".join(ctest_names(arguments[1])))
        except (OSError, ValueError, KeyError, subprocess.SubprocessError) as error:
            # No names: the summary counts a build that registered none.
            print(f"no test names from {arguments[1]}: {error}", file=sys.stderr)
            return 1
        return 0
    if arguments[:1] == ["--test-sources"] and len(arguments) > 2:
        test_sources(arguments[1], arguments[2:])
        return 0
    if len(arguments) == 1 and not arguments[0].startswith("--"):
        return summary(arguments[0])
    raise SystemExit(f"usage: {sys.argv[0]} RESULT-LIST | --gtest-names | "
                     "--ctest-names BUILD-DIR | --test-sources LIST BUILD-DIR...")


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
