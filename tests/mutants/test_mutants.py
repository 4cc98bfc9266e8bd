# The mutation runner's own choices: where each operator fires and where it
# must not, ids that survive unrelated edits, a sample that is the same for
# the same seed and spread by file size, and the equivalent list's matching.
import importlib.util
import os
import unittest

_SPEC = importlib.util.spec_from_file_location(
    "mutants", os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "mutants.py"))
mutants = importlib.util.module_from_spec(_SPEC)
_SPEC.loader.exec_module(mutants)

SOURCE = """\
// Sample: x < y && f(a, b) in a comment must stay.
#include <vector>
#define LIMIT(a, b) ((a) < (b))

namespace {
constexpr int LIMIT_MS = 100;
constexpr unsigned MASK = FLAG_A | FLAG_B;
}  // namespace

int Scale(int width, int height) {
    std::vector<int> sizes;
    int total = static_cast<int>(sizes.size()) + p->count;
    Log("a < b && c == d", 'x');
    Move(left, top);
    stream << width >> 2;
    if (width < height && total != 0) {
        Draw(rc.left, rc.top,
             width);
    }
    while (total >= LIMIT_MS) {
        total -= 0x1F;
    }
    return FALSE;
}

bool Other() {
    int top = Count();  // top < 2 && Log(a, b);
    char name[16] = {};
#if LEVEL > 1 && defined(EXTRA)
    return FALSE;
#endif
}
"""


def mutants_of(source=SOURCE, path="src/sample.cpp"):
    return mutants.find_mutants(path, source)


def on_line(found, line, operator):
    return [(m.before, m.after) for m in found if m.line == line and m.operator == operator]


class WhereOperatorsFire(unittest.TestCase):
    # (line, operator, the (before, after) pairs expected there, in order)
    EXPECTED = [
        (1, None, []),   # a comment
        (2, None, []),   # an include
        (3, None, []),   # a macro
        (6, "bump-constant", [("= 100", "= 101")]),
        (7, "bump-constant", [("MASK = FLAG_A | FLAG_B", "MASK = (FLAG_A | FLAG_B) + 1")]),
        (10, None, []),  # a signature
        (11, None, []),  # a declaration without initialiser, template brackets
        (12, "flip-comparison", []),  # static_cast<int> and ->
        (13, "flip-comparison", []),  # inside the literals
        (13, "swap-logical", []),
        (13, "delete-call", [('Log("a < b && c == d", \'x\');', "")]),
        (13, "swap-argument", [('"a < b && c == d"', "'x'"), ("'x'", '"a < b && c == d"')]),
        (14, "swap-field", [("left", "right"), ("left", "top"), ("top", "bottom"), ("top", "left")]),
        (15, "flip-comparison", []),  # << and >>
        (15, "bump-constant", [(">> 2", ">> 3")]),
        (16, "negate-condition", [("if (width < height && total != 0)",
                                   "if (!(width < height && total != 0))")]),
        (16, "flip-comparison", [("width < height", "width <= height"), ("total != 0", "total == 0")]),
        (16, "swap-logical", [("height && total", "height || total")]),
        (17, "delete-call", [("Draw(rc.left, rc.top, …", "")]),
        (17, "swap-argument", [("rc.left", "rc.top"), ("rc.top", "rc.left")]),
        (18, "swap-argument", []),  # its neighbour is on another line
        (20, "negate-condition", [("while (total >= LIMIT_MS)", "while (!(total >= LIMIT_MS))")]),
        (20, "flip-comparison", [("total >= LIMIT_MS", "total > LIMIT_MS")]),
        (21, "bump-constant", [("-= 0x1F", "-= 0x20")]),
        (23, "flip-boolean", [("return FALSE", "return TRUE")]),
        (23, "delete-call", []),
        (27, None, []),  # a declared name, a comment in a body
        (28, None, []),  # an array's size
        (29, None, []),  # a preprocessor line in a body
    ]

    def test_each_line_takes_exactly_its_mutants(self):
        found = mutants_of()
        for line, operator, expected in self.EXPECTED:
            with self.subTest(line=line, operator=operator):
                if operator is None:
                    self.assertEqual([m.id for m in found if m.line == line], [])
                else:
                    self.assertEqual(on_line(found, line, operator), expected)

    def test_a_mutant_changes_only_its_own_text(self):
        found = mutants_of()
        negate = next(m for m in found if m.line == 16 and m.operator == "negate-condition")
        self.assertIn("if (!(width < height && total != 0)) {", negate.apply(SOURCE))
        deleted = next(m for m in found if m.line == 17 and m.operator == "delete-call")
        lines = deleted.apply(SOURCE).split("\n")
        self.assertEqual(len(lines), len(SOURCE.split("\n")))
        self.assertEqual((lines[16].strip(), lines[17].strip(), lines[18].strip()), ("", "", "}"))


