// The project reader: the section frame (counts, record numbers, the end word), the header
// and version checks, the Run Control section, and each section's cross-reference checks,
// read from small project texts.
#include "common-src/prj-read.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common-src/token-file.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class SectionFrame : public TokenFile {};

void collect(int k, void* ctx)
{
    static_cast<std::vector<int>*>(ctx)->push_back(k);
    readR4(0);   // the record's one value
}

TEST_F(SectionFrame, ARecordNumberedOutOfPlaceStopsTheRecordLoop)
{
    open("x\n3\n1 0.5\n3 0.5\n3 0.5\n-999\n");
    std::vector<int> seen;
    std::string err = stderrOf([&] {
        prj_read_records(prj_section_count("Zone"), "Zone number mis-match: ", collect, &seen);
    });
    EXPECT_EQ(seen, (std::vector<int>{1, 2}));
    EXPECT_NE(err.find("ERROR Zone number mis-match: 2\n"), std::string::npos) << err;
    EXPECT_EQ(errorCount(), 1);
}

TEST_F(SectionFrame, AnEndWordLogsTheSectionAsRead)
{
    open("x\n1\n1 0.5\n-999\n");
    std::vector<int> seen;
    prj_read_records(prj_section_count("Zone"), "Zone number mis-match: ", collect, &seen);
    EXPECT_EQ(prj_section_end("Zone"), 0);
    EXPECT_EQ(seen, (std::vector<int>{1}));
    EXPECT_NE(logText().find("Zone section read successfully.\n"), std::string::npos);
    EXPECT_EQ(errorCount(), 0);
}

TEST_F(SectionFrame, AMissingEndWordIsAReadErrorOfThatSection)
{
    open("x\n1\n1 0.5\n2 0.5\n");
    std::vector<int> seen;
    std::string err = stderrOf([&] {
        prj_read_records(prj_section_count("Path"), "Path number mis-match: ", collect, &seen);
        EXPECT_EQ(prj_section_end("Path"), 1);
    });
    EXPECT_NE(err.find("ERROR PRJ read error in Path section; enable the echo feature then "
                       "see Log file for where error occurred\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(errorCount(), 1);
}

TEST_F(SectionFrame, TheSuccessLineCanNameTheSectionDifferently)
{
    open("x\n-999\n");
    EXPECT_EQ(prj_section_end2("Speices", "Species"), 0);
    EXPECT_NE(logText().find("Speices section read successfully.\n"), std::string::npos);
}

TEST_F(SectionFrame, ACountOfZeroIsValidAndANegativeCountIsAnError)
{
    open("x\n0\n-999\n-2\n-999\n");
    EXPECT_EQ(prj_section_count("Level"), 0);
    EXPECT_EQ(prj_section_end("Level"), 0);
    EXPECT_EQ(prj_list<int>(0, "LevLst"), nullptr);
    std::string err = stderrOf([&] { EXPECT_EQ(prj_section_count("Level"), 0); });
    EXPECT_NE(err.find("Negative record count in Level section: -2"), std::string::npos) << err;
    EXPECT_EQ(errorCount(), 1);
}

TEST_F(SectionFrame, AnEndWordWithoutALineEndAtTheEndOfTheFileReadsFine)
{
    open("x\n0\n-999");
    EXPECT_EQ(prj_section_count("Note"), 0);
    EXPECT_EQ(prj_section_end("Note"), 0);
    EXPECT_EQ(errorCount(), 0);
}

TEST_F(SectionFrame, SkipDataSkipsToTheEndLine)
{
    open("x\nanything 1 2\n! c\n-999 trailing\nnext\n");
    skip_data();
    char w[16];
    EXPECT_STREQ(nxtwrd(w, NXT_FIRST_WORD, 16), "next");
}

TEST_F(SectionFrame, ReferencesOutsideTheirRangeNameTheRecord)
{
    std::string err = stderrOf([&] {
        EXPECT_EQ(prj_ref(0, 0, 3, "Invalid filter number, path ", 7), 0);
        EXPECT_EQ(prj_ref(3, 0, 3, "Invalid filter number, path ", 7), 0);
        EXPECT_EQ(prj_ref(4, 0, 3, "Invalid filter number, path ", 7), 1);
        EXPECT_EQ(prj_ref(-1, 0, 3, "Invalid filter number, path ", 8), 1);
    });
    EXPECT_NE(err.find("ERROR Invalid filter number, path 7\n"), std::string::npos) << err;
    EXPECT_NE(err.find("ERROR Invalid filter number, path 8\n"), std::string::npos) << err;
    EXPECT_EQ(errorCount(), 2);
}

TEST_F(SectionFrame, IndexListsAreOneBased)
{
    int a = 1, b = 2;
    int** list = prj_list<int>(2, "test");
    list[1] = &a;
    list[2] = &b;
    EXPECT_EQ(*list[1] + *list[2], 3);
    EXPECT_EQ(prj_list_free(list, 2, "test"), nullptr);
}

}  // namespace
