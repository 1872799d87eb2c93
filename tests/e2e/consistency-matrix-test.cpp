// Results do not depend on how a run is cut, weighted or booked. Two rooms one above the
// other (tests/e2e/prj/consistency.prj) under a stack flow that reverses at midnight, with
// a ramped release of CO2, a decaying release, a burst and a sink of a tracer, and a fan
// through a filter that loads up, driven by a lagged CO2 sensor through a controller, run
// from Jan01 20:00 to Jan02 4:00. Every row crosses a transport method, the species (two
// trace species, or air and CO2 non-trace with the tracer), the storage term and a cut:
// unbroken, resumed from the record of midnight, or stopped by SIGTERM and resumed from the
// stop's record; unbroken from the steady contaminant solution too, but for the stiff
// integrator, which runs no steady contaminants. Each row checks what the user relies on:
// the same listing times and values as the unbroken run, summary books that add up across
// the cut, close the species balance and the filters' own, the same series with or without
// the summary files, a stop that keeps every result, and no success with a value no mass
// fraction can have. The stiff integrator runs the network without the burst, which it
// refuses: a row of its own.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

enum Method { IMPLICIT, TRAPEZOIDAL, SHORT_STEP, STIFF };
enum Species { TRACE, NON_TRACE };
enum Cut { UNBROKEN, MIDNIGHT, STOP, REFUSED, STEADY_START };
const char* const METHODS[] = {"Implicit", "Trapezoidal", "ShortStep", "Stiff"};
const char* const SPECIES[] = {"Trace", "NonTrace"};
const char* const CUTS[] = {"Unbroken", "Midnight", "Stopped", "Refused", "SteadyStart"};

const int START = 72000, END = 86400 + 4 * 3600, LIST = 900;   // seconds from Jan01 0:00
const double VOLUME = 50.0;                                    // of each room [m3]
const double CV_RTOL = 1e-6;

// The summary books of a .csm per species: released, removed, challenged, passed, loaded,
// from the outdoors, to the outdoors [kg].
enum Book { RELEASED, REMOVED, CHALLENGED, PASSED, LOADED, FROM, TO, BOOKS };
const char* const BOOK_NAMES[] = {"released", "removed", "challenged", "passed", "loaded", "from", "to"};
using Books = std::map<std::string, std::array<double, BOOKS>>;

std::vector<std::string> tabs(const std::string& line)
{
    std::vector<std::string> f;
    std::istringstream l(line);
    for (std::string w; std::getline(l, w, '\t');) f.push_back(w);
    return f;
}

// The lines of the section that follows the line `title`, after `skip` lines, up to the
// next empty line.
std::vector<std::vector<std::string>> section(const std::string& csm, const std::string& title, int skip)
{
    std::vector<std::vector<std::string>> rows;
    size_t at = csm.find("\n" + title + "\n");
    if (at == std::string::npos) return rows;
    std::istringstream in(csm.substr(at + title.size() + 2));
    std::string line;
    for (int k = 0; k < skip && std::getline(in, line); k++) {}
    while (std::getline(in, line) && !line.empty()) rows.push_back(tabs(line));
    return rows;
}

Books books(const std::string& csm)
{
    Books b;
    for (const auto& f : section(csm, "Contaminant source/sink summary.", 2)) {
        b[f.at(2)][RELEASED] += std::atof(f.at(12).c_str());
        b[f.at(2)][REMOVED] += std::atof(f.at(13).c_str());
    }
    // The filter sections name the species in their header line.
    for (const char* title : {"Filter challenge summary.", "Filter loading summary."}) {
        auto rows = section(csm, title, 1);
        if (rows.empty()) continue;
        const std::vector<std::string> head = rows[0];
        for (size_t r = 1; r < rows.size(); r++) {
            bool down = rows[r][0] == "--";
            Book k = title[7] == 'l' ? LOADED : down ? PASSED : CHALLENGED;
            for (size_t s = 1; s + 1 < head.size() && s < rows[r].size(); s++)
                if (head[s] != "element") b[head[s]][k] += std::atof(rows[r][s].c_str());
        }
    }
    for (const auto& f : section(csm, "Interactions with ambient.", 1)) {
        b[f.at(0)][FROM] += std::atof(f.at(1).c_str());
        b[f.at(0)][TO] += std::atof(f.at(2).c_str());
    }
    return b;
}

