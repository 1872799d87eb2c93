// The binary slice file of a small zone: the byte layout of its header, one record and the
// trailer of extremes, a cell on two slices written once, a steady rewrite that leaves no
// stale bytes, a transient run appending until its last time, and a file that cannot be
// created.
#include <gtest/gtest.h>

#include "common-src/messages.h"
#include "model/clock.h"
#include "model/prj-data.h"
#include "tests/cfd/cfd-test-grid.h"
#include "tests/cfd/cfd-test-out.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class CfdSlice : public CfdGrid {
protected:
    ScratchDir scratch;   // the zone's files, removed with the fixture
    std::string path;
    int xs[1] = {2}, zs[1] = {1};
    void SetUp() override
    {
        grid({0.5, 1.0, 0.5}, {1.0, 1.0}, {1.5, 1.5});
        path = cfd_test_out_dir(scratch) + "/zone.out";
        ENERGY = 1, NOC = 1, CACTIVE[1] = 1;
        heapgrid();
        for (int i = 1; i <= NI; i++)
            for (int j = 1; j <= NJ; j++)
                for (int k = 1; k <= NK; k++) {
                    P[i][j][k] = i + 10 * j + 100 * k;
                    UP[i][j][k] = 0.1 * i, VP[i][j][k] = -0.1 * j, WP[i][j][k] = 0.0;
                    VTT[i][j][k] = 1.0, T[i][j][k] = 293.0, C1[i][j][k] = 1e-3 * k;
                    VIS[i][j][k] = 0.25;
                }
        NXSLCF = 1, XSLCF = xs, NYSLCF = 0, NZSLCF = 1, ZSLCF = zs;
        _dayofy = 32, _stepEndTime = 3600, _simEndDate = 33, _simEndTime = 0, _time_list = 600;
        _sim_af_dyn = 0, _rcdat.sim_mf = 0;
        for (int s = 0; s < 12; s++) PHI_MIN[s] = 1e10, PHI_MAX[s] = 1e-10;
    }
    void TearDown() override
    {
        XSLCF = ZSLCF = nullptr;
        NXSLCF = NZSLCF = 0;
        NOC = 0, CACTIVE[1] = 0;
        _sim_af_dyn = 0;
        CfdGrid::TearDown();
    }
};

const size_t HEADER = 184, ENTRY = 12 + 8 * 8, TRAILER = 24 * 8;

TEST_F(CfdSlice, SteadyFrameWritesHeaderRecordAndExtremes)
{
    cfd_slice_record();
    EXPECT_EQ(OUTPUT, nullptr);   // steady: closed after its one record
    std::string s = cfd_test_slurp(path);
    // Cells on x-slice 2 or z-slice 1: 4 per row of j, cell (2, j, 1) on both written once.
    ASSERT_EQ(s.size(), HEADER + 8 + 8 * ENTRY + TRAILER);
    EXPECT_EQ(cfd_test_at<int>(s, 0), 32);
    EXPECT_EQ(cfd_test_at<int>(s, 16), 600);
    EXPECT_EQ(cfd_test_at<double>(s, 20), 2.0);   // XX
    EXPECT_EQ(cfd_test_at<int>(s, 44), 3);        // IM2
    EXPECT_EQ(cfd_test_at<int>(s, 56), 1);        // NXSLCF, then 2
    EXPECT_EQ(cfd_test_at<int>(s, 60), 2);
    EXPECT_EQ(cfd_test_at<int>(s, 64), 0);        // no y-slice
    EXPECT_EQ(cfd_test_at<int>(s, 72), 1);        // z-slice 1
    EXPECT_EQ(cfd_test_at<int>(s, 92), 1);        // ENERGY
    EXPECT_EQ(cfd_test_at<int>(s, 96), 1);        // species 1 active, 2 not
    EXPECT_EQ(cfd_test_at<int>(s, 100), 0);
    EXPECT_EQ(cfd_test_at<double>(s, 128 + 16), 1.75);   // X[4]
    EXPECT_EQ(cfd_test_at<double>(s, 176), 2.25);        // Z[3]
    EXPECT_EQ(cfd_test_at<int>(s, HEADER), 32);
    EXPECT_EQ(cfd_test_at<int>(s, HEADER + 4), 3600);
    // Entries walk j, then i, then k: (1,1,1), (2,1,1), (2,1,2), (3,1,1), ...
    const int cells[4][3] = {{1, 1, 1}, {2, 1, 1}, {2, 1, 2}, {3, 1, 1}};
    for (int e = 0; e < 4; e++) {
        size_t at = HEADER + 8 + e * ENTRY;
        int i = cells[e][0] + 1, j = cells[e][1] + 1, k = cells[e][2] + 1;
        for (int a = 0; a < 3; a++) EXPECT_EQ(cfd_test_at<int>(s, at + 4 * a), cells[e][a]);
        const double want[8] = {i + 10.0 * j + 100.0 * k, 0.1 * i, -0.1 * j, 0, 1, 20, 1e-3 * k,
                                0.25};
        for (int v = 0; v < 8; v++)
            EXPECT_DOUBLE_EQ(cfd_test_at<double>(s, at + 12 + 8 * v), want[v]) << e << " " << v;
    }
    size_t tr = HEADER + 8 + 8 * ENTRY;
    EXPECT_EQ(cfd_test_at<double>(s, tr), 222.0);            // P least at cell (2,2,2)
    EXPECT_EQ(cfd_test_at<double>(s, tr + 96), 333.0);       // and largest at (3,3,3)
    EXPECT_DOUBLE_EQ(cfd_test_at<double>(s, tr + 2 * 8), -0.3);   // V least in row j = 3
    EXPECT_EQ(cfd_test_at<double>(s, tr + 7 * 8), 0.0);      // species 2 inactive
    EXPECT_DOUBLE_EQ(cfd_test_at<double>(s, tr + 96 + 6 * 8), 3e-3);

    // The next steady frame with fewer slices is a complete shorter file, nothing stale.
    NZSLCF = 0;
    cfd_slice_record();
    EXPECT_EQ(cfd_test_slurp(path).size(), HEADER - 4 + 8 + 4 * ENTRY + TRAILER);
}

TEST_F(CfdSlice, TransientRunAppendsUntilLastTime)
{
    _sim_af_dyn = 1, CFDTIME = 60, TIMEMAX = 180;
    cfd_slice_record();
    CFDTIME = 120;
    cfd_slice_record();
    EXPECT_NE(OUTPUT, nullptr);
    EXPECT_EQ(cfd_test_slurp(path).size(), HEADER + 2 * (8 + 8 * ENTRY));
    CFDTIME = 180;
    cfd_slice_record();
    EXPECT_EQ(OUTPUT, nullptr);
    EXPECT_EQ(cfd_test_slurp(path).size(), HEADER + 3 * (8 + 8 * ENTRY) + TRAILER);
}

TEST_F(CfdSlice, FileThatCannotBeCreatedIsAnErrorNamingIt)
{
    strcpy(_cfdpdir, "/nonexistent-dir/");
    int before = nonFatalErrorCt;
    testing::internal::CaptureStderr();
    cfd_slice_record();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(nonFatalErrorCt, before + 1);
    EXPECT_NE(err.find("/nonexistent-dir/zone.out"), std::string::npos) << err;
    EXPECT_EQ(OUTPUT, nullptr);
}

}  // namespace
