// A resumed run continues the run it resumes, under every transport method: the heavy gas
// room (air and CO2 both non-trace) and the large filtered room (trace CO2) each run from
// Jan01 0:00 to Jan02 6:00 whole, then again from the record of Jan01 24:00 and from the
// record of a run that ended part-way through Jan01, between two listing times. Every
// listing time the resumed run shares with the whole run lists the same day type,
// concentrations, densities and flows: to the last bit for the implicit, trapezoidal and
// short-time-step methods, within the stiff integrator's tolerance for it. Without a
// weather file the week goes on from the project's day type 5: Jan02 is day type 6.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

struct Resume {
    const char* name;
    const char* project;         // tests/e2e/prj, without ".prj"
    std::vector<Edit> method;    // the transport method's lines
    const char* steps;           // time step, listing step, screen step
    const char* partEnd;         // end time of the part-day run, between listing times
    const char* species;         // the zone concentration columns
    double tolerance;            // relative, of concentrations; 0 for equal to the last bit
    // Relative, of densities and flows. The stiff integrator lists those of the airflow
    // solution at the start of its step, whose length differs in the resumed run.
    double flowTolerance;
};

void PrintTo(const Resume& c, std::ostream* os) { *os << c.name; }

// Results of every listed time, by seconds from Jan01 0:00 (Jan01 24:00 and Jan02 0:00 are
// one time): the day type, then per zone its concentrations and density, per path its flows.
using Listings = std::map<int, std::vector<double>>;

Listings listings(const std::string& db, const char* species)
{
    // Midnight is listed twice, as 24:00 of one day and 0:00 of the next: as the latter here.
    Listings l;
    std::map<int, double> listing;   // the TIME row of each time
    const std::string key = "SELECT (t.dayofyear - 1) * 86400 + t.Time, t.TimeID, ";
    for (const std::vector<double>& row : sqlRows(db, (key + "t.daytype FROM TIME t ORDER BY 2").c_str())) {
        listing[(int)row[0]] = row[1];
        l[(int)row[0]] = {row[2]};
    }
    const std::string queries[] = {
        key + std::string(species) + " FROM TIME t JOIN NODEZONECCDATA z ON z.TimeID = t.TimeID ORDER BY 1, z.ZoneNumber",
        key + "z.Density FROM TIME t JOIN NODEZONEFLOWDATA z ON z.TimeID = t.TimeID ORDER BY 1, z.ZoneNumber",
        key + "p.Flow0, p.Flow1 FROM TIME t JOIN LINKPATHDATA p ON p.TimeID = t.TimeID ORDER BY 1, p.PathNumber"};
    for (const std::string& q : queries)
        for (const std::vector<double>& row : sqlRows(db, q.c_str()))
            if (row[1] == listing[(int)row[0]]) l[(int)row[0]].insert(l[(int)row[0]].end(), row.begin() + 2, row.end());
    return l;
}

