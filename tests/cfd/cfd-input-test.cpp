// The CFD zone's input file: every item read in its order and form, the host's time step
// and end time ruling over the file's, the .UCD series, the arrays kept from one solver
// call to the next, and every input fault ending the run with its own message.
#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>

#include "cfd/cfd-int.h"
#include "model/clock.h"
#include "tests/cfd/cfd-test-file.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class CfdInput : public ::testing::Test {
protected:
    CfdZoneDir zone;
    CfdFile file;

    void SetUp() override
    {
        INITYN = 1;
        VSTEADY = 1, CSTEADY = 1, CONTAMINANT = 0, NOC = 1, CACTIVE[1] = 1;
        _time_step = 60, _time_list = 600, _simEndTime = 7200;
    }
    void TearDown() override { cfd_reset(); }
    void read(int inityn = 1)
    {
        zone.open(file.text());
        INITYN = inityn;
        input(0);
    }
};

TEST_F(CfdInput, ReadsEveryItemInItsOrderAndForm)
{
    read();
    EXPECT_STREQ(TITLE, "Office east zone");
    EXPECT_EQ(TIMESTEP, 60);      // the host's step, end time and listing interval rule
    EXPECT_EQ(TIMEMAX, 7200);
    EXPECT_EQ(TPLSTEP, 10);
    EXPECT_EQ(CRESIDU, 0.001);
    EXPECT_EQ(CMAXITER, 50);
    EXPECT_EQ(ENERGY, 1);
    EXPECT_EQ(CRITE, 0.001);
    EXPECT_EQ(NITMAX, 500);
    EXPECT_EQ(LAMIN, 0);          // "False" selects turbulent flow and reads the model
    EXPECT_EQ(ITUR, 0);
    EXPECT_EQ(XX, 2.0);
    EXPECT_EQ(ZZ, 1.0);
    EXPECT_EQ(IMAX, 6);
    EXPECT_EQ(JM1, 4);
    EXPECT_EQ(KMAX, 4);
    const double dx[] = {0, 0, 0.25, 0.5, 0.75, 0.5};
    for (int i = 2; i <= 5; i++) EXPECT_EQ(DELX[i], dx[i]) << i;
    EXPECT_DOUBLE_EQ(X[4], 0.25 + 0.5 + 0.375);
    EXPECT_DOUBLE_EQ(XF[4], 1.5);
    EXPECT_DOUBLE_EQ(DELXC[1], 0.125);
    EXPECT_DOUBLE_EQ(DELXC[6], 0.25);
    EXPECT_DOUBLE_EQ(AREZ[4][3], 0.75 * 0.5);
    EXPECT_DOUBLE_EQ(VOL[5][4][3], 0.5 * 0.5 * 0.6);
    EXPECT_EQ(VOL[6][4][3], 0.0);
    EXPECT_EQ(ICELL[1][2][2], 1);
    EXPECT_EQ(ICELL[5][4][3], 0);
    EXPECT_EQ(ICELL[5][4][4], 1);
    ASSERT_EQ(NBIN, 1);
    ASSERT_EQ(NBOUT, 1);
    EXPECT_STREQ(NMIN[1], "supply");
    EXPECT_STREQ(NMOUT[1], "exhaust");
    const int lbin[7] = {0, 1, 1, 2, 3, 1, 2};
    for (int e = 1; e <= 6; e++) EXPECT_EQ(LBIN[1][e], lbin[e]) << e;
    ASSERT_EQ(NBL, 1);
    EXPECT_STREQ(NMBL[1], "desk\n");
    EXPECT_EQ(FSBLOC[1], 1);
    EXPECT_EQ(HSOU[1], 120);
    EXPECT_EQ(IBL[1][2], 3);
    ASSERT_EQ(NAWT, 1);
    EXPECT_EQ(TNAW[1], 293.0);
    ASSERT_EQ(NAWQ, 1);
    EXPECT_EQ(QNAW[1], 50);
    EXPECT_EQ(CNAW[1][1], 1e-6);
    EXPECT_EQ(CNAWCUT[1][1], 0.5);
    EXPECT_EQ(DIFFSMT, 2);
    EXPECT_EQ(BUOYML, 1);
    EXPECT_EQ(WMIN, -3);
    EXPECT_EQ(TMIN, 283.0);
    EXPECT_EQ(TMAX, 313.0);
    EXPECT_EQ(URFP, 0.3);
    EXPECT_EQ(URFEK, 1.0);
    EXPECT_EQ(URFC, 0.8);
    EXPECT_EQ(DTU, 0.1);
    EXPECT_EQ(DTC, 0.7);
    EXPECT_EQ(DTED, 1e30);
    EXPECT_EQ(STEP, 2);
    EXPECT_EQ(ISTEP, 50);
    EXPECT_EQ(CDTT, 40);
    EXPECT_EQ(CDTEK, 1e30);
    EXPECT_EQ(PINTV, 10);
    EXPECT_EQ(JMON, 3);
    EXPECT_EQ(IREF, 3);
    EXPECT_EQ(IP1, 2);
    EXPECT_EQ(IP2, 5);
    EXPECT_EQ(JPSTP, 2);
    ASSERT_EQ(NXSLCF, 2);
    EXPECT_EQ(XSLCF[1], 3);
    EXPECT_EQ(NYSLCF, 0);
    EXPECT_EQ(ZSLCF[0], 2);
    EXPECT_EQ(PAMB, 101325);
    EXPECT_EQ(ANU, 1.5e-5);
    EXPECT_EQ(AK, 0.026);
    EXPECT_EQ(ACP, 1005);
    EXPECT_EQ(PRL, 0.71);
    EXPECT_EQ(GRA, 9.8055);
    EXPECT_EQ(NULLP, 1e10);
}

