// The surface pressure file of one block checked against the field: the region, the face
// lists and every cell's pressure and flag; the reference-name and ground checks; a region
// at the first interior cell whose first face is the wall; and a file that cannot be made.
#include <gtest/gtest.h>

#include "common-src/messages.h"
#include "tests/cfd/cfd-test-grid.h"
#include "tests/cfd/cfd-test-out.h"

using namespace vexlar;
using namespace vexlar_test;

namespace {

class CfdEwc : public CfdGrid {
protected:
    ScratchDir scratch;   // the zone's files, removed with the fixture
    std::string path;
    void SetUp() override
    {
        grid(std::vector<double>(8, 0.5), std::vector<double>(7, 1.0), std::vector<double>(5, 2.0));
        path = cfd_test_out_dir(scratch) + "/zone.ewc";
        PAMB = 101325.0, OPERDENS = 1.2;
        NBL = 1;
        cfd_blocks_reserve(1);
        fill(P, 0);
        for (int i = 1; i <= NI; i++)
            for (int j = 1; j <= NJ; j++)
                for (int k = 1; k <= NK; k++) P[i][j][k] = 100 * i + 10 * j + k;
    }
    void block(std::vector<int> box, const char* name)
    {
        opening(IBL, 1, box);
        strcpy(NMBL[1], name);
        cfd_for_box(IBL[1], [](const int* p) { cell(ICELL, p) = 1; });
    }
    int run(std::string* err)
    {
        int before = nonFatalErrorCt;
        testing::internal::CaptureStderr();
        makeewc();
        *err = testing::internal::GetCapturedStderr();
        return nonFatalErrorCt - before;
    }
};

TEST_F(CfdEwc, OneBlockOnGroundGivesRegionFacesAndCells)
{
    block({5, 7, 4, 6, 2, 4}, "REFBLOCK2");
    std::string err;
    EXPECT_EQ(run(&err), 0) << err;
    std::string s = cfd_test_slurp(path);
    // ni = nj = nk = 3: 6 x faces, 6 y faces, 5 z faces, 5 x 5 x 4 cells of 12 bytes.
    const size_t faces = 16 + 12 + 28 + 4 + 28, cells = faces + (6 + 6 + 5) * 8;
    ASSERT_EQ(s.size(), cells + 5 * 5 * 4 * 12);
    EXPECT_EQ(cfd_test_at<double>(s, 0), 101325.0);
    EXPECT_EQ(cfd_test_at<double>(s, 8), 1.2);
    const int ints[18] = {3, 3, 3, 0, 5, 7, 4, 6, 2, 4, 1, 0, 5, 7, 4, 6, 2, 4};
    for (int e = 0; e < 18; e++) EXPECT_EQ(cfd_test_at<int>(s, 16 + 4 * e), ints[e]) << e;
    for (int e = 0; e < 6; e++) {   // XF[3..8] and YF[2..7] of uniform cells
        EXPECT_DOUBLE_EQ(cfd_test_at<double>(s, faces + 8 * e), 0.5 * (e + 2));
        EXPECT_DOUBLE_EQ(cfd_test_at<double>(s, faces + 48 + 8 * e), 1.0 * (e + 1));
    }
    for (int e = 0; e < 5; e++)     // ZF[1..5]
        EXPECT_DOUBLE_EQ(cfd_test_at<double>(s, faces + 96 + 8 * e), 2.0 * e);
    // i = 4..8 outer, j = 3..7, k = 2..5 inner.
    size_t at = cells;
    for (int i = 4; i <= 8; i++)
        for (int j = 3; j <= 7; j++)
            for (int k = 2; k <= 5; k++, at += 12) {
                EXPECT_EQ(cfd_test_at<double>(s, at), 100.0 * i + 10 * j + k);
                bool solid = i >= 5 && i <= 7 && j >= 4 && j <= 6 && k <= 4;
                EXPECT_EQ(cfd_test_at<int>(s, at + 8), solid ? 1 : 0) << i << j << k;
            }
}

TEST_F(CfdEwc, RaisedBlockWithoutReferenceIsReportedAndStillWritten)
{
    block({2, 3, 2, 2, 3, 4}, "REFBLOC");
    std::string err;
    EXPECT_EQ(run(&err), 2);
    EXPECT_NE(err.find("Error makeewc: a reference building block needs to be set"),
              std::string::npos);
    EXPECT_NE(err.find("Error makeewc: at least one building block should be on ground"),
              std::string::npos);
    std::string s = cfd_test_slurp(path);
    const size_t faces = 16 + 12 + 28 + 4 + 28;
    ASSERT_EQ(s.size(), faces + (5 + 4 + 5) * 8 + 4 * 3 * 4 * 12);
    // The region starts at the first interior cell: its first face lies on the wall.
    EXPECT_EQ(cfd_test_at<double>(s, faces), 0.0);
    EXPECT_EQ(cfd_test_at<double>(s, faces + 8), 0.0);   // XF[1]
    EXPECT_EQ(cfd_test_at<double>(s, faces + 16), 0.5);  // XF[2]
}

TEST_F(CfdEwc, FileThatCannotBeCreatedIsAnErrorNamingIt)
{
    block({5, 7, 4, 6, 2, 4}, "REFBLOCK");
    strcpy(_cfdpdir, "/nonexistent-dir/");
    std::string err;
    EXPECT_EQ(run(&err), 1);
    EXPECT_NE(err.find("/nonexistent-dir/zone.ewc"), std::string::npos) << err;
}

}  // namespace
