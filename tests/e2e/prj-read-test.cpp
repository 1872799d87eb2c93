// End-to-end reads of project files by the vexlar-x executable under the input-test
// option (-t): the bundled examples read every section without an error, echo themselves
// into the log, and read the same with CRLF line ends; faulty projects end with the
// reader's messages and exit statuses. Each test works in a temporary directory of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "e2e-util.h"
#include "tests/param-names.h"

namespace {

const char* const SECTIONS[] = {
    "Run Control", "Speices", "Level", "Day Schedule", "Week Schedule", "WindP Profile",
    "Kinetic Reaction", "Filter Element", "Filter", "Source/Sink Element", "Airflow Element",
    "Airflow Element", "Controls", "AHS", "Zone", "Zone CC", "Path", "Duct Junction",
    "Duct Junction CC", "Duct Segment", "Source/Sink", "Occupant Day Schedule",
    "Occupant Exposure", "Note"};

std::string withoutCarriageReturns(std::string s)
{
    s.erase(std::remove(s.begin(), s.end(), '\r'), s.end());
    return s;
}

class ProjectRead : public E2eTest {
protected:
    // Puts text into the test directory as name.prj.
    void place(const std::string& name, const std::string& text)
    {
        std::ofstream(dir + name + ".prj", std::ios::binary) << text;
    }
    static std::string example(const std::string& name) { return slurp(examplePath(name)); }
    static std::string fixture(const std::string& name)
    {
        return slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/" + name + ".prj");
    }
    // Runs "vexlar-x -t name.prj" in the test directory.
    Outcome testInput(const std::string& name) { return runEngine("-t " + name + ".prj", name + ".prj"); }
};

// The log from the reader's first line on.
std::string readerPart(const std::string& log)
{
    size_t at = log.find("\nReading project file: ");
    return at == std::string::npos ? std::string() : log.substr(at);
}

class Examples : public ProjectRead, public ::testing::WithParamInterface<const char*> {};

TEST_P(Examples, ReadEverySectionInOrderWithoutAnError)
{
    place(GetParam(), example(GetParam()));
    Outcome r = testInput(GetParam());
    EXPECT_EQ(r.status, 0) << r.err;
    std::string log = readerPart(r.log);
    size_t at = 0;
    for (const char* s : SECTIONS) {
        at = log.find(std::string(s) + " section read successfully.\n", at);
        ASSERT_NE(at, std::string::npos) << s << "\n" << r.err;
    }
    std::string reading = log.substr(0, at);
    EXPECT_EQ(reading.find("ERROR"), std::string::npos) << r.err;
    EXPECT_EQ(reading.find("WARNING"), std::string::npos) << r.err;
    EXPECT_EQ(log.find("FATAL"), std::string::npos) << r.err;
}

TEST_P(Examples, ReadExactlyTheSameWithCrlfLineEnds)
{
    std::string lf = example(GetParam());
    std::string crlf;
    for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    ASSERT_NE(lf, crlf);
    place(GetParam(), lf);
    Outcome a = testInput(GetParam());
    place(GetParam(), crlf);
    Outcome b = testInput(GetParam());
    EXPECT_EQ(a.status, b.status);
    EXPECT_EQ(a.err, b.err);
    EXPECT_EQ(readerPart(a.log), withoutCarriageReturns(readerPart(b.log)));
}

INSTANTIATE_TEST_SUITE_P(Bundled, Examples, ::testing::Values("office", "lab", "catalog"),
                         testnames::named([](const char* s) { return std::string(s); }));

TEST_F(ProjectRead, TheInputTestEchoesTheProjectIntoTheLog)
{
    std::string text = example("office");
    place("office", text);
    Outcome r = testInput("office");
    ASSERT_EQ(r.status, 0) << r.err;
    // The log holds the project from its second line to the last end word, with the
    // section lines in between.
    std::string log = readerPart(r.log);
    std::string echoed;
    std::istringstream lines(log.substr(log.find('\n', 1) + 1));
    for (std::string line; std::getline(lines, line);) {
        if (line.find(" section read successfully.") != std::string::npos) continue;
        echoed += line + "\n";
        if (echoed.size() >= text.size()) break;
    }
    std::string expected = text.substr(text.find('\n') + 1);
    expected = expected.substr(0, expected.rfind("-999") + 5);
    EXPECT_EQ(echoed.substr(0, expected.size()), expected);
}

TEST_F(ProjectRead, ABadReferenceEndsTheRunWithStatusTwoBeforeTheNextSection)
{
    place("bad", fixture("bad-element"));
    Outcome r = testInput("bad");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ERROR Invalid flow element number, path 1\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("FATAL Project file errors must be fixed.\n"), std::string::npos);
    EXPECT_NE(r.log.find("Path section read successfully."), std::string::npos);
    EXPECT_EQ(r.log.find("Duct Junction section"), std::string::npos);
}

TEST_F(ProjectRead, AMissingEndWordNamesItsSection)
{
    place("noend", fixture("no-end-word"));
    Outcome r = testInput("noend");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ERROR PRJ read error in Zone section; enable the echo feature then "
                         "see Log file for where error occurred: the count says 1 record; "
                         "after it the file has 0 where -999 should end the section\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.log.find("Zone CC section"), std::string::npos);
}

TEST_F(ProjectRead, AnOlderFormatIsRejectedAsAFailedRead)
{
    place("old", fixture("old-version"));
    Outcome r = testInput("old");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ERROR old.prj\n is a VexlarW 3.3 file\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.log.find("Run Control section"), std::string::npos) << r.log;
}

TEST_F(ProjectRead, AFileEndingInItsLastEndWordReadsFine)
{
    place("last", fixture("no-final-newline"));
    Outcome r = testInput("last");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.log.find("Note section read successfully."), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("PRJ read error"), std::string::npos) << r.err;
}

}  // namespace
