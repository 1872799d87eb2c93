// Per-species exfiltration files on a hand-built envelope: one envelope path of every kind,
// an air-handling system's exhaust (headed by its system number) and its outdoor-air path
// (no column). A listing row writes what each path carried out since the last row and
// starts every entry over, the column-less one too; any other path kind is refused.
#include <gtest/gtest.h>

#include <string>

#include "common-src/messages.h"
#include "model/env-lists.h"
#include "output/sim-out.h"
#include "result-net.h"
#include "simulation/vexlar-x-finish.h"

namespace vexlar {
namespace {

using testnet::ResultTest;

class SpeciesCex : public ResultTest {
protected:
    void SetUp() override
    {
        ResultTest::SetUp();
        installNet(net, 1);
        exhaust.kind = outdoor.kind = 0;
        exhaust.flags = 0x40 | 0x01;
        exhaust.number = 12;
        exhaust.ahs_number = 3;
        outdoor.flags = 0x20;
        outdoor.number = 11;
        AirPath* p = net.path;   // p4 (path), d2 (duct segment), t8 (terminal), l1 (leak)
        AirPath* list[6] = {&p[0], &exhaust, &outdoor, &p[2], &p[3], &p[4]};
        for (int i = 0; i < 6; i++) env[i] = list[i];
        _EnvPaths_All = env;
        _nEnvPaths_All = 6;
        rows[0] = mass;
        _Env_MassPath_list = rows;
        _rcdat.cex_ctm = 1;
    }
    void TearDown() override
    {
        set_udcex_close(0);
        _EnvPaths_All = nullptr;
        _Env_MassPath_list = nullptr;
        _nEnvPaths_All = 0;
        ResultTest::TearDown();
    }
    std::string text() const
    {
        std::vector<uint8_t> b = testnet::readFile(file("_CO2.cex"));
        return std::string(b.begin(), b.end());
    }
    AirPath exhaust{}, outdoor{};
    AirPath* env[6];
    double mass[6] = {1e-3, 2e-3, 5e-3, 3e-4, 4e-5, 6e-6};
    double* rows[1];
};

TEST_F(SpeciesCex, ListingRowsWriteEveryColumnAndStartEveryPathOver)
{
    set_udcex_open();
    writeCex_stepEnd(1800);   // not a listing time: nothing written, nothing reset
    EXPECT_EQ(mass[2], 5e-3);
    writeCex_stepEnd(3600);
    for (int i = 0; i < 6; i++) EXPECT_EQ(mass[i], 0.0) << i;
    mass[0] = 7e-3;
    writeCex_stepEnd(7200);
    set_udcex_close(0);
    EXPECT_EQ(text(), "Project:  bldg\nnpath\tctm_name\tunits\n5\tCO2\tkg\n"
                      "Date\tTime\tp4\ta3\td2\tt8\tl1\n"
                      "2/1\t01:00:00\t1.00000e-03\t2.00000e-03\t3.00000e-04\t4.00000e-05\t6.00000e-06\n"
                      "2/1\t02:00:00\t7.00000e-03\t0.00000e+00\t0.00000e+00\t0.00000e+00\t0.00000e+00\n");
}

TEST_F(SpeciesCex, PathOfNoKnownKindIsRefused)
{
    net.path[4].kind = 4;
    EXPECT_EXIT(
        {
            _errorFinishFcnP = finish;
            set_udcex_open();
        },
        ::testing::ExitedWithCode(2), "FATAL Invalid path type");
    EXPECT_FALSE(testnet::fileExists(file("_CO2.cex")));
}

}  // namespace
}  // namespace vexlar
