# Where each operator fires and where it must not, and ids that survive
# unrelated edits.
import unittest

from sample_tree import (CONSTANTS, MANIFEST, MORE_SOURCE, RESOURCE_SCRIPT, SOURCE, mutants_of, on_line,
                         operators)


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
        (18, "swap-argument", [("width", "rc.top")]),  # its neighbour is on the line above
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


class TheOtherKinds(unittest.TestCase):
    # (file, line, operator, the (before, after) pairs expected there)
    EXPECTED = [
        ("src/more.cpp", 2, "drop-flag", [("WS_CHILD | WS_VISIBLE", "WS_VISIBLE"),
                                          ("WS_CHILD | WS_VISIBLE", "WS_CHILD")]),
        ("src/more.cpp", 2, "sibling-constant", [("= WS_CHILD |", "= WS_VISIBLE |"),
                                                 ("| WS_VISIBLE", "| WS_CHILD")]),
        ("src/more.cpp", 3, "change-literal", [('"ab"', '""'), ('"ab"', '"abx"')]),
        ("src/more.cpp", 6, None, []),  # a signature
        # partners on the same line first
        ("src/more.cpp", 7, "swap-argument", [("hwnd", "nullptr"), ("nullptr", "0"), ("0", "nullptr"),
                                              ("0", "nullptr")]),
        ("src/more.cpp", 8, "swap-argument", [("SWP_NOMOVE | SWP_NOZORDER", "0")]),
        ("src/more.cpp", 8, "drop-flag", [("SWP_NOMOVE | SWP_NOZORDER", "SWP_NOZORDER"),
                                          ("SWP_NOMOVE | SWP_NOZORDER", "SWP_NOMOVE")]),
        ("src/more.cpp", 8, "sibling-constant", [("SWP_NOMOVE |", "SWP_NOSIZE |"),
                                                 ("| SWP_NOZORDER", "| SWP_NOMOVE")]),
        ("src/more.cpp", 9, "swap-arithmetic", [("width - margin", "width + margin"), ("margin * 2", "margin / 2")]),
        ("src/more.cpp", 9, "delete-assignment", []),  # a declaration
        ("src/more.cpp", 10, "delete-assignment", [("*out = total;", "")]),
        ("src/more.cpp", 11, "delete-assignment", [("total += Sleep(waitMs);", "")]),
        ("src/more.cpp", 11, "swap-arithmetic", [("total +=", "total -=")]),
        ("src/more.cpp", 11, "scale-argument", [("waitMs", "waitMs / 2")]),
        ("src/more.cpp", 12, "change-literal", [("'+'", "'\\0'")]),
        ("src/more.cpp", 13, "swap-arithmetic", []),  # a pointer
        ("src/more.cpp", 14, "drop-flag", []),  # a logical or
        ("src/more.cpp", 15, "drop-flag", []),
        ("src/more.cpp", 15, "delete-assignment", [("flags |= FLAG_A;", "")]),
        ("src/more.cpp", 15, "sibling-constant", []),  # a family of one
        ("src/more.cpp", 16, "replace-return", [("return total > 0 && Ready(hwnd)", "return !(total > 0 && Ready(hwnd))"),
                                                ("return total > 0 && Ready(hwnd)", "return 0")]),
        ("src/more.cpp", 19, "replace-return", [("return r.right - r.left", "return 0")]),
        ("res/app.rc", 2, None, []),  # names a file
        ("res/app.rc", 3, "bump-constant", [("DIALOGEX 0", "DIALOGEX 1"), ("0", "1"), ("80", "81"), ("20", "21")]),
        ("res/app.rc", 4, "drop-flag", [("WS_POPUP | WS_CAPTION", "WS_CAPTION"), ("WS_POPUP | WS_CAPTION", "WS_POPUP")]),
        ("res/app.rc", 5, "change-literal", [('"Hi"', '""'), ('"Hi"', '"Hix"')]),
        ("res/app.rc", 5, "bump-constant", []),  # in a comment
        ("res/app.rc", 7, "change-literal", [('"OK"', '""'), ('"OK"', '"OKx"'), ('"Button"', '""'),
                                             ('"Button"', '"Buttonx"')]),
        ("res/app.manifest", 1, None, []),  # the declaration
        ("res/app.manifest", 2, "change-attribute", [('manifestVersion="1.0"', 'manifestVersion="1.0x"')]),
        ("res/app.manifest", 2, "bump-constant", [('manifestVersion="1.0"', 'manifestVersion="1.1"')]),
        ("res/app.manifest", 3, None, []),  # a comment
        ("res/app.manifest", 4, "bump-constant", [('version="3.0.0.1"', 'version="3.0.0.2"')]),
        ("res/app.manifest", 4, "change-attribute", [('version="3.0.0.1"', 'version="3.0.0.1x"'),
                                                     ('name="A"', 'name="Ax"')]),
        ("res/app.manifest", 5, "flip-boolean", [("true", "false")]),
    ]

    def test_each_line_takes_exactly_its_mutants(self):
        texts = {"src/more.cpp": MORE_SOURCE, "res/app.rc": RESOURCE_SCRIPT, "res/app.manifest": MANIFEST}
        found = {path: operators.find_mutants(path, text, CONSTANTS) for path, text in texts.items()}
        for path, line, operator, expected in self.EXPECTED:
            with self.subTest(path=path, line=line, operator=operator):
                if operator is None:
                    self.assertEqual([m.id for m in found[path] if m.line == line], [])
                else:
                    self.assertEqual(on_line(found[path], line, operator), expected)

    def test_each_kind_changes_only_its_own_text(self):
        found = operators.find_mutants("src/more.cpp", MORE_SOURCE, CONSTANTS)
        flag = next(m for m in found if m.line == 8 and m.operator == "drop-flag")
        self.assertIn("                 SWP_NOZORDER);\n", flag.apply(MORE_SOURCE))
        deleted = next(m for m in found if m.line == 10 and m.operator == "delete-assignment")
        self.assertEqual(deleted.apply(MORE_SOURCE).split("\n")[9], "    ")
        self.assertEqual(deleted.key_after, "")


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
