// End to end: the timed input files on the real vexlar-x. fans.prj supplies a room by two
// 0.1 kg/s fans, one scaled by a continuous value that ramps between its records, one by a
// discrete value that steps at its records, and relieves it by an opening; the control
// log and the path flows are checked against the values worked out by hand from the two
// files. Then every kind of timed file is given one word it cannot read, at its opening
// and in a later record: the run must end with a FATAL naming the file, never in success,
// and promptly: with its memory capped, a huge allocation cannot pass unnoticed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

const std::string PRJ_DIR = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/";

// fans.cvf: 0.2 at 0:00, 1.0 at 2:00, 0.4 at 4:00 and after; t in seconds of Jan 1.
double supplyShare(double t)
{
    if (t <= 7200) return 0.2 + 0.8 * t / 7200;
    if (t <= 14400) return 1.0 - 0.6 * (t - 7200) / 7200;
    return 0.4;
}

// fans.dvf: 0 at first, 1 from 1:30, 0.5 from 3:00.
double boostShare(double t) { return t < 5400 ? 0.0 : t < 10800 ? 1.0 : 0.5; }

struct LogRow {
    int t;
    double supply, boost;
};

std::vector<LogRow> controlLog(const std::string& text)
{
    std::vector<LogRow> rows;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '!') continue;
        std::vector<std::string> f;
        std::istringstream l(line);
        for (std::string w; std::getline(l, w, '\t');) f.push_back(w);
        if (f.size() == 5) rows.push_back({std::atoi(f[2].c_str()), num(f, 3), num(f, 4)});
    }
    return rows;
}

class TimedInputRun : public E2eTest {
protected:
    void copyFans()
    {
        for (const char* f : {"fans.prj", "fans.cvf", "fans.dvf"}) copyInto(dir, PRJ_DIR + f);
    }
    void write(const std::string& name, const std::string& text) { std::ofstream(dir + name) << text; }
};

TEST_F(TimedInputRun, ControlLogAndFanFlowsFollowTheContinuousAndDiscreteValues)
{
    copyFans();
    Outcome r = runEngine("fans.prj", "fans.prj");
    ASSERT_EQ(r.status, 0) << r.err << r.log;
    // A row of the control log stands at the start of its 30-minute step and shows the
    // controls evaluated at the step's end: the continuous value there, the discrete value
    // of the last record the step's start has reached. The closing row repeats 6:00.
    std::vector<LogRow> rows = controlLog(slurp(dir + "fans.log"));
    ASSERT_EQ(rows.size(), 13u) << slurp(dir + "fans.log");
    for (size_t k = 0; k < rows.size(); k++) {
        const LogRow& row = rows[k];
        int t = (int)k * 1800;
        bool closing = k + 1 == rows.size();
        EXPECT_EQ(row.t, closing ? 21600 : t);
        EXPECT_NEAR(row.supply, supplyShare(closing ? 21600 : t + 1800), 1e-6) << t;
        EXPECT_NEAR(row.boost, boostShare(t), 1e-6) << t;
    }
    // The flows at each step's end: each fan's 0.1 kg/s times its control, the opening
    // carrying both out.
    auto flows = sqlRows(dir + "fans.sqlite3",
                         "SELECT t.Time, a.Flow0, b.Flow0, c.Flow0 FROM TIME t "
                         "JOIN LINKPATHDATA a ON a.TimeID = t.TimeID AND a.PathNumber = 1 "
                         "JOIN LINKPATHDATA b ON b.TimeID = t.TimeID AND b.PathNumber = 2 "
                         "JOIN LINKPATHDATA c ON c.TimeID = t.TimeID AND c.PathNumber = 3 ORDER BY t.TimeID");
    ASSERT_EQ(flows.size(), 13u);
    for (size_t k = 0; k < flows.size(); k++) {
        const std::vector<double>& f = flows[k];
        double t = f[0];
        ASSERT_EQ(t, k * 1800.0);
        double supply = 0.1 * supplyShare(t), boost = 0.1 * boostShare(t - 1800);
        EXPECT_NEAR(f[1], supply, 1e-7) << t;
        EXPECT_NEAR(f[2], boost, 1e-7) << t;
        EXPECT_NEAR(f[3], supply + boost, 1e-4 * (supply + boost)) << t;
    }
}