class ResumedRun : public E2eTest, public ::testing::WithParamInterface<Resume> {
protected:
    // run.prj from `start` to `end`, resumed from the record of rstDate when it is given.
    void write(const std::string& start, const std::string& end, const std::string& rstDate = "")
    {
        const Resume& c = GetParam();
        std::vector<Edit> e = c.method;
        e.push_back({"Jan01 0:00:00 Jan01", "Jan01 0:00:00 " + start + " " + end + " " + c.steps});
        e.push_back({"0 Jan01 0:00:00", (rstDate.empty() ? "0 Jan01" : "1 " + rstDate) + " 0:00:00"});
        e.push_back({"293.15 101325 0 0 0 1 ", "293.15 101325 0 0 0 5 0 0 0 0"});
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/" + c.project + ".prj");
        std::ofstream(dir + "run.prj") << edited(prj, e);
    }
    // Runs run.prj from the restart file `rst` when it is given; its database as Listings.
    Listings run(const std::string& rst = "")
    {
        if (!rst.empty()) std::ofstream(dir + "run.rst", std::ios::binary) << rst;
        Outcome r = runEngine("run.prj", "run.prj");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err.find("WARNING"), std::string::npos) << r.err;
        return listings(dir + "run.sqlite3", GetParam().species);
    }
    // The resumed run lists from its start, at `from` seconds, every time the whole run
    // lists from then on to the end, with the same results, and no other time.
    void expectContinues(const Listings& resumed, int from)
    {
        const Resume& c = GetParam();
        const size_t species = 1 + std::count(c.species, c.species + strlen(c.species), ',');
        int shared = 0;
        for (const auto& [t, want] : whole) {
            if (t < from) continue;
            auto got = resumed.find(t);
            ASSERT_NE(got, resumed.end()) << "not listed at " << t << " s";
            ASSERT_EQ(got->second.size(), want.size()) << t;
            EXPECT_EQ(got->second[0], t < 86400 ? 5 : 6) << "day type at " << t << " s";
            for (size_t k = 0; k < want.size(); k++) {
                const double tol = k <= species ? c.tolerance : c.flowTolerance;
                EXPECT_NEAR(got->second[k], want[k], tol * std::fabs(want[k])) << "at " << t << " s, value " << k;
            }
            shared++;
        }
        for (const auto& [t, v] : resumed)
            EXPECT_TRUE(whole.count(t)) << "listed at " << t << " s, off the whole run's times";
        EXPECT_GE(shared, 6) << "listings compared";
    }
    Listings whole;
};

int seconds(const std::string& hms)
{
    int h = 0, m = 0, s = 0;
    sscanf(hms.c_str(), "%d:%d:%d", &h, &m, &s);
    return 3600 * h + 60 * m + s;
}

TEST_P(ResumedRun, ListsEveryTimeTheWholeRunListsAsItDid)
{
    const Resume& c = GetParam();
    write("Jan01 0:00:00", "Jan02 6:00:00");
    whole = run();
    const std::string wholeRst = slurp(dir + "run.rst");
    ASSERT_FALSE(whole.empty());

    // From the record of the end of Jan01, at 0:00 of Jan02.
    write("Jan02 0:00:00", "Jan02 6:00:00", "Jan01");
    expectContinues(run(wholeRst), 86400);

    // From the record of a run that ended between two listing times.
    write("Jan01 0:00:00", std::string("Jan01 ") + c.partEnd);
    run();
    const std::string partRst = slurp(dir + "run.rst");
    write(std::string("Jan01 ") + c.partEnd, "Jan02 6:00:00", "Jan01");
    const int from = seconds(c.partEnd);
    ASSERT_NE(from % seconds(std::string(c.steps).substr(8)), 0) << "between listing times";
    expectContinues(run(partRst), from);
}

// The heavy gas room's methods; its integrator's relative tolerance is 1e-6.
const Edit HEAVY_GAS_IMPLICIT = {"2 0 0 0.1 0 0", "0 0 0 0.1 0 0"};
// The filtered room enlarged a hundredfold fills with CO2 over some 30 hours; its
// integrator's relative tolerance is 1e-4.
const Edit LARGE_ROOM = {"1 3 0 0 0 1 0 50 293.15 0 Room", "1 3 0 0 0 1 0 5000 293.15 0 Room 0 0 0 0 0 0 0 0"};

