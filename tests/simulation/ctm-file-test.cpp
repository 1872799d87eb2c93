// The ambient contaminant file: columns mapped to simulated species by name, the first
// non-trace species taking the balance, interpolation between records, a 24:00:00 record,
// unnamed species left at their initial values, and the end of the data.
#include <cstring>

#include "model/prj-common.h"
#include "simulation/weather.h"
#include "tests/simulation/timed-file-util.h"

namespace vexlar {
namespace {

class AmbientContaminantFile : public TimedFileTest {
protected:
    // Species A and B (non-trace) and C (trace), with their initial ambient mass fractions.
    void SetUp() override
    {
        TimedFileTest::SetUp();
        const char* names[] = {"A", "B", "C"};
        for (int i = 0; i < 3; i++) std::strcpy(species[i].name, names[i]);
        _ctm = species;
        _nctm = 3;
        _nntc = 2;
        ambient.mf = mf;
        _pambt = &ambient;
    }
    void TearDown() override
    {
        _ctm = nullptr;
        _nctm = _nntc = 0;
        TimedFileTest::TearDown();
    }
    SpeciesRec species[3] = {};
    double mf[3] = {0.9, 0.1, 0.002};
    AirNode ambient = AirNode{};
};

TEST_F(AmbientContaminantFile, NamedColumnsInterpolateAndTheFirstSpeciesTakesTheBalance)
{
    name(_CTMfile, file("a.ctm", "SpeciesFile VexlarW 2.0\ndescription\n1/1 1/2\n4\nC Smoke\nB A\n"
                                 "1/1 01:00:00 0.004 7 0.2 0.5\n"
                                 "1/1 03:00:00 0.008 7 0.4 0.5\n"
                                 "1/1 24:00:00 0.012 7 0.3 0.5\n"));
    CTM_init(1, 2, 1);
    EXPECT_EQ(CTM_get(1, 3600, 1), 7200);
    EXPECT_EQ(CTM_get(1, 5400, 0), 5400);   // a quarter of the way from 1:00 to 3:00
    EXPECT_NEAR(mf[2], 0.75 * 0.004 + 0.25 * 0.008, 1e-8);
    EXPECT_NEAR(mf[1], 0.75 * 0.2 + 0.25 * 0.4, 1e-7);
    EXPECT_NEAR(mf[0], 1.0 - mf[1], 1e-7);   // not the file's 0.5; the trace species stays out
    EXPECT_EQ(CTM_get(1, 9000, 0), 1800);   // three quarters of the way
    EXPECT_NEAR(mf[2], 0.25 * 0.004 + 0.75 * 0.008, 1e-8);
    EXPECT_EQ(CTM_get(1, 43200, 0), 43200);   // 3/7 of the way from 3:00 to 24:00
    EXPECT_NEAR(mf[2], 0.008 + (0.012 - 0.008) * 32400.0 / 75600.0, 1e-8);
    EXPECT_NEAR(mf[1], 0.4 - 0.1 * 32400.0 / 75600.0, 1e-7);
    CTM_get(1, 86400, 0);
    CTM_get(2, 0, 1);
    EXPECT_NEAR(mf[2], 0.012, 1e-8);         // the 24:00:00 record stands at the start of day 2
    EXPECT_NEAR(mf[0], 0.7, 1e-7);
    EXPECT_EQ(logged("NOTE", "End of CTM file before end of simulation"), 1);
    EXPECT_EQ(messages("ERROR"), 0);
}

TEST_F(AmbientContaminantFile, ColumnsOfSpeciesNotSimulatedLeaveTheAmbientAsItWas)
{
    _nntc = 0;
    name(_CTMfile, file("a.ctm", "SpeciesFile VexlarW 2.0\nd\n1/1 1/1\n1 Smoke\n"
                                 "1/1 00:00:00 0.5\n1/1 01:00:00 0.7\n"));
    CTM_init(1, 1, 1);
    CTM_get(1, 0, 1);
    CTM_get(1, 1800, 0);
    EXPECT_NEAR(mf[0], 0.9, 1e-7);
    EXPECT_NEAR(mf[1], 0.1, 1e-7);
    EXPECT_NEAR(mf[2], 0.002, 1e-9);
}

}  // namespace
}  // namespace vexlar