TEST_F(TimedInputRun, ContinuousValueNearTheFloatLimitIsInterpolatedAndOneBeyondItEndsTheRun)
{
    copyFans();
    // The continuous value only logged, no fan driven by it.
    write("fans.prj", edited(slurp(dir + "fans.prj"),
                             {{"1 0 -1 1 2 0 0 0 0 1 ", "1 0 -1 1 2 0 0 0 0 0 1 0 0 1.5 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0"}}));
    const std::string head = "ContinuousValuesFile VexlarW 2.1\nd\n1/1 1/1\n1\nsupply\n";
    write("fans.cvf", head + "1/1 00:00:00 3.4e38\n1/1 04:00:00 2.6e38\n1/1 24:00:00 2.6e38\n");
    Outcome r = runEngine("fans.prj", "fans.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<LogRow> rows = controlLog(slurp(dir + "fans.log"));
    ASSERT_EQ(rows.size(), 13u);
    for (const LogRow& row : rows) {
        double t = row.t == 21600 ? 21600 : row.t + 1800;
        double expect = t >= 14400 ? 2.6e38 : 3.4e38 - 0.8e38 * t / 14400;
        EXPECT_NEAR(row.supply / expect, 1.0, 1e-6) << row.t;
    }
    write("fans.cvf", head + "1/1 00:00:00 3.4e38\n1/1 04:00:00 3.5e38\n1/1 24:00:00 2.6e38\n");
    r = runEngine("fans.prj", "fans.prj");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ERROR 3.5e38 is too large for a single-precision value in fans.cvf\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("FATAL Error encountered while reading CVF file fans.cvf\n"), std::string::npos) << r.err;
}

// One unreadable word in one timed file.
struct BadWord {
    const char* label;
    const char* project;   // fans.prj or ventilated-co2.prj
    std::vector<Edit> edits;   // to the project, naming the file
    const char* file;
    std::string text;
    bool at_opening;       // met while the file is opened, else in a later record
    const char* fatal;     // the FATAL that ends the run
};

void PrintTo(const BadWord& b, std::ostream* os) { *os << b.label; }

const Edit USE_WEATHER = {"null   ! weather file", "fans.wth   ! weather file"};
const Edit USE_WPC = {"null   ! WPC file", "fans.wpc   ! WPC file"};
const Edit WPC_PRESSURES = {"0 0 0:00:00 1/1 12/31 0 0 0", "0 0 0:00:00 1/1 12/31 1 0 0"};
// The three paths on the envelope at (1, 1, 1.5), where the file has its one opening.
const Edit WPC_PATH1 = {"1 0 -1 1 2 0 0 0 0 1 ", "1 6 -1 1 2 0 0 0 0 1 1 1 1 1.5 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0"};
const Edit WPC_PATH2 = {"2 0 -1 1 2 0 0 0 0 2 ", "2 6 -1 1 2 0 0 0 0 2 1 1 1 1.5 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0"};
const Edit WPC_PATH3 = {"3 0 1 -1 1 0 0 0 0 0 ", "3 6 1 -1 1 0 0 0 0 0 1 1 1 1.5 1 0 1 180 0 0 0 0 0 0 0 0 0 0 0 0"};
const Edit USE_CTM = {"null   ! contaminant file", "co2.ctm   ! contaminant file"};
const Edit TRANSIENT_CO2 = {"1 0 1e-4 1e-15 0 0", "2 0 1e-4 1e-15 0 0"};

std::string weather(const std::string& day, const std::string& later)
{
    return "WeatherFile VexlarW 2.0\nd\n1/1 1/1\n" + day + "\n1/1 00:00:00 293.15 101325 0 0 0 0 0 0 0 0\n"
           "1/1 02:00:00 293.15 101325 0 0 0 0 0 0 0 0\n" + later +
           "\n1/1 24:00:00 293.15 101325 0 0 0 0 0 0 0 0\n";
}

