#include "settings/settings.h"

#include "settings/config_file_os.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// fopen as Microsoft's C library takes it: a mode the C standard does not
// list is refused with EINVAL there, where glibc quietly ignores what it does
// not know. The link sends the program's calls here (--wrap=fopen).
extern "C" std::FILE* __real_fopen(const char* path, const char* mode);
extern "C" std::FILE* __wrap_fopen(const char* path, const char* mode) {
    static const char* const STANDARD_MODES[] = {
        "r",   "w",   "a",   "rb",  "wb",   "ab",   "r+",   "w+",   "a+",  "r+b",
        "rb+", "w+b", "wb+", "a+b", "ab+",  "wx",   "wbx",  "w+x",  "wb+x", "w+bx"};
    for (const char* standard : STANDARD_MODES) {
        if (std::strcmp(mode, standard) == 0) {
            return __real_fopen(path, mode);
        }
    }
    errno = EINVAL;
    return nullptr;
}

namespace {

namespace fs = std::filesystem;

// What ApplyDefaultSettings(&s, 0) must save, written out by hand.
const std::string kDefaultsFile =
    "1 1 0\r\nMS+Sans+Serif\r\n12 0 0\r\n2 0 0\r\n0 0 400\r\n0 0 16777215\r\n"
    "1 18 0\r\n65 0";

ClockSettings Defaults(ColorRef desktop = 0) {
    ClockSettings s{};
    ApplyDefaultSettings(&s, desktop);
    return s;
}

// A record no load could produce, so an untouched one is easy to tell.
ClockSettings Scribbled() {
    ClockSettings s;
    std::memset(&s, 0xA5, sizeof s);
    return s;
}

bool SameBytes(const ClockSettings& a, const ClockSettings& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::vector<std::string> Tokens(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string t; in >> t;) out.push_back(t);
    return out;
}

std::string Join(const std::vector<std::string>& tokens, const std::string& sep) {
    std::string out;
    for (const std::string& t : tokens) out += (out.empty() ? "" : sep) + t;
    return out;
}

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(getcwd(oldDir_, sizeof oldDir_), nullptr);
        char name[] = "/tmp/velmora_test_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        ASSERT_EQ(chdir(name), 0);
    }
    void TearDown() override {
        ASSERT_EQ(chdir(oldDir_), 0);
        chmod(dir_.c_str(), 0700);  // a read-only test may have failed early
        fs::remove_all(dir_);
    }

    static void Write(const std::string& bytes, const char* path = CONFIG_FILE_NAME) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const char* path = CONFIG_FILE_NAME) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::ptrdiff_t OpenFileCount() {
        return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
    }
    static std::vector<std::string> Listing() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(".")) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }
    static void ExpectLoadFails(const std::string& bytes) {
        Write(bytes);
        ClockSettings s = Scribbled();
        const ClockSettings before = s;
        EXPECT_EQ(LoadSettingsFrom(CONFIG_FILE_NAME, &s), 0) << "file: " << bytes;
        EXPECT_TRUE(SameBytes(s, before)) << "file: " << bytes;
    }
    // Exit status of `body` run in a child, so limits and ids stay there.
    static int InChild(const std::function<int()>& body) {
        pid_t pid = fork();
        if (pid == 0) _exit(body());
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status));
        return WEXITSTATUS(status);
    }

    char oldDir_[4096];
    std::string dir_;
};

TEST(Defaults, EveryField) {
    ClockSettings s = Scribbled();
    ApplyDefaultSettings(&s, 0x00336699u);
    const LogFontRecord& f = s.lfFont;
    const std::vector<long> got = {
        f.lfHeight, f.lfWidth, f.lfEscapement, f.lfOrientation, f.lfWeight,
        f.lfItalic, f.lfUnderline, f.lfStrikeOut, f.lfCharSet,
        f.lfOutPrecision, f.lfClipPrecision, f.lfQuality, f.lfPitchAndFamily,
        s.bAlwaysOnTop, s.rcWindow.left, s.rcWindow.top, s.rcWindow.right,
        s.rcWindow.bottom};
    const std::vector<long> want = {12, 0, 0, 0, 400, 0, 0, 0, 1, 2, 1, 0, 0,
                                    1, 0, 0, 65, 18};
    EXPECT_EQ(got, want);
    EXPECT_STREQ(f.lfFaceName, "MS Sans Serif");
    EXPECT_EQ(s.crBackground, 0x00336699u);
    EXPECT_EQ(s.crText, 16777215u);
}

