// Short-time-step result files on a hand-built network: the RXR cross reference and the
// RZF, RZM and RZ1 records byte for byte, the files that are not created (no species, no
// one-dimensional zone), and the removal on a fatal end of every file the run created.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "output/sim-out.h"
#include "result-net.h"
#include "tests/param-names.h"

using namespace vexlar;
using namespace vexlar::testnet;

namespace {

// A 32-bit word of a file: an integer or a single-precision real.
struct Word {
    uint32_t u;
    Word(int v) : u((uint32_t)v) {}
    Word(float f) { memcpy(&u, &f, 4); }
};

// The words in little-endian order.
std::vector<uint8_t> le(std::initializer_list<Word> words)
{
    std::vector<uint8_t> b;
    for (Word w : words)
        for (int k = 0; k < 4; k++) b.push_back((uint8_t)(w.u >> (8 * k)));
    return b;
}

std::vector<uint8_t> cat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> b;
    for (const auto& p : parts) b.insert(b.end(), p.begin(), p.end());
    return b;
}

// The network of result-net.h (zone 1 well mixed, zone 3 one-dimensional in two cells from
// (0, 1, 2) to (8, 1, 2)) on day 32 at 1:00, listing every hour, ending at day 33, 0:00.
class StsFiles : public ResultTest {
protected:
    void SetUp() override
    {
        ResultTest::SetUp();
        _resultWriteFailures = 0;
        net.node[0].pressure = 12.5;
        net.node[1].pressure = -3.0;
        const float ends[6] = {0, 1, 2, 8, 1, 2};
        memcpy(cd1.end_points, ends, sizeof ends);
        cd1.node = &net.node[1];
        cd1.cell_count = 2;
        cd1.cells = cells;
        cells[0].mf = cellMf[0];
        cells[1].mf = cellMf[1];
    }
    void TearDown() override
    {
        set_uSTS_ResultFiles(3);
        ResultTest::TearDown();
    }
    void select(int rzf, int rzm, int rz1)
    {
        _rcdat.rzf = rzf;
        _rcdat.rzm = rzm;
        _rcdat.rz1 = rz1;
    }
    void makeOneDimensional() { net.node[1].cd1_zone = &cd1; }
    std::vector<uint8_t> bytes(const char* ext) const { return readFile(file(ext)); }

    Cd1Zone cd1{};
    ZoneCell cells[2]{};
    double cellMf[2][2] = {{6e-4, 1e-6}, {4e-4, 0.0}};
};

TEST_F(StsFiles, CrossReferenceAndRecordsHoldTheZoneStatesByteForByte)
{
    select(1, 1, 1);
    makeOneDimensional();
    const std::string log = logDuring(2, [] { set_uSTS_ResultFiles(1); });
    writeSTS_ResultFiles(3600);
    // The midnight state again as time 0 of the next day, after zone 1 warmed by 1.5 K.
    _dayofy = 33;
    net.node[0].temperature = 294.75;
    cellMf[1][1] = 2e-7;
    writeSTS_ResultFiles(0);
    set_uSTS_ResultFiles(2);

    // 13 header words, then zone 3: number, cells, the two end points.
    EXPECT_EQ(bytes(".rxr"), le({24, 3600, 32, 3600, 33, 0, 1, 1, 1, 2, 2, 1, 2, 3, 2, 0.0f,
                                 1.0f, 2.0f, 8.0f, 1.0f, 2.0f}));
    EXPECT_EQ(log,
              "RXR (results files cross reference data)\n"
              "     type 24, step 3600\n     date0 32, time0 3600\n     date1 33, time1 0\n"
              "     rzf 1, rzm 1, rz1 1\n     _nctm 2, _nzone 2\n     _nZ1D 1, _nC1D 2\n"
              "#: zone  nc (P1) (P2)\n"
              "1:     3   2 (0.000 1.000 2.000) (8.000 1.000 2.000)\n"
              "offset: 84\n");
    // Per zone temperature, pressure, density; per zone its species; per cell its species.
    EXPECT_EQ(bytes(".rzf"), cat({le({32, 3600, 293.25f, 12.5f, 1.25f, 295.5f, -3.0f, 1.5f}),
                                  le({33, 0, 294.75f, 12.5f, 1.25f, 295.5f, -3.0f, 1.5f})}));
    EXPECT_EQ(bytes(".rzm"), cat({le({32, 3600, 1e-3f, 2e-6f, 5e-4f, 0.0f}),
                                  le({33, 0, 1e-3f, 2e-6f, 5e-4f, 0.0f})}));
    EXPECT_EQ(bytes(".rz1"), cat({le({32, 3600, 6e-4f, 1e-6f, 4e-4f, 0.0f}),
                                  le({33, 0, 6e-4f, 1e-6f, 4e-4f, 2e-7f})}));
}

