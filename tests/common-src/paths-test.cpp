// Paths: splitting into drive, directory, name and extension with the separator it
// remembers, bounded joining, separator conversion and the file copy utility.
#include "common-src/paths.h"
#include "tests/param-names.h"
#include "tests/scratch-dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include <unistd.h>

using namespace vexlar;

namespace {

struct Split {
    const char* path;
    const char* drive;
    const char* dir;
    const char* name;
    const char* ext;
    char dirchr;   // separator remembered afterwards ('#' stands for "unchanged")
};

void PrintTo(const Split& s, std::ostream* os) { *os << '"' << s.path << '"'; }

class PathSplit : public ::testing::TestWithParam<Split> {
protected:
    void TearDown() override { setDirChar('/'); }
};

TEST_P(PathSplit, CutsPathIntoItsFourParts)
{
    const Split& s = GetParam();
    setDirChar('#');
    char drive[4] = "x", dir[64] = "x", name[32] = "x", ext[8] = "x";
    pathsplit(s.path, drive, 4, dir, 64, name, 32, ext, 8);
    EXPECT_STREQ(drive, s.drive);
    EXPECT_STREQ(dir, s.dir);
    EXPECT_STREQ(name, s.name);
    EXPECT_STREQ(ext, s.ext);
    EXPECT_EQ(_dirchr, s.dirchr);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSplit,
    ::testing::Values(Split{"runs/a/office.prj", "", "runs/a/", "office", ".prj", '/'},
                      Split{"C:dir\\sub\\office.prj", "C:", "dir\\sub\\", "office", ".prj", '\\'},
                      Split{"office.prj", "", "", "office", ".prj", '#'},
                      Split{"office", "", "", "office", "", '#'},
                      Split{"a/b\\c.txt", "", "a/", "b\\c", ".txt", '/'},
                      Split{"/abs/.prj", "", "/abs/", "", ".prj", '/'},
                      Split{"d/v1.2.prj", "", "d/", "v1.2", ".prj", '/'},
                      Split{"dir/", "", "dir/", "", "", '/'},
                      Split{"", "", "", "", "", '#'},
                      Split{"C", "", "", "C", "", '#'},
                      Split{"C:", "C:", "", "", "", '#'}),
    testnames::indexed([](const auto& c) { return std::string(c.path); }));

TEST(Paths, NullBuffersAreNotStored)
{
    char name[16];
    pathsplit("x/y/base.ext", nullptr, 0, nullptr, 0, name, 16, nullptr, 0);
    EXPECT_STREQ(name, "base");
}

struct Overrun {
    const char* path;
    const char* message;
    const char* part;   // which part was cut: the cut text
};

void PrintTo(const Overrun& o, std::ostream* os) { *os << '"' << o.path << '"'; }

class PathSplitOverrun : public ::testing::TestWithParam<Overrun> {};

TEST_P(PathSplitOverrun, ReportsAndCutsThePartThatDoesNotFit)
{
    char drive[2], dir[8], name[8], ext[4];
    testing::internal::CaptureStderr();
    pathsplit(GetParam().path, drive, 2, dir, 8, name, 8, ext, 4);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, std::string("ERROR") + GetParam().message + "\n");
    std::string parts = std::string(drive) + "|" + dir + "|" + name + "|" + ext;
    EXPECT_EQ(parts, GetParam().part);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSplitOverrun,
    ::testing::Values(Overrun{"C:a/b.c", "pathsplit: file drive overrun", "|a/|b|.c"},
                      Overrun{"abcdefg/b.c", "pathsplit: file path overrun", "|abcdefg|b|.c"},
                      Overrun{"a/abcdefgh.c", "pathsplit: file name overrun", "|a/|abcdefg|.c"},
                      Overrun{"a/b.abcd", "pathsplit: file extension overrun", "|a/|b|.ab"}),
    testnames::indexed([](const auto& c) { return std::string(c.message); }));

