// The project reader against damaged files. From each example and a few small fixtures
// come up to a thousand inputs of each kind: a number set to 0, -1, 2147483647 or a huge
// float; the file cut after or inside a line; a line dropped or repeated. Every input must
// end in a clean read or a counted ERROR, with a bounded number of messages, bounded
// allocation and bounded CPU time.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/prj-read.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "tests/common-src/section-test-util.h"

using namespace vexlar;

namespace {

// Work allowed for one input: messages (the Run Control section alone holds about 130
// values, each of which may be reported), and CPU seconds before the alarm ends the test.
constexpr int MAX_MESSAGES = 200;
constexpr int CPU_SECONDS = 10;

// What the current input is, for a failure or a runaway read.
char s_input[256];
int s_messages;
std::vector<std::string> s_errors;   // texts of the ERRORs of the current input

void die(const char* what)
{
    fprintf(stderr, "\n%s while reading %s\n", what, s_input);
    fflush(stderr);
    _exit(3);
}

void on_alarm(int) { die("CPU time limit exceeded"); }

void sink(const char* head, const char* text, int*)
{
    if (++s_messages > MAX_MESSAGES) die("Too many messages");
    if (strcmp(head, "ERROR") == 0) s_errors.push_back(text);
    // The caller of any other FATAL does not expect the run to go on.
    if (strcmp(head, "FATAL") == 0 && strcmp(text, " Project file errors must be fixed.\n") != 0)
        die(text);
}

void finish(int) {}   // prj_read returns 1 after its closing FATAL

std::string fileText(const std::string& rel)
{
    std::ifstream f(std::string(VEXLAR_SOURCE_DIR) + "/" + rel, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

bool isNumber(const std::string& w)
{
    if (w.empty()) return false;
    char* end;
    strtod(w.c_str(), &end);
    return *end == '\0';
}

// Start and length of every number word outside "!" comments, as the token stream splits.
std::vector<std::pair<size_t, size_t>> numberWords(const std::string& text)
{
    std::vector<std::pair<size_t, size_t>> words;
    auto sep = [](char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; };
    size_t i = 0;
    while (i < text.size()) {
        if (sep(text[i])) { ++i; continue; }
        if (text[i] == '!') {
            while (i < text.size() && text[i] != '\n') ++i;
            continue;
        }
        size_t start = i;
        while (i < text.size() && !sep(text[i])) ++i;
        if (isNumber(text.substr(start, i - start))) words.push_back({start, i - start});
    }
    return words;
}

enum Kind { NUMBERS, CUTS, LINES };

struct Source {
    const char* file;
    Kind kind;
};

std::string sourceName(const ::testing::TestParamInfo<Source>& info)
{
    std::string name = info.param.file;
    name = name.substr(name.rfind('/') + 1);
    name = name.substr(0, name.find('.'));
    for (char& c : name)
        if (c == '-') c = '_';
    static const char* const kinds[] = {"Numbers", "Cuts", "Lines"};
    return name + kinds[info.param.kind];
}

// One change to a source text: the bytes [at, at + len) give way to text.
struct Change {
    std::string label;
    size_t at, len;
    std::string text;
};

std::string applied(const std::string& source, const Change& c)
{
    return source.substr(0, c.at) + c.text + source.substr(c.at + c.len);
}

// Every change of one kind that can be made to a source.
std::vector<Change> allChanges(const std::string& source, Kind kind)
{
    std::vector<Change> out;
    if (kind == NUMBERS) {
        static const char* const values[] = {"0", "-1", "2147483647", "1e300"};
        for (auto [at, len] : numberWords(source))
            for (const char* v : values)
                out.push_back({"byte " + std::to_string(at) + " set to " + v, at, len, v});
        return out;
    }
    size_t start = 0;
    for (const std::string& line : splitLines(source)) {
        std::string n = std::to_string(out.size() / 2 + 1);
        if (kind == CUTS) {
            // Cut after the line, and in the middle of it without its line end.
            size_t end = start + line.size(), half = start + line.size() / 2;
            out.push_back({"cut after line " + n, end, source.size() - end, ""});
            out.push_back({"cut inside line " + n, half, source.size() - half, ""});
        } else {
            out.push_back({"line " + n + " dropped", start, line.size(), ""});
            out.push_back({"line " + n + " repeated", start, 0, line});
        }
        start += line.size();
    }
    return out;
}

// Inputs of one kind per source, so that the test stays quick in the sanitizer build.
constexpr size_t BUDGET = 1000;

// The changes of one kind, a long list thinned to about BUDGET evenly spread ones. The
// stride is odd, so the changes made at one place (the four values, or dropping and
// repeating) still take turns along the file.
std::vector<Change> changes(const std::string& source, Kind kind)
{
    std::vector<Change> all = allChanges(source, kind);
    size_t stride = ((all.size() + BUDGET - 1) / BUDGET) | 1;
    std::vector<Change> out;
    for (size_t i = 0; i < all.size(); i += stride) out.push_back(all[i]);
    return out;
}

// Reads project texts in this process: messages captured, the reader's closing FATAL
// returning to it, and the model released after each read.
class ReaderRun : public ::testing::Test {
protected:
    // The inputs live in memory; the reader opens them by name like any file.
    int fd = -1;
    std::string path;
    FILE* devnull = nullptr;

    void SetUp() override
    {
        fd = memfd_create("project", 0);
        ASSERT_GE(fd, 0);
        path = "/proc/self/fd/" + std::to_string(fd);
        devnull = fopen("/dev/null", "w");
        _ulog = devnull;
        _errorLogFileP = &_ulog;
        _errorAuxFcnP = sink;
        _errorFinishFcnP = finish;
        signal(SIGPROF, on_alarm);
    }
    void TearDown() override
    {
        itimerval off{};
        setitimer(ITIMER_PROF, &off, nullptr);
        signal(SIGPROF, SIG_DFL);
        _errorAuxFcnP = nullptr;
        _errorFinishFcnP = nullptr;
        _errorLogFileP = nullptr;
        _ulog = nullptr;
        fclose(devnull);
        close(fd);
        error(-2, __FILE__, __LINE__, "reset count", "");
    }

    // Reads one input; an empty string when it ended as it must, else what went wrong.
    // The ERROR count and the messages stay for the caller.
    std::string readOne(const std::string& label, const std::string& text)
    {
        snprintf(s_input, sizeof s_input, "%s", label.c_str());
        if (ftruncate(fd, 0) != 0 || pwrite(fd, text.data(), text.size(), 0) != (ssize_t)text.size())
            return label + ": could not be written";
        _ms = alc_eci(32000, "ms-block");
        _mb = alc_eci(8000, "mb-block");
        _rcdat = RunControlData{};
        _wthdat = WeatherData{};
        s_messages = 0;
        s_errors.clear();
        error(-2, __FILE__, __LINE__, "reset count", "");
        itimerval limit{};
        limit.it_value.tv_sec = CPU_SECONDS;
        setitimer(ITIMER_PROF, &limit, nullptr);
        uint64_t bytes = _bytesAllocated;
        int rc = prj_read(path.c_str());
        uint64_t used = _bytesAllocated - bytes;
        int errors = error(-1, __FILE__, __LINE__, "count", "");
        testutil::releaseProjectModel();
        if ((rc == 0) != (errors == 0))
            return label + ": returned " + std::to_string(rc) + " with " + std::to_string(errors) +
                   " ERRORs";
        // Records are a few hundred bytes each and every one takes some bytes of the file.
        if (used > 100 * text.size() + (1u << 20))
            return label + ": allocated " + std::to_string(used) + " bytes";
        return "";
    }
};

class DamagedProject : public ReaderRun, public ::testing::WithParamInterface<Source> {};

TEST_P(DamagedProject, EndsInACleanReadOrACountedError)
{
    std::string original = fileText(GetParam().file);
    ASSERT_EQ(readOne(GetParam().file, original), "");
    ASSERT_EQ(error(-1, __FILE__, __LINE__, "count", ""), 0) << "the original reads clean";
    std::vector<std::string> failures;
    size_t n = 0, rejected = 0;
    for (const Change& c : changes(original, GetParam().kind)) {
        std::string why = readOne(std::string(GetParam().file) + ", " + c.label, applied(original, c));
        if (!why.empty()) failures.push_back(why);
        rejected += error(-1, __FILE__, __LINE__, "count", "") > 0;
        ++n;
    }
    // Damage is noticed; some (a value changed within its range, a repeated comment line)
    // cannot be.
    EXPECT_GT(rejected, n / 4) << n << " inputs";
    std::string first;
    for (size_t i = 0; i < failures.size() && i < 10; ++i) first += failures[i] + "\n";
    EXPECT_EQ(failures.size(), 0u) << first;
}

const char* const kFiles[] = {"examples/balance.prj",      "examples/catalog.prj",
                              "examples/lab.prj",          "examples/office.prj",
                              "tests/e2e/prj/minimal.prj", "tests/e2e/prj/ducts.prj",
                              "tests/e2e/balance/two-terminals.prj"};

std::vector<Source> allSources()
{
    std::vector<Source> v;
    for (const char* f : kFiles)
        for (Kind k : {NUMBERS, CUTS, LINES}) v.push_back({f, k});
    return v;
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedProject, ::testing::ValuesIn(allSources()), sourceName);

// A value no file can hold, put into the minimal project: the reader stops at it with one
// ERROR naming its record (and the missing end word of its section, at most).
struct BadValue {
    const char* name;
    const char* from;
    const char* to;
    const char* error;
    const char* file = "tests/e2e/prj/minimal.prj";
    const char* field = nullptr;   // the end of the place line, when the only ERROR is checked
};

class RejectedValue : public ReaderRun, public ::testing::WithParamInterface<BadValue> {};

TEST_P(RejectedValue, IsACountedErrorNamingItsRecord)
{
    std::string text = fileText(GetParam().file);
    size_t at = text.find(GetParam().from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, strlen(GetParam().from), GetParam().to);
    EXPECT_EQ(readOne(GetParam().name, text), "");
    ASSERT_GE(s_errors.size(), 1u);
    EXPECT_LE(s_errors.size(), 2u);
    // The text, then the line that says where the reader stood.
    size_t end = s_errors[0].find('\n') + 1;
    EXPECT_EQ(s_errors[0].substr(0, end), std::string(" ") + GetParam().error + "\n");
    EXPECT_EQ(s_errors[0].substr(end, 5), "  in ") << s_errors[0];
    if (GetParam().field) {
        EXPECT_EQ(s_errors.size(), 1u) << s_errors[1];
        std::string place = s_errors[0].substr(end);
        EXPECT_EQ(place.substr(place.size() - strlen(GetParam().field) - 1), std::string(GetParam().field) + "\n")
            << place;
    }
}


INSTANTIATE_TEST_SUITE_P(Minimal, RejectedValue, ::testing::Values(
    BadValue{"LevelIcons", "1 0.0 3.0 0 0 0 Ground", "1 0.0 3.0 2147483647 0 0 Ground",
             "Count in Level record 1 is larger than the rest of the file: 2147483647"},
    BadValue{"CefLines", "0 ! filter elements\n", "1\n1 cef 1 1 1 0 0 F\nd\n2147483647\n",
             "Count in Filter Element record 1 is larger than the rest of the file: 2147483647"},
    BadValue{"SuperElementMembers", "1 0 plr_orfc Opening\nA small opening\n0.002 0.03 0.5\n",
             "1 0 sup_afe Opening\nd\n2147483647 1 0\n",
             "Count in Airflow Element record 1 is larger than the rest of the file: 2147483647"},
    BadValue{"OccupantEmissions", "0 ! occupants\n",
             "1\n1 1 2147483647 1 0\nd\n0 0 0 0 0 0 0 0 0 0 0 0\n",
             "Count in Occupant Exposure record 1 is larger than the rest of the file: 2147483647"},
    BadValue{"Levels", "1 ! levels", "2147483647 ! levels",
             "Record count in Level section is larger than the rest of the file: 2147483647"},
    BadValue{"ZoneAtZeroKelvin", "0 50 293.15 0 Room", "0 50 0 0 Room", "Invalid temperature, zone 1"},
    BadValue{"ZoneOfNegativeVolume", "0 50 293.15 0 Room", "0 -90 293.15 0 Room",
             "Invalid volume, zone 1: -90 m3"},
    // The zone's mass fractions are solved for CO2, so its air mass enters the balance.
    BadValue{"SolvedZoneWithoutVolume", "0 50 293.15 0 Room", "0 0 293.15 0 Room",
             "Invalid volume, zone 1: 0 m3", "tests/e2e/prj/ventilated-co2.prj"},
    BadValue{"AmbientBelowZero", "293.15 101325", "-1 101325",
             "Invalid ambient temperature -1 K in Run Control: set Tambt, the outdoor temperature in K, "
             "above 0 (e.g. 293.15 for 20 C)"},
    // The stiff integrator (mf_solver 2) weighs its masses by both tolerances.
    BadValue{"StiffAbsoluteToleranceZero", "0 1e-6 1e-12 0", "0 1e-6 0 0",
             "Invalid cv_atol 0 in Run Control: set the stiff integrator's absolute tolerance above 0 (e.g. 1e-12)",
             "tests/e2e/prj/heavy-gas.prj"},
    BadValue{"StiffRelativeToleranceNegative", "0 1e-6 1e-12 0", "0 -1e-6 1e-12 0",
             "Invalid cv_rtol -1e-6 in Run Control: set the stiff integrator's relative tolerance above 0 (e.g. 1e-6)",
             "tests/e2e/prj/heavy-gas.prj", "field cv_rtol"},
    // A word that is no number: printed as read, at the field that holds it, once.
    BadValue{"StiffRelativeToleranceNotANumber", "0 1e-6 1e-12 0", "0 nan 1e-12 0",
             "Invalid cv_rtol nan in Run Control: set the stiff integrator's relative tolerance above 0 (e.g. 1e-6)",
             "tests/e2e/prj/heavy-gas.prj", "field cv_rtol"},
    BadValue{"StiffAbsoluteToleranceNotANumber", "0 1e-6 1e-12 0", "0 1e-6 1e-12x 0",
             "Invalid cv_atol 1e-12x in Run Control: set the stiff integrator's absolute tolerance above 0 (e.g. 1e-12)",
             "tests/e2e/prj/heavy-gas.prj", "field cv_atol"}),
    [](const ::testing::TestParamInfo<BadValue>& i) { return std::string(i.param.name); });

// A zone whose mass fractions are not solved for (here no species is simulated) may have
// no volume: it holds no mass that any balance needs.
TEST_F(ReaderRun, ZoneWithoutVolumeReadsCleanWhileNoBalanceNeedsItsAirMass)
{
    std::string text = fileText("tests/e2e/prj/minimal.prj");
    size_t at = text.find("0 50 293.15 0 Room");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 18, "0 0 293.15 0 Room");
    EXPECT_EQ(readOne("ZoneWithoutVolume", text), "");
    EXPECT_TRUE(s_errors.empty()) << s_errors[0];
}

}  // namespace
