# The package set-up's choices, made against a stand-in apt-get on PATH that
# fails as a mirror in the middle of a sync does, and records what it was
# asked: no network, no root and no real apt are needed.
import os
import subprocess
import tempfile
import textwrap
import unittest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SCRIPT = os.path.join(ROOT, "scripts", "apt-install.sh")
STALE_INDEX = ("http://mirror.example/debian-security/dists/bookworm-security/"
               "main/binary-i386/Packages.xz")

# UPDATE and INSTALL say how many of the first calls fail (or "always").
STAND_IN = textwrap.dedent(f"""\
    #!/bin/bash
    echo "$*" >>"$STAND_IN_DIR/calls"
    count=$STAND_IN_DIR/count-$1
    calls=$(( $(cat "$count" 2>/dev/null || echo 0) + 1 ))
    echo "$calls" >"$count"
    fail() {{ [ "$1" = always ] || [ "$calls" -le "$1" ]; }}
    case $1 in
    update)
        fail "$STAND_IN_UPDATE" || exit 0
        if [ "$STAND_IN_UPDATE_WHY" = index ]; then
            echo "Err:6 {STALE_INDEX}"
            echo "E: Failed to fetch {STALE_INDEX}  File has unexpected size (374820 != 376004). Mirror sync in progress?"
            echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
        else
            echo "E: Could not get lock /var/lib/apt/lists/lock"
        fi
        exit 100 ;;
    install)
        fail "$STAND_IN_INSTALL" || exit 0
        echo " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
        echo "E: Unable to correct problems, you have held broken packages."
        echo "The following packages have unmet dependencies:" >&2
        exit 100 ;;
    esac
    """)


def release():
    with open("/etc/os-release") as lines:
        for line in lines:
            if line.startswith("VERSION_CODENAME="):
                return line.split("=", 1)[1].strip().strip('"')
    return ""


class MirrorMidSync(unittest.TestCase):
    def run_setup(self, update, install, update_why="index"):
        folder = tempfile.mkdtemp(prefix="velmora-apt-")
        stand_in = os.path.join(folder, "apt-get")
        with open(stand_in, "w") as script:
            script.write(STAND_IN)
        os.chmod(stand_in, 0o755)
        env = dict(os.environ, PATH=folder + ":" + os.environ["PATH"],
                   STAND_IN_DIR=folder, STAND_IN_UPDATE=update,
                   STAND_IN_INSTALL=install, STAND_IN_UPDATE_WHY=update_why,
                   VELMORA_APT_PAUSE="0")
        done = subprocess.run(["bash", SCRIPT, "wine", "wine32:i386"], env=env,
                              capture_output=True, text=True, timeout=60)
        with open(os.path.join(folder, "calls")) as calls:
            return done, calls.read().splitlines()

    def test_choices(self):
        plain = "install -y -q --no-install-recommends wine wine32:i386"
        pinned = ("install -y -q --no-install-recommends -t " + release() +
                  " wine wine32:i386")
        index_line = ("apt-get update: going on without an index that failed "
                      "3 times: " + STALE_INDEX + " (File has unexpected size")
        pin_line = ("apt-get install: unmet dependencies, as when an index of a "
                    "suite is missing; installing from " + release() +
                    " alone, for both architectures")
        rows = [
            # update, install, why, status, calls, printed, stderr holds
            ("0", "0", "index", 0, ["update -q", plain], [], []),
            ("2", "0", "index", 0, ["update -q"] * 3 + [plain], [], []),
            ("always", "1", "index", 0, ["update -q"] * 3 + [plain, pinned],
             [index_line, pin_line], []),
            ("always", "always", "index", 100,
             ["update -q"] * 3 + [plain, pinned], [index_line, pin_line],
             ["FAILED (exit status 100): apt-get " + pinned + "\n",
              "have unmet dependencies"]),
            ("always", "0", "lock", 100, ["update -q"] * 3, [],
             ["FAILED (exit status 100): apt-get update -q\n  its last lines:\n"
              "    E: Could not get lock"]),
        ]
        for update, install, why, status, calls, printed, error in rows:
            with self.subTest(update=update, install=install, why=why):
                done, made = self.run_setup(update, install, why)
                self.assertEqual(done.returncode, status, done.stderr)
                self.assertEqual(made, calls)
                lines = done.stdout.splitlines()
                self.assertEqual(len(lines), len(printed), done.stdout)
                for line, start in zip(lines, printed):
                    self.assertTrue(line.startswith(start), line)
                for part in error:
                    self.assertIn(part, done.stderr)
                if not error:
                    self.assertEqual(done.stderr, "")


if __name__ == "__main__":
    unittest.main()