const Resume RESUMES[] = {
    {"NonTraceImplicit", "heavy-gas", {HEAVY_GAS_IMPLICIT}, "0:05:00 0:10:00 6:00:00", "0:35:00", "z.C0, z.C1", 0.0, 0.0},
    {"NonTraceTrapezoidal", "heavy-gas", {HEAVY_GAS_IMPLICIT, {"0 1 100 1e-6 1e-15 1.1 1 0", "0 1 100 1e-6 1e-15 1.1 0.5 0"}},
     "0:05:00 0:10:00 6:00:00", "0:35:00", "z.C0, z.C1", 0.0, 0.0},
    {"NonTraceShortTimeStep", "heavy-gas", {{"2 0 0 0.1 0 0", "1 0 0 0.1 0 0"}}, "0:05:00 0:10:00 6:00:00", "0:35:00",
     "z.C0, z.C1", 0.0, 0.0},
    // The storage term of the airflows reads each zone's change of air mass over the step before.
    {"NonTraceShortTimeStepStorage", "heavy-gas", {{"2 0 0 0.1 0 0", "1 0 0 0.1 0 0"}, {"1 0 10 0 0 0 0", "1 0 10 0 0 0 1"}},
     "0:05:00 0:10:00 6:00:00", "0:35:00", "z.C0, z.C1", 0.0, 0.0},
    {"NonTraceStiffIntegrator", "heavy-gas", {}, "0:05:00 0:10:00 6:00:00", "2:32:05", "z.C0, z.C1", 1e-5, 1e-4},
    // The storage term takes the length of the integrator's last step before the record
    // (without it, the midnight resume is 6.6e-5 off). A run ended at 2:32:05 cut its last
    // step there, which the whole run did not: their steps differ by the integrator's own
    // error, within twenty times its tolerance.
    {"NonTraceStiffIntegratorStorage", "heavy-gas", {{"1 0 10 0 0 0 0", "1 0 10 0 0 0 1"}}, "0:05:00 0:10:00 6:00:00",
     "2:32:05", "z.C0, z.C1", 2e-5, 2e-4},
    {"TraceImplicit", "filtered-supply", {LARGE_ROOM}, "0:10:00 1:00:00 6:00:00", "10:30:00", "z.C0", 0.0, 0.0},
    {"TraceTrapezoidal", "filtered-supply", {LARGE_ROOM, {"0 1 100 1e-4 1e-15 1.1 1 0", "0 1 100 1e-4 1e-15 1.1 0.5 0"}},
     "0:10:00 1:00:00 6:00:00", "10:30:00", "z.C0", 0.0, 0.0},
    {"TraceShortTimeStep", "filtered-supply", {LARGE_ROOM, {"0 0 0 0.1 0 0", "1 0 0 0.1 0 0"}}, "0:10:00 1:00:00 6:00:00",
     "10:30:00", "z.C0", 0.0, 0.0},
    {"TraceStiffIntegrator", "filtered-supply", {LARGE_ROOM, {"0 0 0 0.1 0 0", "2 0 0 0.1 0 0"}, {"1 1e-4 1e-15 0", "1 1e-7 1e-15 0"}},
     "0:10:00 1:00:00 6:00:00", "10:32:05", "z.C0", 1e-4, 1e-4},
};

// The restart file of a transient run on a full device: its records fail when the file is
// closed, or, when a record is larger than the file's buffer (the corridor of duct-loop in
// 1 cm cells), as it is written; the run ends with a FATAL that gives the system's reason
// instead of success, the file (the link) removed.
struct FullDisk {
    const char* name;
    const char* project;
    std::vector<Edit> edits;
    std::vector<const char*> messages;
};

void PrintTo(const FullDisk& c, std::ostream* os) { *os << c.name; }

class RestartFile : public E2eTest, public ::testing::WithParamInterface<FullDisk> {};

TEST_P(RestartFile, TheDiskRefusesEndsTheRunWithTwo)
{
    const FullDisk& c = GetParam();
    std::ofstream(dir + "run.prj") << edited(slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/" + c.project + ".prj"),
                                             c.edits);
    ASSERT_EQ(symlink("/dev/full", (dir + "run.rst").c_str()), 0);
    Outcome r = runEngine("run.prj", "run.prj");
    EXPECT_EQ(r.status, 2);
    for (const char* m : c.messages) EXPECT_NE(r.err.find(m), std::string::npos) << r.err;
    EXPECT_EQ(r.log.find("Simulation completed successfully."), std::string::npos);
    EXPECT_EQ(r.log.substr(r.log.size() - 18), "VexlarX finish(2)\n");
    struct stat st;
    EXPECT_NE(lstat((dir + "run.rst").c_str(), &st), 0);
}

