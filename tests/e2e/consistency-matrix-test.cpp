// Results do not depend on how a run is cut, weighted or booked. Two rooms one above the
// other (tests/e2e/prj/consistency.prj) under a stack flow that reverses at midnight, with
// a ramped release of CO2, a decaying release, a burst and a sink of a tracer, and a fan
// through a filter that loads up, driven by a lagged CO2 sensor through a controller, run
// from Jan01 20:00 to Jan02 4:00. Every row crosses a transport method, the species (two
// trace species, or air and CO2 non-trace with the tracer), the storage term and a cut:
// unbroken, resumed from the record of midnight, or stopped by SIGTERM and resumed from the
// stop's record; unbroken from the steady contaminant solution too, but for the stiff
// integrator, which runs no steady contaminants. Further columns vary what faults were found
// behind: the two systems' weightings apart, non-trace species alone, stops placed on
// purpose at midnight and on a listing time, a closed terminal and a second signal during
// the stop, the summaries off across a cut, a duct, a one-dimensional zone, an occupant,
// and a network no run may call a success. Each row checks what the user relies on:
// the same listing times and values as the unbroken run, summary books that add up across
// the cut, close the species balance and the filters' own, the same series with or without
// the summary files, a stop that keeps every result, and no success with a value no mass
// fraction can have. The stiff integrator runs the network without the burst, which it
// refuses: a row of its own. A stopped run's own books close as well, over the whole run
// when the stop lies on a listing time.
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
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

enum Method { IMPLICIT, TRAPEZOIDAL, SHORT_STEP, STIFF };
enum Species { TRACE, NON_TRACE, NON_TRACE_ONLY };
// A stop lands where the pipe of the run's messages fills (STOP), or at the end of a step
// chosen beforehand: midnight, or a listing time of the second day.
enum Cut { UNBROKEN, MIDNIGHT, STOP, REFUSED, STOP_MIDNIGHT, STOP_LISTING };
enum Weights { SAME, MIXED };   // MIXED: the trace system takes the other method's weighting
// The stop's signals: a second one comes once the first has been taken, while the run
// finishes its step.
enum Signal { TERM, HUP, HUP_TWICE, TERM_THEN_INT };
enum Network { PLAIN, DUCT, ONE_D, OCCUPANT, IMPOSSIBLE };
const char* const METHODS[] = {"Implicit", "Trapezoidal", "ShortStep", "Stiff"};
const char* const SPECIES[] = {"Trace", "NonTrace", "NonTraceOnly"};
const char* const CUTS[] = {"Unbroken", "Midnight", "Stopped", "Refused", "StoppedAtMidnight", "StoppedOnListing"};
const char* const SIGNALS[] = {"", "Hup", "HupTwice", "TermThenInt"};
const char* const NETWORKS[] = {"", "Duct", "OneD", "Occupant", "Impossible"};

const int START = 72000, END = 86400 + 4 * 3600, LIST = 900;   // seconds from Jan01 0:00
const double VOLUME = 50.0;                                    // of each room [m3]
const double CV_RTOL = 1e-6;
const double OCCUPANT_RATE = 5e-6;                             // of CO2 the occupant breathes out [kg/s]

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
// instant listed twice, midnight as the next day's start; its earlier row, the day's end,
// in `ends`).
struct Listings {
    std::vector<int> times;
    std::map<int, std::vector<double>> values, ends;
    int species = 0;
};