// What a run listed: the TIME rows' instants in order (seconds from Jan01 0:00, so that
// Jan01 24:00 and Jan02 0:00 are one), and per instant every zone's mass fractions, then
// densities, then every path's flows, then the outdoor temperature (the later row of an
// instant listed twice).
struct Listings {
    std::vector<int> times;
    std::map<int, std::vector<double>> values;
    int species = 0;
};

Listings listings(const std::string& db, int species)
{
    Listings l;
    l.species = species;
    const std::string key = "SELECT (t.dayofyear - 1) * 86400 + t.Time, t.TimeID";
    std::map<int, double> id;
    for (const auto& row : sqlRows(db, (key + " FROM TIME t ORDER BY t.TimeID").c_str())) {
        l.times.push_back((int)row[0]);
        id[(int)row[0]] = row[1];
        l.values[(int)row[0]].clear();
    }
    std::string columns;
    for (int k = 0; k < species; k++) columns += ", c.C" + std::to_string(k);
    const std::string queries[] = {
        key + columns + " FROM TIME t JOIN NODEZONECCDATA c ON c.TimeID = t.TimeID ORDER BY 2, c.ZoneNumber",
        key + ", z.Density FROM TIME t JOIN NODEZONEFLOWDATA z ON z.TimeID = t.TimeID ORDER BY 2, z.ZoneNumber",
        key + ", p.Flow0, p.Flow1 FROM TIME t JOIN LINKPATHDATA p ON p.TimeID = t.TimeID ORDER BY 2, p.PathNumber",
        key + ", a.Tambt FROM TIME t JOIN AMBIENTCONDITIONS a ON a.TimeID = t.TimeID ORDER BY 2"};
    for (const std::string& q : queries)
        for (const auto& row : sqlRows(db, q.c_str()))
            if (row[1] == id[(int)row[0]]) {
                auto& v = l.values[(int)row[0]];
                v.insert(v.end(), row.begin() + 2, row.end());
            }
    return l;
}

// Values of one listing: mass fraction of species k in zone z (1-based), density of zone z.
double mf(const Listings& l, int t, int z, int k) { return l.values.at(t).at((z - 1) * l.species + k); }
double density(const Listings& l, int t, int z) { return l.values.at(t).at(2 * l.species + z - 1); }

struct Row {
    Method method;
    Species species;
    int storage;   // dodMdt
    Cut cut;
};

std::string rowName(const Row& r)
{
    return std::string(METHODS[r.method]) + SPECIES[r.species] + (r.storage ? "Storage" : "NoStorage") + CUTS[r.cut];
}

void PrintTo(const Row& r, std::ostream* os) { *os << rowName(r); }

// One run's period and files.
struct Period {
    std::string start = "Jan01 20:00:00", end = "Jan02 4:00:00";
    std::string restart;   // the day of the record resumed from; none for a steady start
    bool summaries = true;
    bool burst = true;
    const char* screen = "0:05:00";
};

class ConsistencyMatrix : public E2eTest, public ::testing::WithParamInterface<Row> {
protected:
    // The text with `from` (found exactly once) replaced by `to`.
    static void replace(std::string& text, const std::string& from, const std::string& to)
    {
        size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        ASSERT_EQ(text.find(from, at + 1), std::string::npos) << from;
        text.replace(at, from.size(), to);
    }