class StableIds(unittest.TestCase):
    def test_ids_are_unique_and_name_line_operator_and_texts(self):
        ids = [m.id for m in mutants_of()]
        self.assertEqual(len(ids), len(set(ids)))
        self.assertIn("src/sample.cpp:16 flip-comparison#2 'total != 0' -> 'total == 0'", ids)

    def test_a_line_added_above_moves_the_line_not_the_equivalence_key(self):
        before = mutants_of()
        after = mutants_of(SOURCE.replace("namespace {\n", "namespace {\nconstexpr int EXTRA = 1;\n"))
        self.assertEqual([m.equivalence_key for m in before],
                         [m.equivalence_key for m in after if "EXTRA" not in m.key_before])
        self.assertEqual([m.line + 1 for m in before], [m.line for m in after if "EXTRA" not in m.key_before])


class Sampling(unittest.TestCase):
    NAMES = ("src/small.cpp", "src/large.cpp", "src/tiny.cpp")
    FILES = {"src/small.cpp": [("small", k) for k in range(40)],
             "src/large.cpp": [("large", k) for k in range(40)],
             "src/tiny.cpp": [("tiny", 0)]}
    LINES = {"src/small.cpp": 100, "src/large.cpp": 300, "src/tiny.cpp": 1}

    def sample(self, count, seed="1"):
        return mutants.sample_mutants(self.FILES, self.LINES, count, seed)

    def test_the_same_seed_gives_the_same_sample_and_another_seed_another(self):
        self.assertEqual(self.sample(12, "5"), self.sample(12, "5"))
        self.assertNotEqual(self.sample(12, "5"), self.sample(12, "6"))

    def test_files_get_shares_by_their_lines(self):
        # sample size: mutants from the small, large and tiny file; a file
        # with too few passes its share on
        for count, shares in [(8, (2, 6, 0)), (12, (3, 9, 0)), (81, (40, 40, 1)), (500, (40, 40, 1))]:
            with self.subTest(count=count):
                chosen = self.sample(count)
                self.assertEqual(tuple(sum(1 for name, _ in chosen if f"src/{name}.cpp" == f)
                                       for f in self.NAMES), shares)
                self.assertEqual(len(set(chosen)), len(chosen))


class EquivalentList(unittest.TestCase):
    LIST = """\
# a comment
src/sample.cpp flip-comparison
  - while (total >= LIMIT_MS) {
  + while (total > LIMIT_MS) {
  why: total never equals the limit here
src/sample.cpp flip-boolean @2
  - return FALSE;
  + return TRUE;
  why: only the second of the two
src/sample.cpp swap-logical
  - return x && y;
  + return x || y;
  why: this line is gone
"""

    def test_an_entry_matches_its_mutant_and_a_gone_one_is_stale(self):
        entries, problems = mutants.parse_equivalents(self.LIST)
        self.assertEqual(problems, [])
        applying, stale = mutants.match_equivalents(entries, {"src/sample.cpp": mutants_of()})
        matched = [m.id for m in mutants_of() if m.equivalence_key in applying]
        self.assertEqual(matched, ["src/sample.cpp:20 flip-comparison#1 'total >= LIMIT_MS' -> 'total > LIMIT_MS'",
                                   "src/sample.cpp:30 flip-boolean#1 'return FALSE' -> 'return TRUE'"])
        self.assertEqual([(e.line, e.reason) for e in stale], [(10, "this line is gone")])

    def test_a_malformed_entry_is_reported(self):
        _, problems = mutants.parse_equivalents("src/sample.cpp flip-comparison\n  - a\n  why: no plus line\n")
        self.assertEqual(len(problems), 1)

    def test_a_survivor_printed_as_an_entry_reads_back_as_its_key(self):
        for line, operator in [(16, "swap-logical"), (23, "flip-boolean"), (30, "flip-boolean")]:
            with self.subTest(line=line):
                mutant = next(m for m in mutants_of() if m.line == line and m.operator == operator)
                entries, _ = mutants.parse_equivalents(mutants.equivalent_entry(mutant) + "reason")
                self.assertEqual(entries[0].key, mutant.equivalence_key)


if __name__ == "__main__":
    unittest.main()