Listings listings(const std::string& db, int species, bool ducts)
{
    Listings l;
    l.species = species;
    const std::string key = "SELECT (t.dayofyear - 1) * 86400 + t.Time, t.TimeID";
    std::map<int, double> id, early;
    for (const auto& row : sqlRows(db, (key + " FROM TIME t ORDER BY t.TimeID").c_str())) {
        l.times.push_back((int)row[0]);
        if (id.count((int)row[0])) early[(int)row[0]] = id[(int)row[0]];
        id[(int)row[0]] = row[1];
        l.values[(int)row[0]].clear();
    }
    std::string columns;
    for (int k = 0; k < species; k++) columns += ", c.C" + std::to_string(k);
    std::vector<std::string> queries = {
        key + columns + " FROM TIME t JOIN NODEZONECCDATA c ON c.TimeID = t.TimeID ORDER BY 2, c.ZoneNumber",
        key + ", z.Density FROM TIME t JOIN NODEZONEFLOWDATA z ON z.TimeID = t.TimeID ORDER BY 2, z.ZoneNumber",
        key + ", p.Flow0, p.Flow1 FROM TIME t JOIN LINKPATHDATA p ON p.TimeID = t.TimeID ORDER BY 2, p.PathNumber"};
    // The junctions' mass fractions and densities and the segments' flows.
    if (ducts) {
        queries.push_back(key + columns + " FROM TIME t JOIN NODEDUCTCCDATA c ON c.TimeID = t.TimeID ORDER BY 2, c.DuctNodeNumber");
        queries.push_back(key + ", j.Density FROM TIME t JOIN NODEDUCTFLOWDATA j ON j.TimeID = t.TimeID ORDER BY 2, j.DuctNodeNumber");
        queries.push_back(key + ", d.Flow0, d.Flow1 FROM TIME t JOIN LINKDUCTDATA d ON d.TimeID = t.TimeID ORDER BY 2, d.DuctLinkNumber");
    }
    queries.push_back(key + ", a.Tambt FROM TIME t JOIN AMBIENTCONDITIONS a ON a.TimeID = t.TimeID ORDER BY 2");
    for (const std::string& q : queries)
        for (const auto& row : sqlRows(db, q.c_str()))
            if (row[1] == id[(int)row[0]] || (early.count((int)row[0]) && row[1] == early[(int)row[0]])) {
                auto& v = (row[1] == id[(int)row[0]] ? l.values : l.ends)[(int)row[0]];
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
    int steady = 0;   // the contaminants start from their steady solution
    Weights weights = SAME;
    Signal signal = TERM;
    int summaries = 1;   // the runs either side of the cut write the summaries
    Network network = PLAIN;
};

std::string rowName(const Row& r)
{
    return std::string(METHODS[r.method]) + SPECIES[r.species] + (r.storage ? "Storage" : "NoStorage") +
           (r.weights == MIXED ? "Mixed" : "") + NETWORKS[r.network] + (r.steady ? "SteadyStart" : "") + CUTS[r.cut] +
           SIGNALS[r.signal] + (r.summaries ? "" : "Bare");
}

// The simulated species' names in order.
std::vector<std::string> speciesNames(Species s)
{
    if (s == TRACE) return {"CO2", "TRC"};
    if (s == NON_TRACE) return {"Air", "CO2", "TRC"};
    return {"Air", "CO2"};
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
        // The weightings of the non-trace and the trace system.
        const char* const theta[2][2] = {{"1", "1"}, {"0.5", "0.5"}};
        const bool trapezoidal = r.method == TRAPEZOIDAL;
        const char* mfn = theta[trapezoidal][0];
        const char* mft = r.weights == MIXED ? theta[!trapezoidal][1] : theta[trapezoidal][1];
        replace(p, "1.1 1 0\n0 1 100 1e-9 1e-15 1.1 1 0\n",
                std::string("1.1 ") + mfn + " 0\n0 1 100 1e-9 1e-15 1.1 " + mft + " 0\n");
        if (r.method == SHORT_STEP) replace(p, "\n0 0 0 0.1 0 0\n", "\n1 0 0 0.1 0 0\n");
        // The stiff integrator's steps are held to a minute, so that a stop finds it under way.
        if (r.method == STIFF) replace(p, "\n0 0 0 0.1 0 0\n0 1e-6 1e-12 0\n", "\n2 0 0 0.1 0 0\n0 1e-6 1e-12 10\n");
        if (r.species != TRACE) {
            // A hundred times the CO2: its weight moves the rooms' air masses at every step.
            replace(p, "\n1e-5 0 0 0\n", "\n1e-3 0 0 0\n");
            replace(p, "1 0 0 28.9645", "1 0 1 28.9645");
            replace(p, "2 0 0 44.0", "2 0 1 44.0");
        }
        if (r.species == NON_TRACE) {
            replace(p, "2 2 3 ! simulated species", "3 1 2 3 ! simulated species");
            replace(p, "4 ! zone concentrations\n1 6.08e-4 0\n2 6.08e-4 0",
                    "6 ! zone concentrations\n1 0.999392 6.08e-4 0\n2 0.999392 6.08e-4 0");
        }
        // Air and CO2 alone: the tracer's sources name a species not simulated and do nothing.
        if (r.species == NON_TRACE_ONLY) {
            replace(p, "2 2 3 ! simulated species", "2 1 2 ! simulated species");
            replace(p, "4 ! zone concentrations\n1 6.08e-4 0\n2 6.08e-4 0",
                    "4 ! zone concentrations\n1 0.999392 6.08e-4\n2 0.999392 6.08e-4");
        }
        // A tracer released at 1 kg/s into the upper room's 60 kg of air: no mass fraction
        // can follow it, and no run may end as if one did.
        if (r.network == IMPOSSIBLE) replace(p, "\n1e-6 2e-4 0 0\n", "\n1 0 0 0\n");
        if (r.network == DUCT) duct(p, r);
        // The lower room as five cells of 2 m along its length, under the short time step.
        if (r.network == ONE_D) {
            replace(p, "\n1 0 0 0.1 0 0\n", "\n1 1 0 0.1 0 0\n");
            replace(p, "Low 0 0 0 0 0 0 0 0\n", "Low 0 0 0 0 0 1 0 0 0 0 0 0 10 0 0 2 0.1 0 0\n");
        }
        // A worker who breathes out CO2 (5e-6 kg/s, OCCUPANT_RATE) in the upper room until
        // 2:00 and from 22:00, in the lower room between.
        if (r.network == OCCUPANT)
            replace(p, "0 ! occupancy schedules\n-999\n0 ! occupants\n-999",
                    "1 ! occupancy schedules\n1 4 0 moves\nThe upper room until 2:00, the lower until 22:00, then the upper\n"
                    "0:00:00 2 0 0 1.5\n2:00:00 1 0 0 1.5\n22:00:00 2 0 0 1.5\n24:00:00 2 0 0 1.5\n-999\n"
                    "1 ! occupants\n1 1 1 1.0 0\nA worker\n1 1 1 1 1 1 1 1 1 1 1 1\nCO2 0 5e-6 0 0\n-999");
        if (r.storage) replace(p, "\n1 0 10 0 0 0 0\n", "\n1 0 10 0 0 0 1\n");
        if (r.steady) replace(p, "\n2 0 1e-4 1e-15 0 0\n", "\n1 0 1e-4 1e-15 0 0\n");
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

    // An exhaust from the upper room through 2 m of duct, a fan of 5e-3 kg/s and 2 m more to
    // the outdoors: three junctions, each starting at the outdoor air's mass fractions.
    void duct(std::string& p, const Row& r)
    {
        replace(p, "0 ! duct elements\n-999",
                "2 ! duct elements\n1 0 dct_plr Duct\nRound duct, 0.2 m\n1e-5 0.01 0.6 0 0 0\n"
                "0.2 0.63 0.0314 0 0 0 0 0\n0 0 0 0 0 0 0 0\n2 0 dct_cmf Fan\nExhaust fan, 5e-3 kg/s\n0.005\n"
                "0.2 0.63 0.0314 0 0 0 0 0\n0 0 0 0 0 0 0 0\n-999");
        const std::string terminal = " 2 2.5 293.15 0 0 0 0 0 0 0 0 0 0 0 0 1 0 0 0.05 0.05 0.25 1.0 0 0 0 0 0 0\n";
        std::string j = "3 ! junctions\n1 0 1 2 0 0 0 0 2 0" + terminal + "2 0 0 2 0 0 0 0 2 2 2 2.5 293.15 0 0 0 0 0 0 0 0\n" +
                        "3 0 1 -1 0 0 0 0 2 12" + terminal + "-999\n";
        const std::vector<std::string> names = speciesNames(r.species);
        j += std::to_string(3 * names.size()) + " ! junction concentrations\n";
        for (int k = 1; k <= 3; k++) {
            j += std::to_string(k);
            for (const std::string& n : names) j += n == "Air" ? " 0.999392" : n == "CO2" ? " 6.08e-4" : " 0";
            j += "\n";
        }
        j += "-999\n2 ! duct segments\n1 0 1 2 1 0 0 0 0 2.0 0 0 0 0 0 0 0\n2 0 2 3 2 0 0 0 0 2.0 0 0 0 0 0 0 0\n-999";
        replace(p, "0 ! junctions\n-999\n0 ! junction concentrations\n-999\n0 ! duct segments\n-999", j);
    }

    int speciesCount() const { return (int)speciesNames(GetParam().species).size(); }

    // Runs run.prj whole; its listings, with the .csm's books in `b` when asked for. Its
    // standard error is kept in `said`.
    Listings complete(Books* b = nullptr)
    {
        Outcome o = runEngine("run.prj", "run.prj");
        said = o.err;
        EXPECT_EQ(o.status, 0) << o.err.substr(o.err.size() > 3000 ? o.err.size() - 3000 : 0);
        EXPECT_NE(o.log.find("Simulation completed successfully."), std::string::npos);
        EXPECT_EQ(o.err.find("ERROR"), std::string::npos) << o.err;
        if (b) *b = books(slurp(dir + "run.csm"));
        Listings l = listings(dir + "run.sqlite3", speciesCount(), GetParam().network == DUCT);
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
        pid_t pid = spawn(fd);
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

    // Starts vexlar-x on run.prj, the signals at their default actions as from a terminal,
    // standard error into the pipe fd, the other streams to /dev/null; returns its id.
    pid_t spawn(const int fd[2])
    {
        pid_t pid = fork();
        if (pid == 0) {
            for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, SIG_DFL);
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
        return pid;
    }

    // Stops run.prj after the step that ends at `clock` on `date`. A pipe holds one page,
    // whose writes fill it up to the page's end and which takes no more until it is read
    // whole; each message line is one write. Filled beforehand so that what the run writes
    // before that step's progress line (`said`, an unbroken run's standard error, shows it)
    // takes its rest exactly, the pipe holds the run in that line's write, in the step;
    // then the row's signals and the pipe drained. Returns the exit status.
    int stoppedAt(const std::string& date, const std::string& clock, Signal sig)
    {
        size_t at = 0;
        for (size_t end; (end = said.find('\n', at)) != std::string::npos; at = end + 1) {
            const std::string line = said.substr(at, end - at);
            if (line.find(date) != std::string::npos && line.find("time: " + clock) != std::string::npos) break;
        }
        EXPECT_LT(at, said.size()) << "no progress line at " << date << " " << clock << " in\n" << said;
        EXPECT_LT(at, (size_t)PAGE) << "the progress line at " << clock << " lies beyond the pipe's page";
        if (at >= said.size() || at >= (size_t)PAGE) return -1;
        int fd[2];
        if (pipe(fd) != 0) return -1;
        EXPECT_EQ(fcntl(fd[0], F_SETPIPE_SZ, PAGE), PAGE);
        const std::string fill(PAGE - at, '.');
        EXPECT_EQ(::write(fd[1], fill.data(), fill.size()), (ssize_t)fill.size());
        pid_t pid = spawn(fd);
        int status = 0, n = 0;
        bool ended = false;
        for (int ms = 0; ms < 30000 && (n < PAGE || !writingErrors(pid)) && !ended; ms++) {
            ended = waitpid(pid, &status, WNOHANG) == pid;
            ioctl(fd[0], FIONREAD, &n);
            usleep(1000);
        }
        EXPECT_FALSE(ended) << "the run ended before its stop";
        if (!ended) {
            kill(pid, sig == HUP || sig == HUP_TWICE ? SIGHUP : SIGTERM);
            if (sig == HUP_TWICE || sig == TERM_THEN_INT) {
                // Once the first is taken (none pending), the second.
                for (int ms = 0; ms < 5000 && pending(pid); ms++) usleep(1000);
                usleep(2000);
                kill(pid, sig == HUP_TWICE ? SIGHUP : SIGINT);
            }
        }
        char buf[256];
        while (read(fd[0], buf, sizeof buf) > 0) {}
        close(fd[0]);
        if (!ended) waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Whether the process waits in a write to its standard error.
    static bool writingErrors(pid_t pid)
    {
        std::istringstream in(slurp("/proc/" + std::to_string(pid) + "/syscall"));
        long call = -1;
        std::string fd;
        in >> call >> fd;
        return call == SYS_write && fd == "0x2";
    }

    // Whether a signal is pending for the process.
    static bool pending(pid_t pid)
    {
        std::istringstream in(slurp("/proc/" + std::to_string(pid) + "/status"));
        for (std::string line; std::getline(in, line);)
            if ((line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0) &&
                line.find_first_not_of("0", line.find_first_not_of("\t ", 7)) != std::string::npos)
                return true;
        return false;
    }

    static constexpr int PAGE = 4096;
    std::string said;   // the last complete run's standard error

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
    // A run resumed from a day's end record restarts its integrator at midnight as the
    // unbroken run does: its mass fractions follow to the tolerance's scale. Not yet with
    // non-trace species and the storage term: such a resume is still up to 1e-4 apart (its
    // gas-law storage is not restored exactly), and is held to the resumed bound meanwhile.
    enum Agreement { SAME_STEPS, RESUMED, OTHER_STOPS, AT_MIDNIGHT };
    double tolerance(bool flows, Agreement a) const
    {
        const Row& r = GetParam();
        if (r.method != STIFF || a == SAME_STEPS) return 0.0;
        if (a == AT_MIDNIGHT && !flows && !(r.storage && r.species != TRACE)) return CV_RTOL;
        if (a == AT_MIDNIGHT) a = RESUMED;
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
        // The unbroken run lists midnight as its day's end and as the next day's start; a run
        // that ends there lists its end once.
        if (want.size() > 1 && want.back() == until && want[want.size() - 2] == until) want.pop_back();
        EXPECT_EQ(part.times, want) << "listing times from " << from << " s";
        double worst = 0.0;
        for (int t : want)
            if (part.values.count(t) && whole.values.count(t)) {
                const size_t mfs = 2 * (size_t)whole.species;
                // A run that ends at midnight lists its day's end.
                const auto& w = t == until && whole.ends.count(t) && !part.ends.count(t) ? whole.ends.at(t) : whole.values.at(t);
                double d = differs(part.values.at(t), w, 0, mfs, 1e-6);
                double f = differs(part.values.at(t), w, mfs, SIZE_MAX, 1e-2);
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
    // filter's challenge less what it passed is what it loaded. Without listings (a run
    // whose end is not listed) the filters only. Returns the worst closure, relative to the
    // largest book.
    double expectCloses(const Books& b, const Listings* l, const char* run)
    {
        const std::vector<std::string> names = speciesNames(GetParam().species);
        double worst = 0.0;
        for (size_t k = 0; k < names.size(); k++) {
            if (names[k] == "Air") continue;
            EXPECT_EQ(b.count(names[k]), 1u) << run << " books nothing of " << names[k];
            if (!b.count(names[k])) continue;
            const auto& s = b.at(names[k]);
            double scale = 0.0;
            for (double v : s) scale = std::fmax(scale, std::fabs(v));
            if (l && scale > 0.0) {
                double gained = stored(*l, l->times.back(), (int)k) - stored(*l, l->times.front(), (int)k);
                // The .csm books no occupant's breath: it is in a room all the time.
                double breath = GetParam().network == OCCUPANT && names[k] == "CO2" ? OCCUPANT_RATE : 0.0;
                double released = s[RELEASED] + breath * (l->times.back() - l->times.front());
                double off = released - s[REMOVED] - gained - s[TO] + s[FROM];
                EXPECT_LE(std::fabs(off), closure() * scale) << run << " " << names[k] << " off by " << off << " of " << scale;
                worst = std::fmax(worst, std::fabs(off) / scale);
            }
            EXPECT_NEAR(s[CHALLENGED] - s[PASSED], s[LOADED], 2e-6 * s[CHALLENGED] + 1e-12) << run << " " << names[k];
            if (s[CHALLENGED] > 0.0)
                filterWorst = std::fmax(filterWorst, std::fabs(s[CHALLENGED] - s[PASSED] - s[LOADED]) / s[CHALLENGED]);
        }
        return worst;
    }

    // The closure the .csm's six digits of exchange allow, which the stiff integrator's books
    // meet too (ten times its tolerance), and for the short time step the share of a step's
    // flow between the rooms lost or gained when that flow changes (some 1e-2 of the books,
    // 2.2e-2 of those of the evening alone).
    double closure() const
    {
        Method m = GetParam().method;
        if (m == SHORT_STEP) return 3e-2;
        // The duct's 0.13 m3 of air is not in the rooms' listings.
        return GetParam().network == DUCT ? 1e-3 : 1e-5;
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

    // The non-trace species' listed values (with the densities, flows and the outdoor
    // temperature) of `a` are those of `b` to the last bit, and their books are `b`'s to the
    // .csm's digits. Returns the worst difference of the books, relative to the largest.
    double expectNonTraceSame(const Listings& a, const Books& ab, const Listings& b, const Books& bb)
    {
        const std::vector<std::string> names = speciesNames(GetParam().species);
        const size_t n = names.size();
        EXPECT_EQ(a.times, b.times);
        for (int t : a.times)
            if (b.values.count(t)) {
                const auto &x = a.values.at(t), &y = b.values.at(t);
                EXPECT_EQ(x.size(), y.size());
                for (size_t k = 0; k < x.size() && k < y.size(); k++)
                    if (k >= 2 * n || names[k % n] != "TRC") {
                        EXPECT_EQ(x[k], y[k]) << "value " << k << " at " << t << " s";
                    }
            }
        double worst = 0.0;
        for (const std::string& name : names)
            if (name != "TRC" && bb.count(name)) {
                EXPECT_EQ(ab.count(name), 1u) << name;
                if (!ab.count(name)) continue;
                const auto &x = ab.at(name), &y = bb.at(name);
                double scale = 0.0;
                for (double v : y) scale = std::fmax(scale, std::fabs(v));
                for (int k = 0; k < BOOKS; k++) {
                    EXPECT_NEAR(x[k], y[k], 2e-6 * scale) << name << " " << BOOK_NAMES[k];
                    worst = std::fmax(worst, std::fabs(x[k] - y[k]) / scale);
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

// Where a stop's NOTE says it stopped, and where a run resumed from its record starts: the
// day of the stop at the NOTE's time, or at 0:00 of the next day after a stop at 24:00.
struct Moment {
    int from = 86400;                   // seconds from Jan01 0:00
    std::string start = "Jan02 0:00:00";   // the resumed run's start date and time
    std::string record = "Jan01";          // the day of the record it resumes from
};

bool stopMoment(const std::string& log, Moment* at)
{
    const std::string said = "Simulation stopped on request after the step ending ";
    size_t found = log.find(said);
    if (found == std::string::npos) return false;
    char month[4] = "";
    int d = 0, h = 0, m = 0, s = 0;
    if (sscanf(log.c_str() + found + said.size(), "%3s%d %d:%d:%d", month, &d, &h, &m, &s) != 5) return false;
    at->from = 86400 * (d - 1) + 3600 * h + 60 * m + s;
    char buf[32];
    snprintf(buf, sizeof buf, "Jan%02d", d);
    at->record = buf;
    if (h == 24) snprintf(buf, sizeof buf, "Jan%02d 0:00:00", d + 1);
    else snprintf(buf, sizeof buf, "Jan%02d %d:%02d:%02d", d, h, m, s);
    at->start = buf;
    return std::string(month) == "Jan";
}

TEST_P(ConsistencyMatrix, ResultsDoNotDependOnTheCut)
{
    const Row r = GetParam();
    Period base;
    base.burst = r.method != STIFF;
    // The stiff integrator's progress lines at its listing stops, where a placed stop lands.
    if (r.method == STIFF) base.screen = "0:15:00";
    if (r.cut == REFUSED) {
        // The stiff integrator refuses the burst (or the occupant) before its first step, and
        // writes nothing.
        base.burst = r.network != OCCUPANT;
        write(r, base);
        Outcome o = runEngine("run.prj", "run.prj");
        EXPECT_EQ(o.status, 2);
        const std::string said = r.network == OCCUPANT ? "ERROR CVODE does not support exposures\n"
                                                         "NOTE Set mf_solver to 0 or 1 on Run Control to compute "
                                                         "occupant exposures\n"
                                                       : "ERROR CVODE does not support burst sources\n"
                                                         "NOTE Set mf_solver to 0 or 1 on Run Control to release burst "
                                                         "sources\n";
        EXPECT_NE(o.err.find(said + "FATAL Please try another transport solver\n"), std::string::npos) << o.err;
        EXPECT_FALSE(exists(dir + "run.sqlite3"));
        EXPECT_FALSE(exists(dir + "run.rst"));
        return;
    }
    if (r.network == IMPOSSIBLE) {
        // A FATAL ends it, with no result kept; what a run that went on listed is shown.
        write(r, base);
        Outcome o = runEngine("run.prj", "run.prj");
        EXPECT_EQ(o.status, 2) << o.err.substr(o.err.size() > 3000 ? o.err.size() - 3000 : 0);
        EXPECT_NE(o.err.find("FATAL "), std::string::npos);
        EXPECT_EQ(o.log.find("Simulation completed successfully."), std::string::npos);
        if (exists(dir + "run.sqlite3")) expectPossible(listings(dir + "run.sqlite3", speciesCount(), GetParam().network == DUCT));
        return;
    }
    write(r, base);
    Books whole;
    const Listings all = complete(&whole);
    const std::string map = said;
    ASSERT_FALSE(all.times.empty());
    ASSERT_EQ(all.times.front(), START);
    ASSERT_EQ(all.times.back(), END);
    figure("closure", expectCloses(whole, &all, "the unbroken run"));
    figure("filter", filterWorst);
    // Midnight is listed as the day's end and as the next day's start: one instant, one
    // state (the stiff integrator's state at 0:00 follows the gas law anew, to its tolerance).
    ASSERT_EQ(all.ends.count(86400), 1u);
    const size_t mfs = 2 * (size_t)speciesCount();
    const double twice = std::fmax(differs(all.ends.at(86400), all.values.at(86400), 0, mfs, 1e-6),
                                   differs(all.ends.at(86400), all.values.at(86400), mfs, SIZE_MAX, 1e-2));
    EXPECT_LE(twice, r.method == STIFF ? 10 * CV_RTOL : 0.0) << "midnight listed twice";
    figure("midnight_twice", twice);

    if (r.weights == MIXED) {
        // The non-trace system keeps the weighting it has in the row of one weighting for
        // both, and nothing of the trace species moves it: its listings and books are those.
        Row one = r;
        one.weights = SAME;
        write(one, base);
        Books same;
        const Listings uniform = complete(&same);
        figure("mixed", expectNonTraceSame(all, whole, uniform, same));
    }

    if (r.cut == UNBROKEN) {
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
    before.summaries = after.summaries = r.summaries;
    // Without the summaries the stiff integrator no longer stops at each listing.
    const Agreement upToCut = r.summaries ? SAME_STEPS : OTHER_STOPS;
    Moment at;
    Books first;
    Listings upTo;
    if (r.cut == MIDNIGHT) {
        before.end = "Jan01 24:00:00";
        write(r, before);
        upTo = complete(r.summaries ? &first : nullptr);
        figure("stopped", expectContinues(upTo, all, START - 1, 86400, upToCut));
        if (r.summaries) figure("part", expectCloses(first, &upTo, "the run up to midnight"));
    } else {
        int status = -1;
        if (r.cut == STOP) {
            before.screen = "0:00:01";   // a progress line at every step
            write(r, before);
            status = stopped();
        } else {
            write(r, before);
            if (!r.summaries) complete();   // what the bare run writes before the stop
            else said = map;
            status = r.cut == STOP_MIDNIGHT ? stoppedAt("Jan01", "24:00:00", r.signal)
                                            : stoppedAt("Jan02", "01:00:00", r.signal);
        }
        EXPECT_EQ(status, 1);
        const std::string log = slurp(dir + "run.xlog");
        ASSERT_TRUE(stopMoment(log, &at)) << log.substr(log.size() > 2000 ? log.size() - 2000 : 0);
        EXPECT_EQ(log.substr(log.size() - 18), "VexlarX finish(1)\n");
        EXPECT_EQ(log.find("Simulation completed successfully."), std::string::npos);
        // The placed stops land where they were placed.
        if (r.cut != STOP) {
            EXPECT_EQ(at.from, r.cut == STOP_MIDNIGHT ? 86400 : 86400 + 3600);
        }
        ASSERT_GT(at.from, START);
        ASSERT_LT(at.from, END) << "stopped too late to resume";
        const std::string db = dir + "run.sqlite3";
        EXPECT_EQ(sqlRows(db, "SELECT integrity_check = 'ok' FROM pragma_integrity_check"),
                  (std::vector<std::vector<double>>{{1}}));
        EXPECT_FALSE(exists(db + "-wal"));
        // What the stopped run listed, it listed as the unbroken run did.
        upTo = listings(db, speciesCount(), r.network == DUCT);
        expectPossible(upTo);
        figure("stopped", expectContinues(upTo, all, START - 1, at.from, upToCut));
        figure("stop_off_grid", at.from % LIST);
        if (r.summaries) {
            // Its own books close: its filters' always, the balance when its end is listed.
            first = books(slurp(dir + "run.csm"));
            figure("stopped_closure", expectCloses(first, at.from % LIST == 0 ? &upTo : nullptr, "the stopped run"));
        } else {
            EXPECT_FALSE(exists(dir + "run.csm"));
        }
    }
    after.start = at.start;
    after.restart = at.record;
    const std::string rst = slurp(dir + "run.rst");
    write(r, after);
    std::ofstream(dir + "run.rst", std::ios::binary) << rst;
    Books second;
    const Listings resumed = complete(r.summaries ? &second : nullptr);
    const Agreement fromCut = !r.summaries ? OTHER_STOPS : at.from == 86400 ? AT_MIDNIGHT : RESUMED;
    figure("resumed", expectContinues(resumed, all, at.from, END, fromCut));
    figure("flows", flowsWorst);
    if (r.summaries) figure("books", expectAddUp(first, second, whole));
    else EXPECT_FALSE(exists(dir + "run.csm"));
}

// The rows: every method, both species sets, with and without the storage term, under each
// cut of the first table; then the other columns where their faults sit, not crossed whole.
std::vector<Row> rows()
{
    std::vector<Row> v;
    const Method all[] = {IMPLICIT, TRAPEZOIDAL, SHORT_STEP, STIFF};
    for (Method m : all)
        for (Species s : {TRACE, NON_TRACE})
            for (int storage : {0, 1}) {
                for (Cut c : {UNBROKEN, MIDNIGHT, STOP}) v.push_back({m, s, storage, c});
                if (m == STIFF) v.push_back({m, s, storage, REFUSED});
                else v.push_back({m, s, storage, UNBROKEN, 1});
                // Placed stops: the record of a stop at a day's end and the resumed run's first
                // listing; the stiff integrator's midnight resume differs with the storage term.
                if (storage || m == STIFF)
                    for (Cut c : {STOP_MIDNIGHT, STOP_LISTING}) v.push_back({m, s, storage, c});
            }
    // The air's mass fractions with no trace system beside them, under every method.
    for (Method m : all)
        for (Cut c : {UNBROKEN, MIDNIGHT, STOP_LISTING}) v.push_back({m, NON_TRACE_ONLY, 1, c});
    // The weightings apart only matter where both systems are solved by weighted steps.
    for (Method m : {IMPLICIT, TRAPEZOIDAL}) {
        v.push_back({m, NON_TRACE, 0, UNBROKEN, 0, MIXED});
        for (Cut c : {UNBROKEN, MIDNIGHT, STOP_LISTING}) v.push_back({m, NON_TRACE, 1, c, 0, MIXED});
    }
    // The signals a closed terminal and an impatient user send, at the stop of the implicit
    // method and at the stiff integrator's, which takes its state back to the whole second.
    for (Method m : {IMPLICIT, STIFF}) {
        v.push_back({m, NON_TRACE, 1, STOP_LISTING, 0, SAME, HUP});
        v.push_back({m, NON_TRACE, 1, STOP_MIDNIGHT, 0, SAME, HUP_TWICE});
        v.push_back({m, NON_TRACE, 1, STOP_LISTING, 0, SAME, TERM_THEN_INT});
    }
    // A stopped run that started from the steady contaminants (the stiff integrator has none).
    for (Method m : {IMPLICIT, TRAPEZOIDAL, SHORT_STEP}) v.push_back({m, NON_TRACE, 1, STOP_LISTING, 1});
    // The summaries off on both sides of a cut.
    for (Method m : all)
        for (Cut c : {MIDNIGHT, STOP}) v.push_back({m, NON_TRACE, 1, c, 0, SAME, TERM, 0});
    // A duct's junctions (the short time step's mixing under the storage term among them), a
    // one-dimensional zone of the short time step, and a worker who breathes out CO2 as he
    // moves between the rooms; the stiff integrator refuses occupants: a row that must fail.
    for (Method m : all)
        for (Cut c : {UNBROKEN, MIDNIGHT, STOP_LISTING}) v.push_back({m, NON_TRACE, 1, c, 0, SAME, TERM, 1, DUCT});
    for (Cut c : {UNBROKEN, MIDNIGHT, STOP_LISTING}) v.push_back({SHORT_STEP, NON_TRACE, 1, c, 0, SAME, TERM, 1, ONE_D});
    for (Method m : {IMPLICIT, TRAPEZOIDAL, SHORT_STEP})
        for (Cut c : {UNBROKEN, MIDNIGHT, STOP_LISTING}) v.push_back({m, NON_TRACE, 1, c, 0, SAME, TERM, 1, OCCUPANT});
    v.push_back({STIFF, NON_TRACE, 1, REFUSED, 0, SAME, TERM, 1, OCCUPANT});
    // A network no mass fraction can follow. The implicit family lists a tracer's mass
    // fraction of 52 and calls that run a success: its rows join when it refuses it.
    v.push_back({STIFF, TRACE, 0, UNBROKEN, 0, SAME, TERM, 1, IMPOSSIBLE});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Rows, ConsistencyMatrix, ::testing::ValuesIn(rows()),
                         [](const ::testing::TestParamInfo<Row>& i) { return rowName(i.param); });

}  // namespace
