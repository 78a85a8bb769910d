// Runs the built zimbrots-convert on files and pipes, and its output file on its own.
#include "cli/output_file.h"
#include "conversion/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <iostream>

namespace {

namespace fs = std::filesystem;

struct RunResult {
    int status;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() / ("zimbrots-cli-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Write(const std::string& name, const std::string& content)
    {
        const fs::path path = dir_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    static std::string Slurp(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    // Runs a shell line in which $CONVERT names the program.
    RunResult Shell(const std::string& line)
    {
        const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
        // English, whatever language the caller speaks, unless the line asks for another.
        const std::string command = "export LC_ALL=C.UTF-8; unset LANGUAGE; CONVERT='" ZIMBROTS_CONVERT "'; ( " + line + " ) >'" + out.string() +
                                    "' 2>'" + err.string() + "'";
        const int raw = std::system(("bash -c \"$(cat <<'ZIMBROTS_EOF'\n" + command + "\nZIMBROTS_EOF\n)\"").c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out), Slurp(err)};
    }

    // The folder's entries, sorted.
    std::vector<std::string> Entries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

TEST_F(CliTest, ConvertsStandardInputAndFilesInOrder)
{
    Write("one.txt", "Labdien, pasaule!\n");
    Write("two.txt", "Žūžū ābols\n");
    RunResult r = Shell("printf 'Hello' | \"$CONVERT\"");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "|-|3|_|_0");
    r = Shell("cd '" + dir_.string() + "' && printf 'Sveiki\\n' | \"$CONVERT\" one.txt - two.txt");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "|_4bd|3|\\|, p454|_||_3!\n5\\/3|k|\n2|-||_||_|2|-||_||_| 44b0|_5\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTest, Windows1257AndIso885913ByAnyUsualName)
{
    const fs::path file = Write("baltic.txt", "\xE2\x62\x6F\x6C\x73 \xF6");
    for (const char* name : {"--encoding windows-1257", "--encoding=CP1257", "-e iso-8859-13", "-eLATIN7", "-e ISO_8859-13"}) {
        RunResult r = Shell("\"$CONVERT\" " + std::string(name) + " '" + file.string() + "'");
        EXPECT_EQ(r.status, 0) << name;
        EXPECT_EQ(r.out, "44b0|_5 \xF6") << name;
    }
    RunResult r = Shell("\"$CONVERT\" -e latin-9 '" + file.string() + "'");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("utf-8 (utf8), windows-1257 (cp1257) and iso-8859-13 (latin7)"), std::string::npos) << r.err;
    r = Shell("\"$CONVERT\" --encoding=utf-8 '" + file.string() + "'");
    EXPECT_EQ(r.out, "\xE2" "b0|_5 \xF6") << "as UTF-8 these bytes are invalid and must pass unchanged";
}

TEST_F(CliTest, SplitSequencesAcrossReadsConvertWhole)
{
    // Bytes arrive one write at a time, so every UTF-8 sequence and decomposed letter is split.
    RunResult r = Shell("for b in 61 cc 84 62 c5 be 6f cc 88; do printf \"\\\\x$b\"; sleep 0.02; done | \"$CONVERT\"");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "44b2|-|o\xCC\x88");
}

TEST_F(CliTest, MissingFileIsReportedAndOthersStillConvert)
{
    Write("good.txt", "Ok");
    RunResult r = Shell("cd '" + dir_.string() + "' && \"$CONVERT\" missing.txt good.txt . good.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "0k0k");
    EXPECT_NE(r.err.find("zimbrots-convert: missing.txt: No such file or directory\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("zimbrots-convert: .: Is a directory\n"), std::string::npos) << r.err;
}

TEST_F(CliTest, OptionsHelpVersionAndBadUsage)
{
    RunResult r = Shell("\"$CONVERT\" -V");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("zimbrots-convert (Zimbrots) " ZIMBROTS_VERSION "\nCopyright (C) ")) << r.out;
    EXPECT_NE(r.out.find("License MIT"), std::string::npos) << r.out;
    r = Shell("\"$CONVERT\" -h");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Usage: zimbrots-convert"), std::string::npos);
    EXPECT_NE(r.out.find("Report bugs to: "), std::string::npos);
    // The manual page names every option and encoding that the help names.
    std::string manual = Slurp(ZIMBROTS_CONVERT_MANUAL);
    for (std::size_t dash; (dash = manual.find("\\-")) != std::string::npos;)
        manual.replace(dash, 2, "-");
    std::istringstream help(r.out);
    for (std::string word; help >> word;) {
        std::replace_if(word.begin(), word.end(), [](char c) { return std::strchr("[]|,;=", c); }, ' ');
        std::istringstream parts(word);
        for (std::string part; parts >> part;) {
            if ((part.starts_with("-") && part.size() > 1) || part.starts_with("utf-") || part.starts_with("windows-") ||
                part.starts_with("iso-")) {
                EXPECT_NE(manual.find(part), std::string::npos) << part;
            }
        }
    }
    for (const char* bad : {"--bogus", "-x", "--encoding", "-e"}) {
        r = Shell(std::string("\"$CONVERT\" ") + bad + " </dev/null");
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_EQ(r.out, "") << bad;
        EXPECT_NE(r.err.find("Usage:"), std::string::npos) << bad;
    }
    Write("-n", "nē");
    r = Shell("cd '" + dir_.string() + "' && \"$CONVERT\" -- -n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "|\\|33");
}

// Private locales, so that a test needs none generated on the machine. Returns the words that
// put a command under the locale.
#if defined(ZIMBROTS_CROSS_BUILD)
#define NEEDS_LOCALES() GTEST_SKIP() << "a locale would be built for this machine's processor, not the emulated one"
#else
#define NEEDS_LOCALES() (void)0
#endif
std::string LocaleOf(const std::string& folder, const std::string& locale, const std::string& charset)
{
    const std::string name = locale + "." + charset;
    const std::string line = "mkdir -p '" + folder + "' && localedef -i " + locale + " -f " + charset + " '" + folder + "/" + name + "'";
    EXPECT_EQ(std::system(line.c_str()), 0) << "localedef needs the locale sources of Debian's package locales";
    return "LOCPATH='" + folder + "' LC_ALL=" + name + " ";
}

TEST_F(CliTest, ReadsTheLocalesEncoding)
{
    NEEDS_LOCALES();
    const std::string locales = (dir_ / "locales").string();
    RunResult r = Shell("printf '\\xe2bols \\xf6' | " + LocaleOf(locales, "lv_LV", "ISO-8859-13") + "\"$CONVERT\"");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "44b0|_5 \xF6");
    r = Shell("printf 'Hello' | " + LocaleOf(locales, "en_US", "ISO-8859-1") + "\"$CONVERT\"");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("encoding ISO-8859-1 is not one this program knows"), std::string::npos) << r.err;
    r = Shell("printf '\\xc4\\x81' | LC_ALL=C \"$CONVERT\"");
    EXPECT_EQ(r.out, "44") << "the C locale reads UTF-8";
}

TEST_F(CliTest, OutputFileReplacesOnlyWhenAllIsConverted)
{
    const fs::path file = Write("notes.txt", "Labdien\n");
    const std::string in = "cd '" + dir_.string() + "' && ";
    RunResult r = Shell(in + "\"$CONVERT\" -o notes.txt notes.txt && \"$CONVERT\" -Veutf8 >/dev/null");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(file), "|_4bd|3|\\|\n") << "the output may name its input";
    r = Shell(in + "\"$CONVERT\" --output=new.txt notes.txt missing.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(fs::exists(dir_ / "new.txt")) << "a missing input leaves no output";
    // A signal ends the program while it waits for more input, once its new file is there.
    r = Shell(in + "mkfifo input && { \"$CONVERT\" -o notes.txt input & } && exec 3>input &&"
                   " for i in $(seq 200); do ls notes.txt.?????? >/dev/null 2>&1 && break; sleep 0.05; done;"
                   " kill -TERM $! && wait $!; echo $?");
    EXPECT_EQ(r.out, "143\n") << "it ended through SIGTERM";
    EXPECT_EQ(Slurp(file), "|_4bd|3|\\|\n") << "a signal leaves the file as it was";
    EXPECT_EQ(Entries(), (std::vector<std::string>{"input", "notes.txt", "stderr", "stdout"})) << "no temporary file";
}

// The output file on its own: what it replaces, with which permissions, and what it leaves.
TEST_F(CliTest, OutputFileKeepsTheModeAndTheLinkAndLeavesNothingBehind)
{
    const fs::path file = Write("notes.txt", "old");
    fs::permissions(file, fs::perms(0600));
    fs::create_symlink("notes.txt", dir_ / "link");
    const mode_t mask = ::umask(027);
    {
        zimbrots::OutputFile out, fresh, dropped;
        ASSERT_TRUE(out.Open((dir_ / "link").c_str()));
        EXPECT_TRUE(out.Write("new"));
        EXPECT_EQ(Slurp(file), "old") << "nothing is replaced before the commit";
        EXPECT_TRUE(out.Commit());
        ASSERT_TRUE(fresh.Open((dir_ / "fresh.txt").c_str()));
        EXPECT_TRUE(fresh.Commit());
        ASSERT_TRUE(dropped.Open(file.c_str()));
        EXPECT_TRUE(dropped.Write("lost"));
    }
    ::umask(mask);
    EXPECT_EQ(Slurp(file), "new") << "an output not committed leaves the file as it was";
    EXPECT_TRUE(fs::is_symlink(dir_ / "link")) << "the link is kept, its target replaced";
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600)) << "the old file's mode";
    EXPECT_EQ(fs::status(dir_ / "fresh.txt").permissions(), fs::perms(0640)) << "the umask's mode";