TEST_F(SettingsFileTest, DefaultsSaveAsCanonicalBytesAndLoadBack) {
    const std::ptrdiff_t openFiles = OpenFileCount();
    clockSettings = Defaults();
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Read(), kDefaultsFile);
    EXPECT_EQ(Listing(), std::vector<std::string>{CONFIG_FILE_NAME});

    clockSettings = Scribbled();
    ASSERT_EQ(LoadSettings(), 1);
    EXPECT_TRUE(SameBytes(clockSettings, Defaults()));
    EXPECT_EQ(OpenFileCount(), openFiles) << "a save or a load left a file open";
}

// A temporary file left longer by a crashed save is replaced, not written over.
TEST_F(SettingsFileTest, LeftoverTemporaryFileIsReplacedWhole) {
    Write(std::string(1000, 'x'), (std::string(CONFIG_FILE_NAME) + ".new").c_str());
    clockSettings = Defaults();
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Read(), kDefaultsFile);
    EXPECT_EQ(Listing(), std::vector<std::string>{CONFIG_FILE_NAME});
}

// The temporary name, the path and ".new", must fit its 512 bytes.
TEST_F(SettingsFileTest, PathWhoseTemporaryNameJustFitsSavesAndOneLongerIsRefused) {
    const std::string folders = std::string(200, 'a') + "/" + std::string(200, 'b') + "/";
    ASSERT_TRUE(fs::create_directories(folders));
    for (std::size_t length : {std::size_t{507}, std::size_t{508}}) {
        const std::string path = folders + std::string(length - folders.size(), 'c');
        const bool fits = length + sizeof ".new" <= 512;
        EXPECT_EQ(SaveSettingsTo(path.c_str(), Defaults()), fits ? 1 : 0) << length;
        EXPECT_EQ(fs::exists(path), fits) << length;
        EXPECT_FALSE(fs::exists(path + ".new")) << length;
    }
}

TEST_F(SettingsFileTest, AnyWhiteSpaceLoadsLikeCanonical) {
    const std::vector<std::string> t = Tokens(kDefaultsFile);
    ASSERT_EQ(t.size(), 21u);
    std::vector<std::string> padded = t;
    padded[4] = "0000000000000012";
    padded[7] = "+2";
    // A number ends at its first non-digit, as "%d" reads it.
    std::string intoFace = Join(t, " ");
    intoFace.replace(intoFace.find("0 MS+"), 5, "0MS+");
    const std::string variants[] = {
        Join(t, " "),
        Join(t, "\t"),
        Join(t, "   "),
        Join(t, "\n"),
        Join(t, " \t\r\n\v\f"),
        " \r\n\t" + kDefaultsFile + "\r\n\r\n",
        kDefaultsFile + " trailing words 1 2 3",
        kDefaultsFile + "\r\nabc",
        Join(padded, " "),
        intoFace,
    };
    for (const std::string& v : variants) {
        Write(v);
        ClockSettings s = Scribbled();
        ASSERT_EQ(LoadSettingsFrom(CONFIG_FILE_NAME, &s), 1) << v;
        EXPECT_TRUE(SameBytes(s, Defaults())) << v;
        ASSERT_EQ(SaveSettingsTo(CONFIG_FILE_NAME, s), 1);
        EXPECT_EQ(Read(), kDefaultsFile) << v;
    }
}

TEST_F(SettingsFileTest, ByteFieldsKeepLowEightBits) {
    std::vector<std::string> t = Tokens(kDefaultsFile);
    t[0] = "300";   // charset: 300 - 256
    t[5] = "-1";    // italic
    t[9] = "511";   // quality
    t[10] = "-256"; // strike-out
    Write(Join(t, " "));
    ClockSettings s = Scribbled();
    ASSERT_EQ(LoadSettingsFrom(CONFIG_FILE_NAME, &s), 1);
    EXPECT_EQ(s.lfFont.lfCharSet, 44);
    EXPECT_EQ(s.lfFont.lfItalic, 255);
    EXPECT_EQ(s.lfFont.lfQuality, 255);
    EXPECT_EQ(s.lfFont.lfStrikeOut, 0);
    ASSERT_EQ(SaveSettingsTo(CONFIG_FILE_NAME, s), 1);
    EXPECT_EQ(Tokens(Read())[0], "44");
    EXPECT_EQ(Tokens(Read())[5], "255");
}