const FullDisk FULL_DISKS[] = {
    {"OnClosing", "heavy-gas", {},
     {"ERROR Could not write result file run.rst\n", "FATAL Results of this run could not be written in full\n"}},
    {"OnWriting", "duct-loop", {{"1 1 1 0.5 0 0", "1 1 1 0.01 0 0"}}, {"FATAL RST write failed (No space left on device)\n"}},
};

INSTANTIATE_TEST_SUITE_P(Restart, RestartFile, ::testing::ValuesIn(FULL_DISKS),
                         [](const ::testing::TestParamInfo<FullDisk>& i) { return std::string(i.param.name); });

// ---- A resume into a project that differs from the one the record was written for -------

// The heavy gas room run through Jan01, then resumed on Jan02 from the record of Jan01 with
// one change: refused with the message naming the first difference, the record kept.
struct Differs {
    const char* name;
    std::vector<Edit> method;   // both runs
    Edit change;                // the resumed run only
    const char* message;
};

void PrintTo(const Differs& c, std::ostream* os) { *os << c.name; }

class DiffersFromRecord : public E2eTest, public ::testing::WithParamInterface<Differs> {
protected:
    void write(bool resumed)
    {
        const Differs& c = GetParam();
        std::vector<Edit> e = c.method;
        e.push_back({"Jan01 0:00:00 Jan01", std::string("Jan01 0:00:00 ") + (resumed ? "Jan02 0:00:00" : "Jan01 0:00:00") +
                                                " Jan02 24:00:00 0:05:00 1:00:00 6:00:00"});
        if (resumed) {
            e.push_back({"0 Jan01 0:00:00", "1 Jan01 0:00:00"});
            e.push_back(c.change);
        }
        std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/heavy-gas.prj");
        std::ofstream(dir + "run.prj") << edited(prj, e);
    }
};

TEST_P(DiffersFromRecord, IsRefusedNamingTheFirstDifference)
{
    write(false);
    Outcome whole = runEngine("run.prj", "run.prj");
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string rst = slurp(dir + "run.rst");
    write(true);
    Outcome r = runEngine("run.prj", "run.prj");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(std::string("FATAL Data mis-match in restart file: ") + GetParam().message + "\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(slurp(dir + "run.rst") == rst) << "the record stays as it was";
    EXPECT_FALSE(exists(dir + "run.sqlite3"));
}

const Differs DIFFERS[] = {
    {"SpeciesReordered", {}, {"2 1 2 ! simulated species", "2 2 1 ! simulated species"},
     "species 1 was Air in the record, is CO2 in the project"},
    {"MethodChanged", {}, {"2 0 0 0.1 0 0", "0 0 0 0.1 0 0"},
     "the transport method (mf_solver) was 2 in the record, is 0 in the project"},
    {"WeightingChanged", {{"2 0 0 0.1 0 0", "0 0 0 0.1 0 0"}}, {"0 1 100 1e-6 1e-15 1.1 1 0", "0 1 100 1e-6 1e-15 1.1 0.5 0"},
     "the non-trace time weight (mfn_theta) was 1 in the record, is 0.5 in the project"},
    {"StorageTermChanged", {}, {"1 0 10 0 0 0 0", "1 0 10 0 0 0 1"},
     "the storage term (dodMdt) was 0 in the record, is 1 in the project"},
};

INSTANTIATE_TEST_SUITE_P(Restart, DiffersFromRecord, ::testing::ValuesIn(DIFFERS),
                         [](const ::testing::TestParamInfo<Differs>& i) { return std::string(i.param.name); });

INSTANTIATE_TEST_SUITE_P(Restart, ResumedRun, ::testing::ValuesIn(RESUMES),
                         [](const ::testing::TestParamInfo<Resume>& i) { return std::string(i.param.name); });

}  // namespace