    std::vector<std::string> expected = {"fresh.txt", "link", "notes.txt"};
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(zimbrots::OutputFile().Open(dir_.c_str()));
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(": Is a directory\n"), std::string::npos) << said;
    if (::geteuid() == 0) {
        std::cout << "not checked as root, whom permissions do not stop: output into a read-only folder\n";
    } else {
        fs::create_directory(dir_ / "read-only", dir_);
        fs::permissions(dir_ / "read-only", fs::perms(0555));
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(zimbrots::OutputFile().Open((dir_ / "read-only/out.txt").c_str()));
        said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("cannot create a file in " + (dir_ / "read-only").string() + ": Permission denied"),
                  std::string::npos) << said;
        fs::permissions(dir_ / "read-only", fs::perms(0755));
        EXPECT_TRUE(fs::is_empty(dir_ / "read-only"));
        expected.push_back("read-only");
    }
    EXPECT_EQ(Entries(), expected) << "no temporary file";
}

TEST_F(CliTest, SpeaksLatvianUnderALatvianLocale)
{
    NEEDS_LOCALES();
#if !defined(ZIMBROTS_FILTER_CATALOGUES)
    GTEST_SKIP() << "built without gettext's tools: the filter speaks English only";
#endif
    const std::string latvian = LocaleOf((dir_ / "locales").string(), "lv_LV", "UTF-8");
    RunResult r = Shell(latvian + "\"$CONVERT\" --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.starts_with("Lietojums: zimbrots-convert")) << r.out;
    EXPECT_NE(r.out.find("hakeru rakstībā"), std::string::npos) << r.out;
    r = Shell(latvian + "\"$CONVERT\" --bogus");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.starts_with("zimbrots-convert: nezināma opcija '--bogus'\n")) << r.err;
    // The text converts the same in any language.
    r = Shell(latvian + "printf 'Žūžū' | \"$CONVERT\"");
    EXPECT_EQ(r.out, "2|-||_||_|2|-||_||_|");
}

