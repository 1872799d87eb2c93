// End to end: the mistakes a user makes in a project file, each run by the real vexlar-x
// on ventilated-co2.prj with one or two lines changed. A plausible value that does nothing
// gets a WARNING that says what the run does instead, and the run still writes its
// results; a word the reader cannot take is an ERROR followed by the file, the line, the
// section and the record or field where it stands, on the terminal and in the log.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"
#include "tests/param-names.h"

namespace {

const char* const CLOCK = "Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00 0:10:00 1:00:00 6:00:00";
const Edit TRANSIENT{"1 0 1e-4 1e-15 0 0", "2 0 1e-4 1e-15 0 0"};   // sim_mf 2
const Edit STIFF{"0 0 0 0.1 0 0", "2 0 0 0.1 0 0"};                 // mf_solver 2

Edit clock(const std::string& line) { return {CLOCK, line}; }

struct Mistake {
    const char* name;
    std::vector<Edit> edits;
    int status;
    const char* level;     // "WARNING" or "ERROR": the text is the one message of this level
    const char* text;      // "%d" stands for the line of the first edit; "": no such message
    int listed;            // rows of the TIME table, -1 not checked
    int last_day, last_time;   // its last row, day 0 not checked
};

void PrintTo(const Mistake& m, std::ostream* os) { *os << m.name; }

// Ends before it starts on one day; lists more often than it steps.
const Edit BACKWARDS = clock("Jan01 0:00:00 Jan01 10:00:00 Jan01 8:00:00 0:10:00 0:10:00 1:00:00");
const char* const ONE_STEP = "End time 08:00:00 is not after the start time 10:00:00 on Jan01: the "
                             "run ends after its first step, at 10:10:00";
const Edit SHORT_LISTING =
    clock("Jan01 0:00:00 Jan01 0:00:00 Jan01 2:00:00 0:10:00 0:05:00 6:00:00");

const Mistake MISTAKES[] = {
    {"SourceNamingASpeciesNotSimulated", {{"1 CO2 ccf people", "1 C02 ccf people"}}, 0, "WARNING",
     "Source/sink element people names species C02, which is not simulated: it releases and "
     "removes nothing", 1, 1, 0},
    // Dec30, Dec31 and Jan01.
    {"EndDateBeforeStartDate",
     {TRANSIENT, clock("Jan01 0:00:00 Dec30 0:00:00 Jan01 2:00:00 1:00:00 1:00:00 6:00:00")}, 0,
     "WARNING",
     "End date Jan01 is before the start date Dec30: the run wraps the year and runs 3 days",
     -1, 1, 7200},
    {"EndTimeBeforeStartTimeImplicit", {TRANSIENT, BACKWARDS}, 0, "WARNING", ONE_STEP, 2, 1, 36600},
    {"EndTimeBeforeStartTimeStiff", {TRANSIENT, STIFF, BACKWARDS}, 0, "WARNING", ONE_STEP, 2, 1,
     36600},
    // Two hours listed every 10 min by the implicit method, every 5 min by the integrator.
    {"ListingStepShorterThanTimeStep", {TRANSIENT, SHORT_LISTING}, 0, "WARNING",
     "Listing time step 00:05:00 is shorter than the time step 00:10:00: results are listed only "
     "at the ends of time steps", 13, 1, 7200},
    {"ListingStepShorterThanTimeStepStiff", {TRANSIENT, STIFF, SHORT_LISTING}, 0, "WARNING", "",
     25, 1, 7200},
    {"WeatherFileUnderSteadyAirflow", {{"null   ! weather file", "gone.wth   ! weather file"}}, 0,
     "WARNING",
     "Weather file gone.wth is not read: airflow is steady (sim_af 0): the ambient state of Run "
     "Control is used", 1, 1, 0},
    {"BadDateInRunControl",
     {clock("Jan01 0:00:00 Jna01 0:00:00 Jan01 24:00:00 0:10:00 1:00:00 6:00:00")}, 2, "ERROR",
     "Jna01 is not a valid date\n  in mistake.prj, line %d, Run Control section, field start_date",
     -1, 0, 0},
    {"BadFloatInAZone",
     {{"1 3 0 0 0 1 0 50 293.15 0 Room", "1 3 0 0 0 1 0 50 293.15 7S Room 0 0 0 0 0 0 0 0"}}, 2,
     "ERROR", "Bad float value: 7S\n  in mistake.prj, line %d, Zone section, record 1", -1, 0, 0},
    // A tolerance that is no number: once, as written, at its field, with a value that works.
    {"StiffToleranceNotANumber", {{"1 1e-4 1e-15 0", "0 nan 1e-15 0"}, TRANSIENT, STIFF}, 2, "ERROR",
     "Invalid cv_rtol nan in Run Control: set the stiff integrator's relative tolerance above 0 (e.g. "
     "1e-6)\n  in mistake.prj, line %d, Run Control section, field cv_rtol", -1, 0, 0},
    // Saved by an editor that puts a byte-order mark before the first line.
    {"ProjectWithAByteOrderMark", {{"VexlarW 3.4.0.0 0", "\xEF\xBB\xBFVexlarW 3.4.0.0 0"}}, 0, "ERROR", "",
     1, 1, 0},
    // A bad reference is its record's one ERROR: the section's count is right.
    {"BadReferenceInASource", {{"1 1 1 0 0 1 0", "1 1 3 0 0 1 0 0 0 0 0 0 0 0 0 0 0"}}, 2, "ERROR",
     "Invalid element number, source 1\n  in mistake.prj, line %d, Source/Sink section, record 1",
     -1, 0, 0},
    {"SectionCountAboveItsRecords", {{"1 ! sources", "2 ! sources"}}, 2, "ERROR",
     "S/S number mis-match: 2 expected, -999 found: the section ends after 1 record, so set its "
     "count to 1", -1, 0, 0},
    {"SectionCountBelowItsRecords", {{"1 ! sources", "0 ! sources"}}, 2, "ERROR",
     "PRJ read error in Source/Sink section; enable the echo feature then see Log file for where "
     "error occurred: the count says 0 records; after them the file has 1 where -999 should end "
     "the section", -1, 0, 0},
};

// The line (from 1) of the text that begins with head; 0 when none does.
int lineOf(const std::string& text, const std::string& head)
{
    std::istringstream in(text);
    int n = 0;
    for (std::string line; std::getline(in, line);) {
        ++n;
        if (line.rfind(head, 0) == 0) return n;
    }
    return 0;
}

int occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

class UserMistake : public E2eTest, public ::testing::WithParamInterface<Mistake> {};

TEST_P(UserMistake, GetsItsMessageAndLosesNothing)
{
    const Mistake& m = GetParam();
    std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/ventilated-co2.prj");
    std::string text = edited(prj, m.edits);
    std::ofstream(dir + "mistake.prj") << text;
    char message[1024];
    snprintf(message, sizeof message, m.text, lineOf(text, m.edits.front().second));

    Outcome r = runEngine("mistake", "mistake.prj");
    EXPECT_EQ(r.status, m.status) << r.err;
    std::string level = m.level;
    if (message[0]) {
        EXPECT_NE(r.err.find(level + " " + message + "\n"), std::string::npos) << r.err;
        EXPECT_NE(r.log.find(std::string("\n ") + message + "\n"), std::string::npos) << r.log;
    }
    EXPECT_EQ(occurrences(r.err, level + " "), message[0] ? 1 : 0) << r.err;

    std::string db = dir + "mistake.sqlite3";
    if (m.status != 0) {
        EXPECT_NE(r.err.find("FATAL Project file errors must be fixed.\n"), std::string::npos);
        EXPECT_FALSE(exists(db));
        return;
    }
    EXPECT_NE(r.log.find("Simulation completed successfully."), std::string::npos) << r.log;
    auto times = sqlRows(db, "SELECT dayofyear, Time FROM TIME ORDER BY TimeID");
    ASSERT_FALSE(times.empty());
    if (m.listed >= 0) {
        EXPECT_EQ((int)times.size(), m.listed);
    }
    if (m.last_day > 0) {
        EXPECT_EQ(times.back()[0], m.last_day);
        EXPECT_EQ(times.back()[1], m.last_time);
    }
}

INSTANTIATE_TEST_SUITE_P(ProjectFile, UserMistake, ::testing::ValuesIn(MISTAKES),
                         testnames::named([](const Mistake& m) { return std::string(m.name); }));

}  // namespace
