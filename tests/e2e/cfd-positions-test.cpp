// Every position the CFD input accepts for an opening runs the engine, and every other is
// refused naming the opening, the axis and the valid range. The exhaust of the zone "room"
// of tests/e2e/cfd/room.prj (8 x 6 x 5 cells) is moved to each position on each axis: the
// domain's last cell, -2 (the face between cells 1 and 2, seen from cell 1), the last
// negated, and -1 and 0, which have no cell on their inner side. Under the sanitizer
// build a read outside an array fails the run.
#include <gtest/gtest.h>
#include <string>

#include "e2e-util.h"

namespace {

struct Position {
    const char* name;
    int axis;            // 0 x, 1 y, 2 z
    const char* cells;   // the opening's range along that axis
    bool runs;
};

void PrintTo(const Position& p, std::ostream* os) { *os << p.name; }

const int LAST[3] = {8, 6, 5};

class CfdOpeningPosition : public E2eTest, public ::testing::WithParamInterface<Position> {};

TEST_P(CfdOpeningPosition, RunsOrIsRefusedNamingTheOpeningAxisAndRange)
{
    const Position& p = GetParam();
    std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
    copyInto(dir, src + "room.prj");
    std::string cfd = slurp(src + "room_room.CFD");
    const std::string old = "exhaust\n! x cells\n8,8\n! y cells\n3,4\n! z cells\n1,2\n";
    std::string pairs[3] = {"7,8", "3,4", "1,2"};
    pairs[p.axis] = p.cells;
    size_t at = cfd.find(old);
    ASSERT_NE(at, std::string::npos);
    cfd.replace(at, old.size(),
                "exhaust\n! x cells\n" + pairs[0] + "\n! y cells\n" + pairs[1] + "\n! z cells\n" + pairs[2] + "\n");
    std::ofstream(dir + "room_room.CFD") << cfd;
    Outcome r = runEngine("room.prj", "room.prj");
    if (p.runs) {
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.log.find("Simulation completed successfully."), std::string::npos);
        return;
    }
    int n = LAST[p.axis];
    std::string want = "FATAL CFD input file error outlet 1 location outside the grid: \"exhaust\" " +
                       std::string(1, "xyz"[p.axis]) + " cells " + p.cells + ", valid one cell of 1 to " +
                       std::to_string(n) + " or -2 to -" + std::to_string(n) + ": item 12 (openings) of ";
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(want + "room_room.CFD"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Axes, CfdOpeningPosition,
    ::testing::Values(Position{"XLast", 0, "8,8", true}, Position{"XMinusTwo", 0, "-2,-2", true},
                      Position{"XMinusLast", 0, "-8,-8", true}, Position{"XMinusOne", 0, "-1,-1", false},
                      Position{"XZero", 0, "0,0", false}, Position{"YLast", 1, "6,6", true},
                      Position{"YMinusTwo", 1, "-2,-2", true}, Position{"YMinusOne", 1, "-1,-1", false},
                      Position{"YZero", 1, "0,0", false}, Position{"ZLast", 2, "5,5", true},
                      Position{"ZMinusTwo", 2, "-2,-2", true}, Position{"ZMinusOne", 2, "-1,-1", false},
                      Position{"ZZero", 2, "0,0", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
