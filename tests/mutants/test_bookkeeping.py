# The equivalent list's matching, and the results kept between runs.
import os
import tempfile
import unittest

from sample_tree import SOURCE, bookkeeping, cli, mutants_of


class EquivalentList(unittest.TestCase):
    LIST = """\
# a comment
src/sample.cpp flip-comparison in Scale
  - while (total >= LIMIT_MS) {
  + while (total > LIMIT_MS) {
  why: total never equals the limit here
src/sample.cpp flip-boolean in Other
  - return FALSE;
  + return TRUE;
  why: only the one in Other
src/sample.cpp swap-logical in Scale
  - return x && y;
  + return x || y;
  why: this line is gone
"""

    def test_an_entry_matches_its_mutant_and_a_gone_one_is_stale(self):
        entries, problems = bookkeeping.parse_equivalents(self.LIST)
        self.assertEqual(problems, [])
        applying, stale = bookkeeping.match_equivalents(entries, {"src/sample.cpp": mutants_of()})
        matched = [m.id for m in mutants_of() if m.equivalence_key in applying]
        self.assertEqual(matched, ["src/sample.cpp:20 flip-comparison#1 'total >= LIMIT_MS' -> 'total > LIMIT_MS'",
                                   "src/sample.cpp:30 flip-boolean#1 'return FALSE' -> 'return TRUE'"])
        self.assertEqual([(e.line, e.reason) for e in stale], [(10, "this line is gone")])

    def test_a_twin_line_added_elsewhere_leaves_the_entry_on_its_mutant(self):
        entries, _ = bookkeeping.parse_equivalents(self.LIST)
        # A function above both, holding the very lines the entries name.
        twins = SOURCE.replace("int Scale(", "bool First() {\n    while (total >= LIMIT_MS) {\n    }\n"
                               "    return FALSE;\n}\n\nint Scale(")
        found = mutants_of(twins)
        applying, _ = bookkeeping.match_equivalents(entries, {"src/sample.cpp": found})
        self.assertEqual([(m.line, m.function) for m in found if m.equivalence_key in applying],
                         [(26, "Scale"), (36, "Other")])

    def test_the_members_of_a_class_template_are_named_apart(self):
        # The template's parameter list has parentheses, as a function's head has.
        owner = ("template <typename H, BOOL(WINAPI* Free)(H)>\nclass Owner {\npublic:\n"
                 "    void Release() {\n        Free(h_);\n    }\n"
                 "    void Adopt(H h) {\n        Release();\n    }\n};\n")
        found = mutants_of(owner, "src/owner.h")
        self.assertEqual(sorted((m.line, m.function) for m in found if m.operator == "delete-call"),
                         [(5, "Release"), (8, "Adopt")])

    def test_a_malformed_entry_is_reported(self):
        _, problems = bookkeeping.parse_equivalents("src/sample.cpp flip-comparison\n  - a\n  why: no plus line\n")
        self.assertEqual(len(problems), 1)

    def test_a_survivor_printed_as_an_entry_reads_back_as_its_key(self):
        for line, operator in [(16, "swap-logical"), (23, "flip-boolean"), (30, "flip-boolean")]:
            with self.subTest(line=line):
                mutant = next(m for m in mutants_of() if m.line == line and m.operator == operator)
                entries, _ = bookkeeping.parse_equivalents(bookkeeping.equivalent_entry(mutant) + "reason")
                self.assertEqual(entries[0].key, mutant.equivalence_key)


class KillsRestOnTheirTests(unittest.TestCase):
    FILES = {"tests/unit/a_test.cpp": "TEST(SuiteA, One) {}\n",
             "tests/unit/b_test.cpp": "  TEST_F(SuiteB, Two) {}\n",
             "tests/unit/helper.h": "// no test here\n"}

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="mutants-tree-")
        for name, text in self.FILES.items():
            self.write(name, text)

    def write(self, name, text):
        os.makedirs(os.path.dirname(os.path.join(self.root, name)), exist_ok=True)
        with open(os.path.join(self.root, name), "w") as out:
            out.write(text)

    def test_a_kill_is_judged_again_when_its_test_or_a_helper_changes(self):
        # (what killed, the file changed, whether the kill still holds)
        rows = [("SuiteA.One", "tests/unit/b_test.cpp", True),
                ("SuiteA.One", "tests/unit/a_test.cpp", False),
                ("Values/SuiteB.Two/1", "tests/unit/helper.h", False),
                ("Values/SuiteB.Two/1", "tests/unit/a_test.cpp", True),
                ("", "tests/unit/b_test.cpp", False)]  # a hang rests on all
        for test, changed, holds in rows:
            with self.subTest(test=test, changed=changed):
                self.setUp()
                before = bookkeeping.verdict_digest(self.root, "unit", test)
                self.write(changed, "// changed\n" + self.FILES[changed])
                after = bookkeeping.verdict_digest(self.root, "unit", test)
                self.assertEqual(before == after, holds)

    def test_what_a_recorded_verdict_needs_to_stand(self):
        kill = {"outcome": "killed", "stage": "unit", "test": "ClockLogic.Snap",
                "rests_on": bookkeeping.verdict_digest(bookkeeping.ROOT, "unit", "ClockLogic.Snap")}
        rows = [(kill, True), (dict(kill, rests_on="other"), False),
                ({"outcome": "killed", "detail": "from an older runner"}, False),
                ({"outcome": "survived", "tests": "now"}, True),
                ({"outcome": "survived", "tests": "before"}, False),
                ({"outcome": "not-built"}, True)]
        for recorded, holds in rows:
            with self.subTest(recorded=recorded):
                self.assertEqual(cli.still_holds(recorded, "now"), holds)


class KeptResults(unittest.TestCase):
    def test_verdicts_read_back_and_those_on_older_sources_are_dropped(self):
        path = os.path.join(tempfile.mkdtemp(prefix="mutants-results-"), "results.json")
        results = bookkeeping.Results(path)
        results.record("old:a.cpp:1 x", {"outcome": "survived"}, "a.cpp", "")
        results.record("new:a.cpp:1 x", {"outcome": "killed"}, "a.cpp", "Suite.One")
        results.record("other:b.cpp:2 y", {"outcome": "not-built"}, "b.cpp", "")
        kept = bookkeeping.Results(path)
        self.assertEqual(kept.data, results.data)
        self.assertEqual(kept.killers("a.cpp"), ["Suite.One"])
        self.assertEqual(kept.forget_other_versions({"a.cpp": "new", "b.cpp": "other"}), 1)
        self.assertEqual(sorted(kept.data["mutants"]), ["new:a.cpp:1 x", "other:b.cpp:2 y"])


class VerdictsKeptUnder(unittest.TestCase):
    def test_a_reworded_comment_keeps_them_and_code_or_a_directive_does_not(self):
        digest = bookkeeping.source_digest("src/sample.cpp", SOURCE)
        rows = [(SOURCE.replace("// Sample:", "// Sampled"), True),
                (SOURCE.replace("int Scale(", "// why it scales\nint Scale("), False),
                (SOURCE.replace("LIMIT_MS", "LIMIT_MS "), False),
                (SOURCE.replace("#include <vector>", "#include <string>"), False)]
        for text, same in rows:
            with self.subTest(text=text[:40]):
                self.assertEqual(bookkeeping.source_digest("src/sample.cpp", text) == digest, same)
        self.assertNotEqual(bookkeeping.source_digest("res/a.rc", "// x\n"),
                            bookkeeping.source_digest("res/a.rc", "// y\n"))


if __name__ == "__main__":
    unittest.main()