std::string wpc(const std::string& counts, const std::string& later)
{
    return "WPCfile VexlarW 2.4\nd\n" + counts + "\n1/1 1/1\n1 1 1 1.5 0" + "\n1/1 00:00:00 101325 1.2\n0\n1/1 02:00:00 101325 1.2\n0\n" +
           later +
           "\n1/1 24:00:00 101325 1.2\n0\n";
}

std::string ctm(const std::string& count, const std::string& later)
{
    return "SpeciesFile VexlarW 2.0\nd\n1/1 1/1\n" + count + "\nCO2\n1/1 00:00:00 6.08e-4\n1/1 02:00:00 6.08e-4\n" + later +
           "\n1/1 24:00:00 6.08e-4\n";
}

const char* const CVF_HEAD = "ContinuousValuesFile VexlarW 2.1\nd\n1/1 1/1\n";
const char* const DVF_HEAD = "DiscreteValuesFile VexlarW 2.1\nd\n1/1 1/1\n1\n";
const char* const FANS = "fans.prj";
const char* const CO2 = "ventilated-co2.prj";

const BadWord kBadWords[] = {
    {"CvfCount", FANS, {}, "fans.cvf", std::string(CVF_HEAD) + "one\nsupply\n1/1 00:00:00 0.2\n1/1 24:00:00 0.4\n",
     true, "CVF file fans.cvf"},
    {"CvfRecord", FANS, {}, "fans.cvf",
     std::string(CVF_HEAD) + "1\nsupply\n1/1 00:00:00 0.2\n1/1 02:00:00 1.0\n1/1 04:00:00 four\n1/1 24:00:00 0.4\n", false,
     "CVF file fans.cvf"},
    {"DvfInitialInfinity", FANS, {}, "fans.dvf", std::string(DVF_HEAD) + "boost -inf\n1/1 01:30:00 1 1.0\n", true,
     "DVF file fans.dvf"},
    {"DvfInitialDate", FANS, {}, "fans.dvf", std::string(DVF_HEAD) + "boost 13/1\n1/1 01:30:00 1 1.0\n", true,
     "DVF file fans.dvf"},
    {"DvfInitialTime", FANS, {}, "fans.dvf", std::string(DVF_HEAD) + "boost 0:00:00\n1/1 01:30:00 1 1.0\n", true,
     "DVF file fans.dvf"},
    {"DvfRecord", FANS, {}, "fans.dvf", std::string(DVF_HEAD) + "boost 0\n1/1 01:30:00 1 1.0\n1/1 03:00:00 1 half\n", false,
     "DVF file fans.dvf"},
    {"WeatherDayOfWeek", FANS, {USE_WEATHER}, "fans.wth", weather("1/1 inf 1 0 0", ""), true, "WTH file fans.wth"},
    {"WeatherDayField", FANS, {USE_WEATHER}, "fans.wth", weather("1/1 1 1 0 12/31", ""), true, "WTH file fans.wth"},
    {"WeatherRecord", FANS, {USE_WEATHER}, "fans.wth",
     weather("1/1 1 1 0 0", "1/1 04:00:00 293.15 101325 0 north 0 0 0 0 0 0"), false, "WTH file fans.wth"},
    {"WpcOpening", FANS, {USE_WPC, WPC_PRESSURES, WPC_PATH1, WPC_PATH2, WPC_PATH3}, "fans.wpc", wpc("1 0 1 none", ""), true, "WPC file fans.wpc"},
    {"WpcRecord", FANS, {USE_WPC, WPC_PRESSURES, WPC_PATH1, WPC_PATH2, WPC_PATH3}, "fans.wpc",
     wpc("1 0 1 0", "1/1 04:00:00 101325 1.2\nnil"),
     false, "WPC file fans.wpc"},
    {"CtmSpeciesCount", CO2, {USE_CTM, TRANSIENT_CO2}, "co2.ctm", ctm("PM25", ""), true, "CTM file co2.ctm"},
    {"CtmRecord", CO2, {USE_CTM, TRANSIENT_CO2}, "co2.ctm", ctm("1", "1/1 04:00:00 6.08e-4x"), false,
     "CTM file co2.ctm"},
    // Counts no 16-bit word can hold: nothing may be sized or looped by them.
    {"CvfCountHuge", FANS, {}, "fans.cvf", std::string(CVF_HEAD) + "2147483647\nsupply\n1/1 00:00:00 0.2\n", true,
     "CVF file fans.cvf"},
    {"WpcOpeningCountHuge", FANS, {USE_WPC, WPC_PRESSURES, WPC_PATH1, WPC_PATH2, WPC_PATH3}, "fans.wpc",
     wpc("2147483647 0 1 0", ""), true, "WPC file fans.wpc"},
    {"WpcSpeciesCountHuge", FANS, {USE_WPC, WPC_PRESSURES, WPC_PATH1, WPC_PATH2, WPC_PATH3}, "fans.wpc",
     wpc("1 2147483647 1 0", ""), true, "WPC file fans.wpc"},
    {"CtmSpeciesCountHuge", CO2, {USE_CTM, TRANSIENT_CO2}, "co2.ctm", ctm("2147483647", ""), true, "CTM file co2.ctm"},
    // Values beyond single precision, which the ambient state and the wind pressures are kept in.
    {"WeatherWindSpeedBeyondFloat", FANS, {USE_WEATHER}, "fans.wth",
     weather("1/1 1 1 0 0", "1/1 04:00:00 293.15 101325 1e39 0 0 0 0 0 0 0"), false, "WTH file fans.wth"},
    {"WpcPressureBeyondFloat", FANS, {USE_WPC, WPC_PRESSURES, WPC_PATH1, WPC_PATH2, WPC_PATH3}, "fans.wpc",
     wpc("1 0 1 0", "1/1 04:00:00 101325 1.2\n-1e39"), false, "WPC file fans.wpc"},
};