// Which files a selection creates, and what the cross reference says of them.
struct Selection {
    const char* name;
    int rzf, rzm, rz1, species;
    bool oneDimensional;
    std::vector<const char*> created;   // with their RXR header when one is written
    std::vector<uint8_t> rxrCounts;     // header words 7 to 13; empty: no RXR file
};

class StsSelection : public StsFiles, public ::testing::WithParamInterface<Selection> {};

TEST_P(StsSelection, CreatesOnlyWhatItCanFill)
{
    const Selection& s = GetParam();
    select(s.rzf, s.rzm, s.rz1);
    _nctm = s.species;
    if (s.oneDimensional) makeOneDimensional();
    set_uSTS_ResultFiles(1);
    writeSTS_ResultFiles(3600);
    set_uSTS_ResultFiles(2);
    for (const char* ext : {".rzf", ".rzm", ".rz1", ".rxr"}) {
        bool wanted = false;
        for (const char* c : s.created) wanted |= std::string(c) == ext;
        EXPECT_EQ(fileExists(file(ext)), wanted) << ext;
    }
    EXPECT_EQ(bytes(".rz1").size(), s.rz1 && s.species && s.oneDimensional ? 24u : 0u);
    if (s.rxrCounts.empty()) return;
    const auto rxr = bytes(".rxr");
    ASSERT_EQ(rxr.size(), 52u);
    EXPECT_EQ(std::vector<uint8_t>(rxr.begin() + 24, rxr.end()), s.rxrCounts);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StsSelection,
    ::testing::Values(
        // RZ1 without a one-dimensional zone stays an empty file and is not announced.
        Selection{"Rz1WithoutOneDimensionalZone", 1, 0, 1, 2, false, {".rzf", ".rz1", ".rxr"},
                  le({1, 0, 0, 2, 2, 0, 0})},
        Selection{"Rz1AloneWithoutOneDimensionalZone", 0, 0, 1, 2, false, {".rz1"}, {}},
        // Without species there are no mass fractions to write.
        Selection{"NoSpecies", 1, 1, 1, 0, true, {".rzf", ".rxr"}, le({1, 0, 0, 0, 2, 0, 0})},
        Selection{"NothingSelected", 0, 0, 0, 2, true, {}, {}}),
    testnames::named([](const Selection& s) { return std::string(s.name); }));

TEST_F(StsFiles, FatalEndRemovesTheRecordsAndTheirCrossReference)
{
    select(1, 1, 1);
    makeOneDimensional();
    set_uSTS_ResultFiles(1);
    writeSTS_ResultFiles(3600);
    EXPECT_EQ(bytes(".rxr").size(), 84u);
    set_uSTS_ResultFiles(3);
    for (const char* ext : {".rzf", ".rzm", ".rz1", ".rxr"}) EXPECT_FALSE(fileExists(file(ext))) << ext;

    // A fatal end after the loop closed the files still removes what this run wrote.
    set_uSTS_ResultFiles(1);
    set_uSTS_ResultFiles(2);
    EXPECT_TRUE(fileExists(file(".rxr")));
    set_uSTS_ResultFiles(3);
    for (const char* ext : {".rzf", ".rzm", ".rz1", ".rxr"}) EXPECT_FALSE(fileExists(file(ext))) << ext;

    // Files of an earlier run that this one never created stay.
    for (const char* ext : {".rzf", ".rxr"}) fclose(fopen(file(ext).c_str(), "wb"));
    set_uSTS_ResultFiles(3);
    for (const char* ext : {".rzf", ".rxr"}) EXPECT_TRUE(fileExists(file(ext))) << ext;
}

}  // namespace
