// End-to-end stop of a transient run on request: a generated building's year of hourly
// steps gets Ctrl-C (or a termination signal, or the hang-up of a closed terminal) once its progress lines reach the end of
// Jan02, under the implicit transport and under the stiff integrator. The run ends with
// status 1 at the end of a whole step, says in its log where, and leaves a sound results
// database that holds every listed step up to the stop, each in full.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "e2e-sqlite.h"
#include "e2e-util.h"
#include "tests/param-names.h"

namespace {

constexpr int ZONES = 200;

int32_t word(const std::string& b, size_t off)
{
    return (int32_t)((uint8_t)b[off] | (uint8_t)b[off + 1] << 8 | (uint8_t)b[off + 2] << 16 |
                     (uint32_t)(uint8_t)b[off + 3] << 24);
}
using Rows = std::vector<std::vector<double>>;

struct Case {
    int sig;
    int mfSolver;   // 0 implicit transport, 2 stiff integrator
};

void PrintTo(const Case& c, std::ostream* os) { *os << "signal " << c.sig << ", mf_solver " << c.mfSolver; }

class StopRun : public E2eTest, public ::testing::WithParamInterface<Case> {
protected:
    // Starts vexlar-x on b.prj with the signals' default actions, as from a terminal, and
    // its standard error to a file; sends the signal once that holds "Jan02" and returns the
    // exit status (-1 when the run ended first or made no progress in a minute).
    int stopRun(int sig)
    {
        const std::string err = dir + "stderr.txt";
        pid_t pid = startEngine(dir, "b.prj", err);
        int status = 0;
        for (int ms = 0; ms < 60000 && slurp(err).find("Jan02") == std::string::npos; ms += 5) {
            if (waitpid(pid, &status, WNOHANG) == pid) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        kill(pid, sig);
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_P(StopRun, StopsAtAWholeStepWithItsResultsSound)
{
    if (std::system("python3 -c 'pass' >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    const Case c = GetParam();
    std::string gen = "python3 '" VEXLAR_SOURCE_DIR "/tools/gen-building.py' " + std::to_string(ZONES) +
                      " --transient --species --results -o '" + dir + "g.prj'";
    ASSERT_EQ(std::system(gen.c_str()), 0);
    std::string solver = std::to_string(c.mfSolver) + " 0 0 0.1 0 0";
    // The stiff integrator holds the airflows of each step's start over the whole step: at
    // 1e-6 and steps of at most 30 s, a run resumed from its record follows the unbroken one
    // to about 2e-5 wherever it stopped. Unbounded steps leave up to 4e-4 between them.
    std::string prj = edited(slurp(dir + "g.prj"), {{"0 0 0 0.1 0 0", solver}, {"1 1e-4 1e-15 0", "1 1e-6 1e-15 30"}});
    // The air-change, concentration and age-of-air statistics on.
    const std::string summaries = "\n0 0 1 1 1\n0 0 0 0 0 0 0 0\n";
    ASSERT_NE(prj.find(summaries), std::string::npos);
    prj.replace(prj.find(summaries), summaries.size(), "\n0 0 1 1 1\n0 0 1 1 0 0 0 1\n");
    std::ofstream(dir + "b.prj") << prj;
    EXPECT_EQ(stopRun(c.sig), 1) << slurp(dir + "stderr.txt");

    // Where it stopped, as day of the year and seconds of the day.
    std::string log = slurp(dir + "b.xlog");
    const std::string said = "Simulation stopped on request after the step ending ";
    size_t at = log.find(said);
    ASSERT_NE(at, std::string::npos) << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
    char month[4] = "";
    int date = 0, h = 0, m = 0, s = 0;
    ASSERT_EQ(sscanf(log.c_str() + at + said.size(), "%3s%d %d:%d:%d", month, &date, &h, &m, &s), 5);
    ASSERT_EQ(std::string(month), "Jan");
    const int day = date, time = 3600 * h + 60 * m + s;
    EXPECT_EQ(log.substr(log.size() - 18), "VexlarX finish(1)\n");
    EXPECT_EQ(log.find("Simulation completed successfully."), std::string::npos);
    // After the end of Jan02 was shown; the implicit transport steps by the hour.
    EXPECT_GE(86400 * day + time, 2 * 86400);
    if (c.mfSolver == 0) {
        EXPECT_EQ(time % 3600, 0);
    }

    const std::string db = dir + "b.sqlite3";
    EXPECT_EQ(sqlRows(db, "SELECT integrity_check = 'ok' FROM pragma_integrity_check"), Rows{{1}});
    for (const char* side : {"-journal", "-wal", "-shm"}) EXPECT_FALSE(exists(db + side)) << side;
    // Listed: the start, then every hour and each new day's midnight, up to the stop.
    const double steps = 1 + 25 * (day - 1) + time / 3600;
    EXPECT_EQ(sqlRows(db, "SELECT COUNT(*), MAX(TimeID) FROM TIME"), (Rows{{steps, steps}}));
    EXPECT_EQ(sqlRows(db, "SELECT dayofyear, Time FROM TIME WHERE TimeID = (SELECT MAX(TimeID) FROM TIME)"),
              (Rows{{(double)day, (double)(time - time % 3600)}}));
    // Every listed step whole: fewest and most rows of a step, and the steps with rows.
    const double paths = sqlRows(db, "SELECT npaths FROM SIMINFO").at(0).at(0);
    const std::pair<const char*, double> perStep[] = {
        {"AMBIENTCONDITIONS", 1}, {"NODEZONEFLOWDATA", ZONES}, {"LINKPATHDATA", paths}};
    for (auto [table, rows] : perStep) {
        std::string sql = std::string("SELECT MIN(n), MAX(n), COUNT(*) FROM (SELECT COUNT(*) n FROM ") + table +
                          " GROUP BY TimeID)";
        EXPECT_EQ(sqlRows(db, sql.c_str()), (Rows{{rows, rows, steps}})) << table;
    }
    // Every header that names the run's period names the period simulated, as if the run
    // had been planned to end at the stop: SIM date1 and time1, the restart file's date1,
    // the database's Date1 and Time1, the text statistics' last day.
    const std::string sim = slurp(dir + "b.sim"), rst = slurp(dir + "b.rst");
    ASSERT_GE(sim.size(), 68u);
    ASSERT_GE(rst.size(), 40u);
    EXPECT_EQ(word(sim, 36), day);
    EXPECT_EQ(word(sim, 40), time);
    EXPECT_EQ(word(rst, 32), day);
    EXPECT_EQ(sqlRows(db, "SELECT Date1, Time1 FROM SIMINFO"), (Rows{{(double)day, (double)time}}));
    const std::string lastDay = "1/" + std::to_string(day);
    EXPECT_EQ(fieldsOf(slurp(dir + "b.ach"), "1/1\t").at(1), lastDay);
    EXPECT_EQ(fieldsOf(slurp(dir + "b.cbw"), std::to_string(ZONES) + "\t").at(3), lastDay);
    EXPECT_EQ(fieldsOf(slurp(dir + "b.age"), std::to_string(ZONES) + "\t").at(2), lastDay);
    // The restart file ends with the record of the stop's day: a later day is not in it.
    std::string next = std::string(day < 9 ? "Jan0" : "Jan") + std::to_string(day + 1);
    std::ofstream(dir + "b.prj") << edited(prj, {{"0 Jan15 0:00:00", "1 " + next + " 0:00:00"}});
    Outcome missing = runEngine("b.prj", "b.prj");
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("FATAL Restart failed to find date\n"), std::string::npos) << missing.err;
    EXPECT_TRUE(slurp(dir + "b.rst") == rst);

    // Resumed at the stop from its record (0:00 of the next day for a stop at 24:00), the
    // run lists up to the end of the next day as the run that was not stopped: at the same
    // times, and with the same concentrations (the stiff integrator, restarted there, within
    // 1e-4).
    const std::string stopDay = std::string(day < 10 ? "Jan0" : "Jan") + std::to_string(day);
    char start[32];
    if (time < 86400) snprintf(start, sizeof start, "%s %d:%02d:%02d", stopDay.c_str(), h, m, s);
    else snprintf(start, sizeof start, "%s 0:00:00", next.c_str());
    const std::string period = " " + next + " 24:00:00 1:00:00 1:00:00 24:00:00";
    std::ofstream(dir + "b.prj") << edited(prj, {{"Jan01 0:00:00 Jan01 0:00:00 Dec31", "Jan01 0:00:00 Jan01 0:00:00" + period}});
    ASSERT_EQ(runEngine("b.prj", "b.prj").status, 0);
    std::rename(db.c_str(), (dir + "whole.sqlite3").c_str());
    std::ofstream(dir + "b.rst", std::ios::binary) << rst;
    std::ofstream(dir + "b.prj") << edited(prj, {{"Jan01 0:00:00 Jan01 0:00:00 Dec31", "Jan01 0:00:00 " + std::string(start) + period},
                                                 {"0 Jan15 0:00:00", "1 " + stopDay + " 0:00:00"}});
    Outcome resumed = runEngine("b.prj", "b.prj");
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    EXPECT_EQ(resumed.err.find("WARNING"), std::string::npos) << resumed.err;
    const std::string rest = "SELECT t.Time, z.ZoneNumber, z.C0 FROM TIME t JOIN NODEZONECCDATA z ON z.TimeID = t.TimeID "
                             "WHERE (t.dayofyear - " + std::to_string(day) + ") * 86400 + t.Time > " +
                             std::to_string(time) + " ORDER BY t.TimeID, 2";
    const Rows want = sqlRows(dir + "whole.sqlite3", rest.c_str()), got = sqlRows(db, rest.c_str());
    ASSERT_EQ(got.size(), want.size());
    ASSERT_GE(want.size(), (size_t)ZONES);
    for (size_t i = 0; i < want.size(); i++) {
        ASSERT_EQ(got[i][0], want[i][0]);
        EXPECT_NEAR(got[i][2], want[i][2], (c.mfSolver ? 1e-4 : 0.0) * want[i][2]) << "time " << want[i][0] << ", zone " << want[i][1]
                                                                                     << ", stopped at day " << day << ", " << time << " s";
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, StopRun, ::testing::Values(Case{SIGINT, 0}, Case{SIGTERM, 0}, Case{SIGHUP, 0}, Case{SIGINT, 2}),
                         testnames::named([](const Case& c) {
                             return std::string(c.sig == SIGINT ? "Interrupt" : c.sig == SIGTERM ? "Terminate" : "Hangup") +
                                    (c.mfSolver ? "StiffIntegrator" : "Implicit");
                         }));

}  // namespace