// Saved by an editor that puts a byte-order mark before the first line.
TEST_F(CfdInput, AByteOrderMarkBeforeTheTitleIsPassedOver)
{
    zone.open("\xEF\xBB\xBF" + file.text());
    input(0);
    EXPECT_STREQ(TITLE, "Office east zone");
    EXPECT_EQ(IMAX, 6);
}

TEST_F(CfdInput, LaterCallsKeepTheArraysAndTheFalseTimeSteps)
{
    read();
    double*** u = U;
    int* xs = XSLCF;
    int** lbin = LBIN;
    DTU = 5.0;   // as the iteration schedule leaves it
    inputdata();
    file.dt = "9,9,9,9,9,9,9";
    read(0);
    EXPECT_EQ(U, u);
    EXPECT_EQ(XSLCF, xs);
    EXPECT_EQ(LBIN, lbin);
    EXPECT_EQ(DTU, 5.0);
    EXPECT_EQ(LBIN[1][3], 2);     // the file's interior numbering again
    EXPECT_EQ(PRL, 0.71);         // the positions after the unread item still line up
}

TEST_F(CfdInput, LaminarSwitchAndNoSecondFalseTimeSteps)
{
    file.lamin = "  true";
    file.itur = "";
    file.step = "0";
    read();
    EXPECT_EQ(LAMIN, 1);
    EXPECT_EQ(STEP, 0);
    EXPECT_EQ(PINTV, 10);
    EXPECT_EQ(ACP, 1005);
}