// A timed file saved with a byte-order mark before its first line, as common editors
// write it: the header reads as written and the run goes through.
struct MarkedFile {
    const char* label;
    const char* project;
    std::vector<Edit> edits;
    const char* file;
    std::string text;   // "" for the file as kept beside fans.prj
};

void PrintTo(const MarkedFile& m, std::ostream* os) { *os << m.label; }

const MarkedFile kMarkedFiles[] = {
    {"Cvf", FANS, {}, "fans.cvf", ""},
    {"Dvf", FANS, {}, "fans.dvf", ""},
    {"Weather", FANS, {USE_WEATHER}, "fans.wth", weather("1/1 1 1 0 0", "")},
    {"Wpc", FANS, {USE_WPC, WPC_PRESSURES, WPC_PATH1, WPC_PATH2, WPC_PATH3}, "fans.wpc", wpc("1 0 1 0", "")},
    {"Ctm", CO2, {USE_CTM, TRANSIENT_CO2}, "co2.ctm", ctm("1", "")},
};

class MarkedTimedFile : public TimedInputRun, public ::testing::WithParamInterface<MarkedFile> {};

TEST_P(MarkedTimedFile, ReadsPastTheByteOrderMark)
{
    const MarkedFile& m = GetParam();
    copyFans();
    copyInto(dir, PRJ_DIR + CO2);
    write(m.project, edited(slurp(dir + m.project), m.edits));
    std::string text = m.text.empty() ? slurp(dir + m.file) : m.text;
    write(m.file, "\xEF\xBB\xBF" + text);
    Outcome r = runEngine(m.project, m.project);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("Invalid header"), std::string::npos) << r.err;
    EXPECT_NE(r.log.find("Simulation completed successfully."), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(TimedInputRun, MarkedTimedFile, ::testing::ValuesIn(kMarkedFiles),
                         [](const ::testing::TestParamInfo<MarkedFile>& i) { return std::string(i.param.label); });

// A mistake in a weather file: its message names the file, the line and what belongs there,
// once. ventilated-co2.prj with transient airflow, reading co2.wth.
struct WeatherMistake {
    const char* label;
    std::vector<Edit> edits;   // to the project, besides the airflow and the file's name
    std::string text;          // co2.wth
    int status;
    const char* message;       // the whole message after its level word and blank
};

void PrintTo(const WeatherMistake& m, std::ostream* os) { *os << m.label; }

const char* const WTH_LAYOUT =
    "a record is a date m/d, a time h:mm:ss and ten numbers: temperature [K], barometric pressure [Pa], "
    "wind speed [m/s], wind direction [degrees], humidity ratio [g/kg] and five more, read and not used";

std::string co2Weather(const std::string& first, double t = 293.15)
{
    std::string later = std::to_string(t) + " 101325 0 0 0 0 0 0 0 0\n";
    return "WeatherFile VexlarW 2.0\nd\n1/1 1/1\n1/1 1 1 0 0\n" + first + "1/1 02:00:00 " + later +
           "1/1 24:00:00 " + later;
}

const WeatherMistake kWeatherMistakes[] = {
    {"RecordOfFiveValues", {}, co2Weather("1/1 00:00:00 293.15 101325 0 0 0\n"), 2,
     "ERROR 1/1 is not a (valid) number\n  in co2.wth, line 6, value 6 of the record of 1/1 00:00:00: "},
    {"RecordOfFiveValuesEndsTheRunNamingTheFile", {}, co2Weather("1/1 00:00:00 293.15 101325 0 0 0\n"), 2,
     "FATAL Bad day, bad time, or end-of-file, in first hourly entry of WTH file co2.wth\n  in co2.wth, "
     "line 6, value 6 of the record of 1/1 00:00:00: "},
    {"EndDateAfterTheFile",
     {{"Jan01 0:00:00 Jan01 0:00:00 Jan01 24:00:00", "Jan01 0:00:00 Jan01 0:00:00 Jan02 24:00:00 0:10:00 1:00:00 6:00:00"}},
     co2Weather("1/1 00:00:00 293.15 101325 0 0 0 0 0 0 0 0\n"), 2,
     "FATAL End date not on weather file co2.wth: the run ends Jan02 (end_date in Run Control; 1/2 in the "
     "file), the file's last date is 1/1: make the file go on to it, or end the run earlier\n  in co2.wth, "
     "line 3, the line after the description: the first and the last date of the file, m/d each (1/1 12/31)\n"},
    {"DayTypeOutOfRange", {}, "WeatherFile VexlarW 2.0\nd\n1/1 1/1\n1/1 1 13 0 0\n", 2,
     "FATAL Invalid day type in weather file; day 1/1\n  in co2.wth, line 4, the day table, one line a day "
     "from the first date to the last: the date m/d, the day of week 1 to 7, the day type 1 to 12, the "
     "daylight-saving flag 0 or 1 and one number more, day 1/1\n"},
    // Degrees Celsius where kelvin belong: the ERROR says which unit the file takes.
    {"TemperatureInCelsius", {}, co2Weather("1/1 00:00:00 20 101325 0 0 0 0 0 0 0 0\n", 20), 0,
     "ERROR  Ambient temperature < 200K\n  in co2.wth, line 6, the record of 1/1 02:00:00: 20 K; the weather "
     "file gives temperatures in K (20 C is 293.15 K)\n"},
};

class WeatherFileMistake : public TimedInputRun, public ::testing::WithParamInterface<WeatherMistake> {};

TEST_P(WeatherFileMistake, NamesTheFileTheLineAndWhatBelongsThere)
{
    const WeatherMistake& m = GetParam();
    copyInto(dir, PRJ_DIR + CO2);
    std::vector<Edit> edits = m.edits;
    edits.push_back({"null   ! weather file", "co2.wth   ! weather file"});
    edits.push_back({"0 1 30 1e-4 1e-5 0.75 0 50 0", "1 1 30 1e-4 1e-5 0.75 0 50 0"});   // sim_af 1
    write(CO2, edited(slurp(dir + CO2), edits));
    write("co2.wth", m.text);
    Outcome r = runEngine(CO2, CO2);
    EXPECT_EQ(r.status, m.status) << r.err;
    std::string message = m.message;
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
    std::string head = message.substr(0, message.find('\n') + 1);
    size_t first = r.err.find(head);
    EXPECT_EQ(r.err.find(head, first + 1), std::string::npos) << "more than once: " << r.err;
    if (message.back() == ' ') {
        EXPECT_NE(r.err.find(std::string(WTH_LAYOUT) + "\n"), std::string::npos) << r.err;
    }
    if (m.status == 0) {
        EXPECT_NE(r.log.find("Simulation completed successfully."), std::string::npos) << r.log;
        EXPECT_TRUE(exists(dir + "ventilated-co2.sqlite3"));
    }
}

INSTANTIATE_TEST_SUITE_P(TimedInputRun, WeatherFileMistake, ::testing::ValuesIn(kWeatherMistakes),
                         [](const ::testing::TestParamInfo<WeatherMistake>& i) { return std::string(i.param.label); });

// A wind-pressure file switched on while no path is flagged to take its values feeds
// nothing: the input test already refuses the project, saying which flags to set; with the
// envelope paths flagged the same project passes.
TEST_F(TimedInputRun, WindPressureFileWithNoOpeningFlaggedForItSaysWhichFlagToSet)
{
    copyFans();
    write("fans.wpc", wpc("1 0 1 0", ""));
    std::string project = slurp(dir + FANS);
    write(FANS, edited(project, {USE_WPC, WPC_PRESSURES}));
    Outcome r = runEngine("-t fans.prj", FANS);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("FATAL No path or duct terminal takes its values from the WPC file: add 2 (wind "
                         "pressure) or 4 (ambient mass fractions) to the flags of each path or terminal at "
                         "the ambient that should, or switch the WPC file off in Run Control\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("ZELT"), std::string::npos) << r.err;
    write(FANS, edited(project, {USE_WPC, WPC_PRESSURES, WPC_PATH1, WPC_PATH2, WPC_PATH3}));
    r = runEngine("-t fans.prj", FANS);
    EXPECT_EQ(r.status, 0) << r.err;
}

class UnreadableTimedFile : public TimedInputRun, public ::testing::WithParamInterface<BadWord> {};

TEST_P(UnreadableTimedFile, EndsTheRunWithAFatalNamingTheFile)
{
    const BadWord& b = GetParam();
    copyFans();
    copyInto(dir, PRJ_DIR + CO2);
    write(b.project, edited(slurp(dir + b.project), b.edits));
    write(b.file, b.text);
    before = memoryCap(1024);   // a count that slipped through fails its allocation loudly
    Outcome r = runEngine(b.project, b.project);
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.log.find("Simulation completed successfully."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(std::string("FATAL Error encountered while reading ") + b.fatal + "\n"), std::string::npos)
        << r.err;
    std::string name = std::string(b.project).substr(0, std::string(b.project).rfind('.'));
    if (b.at_opening) {
        // Set-up ends before the steady initialisation: no result file is ever opened.
        EXPECT_EQ(r.err.find("Running steady-state initialization"), std::string::npos) << r.err;
        EXPECT_FALSE(exists(dir + name + ".sim"));
    } else {
        // A later record ends the transient run at its step; finish removes its results.
        EXPECT_NE(r.err.find("Press <ctrl>-c to kill the transient simulation."), std::string::npos) << r.err;
    }
    EXPECT_FALSE(exists(dir + name + ".sqlite3"));
    EXPECT_FALSE(exists(dir + name + ".log"));
}

INSTANTIATE_TEST_SUITE_P(TimedInputRun, UnreadableTimedFile, ::testing::ValuesIn(kBadWords),
                         [](const ::testing::TestParamInfo<BadWord>& i) { return std::string(i.param.label); });

}  // namespace
