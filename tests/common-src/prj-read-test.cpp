// The project reader: the section frame (counts, record numbers, the end word), the header
// and version checks, the Run Control section, and each section's cross-reference checks,
// read from small project texts.
#include "common-src/prj-read.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common-src/token-file.h"

using namespace vexlar;
using namespace vexlar_test;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;

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
    EXPECT_EQ(seen, (std::vector<int>{1}));
    EXPECT_NE(err.find("ERROR Zone number mis-match: 2 expected, 3 found: number the records of a "
                       "section 1, 2, 3, ... in file order\n"),
              std::string::npos)
        << err;
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
                       "see Log file for where error occurred: the count says 1 record; after "
                       "it the file has 2 where -999 should end the section\n"),
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

// ---- The whole file ------------------------------------------------------------------------

#include <fstream>
#include <sstream>

#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/prj-common.h"
#include "tests/param-names.h"

namespace {

std::string minimalProject()
{
    std::ifstream f(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/minimal.prj",
                    std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string replaceFirst(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// Reads a project text with fresh pools; the index lists are freed again afterwards.
class ProjectFile : public TokenFile {
protected:
    void SetUp() override
    {
        TokenFile::SetUp();
        _ms = alc_eci(32000, "ms-block");
        _mb = alc_eci(8000, "mb-block");
        _rcdat = RunControlData{};
        _wthdat = WeatherData{};
    }
    void TearDown() override
    {
        prj_read_free_comp_lists();
        prj_read_free_element_lists();
        _ms = fre_ec(_ms, "ms-block");
        _mb = fre_ec(_mb, "mb-block");
        prjType = 0;   // the kind of file read stays with this test
        TokenFile::TearDown();
    }
    int read(const std::string& text, std::string* err = nullptr)
    {
        writeFile(path, text);
        int rc = 0;
        std::string e = stderrOf([&] { rc = prj_read(path.c_str()); });
        if (err) *err = e;
        return rc;
    }
};

TEST_F(ProjectFile, AMinimalProjectReadsEverySection)
{
    std::string err;
    EXPECT_EQ(read(minimalProject(), &err), 0) << err;
    EXPECT_EQ(errorCount(), 0);
    std::string log = logText();
    for (const char* s : {"Run Control", "Level", "Zone", "Zone CC", "Path", "Duct Junction",
                          "Duct Junction CC", "Duct Segment", "Source/Sink",
                          "Occupant Day Schedule", "Occupant Exposure", "Note", "Controls"})
        EXPECT_NE(log.find(std::string(s) + " section read successfully.\n"), std::string::npos)
            << s;
    EXPECT_NE(log.find("\nReading project file: " + path + "\n"), std::string::npos);
    EXPECT_EQ(_nzone, 1);
    EXPECT_EQ(_npath, 1);
    EXPECT_EQ(_PathList[1]->from_zone, &_ambt);
    EXPECT_STREQ(_prjdesc, "Minimal project: one zone with one opening to the ambient");
    EXPECT_EQ(prjType, 0);
}

TEST_F(ProjectFile, RunControlValuesLandInTheirFields)
{
    ASSERT_EQ(read(minimalProject()), 0);
    EXPECT_FLOAT_EQ(_wthdat.Tambt, 293.15f);
    EXPECT_EQ(_wthdat.Pbar, 101325.0);
    EXPECT_EQ(_wthdat.day_type, 1);
    EXPECT_STREQ(_WTHfile, "null");
    EXPECT_STREQ(_WPCfile, "null");
    EXPECT_EQ(_rcdat.itmax, 30);
    EXPECT_FLOAT_EQ(_rcdat.relax, 0.75f);
    EXPECT_FLOAT_EQ(_rcdat.bldg_dp, 50.0f);
    EXPECT_EQ(_rcdat.af_reorder, 1);
    EXPECT_FLOAT_EQ(_rcdat.mft_theta, 1.0f);
    EXPECT_EQ(_rcdat.cv_lmm, 1);
    EXPECT_EQ(_rcdat.dens_itmax, 2);   // 1 in the file: at least 2
    EXPECT_EQ(_rcdat.end_time, 86400);
    EXPECT_EQ(_rcdat.time_step, 300);
    EXPECT_EQ(_rcdat.time_list, 3600);
    EXPECT_EQ(_rcdat.pfres, 1);
    EXPECT_FLOAT_EQ(_rcdat.gravity, 9.8055f);
    EXPECT_EQ(_rcdat.cfd_itmax, 5);
}

TEST_F(ProjectFile, FileNamesLoseCommentsAndTrailingBlanksAndTakeThisSystemsSeparator)
{
    std::string text = replaceFirst(minimalProject(), "null   ! weather file",
                                    "..\\weather\\site.wth   ! weather file");
    ASSERT_EQ(read(text), 0);
    EXPECT_STREQ(_WTHfile, "../weather/site.wth");
}

TEST_F(ProjectFile, ACrlfCopyReadsExactlyLikeTheOriginal)
{
    std::string crlf;
    for (char c : minimalProject()) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    std::string err;
    ASSERT_EQ(read(crlf, &err), 0) << err;
    EXPECT_STREQ(_prjdesc, "Minimal project: one zone with one opening to the ambient");
    EXPECT_STREQ(_WTHfile, "null");
    EXPECT_STREQ(_ZoneList[1]->name, "Room");
    EXPECT_FLOAT_EQ(_PathList[1]->azimuth, 180.0f);
}

struct HeaderCase {
    const char* line;
    int result;
    const char* message;   // "" for none; the path is put in front where %s stands
};
std::ostream& operator<<(std::ostream& os, const HeaderCase& c) { return os << c.line; }

class Header : public ProjectFile, public ::testing::WithParamInterface<HeaderCase> {};
TEST_P(Header, VersionAndKindOfFileAreChecked)
{
    const HeaderCase& c = GetParam();
    std::string err;
    EXPECT_EQ(read(replaceFirst(minimalProject(), "VexlarW 3.4.0.0 0", c.line), &err), c.result);
    std::string message = c.message;
    size_t at = message.find("%s");
    if (at != std::string::npos) message.replace(at, 2, path);
    if (message.empty())
        EXPECT_EQ(err, "");
    else
        EXPECT_NE(err.find(message), std::string::npos) << err;
}
INSTANTIATE_TEST_SUITE_P(
    Lines, Header,
    ::testing::Values(
        HeaderCase{"VexlarW 3.4.0.0 0", 0, ""},
        HeaderCase{"VexlarW 3.4.2.0 0", 0,
                   "WARNING PRJ file may require revision (2) of VexlarX 3.4\n"},
        HeaderCase{"VexlarW 3.4.0 0", 1, "ERROR %s Version string is too short: 3.4.0\n"},
        HeaderCase{"VexlarW 3.3.0.0 0", 1, "ERROR %s\n is a VexlarW 3.3 file\n"},
        HeaderCase{"TRELBO 2.4.0.0 0", 1, "ERROR %s\n is a Trelbo 2.4 file\n"},
        HeaderCase{"VexlarW 3.4x0000 0", 1, "ERROR %s No patch found as part of the version.\n"},
        HeaderCase{"vexlarw 3.4.0.0 0", 1, "ERROR Not a VexlarW or Trelbo 3.4 file\n"},
        HeaderCase{"Trelbo 3.4.0.0 0", 1, "ERROR Not a VexlarW or Trelbo 3.4 file\n"}),
    testnames::indexed([](const auto& c) { return std::string(c.line); }));

TEST_F(ProjectFile, TrelboFilesCarryAnExtraLinePerZoneAndTwoMoreSections)
{
    std::string text = replaceFirst(minimalProject(), "VexlarW 3.4.0.0 0", "TRELBO 3.4.0.0 0");
    text = replaceFirst(text, "1 ! airflow elements\n1 0 plr_orfc Opening\nA small opening\n"
                              "0.002 0.03 0.5\n", "0\n");
    text = replaceFirst(text, "Room 0 0 0 0 0 0 0 0\n", "Room 0 0 0 0 0 0 0 0\nextra line\n");
    text = replaceFirst(text, "1 ! paths\n1 1 -1 1 1 0 0 0 0 0 1 0 0 1.5 1 0 1 180 0 0 0 0 0 0 "
                              "0 0 0 0 0 0\n", "0\n");
    text = replaceFirst(text, "* end of project", "a 1 2\n-999\nb 3 4\n-999\n* end");
    std::string err;
    ASSERT_EQ(read(text, &err), 0) << err;
    EXPECT_EQ(prjType, 1);
    EXPECT_STREQ(_ZoneList[1]->name, "Room");
    EXPECT_NE(logText().find("Note section read successfully."), std::string::npos);
}

TEST_F(ProjectFile, AMissingFileIsReportedAndReadAsFailed)
{
    std::string err;
    int rc = 0;
    err = stderrOf([&] { rc = prj_read("/nonexistent/none.prj"); });
    EXPECT_EQ(rc, 1);
    EXPECT_NE(err.find("Could not open file /nonexistent/none.prj"), std::string::npos);
}

TEST_F(ProjectFile, EchoCopiesTheProjectIntoTheLog)
{
    std::string text = replaceFirst(minimalProject(), "VexlarW 3.4.0.0 0", "VexlarW 3.4.0.0 1");
    ASSERT_EQ(read(text), 0);
    std::string log = logText();
    EXPECT_NE(log.find("1 1 -1 1 1 0 0 0 0 0 1 0 0 1.5 1 0 1 180"), std::string::npos) << log;
    EXPECT_NE(log.find("1 ! levels\n1 0.0 3.0 0 0 0 Ground\n"), std::string::npos) << log;
}

using ProjectFileDeath = ProjectFile;

// The log goes to standard error in the dying child, so its section lines can be matched.
void readLoggingToStderr(const std::string& path)
{
    _ulog = stderr;
    prj_read(path.c_str());
}

TEST_F(ProjectFileDeath, ARecordNumberedOutOfPlaceEndsTheRunAfterItsSection)
{
    writeFile(path, replaceFirst(minimalProject(), "1 ! zones\n1 3", "1 ! zones\n2 3"));
    EXPECT_EXIT(readLoggingToStderr(path), ::testing::ExitedWithCode(2),
                AllOf(HasSubstr("ERROR Zone number mis-match: 1 expected, 2 found"),
                      HasSubstr("Zone section read successfully."),
                      Not(HasSubstr("Zone CC section")), Not(HasSubstr("Path section")),
                      HasSubstr("FATAL Project file errors must be fixed.\n")));
}

// Week schedules hold twelve day types; any other day type would select no schedule.
TEST_F(ProjectFileDeath, ADayTypeOutsideOneToTwelveIsAnError)
{
    for (const char* day : {"0", "13"}) {
        writeFile(path, replaceFirst(minimalProject(), "293.15 101325 0 0 0 1 ",
                                     std::string("293.15 101325 0 0 0 ") + day + " "));
        EXPECT_EXIT(readLoggingToStderr(path), ::testing::ExitedWithCode(2),
                    AllOf(HasSubstr(std::string("ERROR Invalid day type ") + day +
                                    " in Run Control: set day_type to a day type of the week schedules, 1 to 12 "
                                    "(e.g. 1)\n"),
                          Not(HasSubstr("Species section")),
                          HasSubstr("FATAL Project file errors must be fixed.\n")));
    }
}

TEST_F(ProjectFileDeath, AnErrorInsideARecordStopsBeforeTheNextSection)
{
    writeFile(path, replaceFirst(minimalProject(), "1 ! paths\n1 1 -1 1 1",
                                 "1 ! paths\n1 1 -1 1 7"));
    EXPECT_EXIT(readLoggingToStderr(path), ::testing::ExitedWithCode(2),
                AllOf(HasSubstr("ERROR Invalid flow element number, path 1\n"),
                      HasSubstr("Path section read successfully."),
                      Not(HasSubstr("Duct Junction section")),
                      HasSubstr("FATAL Project file errors must be fixed.\n")));
}

}  // namespace