TEST_F(CfdInput, SeriesComeFromTheUcdFileAndAreReusedOnTheNextRead)
{
    CONTAMINANT = 1;
    file.twalls = {{{"1,4", "1,1", "1,2"}, "1e10"}};
    file.qwalls = {{{"1,4", "1,3", "2,2"}, "1e10"}};
    file.blocks = {{"heater", {"2,3", "2,2", "1,1"}, "-2"}};
    CfdText u;   // the block's series, then the temperature wall's, then the flux wall's
    u.values(3, "7,8,1");
    u.values(3, "2");
    u.values(2, "0,100");
    u.values(1, "3600,250");
    u.values(3, "2,1");
    u.values(2, "0,1e-6");
    u.values(3, "0,0,0");
    u.values(3, "1");
    u.values(2, "0,21.5");
    u.values(3, "0,0,0");
    u.values(3, "1");
    u.values(2, "60,40");
    zone.write(".UCD", u.str());
    read();
    const UcdRec& b = UCDBLOK[1];
    EXPECT_EQ(b.ints[0], 7);
    EXPECT_EQ(b.kind, 2);
    ASSERT_EQ(b.heat.count, 2);
    EXPECT_EQ(b.heat.head->next->time, 3600);
    EXPECT_EQ(b.heat.head->next->value, 250);
    EXPECT_EQ(b.present[2], 1);
    EXPECT_EQ(b.species[2].head->value, 1e-6);
    EXPECT_EQ(TNAW[1], 0.0);
    EXPECT_EQ(UCDTW[1].heat.head->value, 294.5);
    EXPECT_EQ(UCDQCW[1].heat.head->value, 40);
    UcdNode* node = b.heat.head->next;
    inputdata();
    // The region's volume (2 x 1 x 1 cells) divides the block's sources.
    double volume = (0.5 + 0.75) * 0.5 * 0.4;
    EXPECT_DOUBLE_EQ(node->value_per_size, 250 / 1005.0 / volume);
    EXPECT_DOUBLE_EQ(b.species[2].head->value_per_size, 1e-6 / volume);
    read(0);
    EXPECT_EQ(b.heat.head->next, node);
    EXPECT_EQ(node->value, 250);
}

TEST_F(CfdInput, MoreThanFiveContaminantsAreCappedWithAWarning)
{
    NOC = 7;
    testing::internal::CaptureStderr();
    read();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("WARNING"), std::string::npos) << err;
    EXPECT_NE(err.find("first 5 contaminants"), std::string::npos) << err;
    EXPECT_EQ(NOC, 5);
}

struct InputFault {
    const char* name;
    void (*change)(CfdFile&);
    const char* message;
};

