// End to end: solid blocks in front of the outlet of the CFD channel of
// tests/e2e/cfd/channel.prj (24 x 12 x 1 cells, the outlet on the last column's 12 rows).
// Blocks that cover every row between them refuse the case, naming the first three; one
// row left open lets the channel run and carry the network's flow.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"

namespace {

struct Block {
    const char* name;
    int firstRow, lastRow;   // rows of the last column it fills
};

struct Cover {
    const char* name;
    std::vector<Block> blocks;
    int status;
    const char* said;   // the blocks the refusal names; none when the run goes on
};

void PrintTo(const Cover& c, std::ostream* os) { *os << c.name; }

class CoveredOpening : public E2eTest, public ::testing::WithParamInterface<Cover> {};

TEST_P(CoveredOpening, IsRefusedOnlyWhenNoRowIsLeftOpen)
{
    const Cover& c = GetParam();
    const std::string src = std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/cfd/";
    std::string cfd = slurp(src + "channel_chan.CFD");
    std::string blocks;
    for (const Block& b : c.blocks)
        blocks += std::string("! 43\n") + b.name + "\n! x cells\n24,24\n! y cells\n" + std::to_string(b.firstRow) +
                  "," + std::to_string(b.lastRow) + "\n! z cells\n1,1\n! 44\n1,0\n";
    cfd = replaced(cfd, {{"! 42\n1\n", "! 42\n" + std::to_string(1 + c.blocks.size()) + "\n"},
                         {"! 45\n", blocks + "! 45\n"}});
    std::ofstream(dir + "channel_chan.CFD") << cfd;
    copyInto(dir, src + "channel.prj");
    Outcome o = runEngine("channel.prj", "channel.prj");
    ASSERT_EQ(o.status, c.status) << o.err;
    if (c.said) {
        const std::string refusal = std::string("FATAL CFD input file error outlet 1 \"out\" is covered wholly by ") +
                                    c.said + ": no air can pass it: item 12 (openings) of channel_chan.CFD\n";
        EXPECT_NE(o.err.find(refusal), std::string::npos) << o.err;
        EXPECT_FALSE(exists(dir + "channel.sqlite3"));
        return;
    }
    EXPECT_NE(o.log.find("Simulation completed successfully."), std::string::npos) << o.err;
    // The fan's 0.12 kg/s goes through the channel and its outlet into the room.
    const double fan = (double)0.12f;
    std::vector<std::vector<double>> flows =
        sqlRows(dir + "channel.sqlite3", "SELECT PathNumber, Flow0 FROM LINKPATHDATA ORDER BY PathNumber");
    ASSERT_EQ(flows.size(), 3u);
    for (const std::vector<double>& f : flows) EXPECT_NEAR(f[1], fan, 1e-4 * fan) << "path " << f[0];
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, CoveredOpening,
    ::testing::Values(Cover{"TwoHalves", {{"lower", 1, 6}, {"upper", 7, 12}}, 2, "solid blocks \"lower\", \"upper\""},
                      Cover{"FourQuarters",
                            {{"first", 1, 3}, {"second", 4, 6}, {"third", 7, 9}, {"fourth", 10, 12}},
                            2,
                            "solid blocks \"first\", \"second\", \"third\" and more"},
                      Cover{"OneRowOpen", {{"lower", 1, 11}}, 0, nullptr},
                      Cover{"OneRowOpenBetween", {{"lower", 1, 5}, {"upper", 7, 12}}, 0, nullptr}),
    [](const ::testing::TestParamInfo<Cover>& i) { return std::string(i.param.name); });

}  // namespace