TEST_F(CliTest, ClosedOutputEndsQuietlyAndFullDiskFails)
{
    RunResult r = Shell("set -o pipefail; yes Labdien | head -c 50000000 | \"$CONVERT\" | head -c 10; echo \" ${PIPESTATUS[2]}\"");
    EXPECT_EQ(r.out, "|_4bd|3|\\| 141\n");
    EXPECT_EQ(r.err, "");
    r = Shell("printf 'Hello' | \"$CONVERT\" > /dev/full");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zimbrots-convert: cannot write to standard output: No space left on device\n");
}

// Size of the converted output of `yes LINE | head -c size`.
long ExpectedSize(long size)
{
    const std::string line = "Labdien, Žūžū! ābols 😀\n";
    const std::string converted = "|_4bd|3|\\|, 2|-||_||_|2|-||_||_|! 44b0|_5 😀\n";
    const long whole = size / long(line.size());
    long rest = size % long(line.size());
    // The cut line converts as far as it goes; the cut falls after "Labdien" here or later.
    std::string tail = line.substr(0, std::size_t(rest));
    zimbrots::Utf8StreamConverter c;
    std::string out;
    c.Convert(tail, out);
    c.Finish(out);
    return whole * long(converted.size()) + long(out.size());
}

// Peak memory, in KiB, of the largest process that a shell line starts. Measured from a fresh
// child, so that no earlier run counts.
long PeakKiB(const std::string& line)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeEnds[0]);
        long peak = -1;
        if (std::system(("bash -c \"" + line + "\"").c_str()) == 0) {
            struct rusage usage {};
            ::getrusage(RUSAGE_CHILDREN, &usage);
            peak = usage.ru_maxrss;
        }
        (void)!::write(pipeEnds[1], &peak, sizeof peak);
        ::_exit(0);
    }
    ::close(pipeEnds[1]);
    long peak = -1;
    (void)!::read(pipeEnds[0], &peak, sizeof peak);
    ::close(pipeEnds[0]);
    ::waitpid(pid, nullptr, 0);
    return peak;
}

TEST(CliMemory, StaysFlatFor100MiB)
{
    const auto peakFor = [](long mebibytes) {
        return PeakKiB("yes 'Labdien, Žūžū! ābols 😀' | head -c " + std::to_string(mebibytes << 20) + " | '" ZIMBROTS_CONVERT
                       "' | wc -c | grep -qx " + std::to_string(ExpectedSize(mebibytes << 20)));
    };
    const long small = peakFor(1);
    const long large = peakFor(100);
    std::cout << "peak RSS converting 1 MiB: " << small << " KiB, 100 MiB: " << large << " KiB\n";
    RecordProperty("peak_rss_100MiB_kib", std::to_string(large));
    ASSERT_GT(small, 0) << "the 1 MiB run failed";
    ASSERT_GT(large, 0) << "the 100 MiB run failed";
    EXPECT_LT(large, small + 8 * 1024) << "memory grows with the input";
}

}  // namespace