const InputFault faults[] = {
    {"NoSchemes", [](CfdFile& f) { f.schemes = "upwind"; },
     "CFD input file error convective differential schemes needed"},
    {"ContaminantRelaxationZero", [](CfdFile& f) { f.urf = "0.5,0.5,0.5,0.3,0.9,0.6,0.6,0"; },
     "CFD input file error under relaxation for contaminant needed"},
    {"ContaminantFalseTimeStepZero", [](CfdFile& f) { f.dt = "1,1,1,1,1,1,0"; },
     "CFD input file error false time step for contaminant needed"},
    {"SecondContaminantFalseTimeStepZero",
     [](CfdFile& f) { f.stepValues = "50,1,1,1,1,1,1,0"; },
     "CFD input file error variable false time step for contaminant needed"},
    {"NoCells", [](CfdFile& f) { f.cells = "0,3,2"; },
     "CFD input file error number of cells needed: item 8 \\(number of cells\\) of .*/zone\\.CFD"},
    {"NegativeBlockCount", [](CfdFile& f) { f.blockCount = "-2"; },
     "CFD input file error negative number of blocks"},
    {"WallSpeciesNegative", [](CfdFile& f) { f.qwalls[0].value = "50,-1"; },
     "Wall contamniant source must be set"},
    {"WallSpeciesSix", [](CfdFile& f) { f.qwalls[0].value = "50,6"; },
     "Total number of contamniants at wall must less than 5"},
    {"WallSpeciesAboveNOC", [](CfdFile& f) { f.qwalls[0].value = "50,2\n1,1,1\n1,1,1"; },
     "Total number of contamniants at wall must be less than 1"},
    {"WallSpeciesNumber", [](CfdFile& f) { f.qwalls[0].value = "50,1\n7,1e-6,0.5"; },
     "CFD input file error flux wall 1 species number 7 outside 1 to 5"},
    {"MonitorOutside", [](CfdFile& f) { f.mon = "2,6,2"; },
     "CFD input file error monitoring cell outside the grid"},
    {"ReferenceOutside", [](CfdFile& f) { f.ref = "0,2,2"; },
     "CFD input file error reference cell outside the grid"},
    {"PrintWindowOutside", [](CfdFile& f) { f.window = "1,6,1 1,3,1"; },
     "CFD input file error print window outside the grid"},
    {"PrintWindowStepZero", [](CfdFile& f) { f.window = "1,4,0 1,3,1"; },
     "CFD input file error print window outside the grid"},
    {"NegativeSliceCount", [](CfdFile& f) { f.ys = "-1"; },
     "CFD input file error negative number of y slices"},
    // A record is read whole or refused: a value left out, a decimal comma (a comma after
    // the item's last value) and an iteration limit of 0 are errors of their item.
    {"SpeciesIterationLimitMissing", [](CfdFile& f) { f.times = "30,3600,0.001,5,1,1"; },
     "CFD input file error time step needs 7 values, 6 read: item 3 \\(time step\\) of .*/zone\\.CFD"},
    {"SpeciesIterationLimitZero", [](CfdFile& f) { f.times = "30,3600,0.001,0,5,1,1"; },
     "CFD input file error species iteration limit = 0, must be at least 1: item 3 \\(time step\\)"},
    {"IterationLimitMissing", [](CfdFile& f) { f.crite = "0.001"; },
     "CFD input file error convergence criterion needs 2 values, 1 read: item 5 \\(convergence criterion\\)"},
    {"IterationLimitZero", [](CfdFile& f) { f.crite = "0.001,0"; },
     "CFD input file error iteration limit = 0, must be at least 1: item 5 \\(convergence criterion\\)"},
    {"SchemeMissing", [](CfdFile& f) { f.schemes = "1,1,1,2"; },
     "CFD input file error convective differential schemes needs 5 values, 4 read: item 16 "},
    {"VelocityLimitMissing", [](CfdFile& f) { f.limits = "-1,1,-2,2,-3,3,10"; },
     "CFD input file error velocity and temperature limits needs 8 values, 7 read: item 19 "},
    {"RelaxationFactorMissing", [](CfdFile& f) { f.urf = "0.5,0.5,0.5,0.3,0.9,0.6,0.6"; },
     "CFD input file error under relaxation needs 8 values, 7 read: item 20 "},
    {"FalseTimeStepMissing", [](CfdFile& f) { f.dt = "1e-1,2e-1,3e-1,4e-1,5e-1,6e-1"; },
     "CFD input file error false time steps needs 7 values, 6 read: item 21 "},
    {"MonitoringCellIndexMissing", [](CfdFile& f) { f.mon = "2,3"; },
     "CFD input file error monitoring cell needs 3 values, 2 read: item 25 "},
    {"BlockCellMissing", [](CfdFile& f) { f.blocks[0].pairs[1] = "2"; },
     "CFD input file error blocks needs 2 values, 1 read: item 13 "},
    {"WallTemperatureMissing", [](CfdFile& f) { f.twalls[0].value = ""; },
     "CFD input file error temperature walls needs 1 value, 0 read: item 14 "},
    {"DecimalCommaInSpecificHeat", [](CfdFile& f) { f.acp = "1005,5"; },
     "CFD input file error specific heat has a comma after its last value \\(a decimal comma, or a value too "
     "many\\): item 36 \\(specific heat\\) of .*/zone\\.CFD"},
    {"DecimalCommasInRelaxation", [](CfdFile& f) { f.urf = "0,5,0,5,0,5,0,3,0,9,0,6,0,6,0,8"; },
     "CFD input file error under relaxation has a comma after its last value .*: item 20 "},
    {"DecimalCommaInViscosity", [](CfdFile& f) { f.anu = "1,5e-5"; },
     "CFD input file error kinematic viscosity has a comma after its last value .*: item 34 "},
    {"SliceTooMany", [](CfdFile& f) { f.xs = "1,1,3"; },
     "CFD input file error x slices has a comma after its last value .*: item 28 "},
    // Counts are held to what the rest of the file can hold (a width takes 2 bytes, a slice
    // number 2, a block 10 lines) before anything is allocated or read for them.
    {"CellCountBeyondTheFile", [](CfdFile& f) { f.cells = "2147483647,3,2"; },
     "CFD input file error number of cells = 2147483647,3,2 beyond what the file holds: item 8 \\(number of cells\\) of .*/zone.CFD"},
    {"SliceCountBeyondTheFile", [](CfdFile& f) { f.xs = "2147483647"; },
     "CFD input file error number of x slices = 2147483647 beyond what the file holds: item 28 \\(x slices\\) of .*/zone.CFD"},
    {"BlockCountBeyondTheFile", [](CfdFile& f) { f.blockCount = "2147483647"; },
     "CFD input file error number of blocks = 2147483647 beyond what the file holds: item 13 \\(blocks\\) of .*/zone.CFD"},
    // 1300^3 cells: widths the file holds, but more cells than an int counts.
    {"GridBeyondTheMachine",
     [](CfdFile& f) {
         f.cells = "1300,1300,1300";
         for (int i = 0; i < 3900; i++) f.dx += " 1";
     },
     "CFD input file error number of cells = 1300,1300,1300 needs [0-9]+ MB, beyond what this "
     "machine holds: item 8 \\(number of cells\\) of .*/zone.CFD"},
};

