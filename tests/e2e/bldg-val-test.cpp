// End-to-end building tests (run modes 3 and 4) by the vexlar-x executable, on two small
// projects: one office on the upper floor leaking through one wall, pressurized; and an
// office exhausted by a fan with an unconditioned attic above it, whose airflows are
// classified (and which is pressurized too). Every number of the reports is worked out
// by hand below. Each test runs in a temporary directory of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "e2e-util.h"

namespace {

const std::string kOneZone = VEXLAR_SOURCE_DIR "/tests/e2e/bldg/one-zone.prj";
const std::string kAttic = VEXLAR_SOURCE_DIR "/tests/e2e/bldg/attic.prj";

// Test air: rho = 101325 / (287.055 x 293.15) = 1.204097 kg/m3. The wall's power law at
// 50 Pa: F = 0.01 sqrt(rho) 50^0.65 = 0.139528 kg/s = 502.30 kg/h = 245.53 scfm
// (2118.88 F / 1.2041); Q = F / rho = 0.115878 m3/s = 115.88 L/s = 417.16 m3/h = 245.53 cfm.
// 50 Pa = 0.2009 in.H2O (/ 248.84); 101325 Pa = 29.921 in.Hg (/ 3386.389);
// rho = 0.07517 lb/ft3; 100 m3 = 3531.5 cuft.
const char* const kOneZoneReport =
    "Building Pressurization Test for one-zone.prj\n\n"
    "Pressurization:\n50.0\tPa\n0.201\tin.H2O\n\n"
    "Mass flow rate:\n0.1395\tkg/s\n502.3\tkg/h\n245.5\tscfm\n"
    "Volume flow rate:\n115.9\tL/s\n417.2\tm^3/h\n245.5\tcfm\n\n"
    "Ambient conditions:\nPressure\n101325\tPa\n29.921\tin.Hg\n"
    "Temperature\n20\tC\n68\tF\nAir Density\n1.2041\tkg/m^3\n0.07517\tlb/ft^3\n"
    "\nVolumes:\nConditioned zones\n100.00\tm^3\n3531.5\tcuft\n"
    "Ducts & AHS (conditioned)\n0.00\tm^3\n0.0\tcuft\nUnconditioned zones\n0.00\tm^3\n0.0\tcuft\n"
    "\nAirflow Details:\n"
    "Path\tCzone\tUzone\tdP [Pa]\t[in.H2O]\tF [kg/s]\t[kg/h]\t[scfm]\tQ [L/s]\t[m^3/h]\t[cfm]\n"
    "1\t1\t0\t50.00\t0.2009\t0.1395\t502.3\t245.5\t115.9\t417.2\t245.5\n";

// The attic project: the fan draws 0.12 kg/s out of the office, at 20 C everywhere and
// without wind. The air comes in through the office wall (C1 = 0.02 / sqrt 2) and
// through the attic vent and the ceiling in series (C = 0.02 each, together
// C / sqrt 2 = C1), so each way carries 0.06 kg/s. Office pressure -(0.06 / C1)^2 / rho =
// -14.9 Pa, attic half of it, -7.5 Pa. Outdoor air into the office 0.12 kg/s: building
// ACH 3600 x 0.12 / (1.2041 x 200) = 1.794. Office: a = 3600 / (200 rho) = 14.949 /(kg/s),
// exhaust 0.12 a = 1.7939, outdoor air 0.06 a = 0.89694; attic: a = 29.898, 0.06 a = 1.7939.
const char* const kAtticReport =
    "Airflow Summary for attic.prj\n\n"
    "Ambient T:\t20.00\tC\nPressure: \t101325.00\tPa\nWind spd: \t0.00\tm/s\nWind dir: \t0.00\tdeg\n"
    "Time:     \t12:00:00\tMonday\n\n"
    "Bldg ACH:\t1.794\n\n"
    "Zones:\t2\t\t flows [ACH]\n"
    "zone\tC/U\tSupply\tRet/Exh\tOA sys\tOA tot\tCirc tot\tP [Pa]\tT [C]\tVol [m^3]\n"
    "1\tC\t0\t1.7939\t0\t0.89694\t1.79\t-14.9\t20.0\t200.0\n"
    "2\tU\t0\t0\t0\t1.7939\t1.79\t-7.5\t20.0\t100.0\n"
    "\nJunctions:\t0\n"
    "\nClassified Zone Airflows for attic.prj\n\n"
    "Zones:\t3\t\t flows [kg/s]\n"
    "zone\tC/U\tVol [m^3]\tDens [kg/m^3]\tfmTerm\tfmLeak\tfmAHS\tfmFan\tfmCzone\tfmUzone\tfmAmbt"
    "\ttoTerm\ttoLeak\ttoAHS\ttoFan\ttoCzone\ttoUzone\ttoAmbt\toaTerm\toaLeak\toaAHS\toaFan\n"
    "0\tA\t200\t1.2041\t0\t0\t0\t0.12\t0.12\t0\t0\t0\t0\t0\t0\t0.06\t0.06\t0\t0\t0\t0\t0\n"
    "1\tC\t200\t1.2041\t0\t0\t0\t0\t0\t0.06\t0.06\t0\t0\t0\t0.12\t0\t0\t0.12\t0\t0\t0\t0\n"
    "2\tU\t100\t1.2041\t0\t0\t0\t0\t0\t0\t0.06\t0\t0\t0\t0\t0.06\t0\t0\t0\t0\t0\t0\n"
    "\nVolumes: attic\nConditioned zones\n200.00\tm^3\n7062.9\tcuft\n"
    "Ducts & AHS (conditioned)\n0.00\tm^3\n0.0\tcuft\nUnconditioned zones\n100.00\tm^3\n3531.5\tcuft\n";

const Edit kPressurize{"3 1 50 1e-9 ", "4 1 50 1e-9 1e-12 0.75 0 50 0"};

// A building test run with its ".val" report.
struct ValOutcome : Outcome {
    std::string val;
};

class BldgTest : public E2eTest {
protected:
    // Writes the project `source` with its edits as "<name>.prj" and runs it, after
    // leaving the report and air-change file of an earlier run in the directory.
    ValOutcome run(const std::string& source, const std::vector<Edit>& edits, const std::string& name)
    {
        std::ofstream(dir + name + ".prj") << edited(slurp(source), edits);
        for (const char* ext : {".val", ".ach"}) std::ofstream(dir + name + ext) << "earlier run\n";
        ValOutcome o{runEngine(name + ".prj", name + ".prj"), slurp(dir + name + ".val")};
        EXPECT_EQ(o.status, 0) << o.err;
        EXPECT_FALSE(exists(dir + name + ".ach"));
        const std::string end = "Simulation completed successfully.\n";
        EXPECT_EQ(o.log.substr(o.log.size() - std::min(o.log.size(), end.size())), end);
        return o;
    }
};

// The project's temperatures and wind play no part in the test: the same report at
// 20 C everywhere as with a cold, windy day, a warm office and a fixed wind pressure of
// 20 Pa on the wall.
struct PressurizationCase {
    const char* name;
    std::vector<Edit> edits;
};
void PrintTo(const PressurizationCase& c, std::ostream* os) { *os << c.name; }

class OneZonePressurization : public BldgTest, public ::testing::WithParamInterface<PressurizationCase> {};

TEST_P(OneZonePressurization, LeaksByThePowerLawAt50Pa)
{
    ValOutcome o = run(kOneZone, GetParam().edits, "one-zone");
    EXPECT_EQ(o.val, kOneZoneReport);
    EXPECT_NE(o.log.find("Building pressurization test called\n"), std::string::npos);
    EXPECT_NE(o.log.find("End Pressurization Calculation\n"), std::string::npos);
    EXPECT_TRUE(exists(dir + "one-zone.sim"));
}

INSTANTIATE_TEST_SUITE_P(
    Conditions, OneZonePressurization,
    ::testing::Values(PressurizationCase{"At20C", {}},
                      PressurizationCase{"ColdWindyDayWarmOffice",
                                         {{"293.15 101325 ", "253.15 101325 12 270 0 2 0 0 0 0"},
                                          {"1 3 0 0 0 2 0 100 ", "1 3 0 0 0 2 0 100 308.15 0 Office 0 0 0 0 0 0 0 0"},
                                          {"1 0 1 -1 1 ", "1 1 1 -1 1 0 0 0 0 0 2 0 0 1.5 1 20 1 0 0 0 0 0 0 0 0 0 0 0 0 0"}}}),
    [](const ::testing::TestParamInfo<PressurizationCase>& i) { return std::string(i.param.name); });

// Half the office's air by mass is CO2, a non-trace gas the test's equal temperatures
// leave in place, so the office air is denser than the outdoor air; at 3 Pa the neutral
// plane lies within the office's one-opening door and the door carries air both ways.
// The report counts its first flow only, and the ERROR names the path and its element
// and says what to change.
TEST_F(BldgTest, DoorCarryingAirBothWaysIsNamedWithWhatToChange)
{
    ValOutcome o = run(kOneZone,
                       {{"4 1 50 1e-9 ", "4 1 50 1e-9 1e-12 0.75 0 3 0"},
                        {"0 ! simulated species", "2 1 2 ! simulated species"},
                        {"0 ! species records", "2 ! species records\n"
                                                "1 0 1 28.9645 0 0 0 2e-5 1 1006 0 0 0 0 0 0 Air\nDry air\n"
                                                "2 0 1 44.0 0 0 0 1.6e-5 0 840 0 0 0 0 0 0 CO2\nCarbon dioxide"},
                        {"0 ! zone concentrations", "2 ! zone concentrations\n1 0.5 0.5"},
                        {"1 0 plr_leak1 Wall", "1 0 dor_door Door"},
                        {"Office wall leakage", "Door 2.0 x 0.9 m, discharge coefficient 0.6"},
                        {"1e-4 0.01 0.65", "1e-5 0.2 0.5 0 2.0 0.9 0.6"}},
                       "one-zone");
    EXPECT_NE(o.err.find("ERROR Unexpected 2nd flow, path 1: element Door carries air both ways at the test "
                         "pressure and only its first flow is counted; give the path a two-opening door "
                         "element or raise the test pressure\n"),
              std::string::npos)
        << o.err;
    EXPECT_EQ(o.err.find("ZELT"), std::string::npos) << o.err;
    EXPECT_NE(o.val.find("Airflow Details:\n"), std::string::npos) << o.val;
}

TEST_F(BldgTest, AirflowTestClassifiesTheOfficeAndItsAttic)
{
    ValOutcome o = run(kAttic, {}, "attic");
    EXPECT_EQ(o.val, kAtticReport);
    EXPECT_NE(o.log.find("Building airflow test called\n"), std::string::npos);
    EXPECT_NE(o.log.find("End Airflow Analysis Calculation\n"), std::string::npos);
}

// Pressurized, the fan is off and the attic floats: its vent and the ceiling, alike,
// each take half of the 50 Pa. Wall: C1 sqrt(rho 50) = 0.109731 kg/s; vent:
// 0.02 sqrt(rho 25) = 0.109731 kg/s; together 0.2195 kg/s. The vent is listed with the
// attic as its unconditioned end.
TEST_F(BldgTest, PressurizedAtticFloatsHalfwayBetweenOfficeAndOutdoors)
{
    ValOutcome o = run(kAttic, {kPressurize}, "attic");
    EXPECT_NE(o.val.find("Mass flow rate:\n0.2195\tkg/s\n790.1\tkg/h\n386.2\tscfm\n"), std::string::npos) << o.val;
    const std::string rows = "[cfm]\n"
                             "1\t1\t0\t50.00\t0.2009\t0\t0\t0\t0\t0\t0\n"
                             "2\t1\t0\t50.00\t0.2009\t0.1097\t395\t193.1\t91.13\t328.1\t193.1\n"
                             "3\t0\t2\t25.00\t0.1005\t0.1097\t395\t193.1\t91.13\t328.1\t193.1\n";
    ASSERT_GE(o.val.size(), rows.size());
    EXPECT_EQ(o.val.substr(o.val.size() - rows.size()), rows);
}

// A report that cannot be written in full is not left behind: with every file of the run
// held to 400 bytes, the 588-byte pressurization report fails at its close, the run ends
// with the FATAL and exit status 2, and neither the partial report nor the earlier run's
// report remains.
TEST_F(BldgTest, ReportThatCannotBeWrittenInFullIsRemoved)
{
    std::ofstream(dir + "one-zone.prj") << slurp(kOneZone);
    std::ofstream(dir + "one-zone.val") << "earlier run\n";
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 400;
    auto* old_handler = signal(SIGXFSZ, SIG_IGN);   // inherited by the engine: writes fail instead
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Outcome o = runEngine("one-zone.prj");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, old_handler);
    EXPECT_EQ(o.status, 2) << o.err;
    EXPECT_NE(o.err.find("ERROR Could not write result file one-zone.val: File too large\n"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("FATAL Results of this run could not be written in full\n"), std::string::npos) << o.err;
    EXPECT_FALSE(exists(dir + "one-zone.val"));
    EXPECT_FALSE(exists(dir + "one-zone.sim"));
}

// A building that cannot be tested: an ERROR, no report (an earlier one is removed) and
// no result file without a result in it; the run still ends normally.
struct UntestableCase {
    const char* name;
    std::vector<Edit> edits;
    const char* message;
};
void PrintTo(const UntestableCase& c, std::ostream* os) { *os << c.name; }

class Untestable : public BldgTest, public ::testing::WithParamInterface<UntestableCase> {};

TEST_P(Untestable, GivesAnErrorAndNoReport)
{
    ValOutcome o = run(kAttic, GetParam().edits, "attic");
    EXPECT_NE(o.err.find(std::string("ERROR ") + GetParam().message + "\n"), std::string::npos) << o.err;
    EXPECT_FALSE(exists(dir + "attic.val"));
    EXPECT_FALSE(exists(dir + "attic.sim"));
}

// The office as unconditioned as its attic; or the office held at a fixed pressure with
// only the ceiling left, so that no path leads outdoors.
const Edit kOfficeUnconditioned{"1 3 0 0 0 1 0 200 ", "1 19 0 0 0 1 0 200 293.15 0 Office 0 0 0 0 0 0 0 0"};
const std::vector<Edit> kSealed = {{"1 3 0 0 0 1 0 200 ", "1 2 0 0 0 1 0 200 293.15 0 Office 0 0 0 0 0 0 0 0"},
                                   {"4 ! paths", "1 ! paths"},
                                   {"1 0 1 -1 3 ", ""},
                                   {"2 0 -1 1 2 ", ""},
                                   {"3 0 -1 2 1 ", ""},
                                   {"4 0 2 1 1 ", "1 0 2 1 1 0 0 0 0 0 1 0 0 3.0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0"}};

std::vector<Edit> plus(std::vector<Edit> edits, const Edit& e)
{
    edits.push_back(e);
    return edits;
}

INSTANTIATE_TEST_SUITE_P(
    Buildings, Untestable,
    ::testing::Values(
        UntestableCase{"AirflowTestWithoutConditionedZone", {kOfficeUnconditioned},
                       "No conditioned zone with a volume: no building airflow test report"},
        UntestableCase{"AirflowTestWithoutEnvelopePath", kSealed,
                       "No envelope path to bring outdoor air in: no building airflow test report"},
        UntestableCase{"PressurizationWithoutConditionedZone", {kOfficeUnconditioned, kPressurize},
                       "No conditioned zone to pressurize: no pressurization test report"},
        UntestableCase{"PressurizationWithoutEnvelopePath", plus(kSealed, kPressurize),
                       "No envelope path to leak through: no pressurization test report"}),
    [](const ::testing::TestParamInfo<UntestableCase>& i) { return std::string(i.param.name); });

}  // namespace
