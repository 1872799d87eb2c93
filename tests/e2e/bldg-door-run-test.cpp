// The building airflow test of a door that carries air both ways (door.prj): a 200 m3
// office at 30 C opens by a 2.0 x 0.9 m door (Cd 0.6) onto the outdoors at 10 C, and a fan
// supplies Ff = 0.1 kg/s of outdoor air. With rho = Pbar / (R T) on each side and the run's
// gravity g, the door passes k |h/2 -+ z|^1.5 sqrt(rho) above and below its neutral plane z,
// k = 0.666667 W Cd sqrt(2 g |rho_o - rho_a|): warm air out at the top, F_out, and cold air
// in at the bottom, F_in, where the office balances: F_out = F_in + Ff. The report books
// F_out as the office's flow to the ambient and the ambient's from a conditioned zone, F_in
// as outdoor air into the office, whichever way the door is drawn:
//   ambient row: fmCzone F_out, toFan Ff, toCzone F_in + Ff;
//   office row:  fmFan Ff, fmAmbt F_in, toAmbt F_out, oaFan Ff;
//   building outdoor air F_in + Ff; office air changes per kg/s a = 3600 / (V rho_o).
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "e2e-util.h"

namespace {

struct DoorFlows {
    double rhoOffice, out, in;
};

const double FAN = (double)0.1f;

DoorFlows handFlows()
{
    const double R = 287.055, P = 101325.0, g = (double)9.8055f, H = 2.0;
    DoorFlows d{P / (R * (double)303.15f), 0.0, 0.0};
    const double rhoA = P / (R * (double)283.15f);
    const double k = 0.666667 * (double)0.9f * (double)0.6f * std::sqrt(2.0 * g * (rhoA - d.rhoOffice));
    auto out = [&](double z) { return std::sqrt(d.rhoOffice) * k * std::pow(H / 2 - z, 1.5); };
    auto in = [&](double z) { return std::sqrt(rhoA) * k * std::pow(H / 2 + z, 1.5); };
    double lo = -H / 2, hi = H / 2;   // out - in - Ff falls from > 0 to < 0 across the door
    for (int i = 0; i < 100; i++) {
        double z = 0.5 * (lo + hi);
        (out(z) - in(z) - FAN > 0.0 ? lo : hi) = z;
    }
    d.out = out(lo);
    d.in = in(lo);
    return d;
}

// The numbers after the first `skip` fields of the line that begins with `head`.
std::vector<double> numbersOf(const std::string& text, const std::string& head, int skip)
{
    std::vector<std::string> f = fieldsOf(text, head);
    std::vector<double> v;
    for (size_t i = skip; i < f.size(); i++) v.push_back(std::atof(f[i].c_str()));
    return v;
}

class BldgDoor : public E2eTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(BldgDoor, ReportsBothFlowsOfTheDoorWhereTheyGo)
{
    std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/door.prj");
    std::ofstream(dir + "door.prj") << edited(prj, {{"1 0 1 -1 1 ", GetParam()}});
    Outcome r = runEngine("door.prj", "door.prj");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string val = slurp(dir + "door.val");
    const DoorFlows d = handFlows();
    ASSERT_GT(d.in, 4 * FAN);   // both ways, and far apart

    std::vector<double> ach = numbersOf(val, "Bldg ACH:", 1);
    ASSERT_EQ(ach.size(), 1u) << val;
    EXPECT_NEAR(ach[0], 3600 * (d.in + FAN) / (1.2041 * 200), 6e-4);

    // Supply, return and exhaust, system outdoor air, all outdoor air, all air leaving.
    const double a = 3600 / (200 * d.rhoOffice);
    const double zone[5] = {FAN * a, 0.0, FAN * a, (FAN + d.in) * a, d.out * a};
    std::vector<double> got = numbersOf(val, "1\tC\t", 2);
    ASSERT_GE(got.size(), 5u) << val;
    for (int c = 0; c < 5; c++) EXPECT_NEAR(got[c], zone[c], c < 4 ? 1e-3 : 0.005) << "column " << c;

    // fmTerm .. fmAmbt, toTerm .. toAmbt, oaTerm .. oaFan.
    const std::vector<double> ambient = {0, 0, 0, 0, d.out, 0, 0, 0, 0, 0, FAN, d.in + FAN, 0, 0, 0, 0, 0, 0};
    const std::vector<double> office = {0, 0, 0, FAN, 0, 0, d.in, 0, 0, 0, 0, 0, 0, d.out, 0, 0, 0, FAN};
    for (const auto& row : {std::make_pair("0\tA\t", &ambient), std::make_pair("1\tC\t200\t", &office)}) {
        std::vector<double> v = numbersOf(val.substr(val.find("Classified")), row.first, 4);
        ASSERT_EQ(v.size(), row.second->size()) << val;
        for (size_t c = 0; c < v.size(); c++)
            EXPECT_NEAR(v[c], (*row.second)[c], 1e-4 * (*row.second)[c]) << row.first << " column " << c;
    }
}

INSTANTIATE_TEST_SUITE_P(Drawn, BldgDoor,
                         ::testing::Values("1 0 1 -1 1 0 0 0 0 0 1 0 0 1.0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
                                           "1 0 -1 1 1 0 0 0 0 0 1 0 0 1.0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0"),
                         [](const ::testing::TestParamInfo<const char*>& i) {
                             return std::string(i.param[4] == '1' ? "OfficeToOutdoors" : "OutdoorsToOffice");
                         });

}  // namespace