void PrintTo(const InputFault& f, std::ostream* os) { *os << f.name; }

class CfdInputFault : public CfdInput, public ::testing::WithParamInterface<InputFault> {};

TEST_P(CfdInputFault, EndsTheRunWithItsMessage)
{
    const InputFault& f = GetParam();
    f.change(file);
    // The fault ends the run at once: no read may hang or allocate for long. Every message
    // ends naming the item (number and name) and the file.
    std::string want = std::string("FATAL.*") + f.message;
    if (want.find(": item") == std::string::npos) want += ".*: item [0-9]+ \\([a-z ]+\\) of .*/zone\\.CFD";
    EXPECT_EXIT((alarm(20), read()), testing::ExitedWithCode(2), want);
}

INSTANTIATE_TEST_SUITE_P(All, CfdInputFault, ::testing::ValuesIn(faults),
                         [](const auto& info) { return std::string(info.param.name); });

// A file that ends before an item, or inside a switch item, stops with the item named.
TEST_F(CfdInput, FileEndingEarlyEndsTheRun)
{
    struct { const char* lamin; const char* step; const char* cutAfter; const char* message; }
    const cases[] = {
        {"F", "2", "! label 3\n", "end of file before steady switches"},
        {"none", "2", "none", "laminar or turbulent flow switch needed"},
        {"T", "x", "\nx", "variable false time step switch needed"},
    };
    for (const auto& c : cases) {
        file.lamin = c.lamin;
        file.step = c.step;
        std::string text = file.text();
        zone.open(text.substr(0, text.find(c.cutAfter) + strlen(c.cutAfter)));
        EXPECT_EXIT(input(0), testing::ExitedWithCode(2),
                    std::string("FATAL.*CFD input file error ") + c.message);
    }
}

TEST_F(CfdInput, CoupledReadWithoutCoupledOpeningsAndAChangedGridEndTheRun)
{
    zone.open(file.text());
    EXPECT_EXIT(input(1), testing::ExitedWithCode(2),
                "FATAL.*Error when getting boundary conditions from VEXLAR");
    read();
    EXPECT_EXIT(cfd_grid_size(5, 3, 2), testing::ExitedWithCode(2),
                "FATAL.*CFD input file error number of cells changed during the run");
}

