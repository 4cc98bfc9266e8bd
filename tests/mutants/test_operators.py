# Where each operator fires and where it must not, and ids that survive
# unrelated edits.
import unittest

from sample_tree import SOURCE, mutants_of, on_line


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


if __name__ == "__main__":
    unittest.main()
