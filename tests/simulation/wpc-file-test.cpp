// The wind-pressure and ambient-concentration file: envelope paths matched to file
// openings by position, the wind pressure each sees with its direction sign, the mass
// fractions on its ambient side, the ambient pressure and temperature, both formats, the
// hold switch, a 24:00:00 record, the end of the data, and the faults of the header, the
// counts, the dates and the opening table.
#include <cstdio>
#include <ostream>
#include <string>

#include "model/env-lists.h"
#include "model/prj-data.h"
#include "simulation/weather.h"
#include "tests/model/network-fixture.h"
#include "tests/scratch-dir.h"

namespace vexlar {
namespace {

class WindPressureFile : public testnet::NetworkTest {
protected:
    void TearDown() override
    {
        WPC_close();
        NetworkTest::TearDown();
    }
    // An exterior path of zone z at (x, y, height); `inward` runs it from the ambient.
    PathRec* opening(ZoneRec* z, float x, float y, float height, bool inward)
    {
        AfeRec* e = element(AFE_PLR_ORFC);
        PathRec* p = inward ? path(&_ambt, z, e, 0x06) : path(z, &_ambt, e, 0x06);
        p->x = x;
        p->y = y;
        p->rel_height = height;
        return p;
    }
    void build(int pressures, int fractions)
    {
        _useWPCwp = pressures;
        _useWPCmf = fractions;
        _useWPC = pressures | fractions;
        _rcdat.gravity = 9.8f;
        publish();
        sim_data();
    }
    void wpc(const std::string& text)
    {
        wpcPath = scratch.file("wind.wpc");
        FILE* f = std::fopen(wpcPath.c_str(), "wb");
        std::fputs(text.c_str(), f);
        std::fclose(f);
        std::snprintf(_WPCfile, sizeof _WPCfile, "%s", wpcPath.c_str());
    }
    vexlar_test::ScratchDir scratch;   // the file goes with it
    std::string wpcPath;
};

TEST_F(WindPressureFile, EachPathTakesItsOpeningsPressureSignedByDirectionAndItsMassFractions)
{
    ZoneRec* z = zone();
    opening(z, 1.0f, 2.0f, 3.0f, false);   // ends at the ambient
    opening(z, 4.0f, 2.0f, 1.0f, true);    // starts there
    species(2);
    build(1, 1);
    AirPath* out = airpath(1);
    AirPath* in = airpath(2);
    wpc("WPCfile VexlarW 2.4\ndescription\n4 2 1 0\n1/1 1/1\nctm1 Smoke\n"
        "1 9 9 9 0\n"
        "2 1.001 2.001 3.001 0\n"            // within 1.5 mm of the first path in x, y and z
        "3 4 2 1 0\n"
        "4 4.0005 2 1 0\n"                   // also within reach of the second: not taken
        "1/1 00:00:00 101325 1.2\n10 20 30 40\n0.1 0.2 0.3 0.4\n5 5 5 5\n"
        "1/1 01:00:00 101000 1.1\n20 40 60 80\n0.3 0.4 0.5 0.6\n5 5 5 5\n"
        "1/1 24:00:00 101325 1.2\n0 0 -10 0\n0 0 0.9 0\n5 5 5 5\n");
    WPC_init(1, 1, 1);
    EXPECT_EQ(out->pld_index, 2);
    EXPECT_EQ(in->pld_index, 3);
    ASSERT_EQ(out->wind_pressure, &_WPC_wP[2]);
    ASSERT_EQ(out->mf_to, _WPC_Mf[2]);
    ASSERT_EQ(in->mf_from, _WPC_Mf[3]);
    EXPECT_EQ(WPC_get(1, 0, 1), 3600);
    EXPECT_FLOAT_EQ(*out->wind_pressure, -20.0f);   // the file's 20 Pa acts against the path
    EXPECT_FLOAT_EQ(*in->wind_pressure, 30.0f);
    WPC_get(1, 1800, 0);
    EXPECT_FLOAT_EQ(*out->wind_pressure, -30.0f);
    EXPECT_FLOAT_EQ(*in->wind_pressure, 45.0f);
    EXPECT_DOUBLE_EQ(_wthdat.Pbar, 101162.5);
    EXPECT_NEAR(_pambt->temperature, 101162.5 / (1.15 * _pambt->gas_const), 1e-3);
    EXPECT_NEAR(out->mf_to[1], 0.3, 1e-7);   // halfway from 0.2 to 0.4
    EXPECT_NEAR(in->mf_from[1], 0.4, 1e-7);
    EXPECT_DOUBLE_EQ(out->mf_to[0], _pambt->mf[0]);   // not in the file; "Smoke" is not simulated
    WPC_get(1, 86400, 0);
    WPC_get(2, 0, 1);   // the 24:00:00 record starts day 2; the file ends there
    EXPECT_FLOAT_EQ(*in->wind_pressure, -10.0f);
    EXPECT_NEAR(in->mf_from[1], 0.9, 1e-7);
    EXPECT_NE(log_text().find("\n End of WPC file before end of simulation\n"), std::string::npos);

    WPC_init(1, 1, 0);   // a new pass (the year wrap) matches every path to the same opening
    EXPECT_EQ(out->pld_index, 2);
    EXPECT_EQ(in->pld_index, 3);
    EXPECT_EQ(out->wind_pressure, &_WPC_wP[2]);
}

TEST_F(WindPressureFile, StaticPressureFormatAndHeldPressuresBetweenRecords)
{
    ZoneRec* z = zone();
    opening(z, 1.0f, 1.0f, 10.0f, true);
    species(1);
    build(1, 1);
    _rcdat.wpc_hold = 1;
    wpc("WPCfile VexlarW 2.1\nd\n1 1 1 0\n1/1 1/1\nctm0\n1 1 1 10 0\n"
        "1/1 00:00:00 101325 1.2\n101330\n0.1\n"
        "1/1 01:00:00 101325 1.2\n101340\n0.3\n");
    WPC_init(1, 1, 1);
    WPC_get(1, 0, 1);
    WPC_get(1, 1800, 0);
    // 5 Pa above the barometric pressure, plus the 1.2 x 9.8 x 10 = 117.6 Pa of air above
    // the opening's height; held at the earlier record while the fractions move on.
    EXPECT_NEAR(*airpath(1)->wind_pressure, 122.6, 1e-4);
    EXPECT_NEAR(airpath(1)->mf_from[0], 0.2, 1e-7);
    _rcdat.wpc_hold = 0;
    WPC_get(1, 1800, 0);
    EXPECT_NEAR(*airpath(1)->wind_pressure, 127.6, 1e-4);
}

struct WpcFault {
    const char* label;
    const char* head;      // header, counts and dates lines
    const char* openings;  // the opening table
    const char* expect;    // on standard error
    const char* logged;    // in the log, "" for nothing
};

void PrintTo(const WpcFault& f, std::ostream* os) { *os << f.label; }

const WpcFault kWpcFaults[] = {
    {"version", "WPCfile VexlarW 2.2\nd\n1 0 1 0\n1/1 1/1\n", "1 1 1 3 0\n",
     "WARNING Bad wind pressure file: .*FATAL Invalid header: WPCfile VexlarW 2.2\n", ""},
    {"contaminant_flag", "WPCfile VexlarW 2.4\nd\n1 1 1 0\n1/1 1/1\n", "CO2\n1 1 1 3 0\n",
     "ERROR WPC and PRJ contaminant flags do not match\n.*FATAL Mapping errors in WPC file, see XLog file\n", ""},
    {"pressure_flag", "WPCfile VexlarW 2.4\nd\n1 0 0 0\n1/1 1/1\n", "1 1 1 3 0\n",
     "ERROR WPC and PRJ pressure flags do not match\n.*FATAL Mapping errors in WPC file, see XLog file\n", ""},
    // Counts of 16-bit range that the file cannot hold: ended before the opening table is
    // looped over or 30000 x 30000 mass fractions are allocated.
    {"counts_beyond_the_file", "WPCfile VexlarW 2.4\nd\n30000 30000 1 0\n1/1 1/1\n", "1 1 1 3 0\n",
     "FATAL Invalid count 30000 in WPC file\n", ""},
    {"start_date", "WPCfile VexlarW 2.4\nd\n1 0 1 0\n1/2 1/3\n", "1 1 1 3 0\n", "FATAL Start date not on WPC file .*wind.wpc: the run starts Jan01 \\(start_date in Run "
     "Control; 1/1 in the file\\), the file's first date is 1/2: ", ""},
    {"opening_out_of_place", "WPCfile VexlarW 2.4\nd\n1 0 1 0\n1/1 1/1\n", "2 1 1 3 0\n",
     "FATAL Mapping errors in WPC file, see XLog file\n", " map (opening 1:   2   1 1.000 1.000 3.000 0)\n"},
    {"location_2mm_off", "WPCfile VexlarW 2.4\nd\n1 0 1 0\n1/1 1/1\n", "1 1.002 1 3 0\n",
     "FATAL Missing locations in WPC file, see XLog file\n", " path 1:   1 at (1.000 1.000 3.000)\n"},
};

class WindPressureFileFault : public WindPressureFile, public ::testing::WithParamInterface<WpcFault> {};

TEST_P(WindPressureFileFault, EndsTheRunAfterLoggingTheDetails)
{
    const WpcFault& c = GetParam();
    opening(zone(), 1.0f, 1.0f, 3.0f, false);
    build(1, 0);
    wpc(std::string(c.head) + c.openings + "1/1 00:00:00 101325 1.2\n5\n");
    std::fflush(_ulog);
    EXPECT_EXIT(WPC_init(1, 1, 1), ::testing::ExitedWithCode(2), c.expect);
    EXPECT_NE(log_text().find(c.logged), std::string::npos) << log_text();
}

INSTANTIATE_TEST_SUITE_P(Faults, WindPressureFileFault, ::testing::ValuesIn(kWpcFaults),
                         [](const ::testing::TestParamInfo<WpcFault>& i) { return std::string(i.param.label); });

}  // namespace
}  // namespace vexlar