TEST_F(CfdInput, UcdSpeciesOutsideOneToFiveEndsTheRun)
{
    CONTAMINANT = 1;
    file.qwalls = {{{"1,4", "1,3", "2,2"}, "1e10"}};
    CfdText u;
    u.values(3, "0,0,1");
    u.values(3, "0");
    u.values(3, "6,0");
    zone.write(".UCD", u.str());
    EXPECT_EXIT(read(), testing::ExitedWithCode(2),
                "FATAL.*CFD input file error .UCD species number 6 outside 1 to 5");
}

// A file written line by line from the rules of docs/cfd-solver.md, with labels unlike the
// example's and text after the values wherever the rules say the rest of a line is a
// discarded line (D) or is read with its values (R); W marks a whole discarded line.
TEST_F(CfdInput, FileWrittenFromTheDocumentedLineRulesIsReadItemByItem)
{
    const char* lines[] = {
        "Rules 'room'",                                   // 1 title, the whole line
        "~", "~", "~", "~", "~", "~", "~",                // 2: seven whole lines, no values
        "~", "~", "~", "30,3600,1e-6,40,1,1,1  D",        // 3: three whole lines (after item 2)
        "~", "~", "1  D",                                 // 4: rest of 3's line + 2
        "~", "~", "~", "~", "~", "1e-5,700  D",           // 5: rest + 5
        "~", "~", "False",                                // 6: rest + 2, then the switch
        "~", "~", "3  D",                                 //    rest of "False" + 2, the model
        "~", "~", "~", "~", "~", "~", "~", "3.0,2.0,1.0", // 7: rest + 7
        "~", "~", "~", "3,2,2",                           // 8: rest + 3
        "~", "~", "~", "1.0", "1.0 1.0",                  // 9: rest + 3, widths over two lines
        "~", "1.0 1.0",                                   // 10: rest + 1
        "~", "0.5 0.5",                                   // 11: rest + 1
        "~", "~", "1,1  D",                               // 12: rest + 2, then the openings
        "~", "in",                                        //    rest of the counts + 1, name
        "~", "1,1  R", "~", "1,2", "~", "1,1  R", "~",    //    label and pair thrice, end line
        "~", "~", "out",                                  //    next opening: 2 lines, name
        "~", "3,3", "~", "2,2", "~", "1,2", "~",
        "~", "~", "~", "1  D",                            // 13: whole lines after the openings
        "~", "box",                                       //    rest + 1, name
        "~", "2,2  R", "~", "1,1", "~", "1,1",            //    label and pair (rest consumed)
        "~", "1,50  D",                                   //    one label, kind and heat
        "~", "~", "1",                                    // 14: rest + 2
        "~", "~", "~", "1,3  D", "~", "1,2", "~", "2,2", "~", "25",   // rest + 3, pairs
        "~", "~", "1",                                    // 15: rest + 2
        "~", "~", "~", "1,3", "~", "2,2", "~", "1,2", "~", "40,1  D",
        "1,2e-6,0.5",                                     //    species on the next line
        "~", "~", "~", "~", "~", "~", "1,1,1,2,2",        // 16: rest + 6
        "~", "~",                                         // 17: rest + 2, no values
        "(not read)", "~", "~", "0",                      // 18: three whole lines
        "~", "~", "-5,5,-5,5,-5,5,0,60",                  // 19
        "~", "~", "0.6,0.6,0.6,0.2,0.9,1,1,0.8",          // 20
        "~", "~", "1e30,1e30,1e30,1e30,1,1,5",            // 21
        "~", "~", "0  D",                                 // 22: switch 0, item 23 left out
        "~", "~", "10",                                   // 24
        "~", "~", "2,2,2",                                // 25
        "~", "~", "3,2,2",                                // 26
        "~", "~", "1,3,1 1,2,1",                          // 27
        "~", "~", "1,2", "~", "~", "0", "~", "~", "0",    // 28 to 30
        "~", "~", "0,0,0",                                // 31
        "~", "~", "~", "~", "~", "~", "101325",           // 32: rest + 6
        "~", "~", "~",                                    // 33: rest + 3, no values
        "(not read)", "~", "0.02",                        // 34: two whole lines
        "~", "0.026", "~", "1006", "~", "0.71",           // 35 to 37
    };
    std::string text;
    for (const char* l : lines) text += std::string(l) + "\n";
    zone.open(text);
    input(0);
    EXPECT_STREQ(TITLE, "Rules room");
    EXPECT_EQ(CRESIDU, 1e-6);
    EXPECT_EQ(CMAXITER, 40);
    EXPECT_EQ(ENERGY, 1);
    EXPECT_EQ(CRITE, 1e-5);
    EXPECT_EQ(NITMAX, 700);
    EXPECT_EQ(LAMIN, 0);
    EXPECT_EQ(ITUR, 3);
    EXPECT_EQ(YY, 2.0);
    EXPECT_EQ(IM2 * 100 + JM2 * 10 + KM2, 322);
    EXPECT_EQ(DELX[4] + DELY[3] + DELZ[3], 2.5);
    ASSERT_EQ(NBIN, 1);
    ASSERT_EQ(NBOUT, 1);
    EXPECT_STREQ(NMIN[1], "in");
    EXPECT_STREQ(NMOUT[1], "out");
    const int in[] = {1, 1, 1, 2, 1, 1}, out[] = {3, 3, 2, 2, 1, 2};
    for (int e = 1; e <= 6; e++) EXPECT_EQ(LBIN[1][e], in[e - 1]) << e;
    for (int e = 1; e <= 6; e++) EXPECT_EQ(LBOUT[1][e], out[e - 1]) << e;
    ASSERT_EQ(NBL, 1);
    EXPECT_STREQ(NMBL[1], "box\n");
    EXPECT_EQ(IBL[1][1] * 100 + IBL[1][3] * 10 + IBL[1][5], 211);
    EXPECT_EQ(FSBLOC[1], 1);
    EXPECT_EQ(HSOU[1], 50);
    ASSERT_EQ(NAWT, 1);
    EXPECT_EQ(LNAW[1][5], 2);
    EXPECT_EQ(TNAW[1], 298.0);
    ASSERT_EQ(NAWQ, 1);
    EXPECT_EQ(LNAWQ[1][3], 2);
    EXPECT_EQ(QNAW[1], 40);
    EXPECT_EQ(CNAW[1][1], 2e-6);
    EXPECT_EQ(CNAWCUT[1][1], 0.5);
    EXPECT_EQ(DIFFSMT, 2);
    EXPECT_EQ(BUOYML, 0);
    EXPECT_EQ(TMAX, 333.0);
    EXPECT_EQ(URFP, 0.2);
    EXPECT_EQ(URFC, 0.8);
    EXPECT_EQ(DTC, 5);
    EXPECT_EQ(STEP, 0);
    EXPECT_EQ(PINTV, 10);
    EXPECT_EQ(IMON * 100 + JMON * 10 + KMON, 222);
    EXPECT_EQ(IREF, 3);
    EXPECT_EQ(IP2, 4);   // interior 3, as an array index
    EXPECT_EQ(JP2, 3);
    ASSERT_EQ(NXSLCF, 1);
    EXPECT_EQ(XSLCF[0], 2);
    EXPECT_EQ(NYSLCF + NZSLCF, 0);
    EXPECT_EQ(PAMB, 101325);
    EXPECT_EQ(ANU, 0.02);
    EXPECT_EQ(AK, 0.026);
    EXPECT_EQ(ACP, 1006);
    EXPECT_EQ(PRL, 0.71);
    // The file's positions place: the inlet on the low x wall, the outlet on the high one.
    inputdata();
    EXPECT_EQ(INTY[1], 1);
    EXPECT_EQ(IOTY[1], 2);
    EXPECT_DOUBLE_EQ(AIN[1], 2 * 0.5);
}

}  // namespace
