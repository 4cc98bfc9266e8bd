# The choice of mutants: a sample that is the same for the same seed and
# spread by file size.
import unittest

from sample_tree import cli


class Sampling(unittest.TestCase):
    NAMES = ("src/small.cpp", "src/large.cpp", "src/tiny.cpp")
    FILES = {"src/small.cpp": [("small", k) for k in range(40)],
             "src/large.cpp": [("large", k) for k in range(40)],
             "src/tiny.cpp": [("tiny", 0)]}
    LINES = {"src/small.cpp": 100, "src/large.cpp": 300, "src/tiny.cpp": 1}

    def sample(self, count, seed="1"):
        return cli.sample_mutants(self.FILES, self.LINES, count, seed)

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


if __name__ == "__main__":
    unittest.main()