TEST_F(SettingsFileTest, PlusInFaceNameIsABlank) {
    std::vector<std::string> t = Tokens(kDefaultsFile);
    t[3] = "A+B++C";
    Write(Join(t, " "));
    ASSERT_EQ(LoadSettings(), 1);
    EXPECT_STREQ(clockSettings.lfFont.lfFaceName, "A B  C");

    ASSERT_EQ(SaveSettings(), 1);
    const std::string first = Read();
    EXPECT_EQ(Tokens(first)[3], "A+B++C");
    EXPECT_STREQ(clockSettings.lfFont.lfFaceName, "A B  C");
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Read(), first);
}

TEST_F(SettingsFileTest, FaceNameOfAnyLengthIsCutToFitAndRestStillLoads) {
    for (std::size_t length : {1u, 31u, 32u, 40u, 5000u}) {
        std::string word;
        for (std::size_t i = 0; i < length; ++i) word += char('a' + i % 26);
        std::vector<std::string> t = Tokens(kDefaultsFile);
        t[3] = word;
        t[4] = "33";   // height, right after the name
        t[20] = "-7";  // top, the last value
        Write(Join(t, "\r\n"));
        ClockSettings s = Scribbled();
        ASSERT_EQ(LoadSettingsFrom(CONFIG_FILE_NAME, &s), 1) << length;
        std::string kept = word.substr(0, 31);
        EXPECT_EQ(std::string(s.lfFont.lfFaceName, 32), kept + std::string(32 - kept.size(), '\0'));
        EXPECT_EQ(s.lfFont.lfHeight, 33);
        EXPECT_EQ(s.rcWindow.top, -7);
        EXPECT_EQ(s.bAlwaysOnTop, 1);
    }
}

TEST_F(SettingsFileTest, MalformedFilesLeaveRecordUntouched) {
    const std::vector<std::string> t = Tokens(kDefaultsFile);
    ExpectLoadFails("");
    ExpectLoadFails(" \t\r\n\v\f  ");
    ExpectLoadFails(std::string("\x01\xff\x80garbage\0\x7f", 12));
    ExpectLoadFails(Join(std::vector<std::string>(t.begin(), t.end() - 1), " "));
    ExpectLoadFails(Join(std::vector<std::string>(t.begin(), t.begin() + 3), " "));
    std::vector<std::string> nulFace = t;
    nulFace[3] = std::string(1, '\0');
    ExpectLoadFails(Join(nulFace, " "));

    // Not numbers, or beyond 32 bits: 2^32 would wrap to 0, 2^64 + 5 to 5.
    const char* bad[] = {"abc", "-", "+", "--1", "x1", ".5", "2147483648",
                         "-2147483649", "4294967296", "99999999999999999999",
                         "18446744073709551621"};
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (i == 3) continue;  // the face name
        for (const char* b : bad) {
            std::vector<std::string> v = t;
            v[i] = b;
            ExpectLoadFails(Join(v, " "));
        }
        if (i + 1 < t.size()) {  // a tail on the last value is ignored
            std::vector<std::string> v = t;
            v[i] = "12abc";
            ExpectLoadFails(Join(v, " "));
        }
    }
}

TEST_F(SettingsFileTest, EveryShortPrefixFails) {
    for (std::size_t n = 0; n < kDefaultsFile.size(); ++n) {
        ExpectLoadFails(kDefaultsFile.substr(0, n));
    }
    ClockSettings s = Scribbled();
    Write(kDefaultsFile);
    EXPECT_EQ(LoadSettingsFrom(CONFIG_FILE_NAME, &s), 1);
}

TEST_F(SettingsFileTest, MissingFileFails) {
    clockSettings = Scribbled();
    EXPECT_EQ(LoadSettings(), 0);
    EXPECT_TRUE(SameBytes(clockSettings, Scribbled()));
    ClockSettings s = Scribbled();
    EXPECT_EQ(LoadSettingsFrom("no/such/dir/Velmora.cfg", &s), 0);
    EXPECT_TRUE(SameBytes(s, Scribbled()));
}