    // run.prj (and its weather file) for the row's method, species and storage term.
    void write(const Row& r, const Period& run)
    {
        const std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/";
        std::string p = slurp(src + "consistency.prj");
        copyInto(dir, src + "consistency.wth");
        if (r.method == TRAPEZOIDAL)
            replace(p, "1.1 1 0\n0 1 100 1e-9 1e-15 1.1 1 0\n", "1.1 0.5 0\n0 1 100 1e-9 1e-15 1.1 0.5 0\n");
        if (r.method == SHORT_STEP) replace(p, "\n0 0 0 0.1 0 0\n", "\n1 0 0 0.1 0 0\n");
        // The stiff integrator's steps are held to a minute, so that a stop finds it under way.
        if (r.method == STIFF) replace(p, "\n0 0 0 0.1 0 0\n0 1e-6 1e-12 0\n", "\n2 0 0 0.1 0 0\n0 1e-6 1e-12 10\n");
        if (r.species == NON_TRACE) {
            // A hundred times the CO2: its weight moves the rooms' air masses at every step.
            replace(p, "\n1e-5 0 0 0\n", "\n1e-3 0 0 0\n");
            replace(p, "2 2 3 ! simulated species", "3 1 2 3 ! simulated species");
            replace(p, "1 0 0 28.9645", "1 0 1 28.9645");
            replace(p, "2 0 0 44.0", "2 0 1 44.0");
            replace(p, "4 ! zone concentrations\n1 6.08e-4 0\n2 6.08e-4 0",
                    "6 ! zone concentrations\n1 0.999392 6.08e-4 0\n2 0.999392 6.08e-4 0");
        }
        if (r.storage) replace(p, "\n1 0 10 0 0 0 0\n", "\n1 0 10 0 0 0 1\n");
        if (r.cut == STEADY_START) replace(p, "\n2 0 1e-4 1e-15 0 0\n", "\n1 0 1e-4 1e-15 0 0\n");
        replace(p, "Jan01 20:00:00 Jan02 4:00:00 0:05:00 0:15:00 0:05:00",
                run.start + " " + run.end + " 0:05:00 0:15:00 " + run.screen);
        if (!run.restart.empty()) replace(p, "\n0 Jan01 0:00:00\n", "\n1 " + run.restart + " 0:00:00\n");
        if (!run.summaries)
            replace(p, "\n0 1 1 1 0 0 1 1\n0 0 0 1 0 0\n1 1 1 1 1\n", "\n0 0 0 0 0 0 0 0\n0 0 0 0 0 0\n0 0 1 1 1\n");
        if (!run.burst) {
            replace(p, "4 ! sources", "3 ! sources");
            replace(p, "3 2 3 2 0 1 0 0 0 0 0 0 0 0 0 0 0\n4 2 4", "3 2 4");
        }
        std::ofstream(dir + "run.prj") << p;
    }

    int speciesCount() const { return GetParam().species == NON_TRACE ? 3 : 2; }

    // Runs run.prj whole; its listings, with the .csm's books in `b` when asked for.
    Listings complete(Books* b = nullptr)
    {
        Outcome o = runEngine("run.prj", "run.prj");
        EXPECT_EQ(o.status, 0) << o.err.substr(o.err.size() > 3000 ? o.err.size() - 3000 : 0);
        EXPECT_NE(o.log.find("Simulation completed successfully."), std::string::npos);
        EXPECT_EQ(o.err.find("ERROR"), std::string::npos) << o.err;
        if (b) *b = books(slurp(dir + "run.csm"));
        Listings l = listings(dir + "run.sqlite3", speciesCount());
        expectPossible(l);
        return l;
    }