TEST(Paths, NameOfExactlyTheBufferLengthLosesItsLastCharacter)
{
    char name[8];
    testing::internal::CaptureStderr();
    pathsplit("abcdefgh", nullptr, 0, nullptr, 0, name, 8, nullptr, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERRORpathsplit: file name overrun\n");
    EXPECT_STREQ(name, "abcdefg");
}

struct Merge {
    const char* drive;
    const char* dir;
    const char* name;
    const char* ext;
    const char* want;
};

void PrintTo(const Merge& m, std::ostream* os) { *os << '"' << m.want << '"'; }

class PathMerge : public ::testing::TestWithParam<Merge> {};

TEST_P(PathMerge, JoinsPartsWithTheRememberedSeparator)
{
    const Merge& m = GetParam();
    char out[64];
    pathmerge(out, 64, m.drive, m.dir, m.name, m.ext);
    EXPECT_STREQ(out, m.want);
}

INSTANTIATE_TEST_SUITE_P(Paths, PathMerge,
                         ::testing::Values(Merge{"", "runs", "office", "xlog", "runs/office.xlog"},
                                           Merge{"", "runs/", "office", ".xlog", "runs/office.xlog"},
                                           Merge{"", "", "office", ".sim", "office.sim"},
                                           Merge{nullptr, nullptr, "office", nullptr, "office"},
                                           Merge{"C:", "d\\", "n", "e", "C:d\\/n.e"},
                                           Merge{"", "d", "", "", "d/"}),
                         testnames::indexed([](const auto& c) { return std::string(c.want); }));

// A file the project names: a relative name is looked for beside the project, whatever
// folder the engine runs in; an absolute one stays where it is.
TEST(Paths, RelativeInputNameStandsBesideTheProject)
{
    setDirChar('/');
    _pdrive[0] = '\0';
    snprintf(_pdir, sizeof _pdir, "%s", "../A/");
    char out[64];
    inputFilePath(out, sizeof out, "w/site.wth");
    EXPECT_STREQ(out, "../A/w/site.wth");
    inputFilePath(out, sizeof out, "/data/site.wth");
    EXPECT_STREQ(out, "/data/site.wth");
    _pdir[0] = '\0';
    inputFilePath(out, sizeof out, "site.wth");
    EXPECT_STREQ(out, "site.wth");
}

TEST(Paths, MergeOverrunIsCutAndReported)
{
    char out[8];
    testing::internal::CaptureStderr();
    pathmerge(out, 8, "", "abc", "defg", "xlog");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERRORPathMerge: fullpath overrun\n");
    EXPECT_STREQ(out, "abc/def");
}

TEST(Paths, ConvertDirCharsTurnsTheOtherSeparator)
{
    char p[] = "a\\b/c\\d";
    setDirChar('/');
    convertDirChars(p);
    EXPECT_STREQ(p, "a/b/c/d");
    setDirChar('\\');
    convertDirChars(p);
    EXPECT_STREQ(p, "a\\b\\c\\d");
    setDirChar(':');
    convertDirChars(p);
    EXPECT_STREQ(p, "a\\b\\c\\d");
    setDirChar('/');
}

TEST(Paths, FileCopyCopiesBytesAndRefusesItselfAndMissingSources)
{
    vexlar_test::ScratchDir scratch;
    const std::string& dir = scratch.path();
    std::string src = dir + "vexlar-copy-src.bin", dst = dir + "vexlar-copy-dst.bin";
    std::string data("a\0b\nc", 5);
    std::ofstream(src, std::ios::binary) << data;
    EXPECT_EQ(fileCopy(src.c_str(), dst.c_str(), nullptr), 0);
    std::ifstream in(dst, std::ios::binary);
    std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(got, data);
    testing::internal::CaptureStderr();
    EXPECT_EQ(fileCopy(src.c_str(), src.c_str(), nullptr), 0);
    EXPECT_EQ(fileCopy((dir + "vexlar-no-such-file").c_str(), dst.c_str(), nullptr), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Cannot copy file " + src + " to itself\n"), std::string::npos);
    EXPECT_NE(err.find("Failed to open file " + dir + "vexlar-no-such-file (No such file or directory)\n"),
              std::string::npos);
}

}  // namespace