TEST_F(SettingsFileTest, ThirtyTwoBitExtremesLoad) {
    std::vector<std::string> t = Tokens(kDefaultsFile);
    t[4] = "2147483647";    // height
    t[13] = "-2147483648";  // width
    t[14] = "-2147483648";  // background
    t[15] = "-16776961";    // text
    Write(Join(t, " "));
    ClockSettings s = Scribbled();
    ASSERT_EQ(LoadSettingsFrom(CONFIG_FILE_NAME, &s), 1);
    EXPECT_EQ(s.lfFont.lfHeight, INT32_MAX);
    EXPECT_EQ(s.lfFont.lfWidth, INT32_MIN);
    EXPECT_EQ(s.crBackground, 0x80000000u);
    EXPECT_EQ(s.crText, 0xFF0000FFu);
}

TEST_F(SettingsFileTest, VariedRecordSavesExactlyAndLoadsBack) {
    ClockSettings v{};
    LogFontRecord& f = v.lfFont;
    f.lfHeight = -20; f.lfWidth = -7; f.lfEscapement = 900;
    f.lfOrientation = -900; f.lfWeight = 700; f.lfItalic = 1;
    f.lfUnderline = 255; f.lfStrikeOut = 2; f.lfCharSet = 238;
    f.lfOutPrecision = 3; f.lfClipPrecision = 2; f.lfQuality = 4;
    f.lfPitchAndFamily = 49;
    std::strcpy(f.lfFaceName, "Courier New Bold");
    v.crBackground = 0xFF0000FFu;
    v.crText = 0x80000000u;
    v.bAlwaysOnTop = 0;
    v.rcWindow = {-1200, -35, -1135, 2147483647};

    Write(std::string(1000, 'x'));  // longer than the new file
    Write("left by a crash", "Velmora.cfg.new");
    ASSERT_EQ(SaveSettingsTo(CONFIG_FILE_NAME, v), 1);
    EXPECT_EQ(Read(),
              "238 2 900\r\nCourier+New+Bold\r\n-20 1 -900\r\n3 49 4\r\n"
              "2 255 700\r\n-7 -16776961 -2147483648\r\n0 2147483647 -1200\r\n"
              "-1135 -35");
    EXPECT_EQ(Listing(), std::vector<std::string>{CONFIG_FILE_NAME});
    ClockSettings back = Scribbled();
    ASSERT_EQ(LoadSettingsFrom(CONFIG_FILE_NAME, &back), 1);
    EXPECT_TRUE(SameBytes(back, v));
}

TEST_F(SettingsFileTest, UnstorableFaceNameIsRefused) {
    for (const char* face : {"", "A\tB", "A\nB", "Tail\r", "\vX"}) {
        clockSettings = Defaults();
        std::strcpy(clockSettings.lfFont.lfFaceName, face);
        EXPECT_EQ(SaveSettings(), 0) << "nothing there yet";
        EXPECT_TRUE(Listing().empty());
        Write("old file");
        EXPECT_EQ(SaveSettings(), 0);
        EXPECT_EQ(Read(), "old file");
        EXPECT_EQ(Listing(), std::vector<std::string>{CONFIG_FILE_NAME});
        std::remove(CONFIG_FILE_NAME);
    }
}

TEST_F(SettingsFileTest, FaceFieldWithoutEndSavesItsFirst31Characters) {
    clockSettings = Defaults();
    std::memset(clockSettings.lfFont.lfFaceName, 'a', sizeof clockSettings.lfFont.lfFaceName);
    ASSERT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Tokens(Read())[3], std::string(31, 'a'));
}

TEST_F(SettingsFileTest, TargetThatIsADirectoryIsKept) {
    ASSERT_EQ(mkdir(CONFIG_FILE_NAME, 0700), 0);
    clockSettings = Defaults();
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_TRUE(fs::is_directory(CONFIG_FILE_NAME));
    EXPECT_EQ(Listing(), std::vector<std::string>{CONFIG_FILE_NAME});
}

TEST_F(SettingsFileTest, ReadOnlyFileIsNotReplaced) {
    Write("old file");
    ASSERT_EQ(chmod(CONFIG_FILE_NAME, 0444), 0);
    clockSettings = Defaults();
    EXPECT_EQ(SaveSettings(), 0);
    EXPECT_EQ(Read(), "old file");
    EXPECT_EQ(Listing(), std::vector<std::string>{CONFIG_FILE_NAME});
    ASSERT_EQ(chmod(CONFIG_FILE_NAME, 0644), 0);
    EXPECT_EQ(SaveSettings(), 1);
    EXPECT_EQ(Read(), kDefaultsFile);
}