    // Runs run.prj with its standard error into a pipe of one page that is read up to the
    // instructions and then left full, so that the run waits at a step a few pages of
    // progress lines in; then SIGTERM, and the pipe drained. Returns the exit status.
    int stopped()
    {
        int fd[2];
        if (pipe(fd) != 0) return -1;
        fcntl(fd[0], F_SETPIPE_SZ, 4096);
        pid_t pid = fork();
        if (pid == 0) {
            signal(SIGINT, SIG_DFL);
            signal(SIGTERM, SIG_DFL);
            int null = open("/dev/null", O_RDWR);
            if (null < 0 || chdir(dir.c_str()) != 0) _exit(127);
            dup2(null, 0);
            dup2(null, 1);
            dup2(fd[1], 2);
            close(fd[0]);
            execl(VEXLAR_X_BIN, VEXLAR_X_BIN, "run.prj", (char*)nullptr);
            _exit(127);
        }
        close(fd[1]);
        std::string said;
        char buf[256];
        while (said.find("Press <ctrl>-c") == std::string::npos) {
            ssize_t n = read(fd[0], buf, sizeof buf);
            if (n <= 0) break;
            said.append(buf, (size_t)n);
        }
        // The run writes until the pipe holds a page less than a line, then waits; one that
        // ended on its own is not signalled.
        int status = 0;
        bool ended = false;
        for (int ms = 0, held = -1, still = 0; ms < 20000 && still < 50 && !ended; ms++) {
            int n = 0;
            ioctl(fd[0], FIONREAD, &n);
            still = n == held && n > 3500 ? still + 1 : 0;
            held = n;
            ended = waitpid(pid, &status, WNOHANG) == pid;
            usleep(1000);
        }
        if (!ended) kill(pid, SIGTERM);
        while (read(fd[0], buf, sizeof buf) > 0) {}
        close(fd[0]);
        if (!ended) waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // No listed mass fraction is out of [-noise, 1 + noise], and every value is finite.
    void expectPossible(const Listings& l)
    {
        for (const auto& [t, v] : l.values)
            for (size_t k = 0; k < v.size(); k++) {
                ASSERT_TRUE(std::isfinite(v[k])) << "at " << t << " s, value " << k;
                if (k < 2 * (size_t)l.species) {
                    EXPECT_GE(v[k], -1e-9) << "at " << t << " s, value " << k;
                    EXPECT_LE(v[k], 1.0 + 1e-9) << "at " << t << " s, value " << k;
                }
            }
    }

    // Largest relative difference of two listings at one instant over the values from..to-1;
    // values below `floor` count as of that scale (a flow through zero as one of 1e-2 kg/s, a third of the fan's).
    static double differs(const std::vector<double>& a, const std::vector<double>& b, size_t from, size_t to,
                          double floor)
    {
        double worst = a.size() == b.size() ? 0.0 : INFINITY;
        for (size_t k = from; k < a.size() && k < b.size() && k < to; k++)
            worst = std::fmax(worst, std::fabs(a[k] - b[k]) / std::fmax(std::fabs(b[k]), floor));
        return worst;
    }

    // How closely two listings must agree. The implicit methods and the short time step
    // repeat their arithmetic, and so does the stiff integrator up to a stop. It holds each
    // step's start flows over its step (up to cv_maxstep), the controller's among them, which
    // feeds the CO2 back into the fan, and it lists a step's start flows: runs whose steps are
    // placed anew after a resume differ by up to some 400 times its tolerance in the mass
    // fractions and 2000 in the flows (of a third of the fan's); runs without the summaries,
    // whose integrator no longer stops at each listing, by some 800 and 7000.
    enum Agreement { SAME_STEPS, RESUMED, OTHER_STOPS };
    double tolerance(bool flows, Agreement a) const
    {
        if (GetParam().method != STIFF || a == SAME_STEPS) return 0.0;
        return (a == RESUMED ? (flows ? 5e3 : 1e3) : (flows ? 1e4 : 2e3)) * CV_RTOL;
    }

    // `part` lists the times `whole` lists after `from` (and `from` when it lies on the
    // listing grid), with the same values; returns the largest difference.
    double expectContinues(const Listings& part, const Listings& whole, int from, int until, Agreement a)
    {
        std::vector<int> want;
        if (from % LIST == 0) want.push_back(from);
        for (int t : whole.times)
            if (t > from && t <= until) want.push_back(t);
        EXPECT_EQ(part.times, want) << "listing times from " << from << " s";
        double worst = 0.0;
        for (int t : want)
            if (part.values.count(t) && whole.values.count(t)) {
                const size_t mfs = 2 * (size_t)whole.species;
                double d = differs(part.values.at(t), whole.values.at(t), 0, mfs, 1e-6);
                double f = differs(part.values.at(t), whole.values.at(t), mfs, SIZE_MAX, 1e-2);
                EXPECT_LE(d, tolerance(false, a)) << "mass fractions at " << t << " s";
                EXPECT_LE(f, tolerance(true, a)) << "densities and flows at " << t << " s";
                worst = std::fmax(worst, d);
                flowsWorst = std::fmax(flowsWorst, f);
            }
        return worst;
    }

    // A species' mass in both rooms at a listing [kg]. The listed densities are at the
    // barometric pressure; the upper room's air, 3 m up, is at the outdoor pressure there,
    // lower by the share g z / (R T) of the outdoor air at its temperature T.
    double stored(const Listings& l, int t, int k)
    {
        const double upper = 1.0 - 9.8055 * 3.0 / (8314.41 / 28.9645 * l.values.at(t).back());
        return VOLUME * (mf(l, t, 1, k) * density(l, t, 1) + mf(l, t, 2, k) * density(l, t, 2) * upper);
    }

    // The books of the unbroken run close: released - removed = stored change + to - from
    // for each species (what comes from outdoors is what passed the filter), and every
    // filter's challenge less what it passed is what it loaded. Returns the worst closure,
    // relative to the largest book.
    double expectCloses(const Books& b, const Listings& l)
    {
        const int first = l.times.front(), last = l.times.back();
        const std::vector<std::string> names =
            speciesCount() == 3 ? std::vector<std::string>{"Air", "CO2", "TRC"} : std::vector<std::string>{"CO2", "TRC"};
        double worst = 0.0;
        for (size_t k = 0; k < names.size(); k++) {
            if (names[k] == "Air") continue;
            const auto& s = b.at(names[k]);
            double scale = 0.0;
            for (double v : s) scale = std::fmax(scale, std::fabs(v));
            double gained = stored(l, last, (int)k) - stored(l, first, (int)k);
            double off = s[RELEASED] - s[REMOVED] - gained - s[TO] + s[FROM];
            EXPECT_LE(std::fabs(off), closure() * scale) << names[k] << " off by " << off << " of " << scale;
            worst = std::fmax(worst, std::fabs(off) / scale);
            EXPECT_NEAR(s[CHALLENGED] - s[PASSED], s[LOADED], 2e-6 * s[CHALLENGED] + 1e-12) << names[k];
            if (s[CHALLENGED] > 0.0)
                filterWorst = std::fmax(filterWorst, std::fabs(s[CHALLENGED] - s[PASSED] - s[LOADED]) / s[CHALLENGED]);
        }
        return worst;
    }

    // The closure the .csm's six digits of exchange allow, which the stiff integrator's books
    // meet too (ten times its tolerance), and for the short time step the share of a step's
    // flow between the rooms lost or gained when that flow changes (some 1e-2 of the books).
    double closure() const
    {
        Method m = GetParam().method;
        return m == SHORT_STEP ? 2e-2 : 1e-5;
    }

    // The books of the run up to the cut and of the run resumed after it add up to the
    // unbroken run's; a filter's loading is its state, which the resumed run takes up from
    // the record, and it gains there what the filter took out of the air since. Returns the
    // worst difference, relative to the largest book.
    double expectAddUp(const Books& before, const Books& after, const Books& whole)
    {
        double worst = 0.0;
        for (const auto& [name, w] : whole) {
            double scale = 0.0;
            for (double v : w) scale = std::fmax(scale, std::fabs(v));
            if (scale == 0.0) continue;
            const std::array<double, BOOKS> none{}, &b = before.count(name) ? before.at(name) : none,
                                                    &a = after.count(name) ? after.at(name) : none;
            EXPECT_NEAR(a[CHALLENGED] - a[PASSED], a[LOADED] - b[LOADED], 2e-6 * scale) << name;
            for (int k = 0; k < BOOKS; k++) {
                double sum = k == LOADED ? a[k] : a[k] + b[k];
                double d = std::fabs(sum - w[k]) / scale;
                EXPECT_LE(d, GetParam().method == STIFF ? 5e-5 : 1e-5)
                    << name << " " << BOOK_NAMES[k] << ": " << sum << " against " << w[k];
                worst = std::fmax(worst, d);
            }
        }
        return worst;
    }

    double flowsWorst = 0.0;    // of the densities and flows compared so far
    double filterWorst = 0.0;   // of challenged - passed - loaded, relative to the challenge

    static void figure(const char* what, double value)
    {
        ::testing::Test::RecordProperty(what, std::to_string(value));
        printf("figure %s %s %.3e\n", rowName(GetParam()).c_str(), what, value);
    }
};

// Where a stop's NOTE says it stopped: day of the year and seconds of the day.
bool stopMoment(const std::string& log, int* day, int* time, std::string* date, std::string* clock)
{
    const std::string said = "Simulation stopped on request after the step ending ";
    size_t at = log.find(said);
    if (at == std::string::npos) return false;
    char month[4] = "";
    int d = 0, h = 0, m = 0, s = 0;
    if (sscanf(log.c_str() + at + said.size(), "%3s%d %d:%d:%d", month, &d, &h, &m, &s) != 5) return false;
    *day = d;
    *time = 3600 * h + 60 * m + s;
    char buf[32];
    snprintf(buf, sizeof buf, "%s%02d", month, d);
    *date = buf;
    snprintf(buf, sizeof buf, "%d:%02d:%02d", h, m, s);
    *clock = buf;
    return std::string(month) == "Jan";
}

TEST_P(ConsistencyMatrix, ResultsDoNotDependOnTheCut)
{
    const Row r = GetParam();
    Period base;
    base.burst = r.method != STIFF;
    if (r.cut == REFUSED) {
        // The stiff integrator refuses the burst before its first step, and writes nothing.
        base.burst = true;
        write(r, base);
        Outcome o = runEngine("run.prj", "run.prj");
        EXPECT_EQ(o.status, 2);
        EXPECT_NE(o.err.find("ERROR CVODE does not support burst sources\n"
                             "NOTE Set mf_solver to 0 or 1 on Run Control to release burst sources\n"
                             "FATAL Please try another transport solver\n"),
                  std::string::npos)
            << o.err;
        EXPECT_FALSE(exists(dir + "run.sqlite3"));
        EXPECT_FALSE(exists(dir + "run.rst"));
        return;
    }
    write(r, base);
    Books whole;
    const Listings all = complete(&whole);
    ASSERT_FALSE(all.times.empty());
    ASSERT_EQ(all.times.front(), START);
    ASSERT_EQ(all.times.back(), END);
    figure("closure", expectCloses(whole, all));
    figure("filter", filterWorst);

    if (r.cut == UNBROKEN || r.cut == STEADY_START) {
        Period none = base;
        none.summaries = false;
        write(r, none);
        const Listings bare = complete();
        EXPECT_FALSE(exists(dir + "run.csm"));
        figure("summaries", expectContinues(bare, all, START - 1, END, OTHER_STOPS));
        figure("flows", flowsWorst);
        return;
    }

    Period before = base, after = base;
    int from = 86400;
    if (r.cut == MIDNIGHT) {
        before.end = "Jan01 24:00:00";
        write(r, before);
        complete();
        after.start = "Jan02 0:00:00";
        after.restart = "Jan01";
    } else {
        before.screen = "0:00:01";   // a progress line at every step
        write(r, before);
        EXPECT_EQ(stopped(), 1);
        const std::string log = slurp(dir + "run.xlog");
        int day = 0, time = 0;
        std::string date, clock;
        ASSERT_TRUE(stopMoment(log, &day, &time, &date, &clock)) << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
        EXPECT_EQ(log.substr(log.size() - 18), "VexlarX finish(1)\n");
        EXPECT_EQ(log.find("Simulation completed successfully."), std::string::npos);
        from = 86400 * (day - 1) + time;
        ASSERT_GT(from, START);
        ASSERT_LT(from, END) << "stopped too late to resume";
        const std::string db = dir + "run.sqlite3";
        EXPECT_EQ(sqlRows(db, "SELECT integrity_check = 'ok' FROM pragma_integrity_check"),
                  (std::vector<std::vector<double>>{{1}}));
        EXPECT_FALSE(exists(db + "-wal"));
        // What the stopped run listed, it listed as the unbroken run did.
        Listings upTo = listings(db, speciesCount());
        expectPossible(upTo);
        figure("stopped", expectContinues(upTo, all, START - 1, from, SAME_STEPS));
        figure("stop_off_grid", from % LIST);
        after.start = date + " " + clock;
        after.restart = date;
    }
    Books first = books(slurp(dir + "run.csm"));
    const std::string rst = slurp(dir + "run.rst");
    write(r, after);
    std::ofstream(dir + "run.rst", std::ios::binary) << rst;
    Books second;
    const Listings resumed = complete(&second);
    figure("resumed", expectContinues(resumed, all, from, END, RESUMED));
    figure("flows", flowsWorst);
    figure("books", expectAddUp(first, second, whole));
}

std::vector<Row> rows()
{
    std::vector<Row> v;
    for (Method m : {IMPLICIT, TRAPEZOIDAL, SHORT_STEP, STIFF})
        for (Species s : {TRACE, NON_TRACE})
            for (int storage : {0, 1})
                for (Cut c : {UNBROKEN, MIDNIGHT, STOP, REFUSED, STEADY_START})
                    if (c == REFUSED ? m == STIFF : c != STEADY_START || m != STIFF) v.push_back({m, s, storage, c});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Rows, ConsistencyMatrix, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& i) { return rowName(i.param); });

}  // namespace
