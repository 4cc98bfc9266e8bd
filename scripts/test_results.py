#!/usr/bin/env python3
"""Counts the test command's results from the runners' XML reports (CTest's
JUnit files and GoogleTest's XML) and prints, for each runner, "N passed,
N failed, N skipped", the names of its failed and skipped tests, and a last
line with the totals. Exits non-zero when anything failed.

Its one argument is a list written by scripts/test.sh, a line per entry,
fields separated by tabs:

    run    NAME  EXIT-STATUS  MAY-SKIP  WHY  XML-FILE
    check  NAME  PASSED  FAILED

Lines of one NAME are one runner (a runner split over processes). A skipped
test counts as failed unless its name matches the MAY-SKIP pattern
(fnmatch; "-" for none), the tests this host cannot run, for the reason
WHY. A file that is missing or unreadable (the runner crashed or never
started) and an exit status that is not 0 with no failed test to show for
it count as one failure each, and so does a runner that ran no tests."""
import fnmatch
import sys
import xml.etree.ElementTree as ElementTree


class Runner:
    def __init__(self, name):
        self.name = name
        self.passed = 0
        self.failed = 0
        self.skipped = 0
        self.tests = 0
        self.notes = []  # lines shown under the runner's counts

    def line(self):
        return (f"{self.name}: {self.passed} passed, {self.failed} failed, "
                f"{self.skipped} skipped")


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


def count_run(runner, status, may_skip, why, path):
    try:
        root = ElementTree.parse(path).getroot()
    except (OSError, ElementTree.ParseError) as error:
        runner.failed += 1
        runner.notes.append(f"no results from {path} ({error.__class__.__name__}"
                            f"), exit status {status}: counted as 1 failed")
        return
    failed_before = runner.failed
    for case in root.iter("testcase"):
        runner.tests += 1
        name = test_name(case)
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
    if status != "0" and runner.failed == failed_before:
        runner.failed += 1
        runner.notes.append(f"{path}: exit status {status} with no failed test "
                            "in its results: counted as 1 failed")


def main(listing):
    runners = {}
    with open(listing, encoding="utf-8") as lines:
        for line in lines:
            fields = line.rstrip("\n").split("\t")
            if not fields[0]:
                continue
            kind, name = fields[0], fields[1]
            runner = runners.setdefault(name, Runner(name))
            if kind == "run":
                status, may_skip, why, path = fields[2:6]
                count_run(runner, status, may_skip, why, path)
            elif kind == "check":
                runner.passed += int(fields[2])
                runner.failed += int(fields[3])
                runner.tests += int(fields[2]) + int(fields[3])
            else:
                raise SystemExit(f"{listing}: unknown entry {kind!r}")
    for runner in runners.values():
        if runner.tests == 0:
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


if __name__ == "__main__":
    if len(sys.argv) != 2:
        raise SystemExit(f"usage: {sys.argv[0]} RESULT-LIST")
    sys.exit(main(sys.argv[1]))