TEST_F(SettingsFileTest, ReadOnlyDirectoryKeepsOldFile) {
    Write("old file");
    ASSERT_EQ(chmod(".", 0555), 0);
    // Root ignores the mode, so the save runs as "nobody" where possible.
    int result = InChild([] {
        if (geteuid() == 0 && setuid(65534) != 0) return 2;
        if (access(".", W_OK) == 0) return 2;
        clockSettings = Defaults();
        return SaveSettings();
    });
    chmod(".", 0700);
    if (result == 2) GTEST_SKIP() << "directory stays writable for this user";
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Read(), "old file");
    EXPECT_EQ(Listing(), std::vector<std::string>{CONFIG_FILE_NAME});
}

TEST_F(SettingsFileTest, FullDiskKeepsOldFile) {
    // The same child with room to spare shows the limit is what fails it.
    for (rlim_t limit : {rlim_t(10), RLIM_INFINITY}) {
        Write("old file");
        int result = InChild([limit] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit r = {limit, limit};
            if (setrlimit(RLIMIT_FSIZE, &r) != 0) return 2;
            return SaveSettingsTo(CONFIG_FILE_NAME, Defaults());
        });
        const bool full = limit != RLIM_INFINITY;
        EXPECT_EQ(result, full ? 0 : 1);
        EXPECT_EQ(Read(), full ? "old file" : kDefaultsFile);
        EXPECT_EQ(Listing(), std::vector<std::string>{CONFIG_FILE_NAME});
    }
}

// The file step at its edges: the shortest write there is, and standard
// input closed, so the new file's descriptor is 0. Its mode is what fopen
// would give it.
TEST_F(SettingsFileTest, FileStepWritesOneByteWithStandardInputClosed) {
    for (bool inputClosed : {false, true}) {
        EXPECT_EQ(InChild([inputClosed] {
                      if (inputClosed) close(STDIN_FILENO);
                      return WriteFileReplacing("new", CONFIG_FILE_NAME, "x", 1);
                  }),
                  1);
        EXPECT_EQ(Read(), "x");
        EXPECT_EQ(Listing(), std::vector<std::string>{CONFIG_FILE_NAME});
    }
    const mode_t mask = umask(0);
    umask(mask);
    struct stat status;
    ASSERT_EQ(stat(CONFIG_FILE_NAME, &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0666 & ~mask);
}

TEST(SetLogFont, MasksBytesAndCutsFaceName) {
    LogFontRecord f;
    std::memset(&f, 0xA5, sizeof f);
    const std::string name = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmn";  // 40
    SetLogFont(&f, -1, 2, 3, 4, 5, 256, 257, -1, 300, 0x1FF, -256, 7, 8,
               name.c_str());
    EXPECT_EQ(f.lfHeight, -1);
    EXPECT_EQ(f.lfWidth, 2);
    EXPECT_EQ(f.lfEscapement, 3);
    EXPECT_EQ(f.lfOrientation, 4);
    EXPECT_EQ(f.lfWeight, 5);
    const int bytes[] = {f.lfItalic, f.lfUnderline, f.lfStrikeOut,
                         f.lfCharSet, f.lfOutPrecision, f.lfClipPrecision,
                         f.lfQuality, f.lfPitchAndFamily};
    const int want[] = {0, 1, 255, 44, 255, 0, 7, 8};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(bytes[i], want[i]) << "byte " << i;
    EXPECT_EQ(std::string(f.lfFaceName, 32), name.substr(0, 31) + '\0');
    // A name of the field's own size loses its last character to the end.
    SetLogFont(&f, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, name.substr(0, 32).c_str());
    EXPECT_EQ(std::string(f.lfFaceName, 32), name.substr(0, 31) + '\0');
}

TEST(ReplaceChar, ReplacesUpToTheEnd) {
    char empty[4] = {'\0', 'x', 'x', '\0'};
    ReplaceChar(empty, 'x', 'y');
    EXPECT_EQ(std::string(empty, 4), std::string("\0xx\0", 4));

    char many[] = "+a++b+";
    ReplaceChar(many, '+', ' ');
    EXPECT_STREQ(many, " a  b ");

    char cut[] = "a b c";
    ReplaceChar(cut, ' ', '\0');
    EXPECT_STREQ(cut, "a");
    EXPECT_EQ(cut[2], 'b');
    EXPECT_EQ(cut[3], ' ');  // later blanks are past the new end: left alone
    EXPECT_EQ(cut[4], 'c');
}

}  // namespace
