// The co-simulation bridge against a peer of the test's own on 127.0.0.1: the start-up
// description of a small building byte for byte, a one-day session of advances with every
// update and adjustment kind, volume flows, framing, and the failures that end the run.
#include "bridge/bridge.h"

#include <gmock/gmock.h>

#include <chrono>
#include <thread>

#include "bridge/bridge-int.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/options.h"
#include "tests/bridge/bridge-peer.h"
#include "tests/common-src/section-test-util.h"
#include "tests/model/network-fixture.h"

namespace vexlar {
namespace {

using bridgepeer::message;
using bridgepeer::Wire;
using testutil::MessageCapture;

class Bridge : public testnet::NetworkTest {
protected:
    // Office and hall with a simple air-handling system (supply and return zones), two
    // envelope paths, an outdoor-air path, a duct from a terminal in the office through a
    // leaky junction in the hall to a terminal at the ambient, one species and three
    // control nodes. The outdoor-air path is numbered between the two envelope paths, so
    // the envelope opening order (paths, then system paths, then terminals) is 1, 3, 2, 4.
    void SetUp() override
    {
        NetworkTest::SetUp();
        bridge_ConnectToServer(listener.address().c_str());
        peer = listener.accept();
        ASSERT_GE(peer, 0);
        // An engine left waiting for a command that never comes gives up (and fails the
        // test) instead of hanging it.
        timeval limit{5, 0};
        setsockopt(_sockfd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        _wPBridge = 1;   // the peer may send envelope wind pressures and mass fractions
        std::strcpy(_prjname, "bridgetest");
        _rcdat.end_time = 86400;
        _rcdat.start_date = _rcdat.end_date = 1;
        _rcdat.time_step = 3600;
        orifice = named(element(AFE_PLR_ORFC), 1, "orifice");
        crack = named(element(AFE_PLR_LEAK1), 2, "crack");
        office = zone(0x03, 50.0f), hall = zone(0x03, 30.0f);
        supply = zone(0x0b, 1.0f), ret = zone(0x0b, 1.0f);
        const char* names[] = {"office", "hall", "supply", "return"};
        for (int k = 1; k <= 4; k++) std::strcpy(zones[k]->name, names[k - 1]);
        AhsRec* ahs = rec<AhsRec>("ahs");
        ahs->number = 1, ahs->path_recirc = 6, ahs->path_outdoor = 3, ahs->path_exhaust = 7;
        std::strcpy(ahs->name, "ahs1");
        systems.push_back(ahs);
        place(path(&_ambt, office, orifice), 1.0f, 2.0f, 1.5f);
        path(office, hall, orifice);
        path(&_ambt, supply, nullptr, 0x20);
        path(supply, office, nullptr, 0x08)->ahs = ahs;
        path(hall, ret, nullptr, 0x08)->ahs = ahs;
        path(ret, supply, nullptr, 0x10);
        path(ret, &_ambt, nullptr, 0x40);
        place(path(hall, &_ambt, crack), 4.0f, 5.0f, 2.5f);
        JunctionRec* t1 = junction(office, 1);
        JunctionRec* t2 = junction(&_ambt, 1);
        JunctionRec* j3 = junction(hall, 0);
        const DuctLine leaky = {0.1f, 0.4f, 0.004f, 1.5f, 25.0f};
        duct(t1, j3, element(AFE_DCT_PLR, leaky));
        duct(j3, t2, element(AFE_DCT_PLR, leaky));
        species(1);
        std::strcpy(_ctm[0].name, "CO2");
        control(CT_SET, 1, 0, 0, &damperValue);
        std::strcpy(ctrls[1]->name, "damper");
        control(CT_SET, 2, 0, 0, &damperValue);
        std::strcpy(ctrls[2]->name, "<none>");
        control(CT_PAS, 3, 1);
        std::strcpy(ctrls[3]->name, "co2out");
        _AfeList = afes.data();
        _nafe = 2;
        publish();
        sim_data();
        ctrls[3]->value = 0.25f;
        _dayofy = 1;
        _stepEndTime = 0;
        bridge_CreatePathList();
        bridge_SendInfoMessages();
    }

    void TearDown() override
    {
        bridge_FreeBuffers();
        if (_sockfd >= 0) close(_sockfd);
        _sockfd = -1;
        if (peer >= 0) close(peer);
        _doBridge = 0;
        _vFBridge = 0;
        _doBridgeMf = 0;
        _AfeList = nullptr;
        _nafe = 0;
        NetworkTest::TearDown();
    }

    AfeRec* named(AfeRec* e, int number, const char* name)
    {
        e->number = number;
        std::strcpy(e->name, name);
        afes.push_back(e);
        return e;
    }
    static void place(PathRec* p, float x, float y, float h) { p->x = x, p->y = y, p->rel_height = h; }

    // The next message the engine sent, against the one expected.
    void expectMessage(int type, const Wire& body, const char* what)
    {
        EXPECT_EQ(bridgepeer::readMessage(peer), message(type, body)) << what;
    }
    void expectNothingMore() { EXPECT_FALSE(bridgepeer::waitReadable(peer, 0)); }
    void peerSends(const std::string& bytes) { ASSERT_TRUE(bridgepeer::writeAll(peer, bytes)); }
    void readStartUp()
    {
        for (int k = 0; k < 15; k++) bridgepeer::readMessage(peer);
    }
    // Sets the step end and lets the engine serve what the peer has already sent.
    void step(int time)
    {
        _stepEndTime = time;
        bridge_CheckForMessages();
    }

    bridgepeer::Listener listener;
    int peer = -1;
    float damperValue = 0.5f;
    std::vector<AfeRec*> afes{nullptr};
    AfeRec *orifice = nullptr, *crack = nullptr;
    ZoneRec *office = nullptr, *hall = nullptr, *supply = nullptr, *ret = nullptr;
};

Wire advance(int bits, int until) { return Wire{}.i(bits).i(until); }

TEST_F(Bridge, StartUpDescribesTheSmallBuildingByteForByte)
{
    EXPECT_EQ(_doBridge, 2);
    std::string log = log_text();
    EXPECT_THAT(log, ::testing::HasSubstr("  server ip address = 127.0.0.1\n  listening port    = "
                                          + std::to_string(listener.port) + "\n"));
    EXPECT_THAT(log, ::testing::HasSubstr("Jct Info Message:\n"));
    expectMessage(BLDG_INFO_MSG, Wire{}.name("bridgetest"), "building");
    expectMessage(SIMPARM_INFO_MSG, Wire{}.i(1).i(1).i(0).i(86400).i(3600), "run period");
    expectMessage(AGENT_INFO_MSG, Wire{}.i(1).i(1).name("CO2"), "species");
    expectMessage(ELEMENT_INFO_MSG, Wire{}.i(2).name("orifice").name("crack"), "elements");
    expectMessage(INPUT_CTRL_INFO_MSG, Wire{}.i(1).i(1).f(0.5f).name("damper"), "inputs");
    expectMessage(OUTPUT_CTRL_INFO_MSG, Wire{}.i(1).i(3).f(0.25f).name("co2out"), "outputs");
    // Paths 1, 2 and 8: number, envelope index, element, from zone, to zone, x, y, z.
    expectMessage(PATH_INFO_MSG,
                  Wire{}.i(3).i(1).i(2).i(8).i(1).i(0).i(3).i(1).i(1).i(2).i(0).i(1).i(2).i(1).i(2).i(0)
                      .f(1).f(0).f(4).f(2).f(0).f(5).f(1.5f).f(0).f(2.5f), "paths");
    // Paths 3..7: outdoor air (3), supply to the office (1), return from the hall (0),
    // recirculation (2), exhaust (4); the zone served; system 1.
    Wire ahsp = Wire{}.i(5).i(3).i(4).i(5).i(6).i(7).i(2).i(0).i(0).i(0).i(0);
    ahsp.i(3).i(1).i(0).i(2).i(4).i(0).i(1).i(2).i(0).i(0).i(1).i(1).i(1).i(1).i(1);
    for (int k = 0; k < 15; k++) ahsp.f(0);
    expectMessage(AHSP_INFO_MSG, ahsp, "system paths");
    expectMessage(AHS_INFO_MSGTYPE, Wire{}.i(1).i(1).name("ahs1"), "systems");
    expectMessage(ZONE_INFO_MSG,
                  Wire{}.i(4).i(1).i(1).i(1).i(1).i(0).i(0).i(1).i(1).f(50).f(30).f(1).f(1)
                      .name("office").name("hall").name("supply").name("return"), "zones");
    expectMessage(JCT_INFO_MSG, Wire{}.i(3).i(1).i(1).i(0).i(1).i(0).i(2), "junctions");
    expectMessage(TERM_INFO_MSG, Wire{}.i(2).i(1).i(2).i(0).i(4).f(1).f(1).f(0).f(0).f(0).f(0),
                  "terminals");
    expectMessage(LEAK_INFO_MSG, Wire{}.i(1).i(3), "leaks");
    expectMessage(DUCT_INFO_MSG, Wire{}.i(2).i(1).i(2), "ducts");
    expectMessage(VX_READY_MSG, Wire{}.i(0), "ready");
    expectNothingMore();
    const int order[] = {0, 1, 3, 2, 4};
    ASSERT_EQ(_num_envp, 4);
    for (int i = 1; i <= 4; i++) EXPECT_EQ(_env_list[i], order[i]) << "opening " << i;
}

TEST_F(Bridge, OneDaySessionReportsTheSelectionAndAppliesEveryAdjustment)
{
    readStartUp();
    AirNode *nOffice = office->node, *nHall = hall->node, *nSupply = supply->node;
    const double mf[] = {0.001, 0.002, 0.003, 0.004};
    for (int k = 1; k <= 4; k++) zones[k]->node->mf[0] = mf[k - 1];
    nOffice->air_mass = 100.0;
    nHall->air_mass = 0.0;
    const double flows[] = {0.12, 0.0, 0.2, 0.3, 0.25, 0.1, 0.05, -0.05, 0.01, 0.02, 0.03, -0.04, 0.001};
    for (int i = 1; i <= _nafpt; i++) airpath(i)->mass_flow[0] = flows[i - 1];
    airpath(8)->mass_flow[1] = 0.01;

    // 1:00: the first call reports every kind; the peer sets two zone temperatures, adds
    // 0.001 kg of CO2 to the office (100 kg of air: +1e-5) and to the hall (no air: no
    // change), sets the supply zone to 0.0005 and asks for concentrations and path flows
    // at 2:00.
    peerSends(message(ADJ_ZONE_TEMP_MSG, Wire{}.i(2).i(1).i(2).f(300.0f).f(290.0f))
              + message(ADJ_ZONE_CONC_MSG, Wire{}.i(0).i(2).i(1).i(1).i(2).f(0.001f).f(0.001f))
              + message(ADJ_ZONE_CONC_MSG, Wire{}.i(1).i(1).i(1).i(3).f(0.0005f))
              + message(VX_ADVANCE_MSG, advance(0x06, 7200)));
    step(3600);
    expectMessage(CONC_UPDATE_MSG, Wire{}.i(3600).i(1).f(0.001f).f(0.002f).f(0.003f).f(0.004f).i(0), "mf");
    expectMessage(PATH_FLOW_UPDATE_MSG, Wire{}.i(3600).i(3).f(0.12f).f(0).f(-0.05f).f(0).f(0).f(0.01f), "paths");
    expectMessage(AHSP_FLOW_UPDATE_MSG, Wire{}.i(3600).i(5).f(0.2f).f(0.3f).f(0.25f).f(0.1f).f(0.05f), "ahsp");
    expectMessage(DUCT_FLOW_UPDATE_MSG, Wire{}.i(3600).i(2).f(0.01f).f(0.02f), "ducts");
    expectMessage(TERM_FLOW_UPDATE_MSG, Wire{}.i(3600).i(2).f(0.03f).f(-0.04f), "terminals");
    expectMessage(LEAK_FLOW_UPDATE_MSG, Wire{}.i(3600).i(1).f(0.001f), "leaks");
    expectMessage(CTRL_NODE_UPDATE_MSG, Wire{}.i(3600).i(1).f(0.25f), "controls");
    expectMessage(VX_READY_MSG, Wire{}.i(3600), "ready");
    EXPECT_EQ(nOffice->temperature, 300.0);
    EXPECT_EQ(nHall->temperature, 290.0);
    EXPECT_NEAR(nOffice->mf[0], 0.00101, 1e-12);
    EXPECT_EQ(nHall->mf[0], 0.002);
    EXPECT_EQ(nSupply->mf[0], (double)0.0005f);
    EXPECT_EQ(_doBridgeMf, 1);
    EXPECT_EQ(rd * 100000 + rt, 107200);

    // 1:30 lies before the run-until point: nothing is exchanged.
    step(5400);
    expectNothingMore();

    // 2:00: the adjusted concentration comes back; then every other adjustment.
    peerSends(message(ADJ_ELEMENT_MSG, Wire{}.i(1).i(2))
              + message(ADJ_CTRL_NODE_MSG, Wire{}.i(1).f(0.75f))
              + message(ADJ_CTRL_NODE_MSG, Wire{}.i(2).f(9.0f))
              + message(ADJ_WTH_MSG, Wire{}.f(278.15f).f(100000.0f).f(4.0f).f(270.0f).f(0.003f))
              + message(ADJ_WPC_MSG, Wire{}.i(7200).i(0).i(3).f(10).f(20).f(30))
              + message(ADJ_WPC_MSG, Wire{}.i(7200).i(1).i(2).i(1).f(4e-4f).f(5e-4f))
              + message(ADJ_AHSP_FLOWS_MSGTYPE, Wire{}.i(1).i(4).f(0.35f))
              + message(ADJ_AHS_POA_MSGTYPE, Wire{}.i(1).i(1).f(0.3f))
              + message(ADJ_ZONE_HR_MSG, Wire{}.i(1).i(2).f(0.008f))
              + message(ADJ_JCT_TEMP_MSG, Wire{}.i(1).i(3).f(295.0f))
              + message(VX_ADVANCE_MSG, advance(0, 86400)));
    step(7200);
    expectMessage(CONC_UPDATE_MSG, Wire{}.i(7200).i(1).f((float)(0.001 + 1e-5)).f(0.002f).f(0.0005f).f(0.004f).i(0), "mf");
    expectMessage(PATH_FLOW_UPDATE_MSG, Wire{}.i(7200).i(3).f(0.12f).f(0).f(-0.05f).f(0).f(0).f(0.01f), "paths");
    expectMessage(VX_READY_MSG, Wire{}.i(7200), "ready");
    EXPECT_EQ(airpath(1)->element, crack);
    EXPECT_EQ(ctrls[1]->value, 0.75f);
    EXPECT_EQ(ctrls[2]->value, 0.5f);   // "<none>" is not announced and cannot be set
    EXPECT_EQ(_wthdat.Tambt, 278.15f);
    EXPECT_EQ(_wthdat.Pbar, 100000.0);
    EXPECT_EQ(_pambt->temperature, (double)278.15f);
    EXPECT_EQ(_pambt->humidity_ratio, (double)0.003f);
    // Openings 1, 3, 2 in the announced order; path 8 leaves to the ambient (sign -1).
    EXPECT_EQ(_ENV_wP[1], 10.0f);
    EXPECT_EQ(_ENV_wP[3], -20.0f);
    EXPECT_EQ(_ENV_wP[2], 30.0f);
    EXPECT_EQ(_ENV_Mf[1][0], (double)4e-4f);
    EXPECT_EQ(_ENV_Mf[3][0], (double)5e-4f);
    EXPECT_EQ(airpath(4)->ahs_design_flow, 0.35f);
    EXPECT_EQ(airpath(4)->value_ptr, &_one);
    EXPECT_EQ(*airpath(6)->value_ptr, 0.3f);   // the recirculation reads its system's fraction
    EXPECT_EQ(airpath(6)->value_ptr, &_poa_list[1]);
    EXPECT_EQ(nHall->humidity_ratio, (double)0.008f);
    EXPECT_EQ(jcts[3]->node->temperature, 295.0);

    // 24:00 with no option bits: one empty concentration message; the peer ends the run
    // at the end of today, and the engine stops exchanging.
    MessageCapture msgs;
    peerSends(message(VX_ERROR_MSG, Wire{}.i(1)));
    step(86400);
    expectMessage(CONC_UPDATE_MSG, Wire{}.i(86400).i(0).i(0), "no bits");
    expectMessage(VX_READY_MSG, Wire{}.i(86400), "ready");
    EXPECT_TRUE(msgs.has("WARNING", "VX_ERROR_MSGTYPE code 1:end_next_day"));
    EXPECT_EQ(_doBridge, 1);
    EXPECT_EQ(_simEndDate, 1);
    EXPECT_EQ(_simEndTime, 86400);
}

TEST_F(Bridge, PointAlreadyReachedWaitsForTheNextAdvanceUntilThePeerEndsTheDay)
{
    readStartUp();
    // At 24:00 a run-until of 24:00 is already reached: the engine takes the next command
    // without reporting again; the end code then releases it instead of waiting for ever.
    peerSends(message(VX_ADVANCE_MSG, advance(0x80, 3600)) + message(VX_ADVANCE_MSG, advance(0x80, 86400))
              + message(VX_ERROR_MSG, Wire{}.i(1)));
    MessageCapture msgs;
    step(86400);
    for (int k = 0; k < 8; k++) bridgepeer::readMessage(peer);   // the first report
    expectNothingMore();
    EXPECT_EQ(_doBridge, 1);
}

// A stop asked for while the engine waits for a silent peer ends the wait at once: the
// report went out, nothing is read, and the time loop stops at its next poll. A stop
// asked for before the step's exchange skips it.
TEST_F(Bridge, StopRequestEndsTheWaitForASilentPeerAtOnce)
{
    readStartUp();
    _stopRequested = 0;
    std::thread user([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        _stopRequested = 1;
    });
    const auto start = std::chrono::steady_clock::now();
    step(0);
    user.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    for (int k = 0; k < 7; k++) bridgepeer::readMessage(peer);   // the first report
    expectMessage(VX_READY_MSG, Wire{}.i(0), "the ready before the wait");
    EXPECT_EQ(_doBridge, 2) << "still connected: the peer is told at the end";
    step(3600);
    expectNothingMore();
    _stopRequested = 0;
}

TEST_F(Bridge, VolumeFlowsUseTheDensityOfTheAirMoved)
{
    readStartUp();
    _vFBridge = 1;
    _pambt->temperature = 283.15, _pambt->humidity_ratio = 0.0;
    AirNode* nHall = hall->node;
    nHall->temperature = 293.15, nHall->humidity_ratio = 0.006;
    office->node->temperature = 293.15;
    AirPath *p1 = airpath(1), *p8 = airpath(8), *p4 = airpath(4), *d1 = airpath(9);
    p1->mass_flow[0] = 0.12, p1->dp = 1.0;
    p8->mass_flow[0] = 0.05, p8->dp = 1.0;
    p4->mass_flow[0] = 0.3;
    d1->mass_flow[0] = 0.01, d1->from_node->density = 1.1;
    peerSends(message(VX_ADVANCE_MSG, advance(0x02, 7200)));
    step(3600);
    bridgepeer::readMessage(peer);   // concentrations
    std::string paths = bridgepeer::readMessage(peer);
    std::string ahsp = bridgepeer::readMessage(peer);
    std::string ducts = bridgepeer::readMessage(peer);
    // From the ambient: 101325 / (283.15 287 F) with W taken as 1e-5, F = 1.0000160776865938:
    // 1.2468413. From the hall: means 288.15 K and 0.003, F = 1.0048233: 1.2193444.
    EXPECT_FLOAT_EQ(bridgepeer::leFloat(paths, 28), 0.12f / 1.2468413f);
    EXPECT_FLOAT_EQ(bridgepeer::leFloat(paths, 36), 0.05f / 1.2193444f);
    // A supply path: dry air at the office's 293.15 K: 1.2043087.
    EXPECT_FLOAT_EQ(bridgepeer::leFloat(ahsp, 32), 0.3f / 1.2043087f);
    EXPECT_FLOAT_EQ(bridgepeer::leFloat(ducts, 28), (float)(0.01 / 1.1));
}

struct RunUntilCase {
    int t, day, time;
};
class RunUntil : public ::testing::TestWithParam<RunUntilCase> {};

TEST_P(RunUntil, TimesCountFromTheStartOfDayOne)
{
    int day, time;
    bridge_RunUntil(GetParam().t, 1, &day, &time);
    EXPECT_EQ(day, GetParam().day);
    EXPECT_EQ(time, GetParam().time);
}

INSTANTIATE_TEST_SUITE_P(Bridge, RunUntil,
                         ::testing::Values(RunUntilCase{3600, 1, 3600}, RunUntilCase{86400, 1, 86400},
                                           RunUntilCase{90000, 2, 3600}, RunUntilCase{0, 1, 86400},
                                           RunUntilCase{172800, 2, 86400}),
                         [](const auto& info) { return "t" + std::to_string(info.param.t); });

TEST_F(Bridge, RejectedHeadersAndShortBodiesAreReportedAndSkipped)
{
    readStartUp();
    // A rejected header's body is not read, so these come without one.
    std::string badMagic = message(ADJ_ZONE_TEMP_MSG);
    badMagic[3] = 'X';
    Wire tooLong;
    tooLong.bytes.assign("ACATMSG\0", 8);
    tooLong.i(_maxbuf + 1).i(ADJ_ZONE_TEMP_MSG).i(10);
    Wire tooShort;
    tooShort.bytes.assign("ACATMSG\0", 8);
    tooShort.i(12).i(ADJ_ZONE_TEMP_MSG).i(10);
    // The zone message every zone fits in the buffer: 32 + 8 x 4 bytes.
    Wire allZones = Wire{}.i(1).i(4).i(1).i(1).i(2).i(3).i(4).f(0.1f).f(0.1f).f(0.1f).f(0.1f);
    MessageCapture msgs;
    peerSends(badMagic + tooLong.bytes + tooShort.bytes
              + message(ADJ_ZONE_TEMP_MSG, Wire{}, 9)
              + message(ADJ_ZONE_TEMP_MSG, Wire{}.i(3).i(1).f(301.0f))   // count beyond the body
              + message(55, Wire{}.i(0))
              + message(ADJ_ZONE_CONC_MSG, allZones)
              + message(VX_ADVANCE_MSG, advance(0x80, 7200)));
    step(3600);
    EXPECT_TRUE(msgs.has("ERROR", "Bridge: Invalid header pattern: ACAXMSG"));
    EXPECT_TRUE(msgs.has("ERROR", "Bridge: Invalid packet length: " + std::to_string(_maxbuf + 1)));
    EXPECT_TRUE(msgs.has("ERROR", "Bridge: Invalid packet length: 12"));
    EXPECT_TRUE(msgs.has("ERROR", "Bridge: Invalid packet version: 9"));
    EXPECT_TRUE(msgs.has("ERROR", "Bridge: Invalid packet length: 32"));
    EXPECT_TRUE(msgs.has("ERROR", "Bridge: Invalid message type: 55"));
    EXPECT_EQ(msgs.errors(), 6) << msgs.dump();
    EXPECT_EQ(office->node->temperature, (double)293.15f);
    EXPECT_EQ(ret->node->mf[0], (double)0.1f);
    EXPECT_EQ(rt, 7200);
}

TEST_F(Bridge, HeaderDeliveredInPiecesIsJoinedInOrder)
{
    readStartUp();
    std::string bytes = message(ADJ_ZONE_TEMP_MSG, Wire{}.i(1).i(2).f(288.0f))
                        + message(VX_ADVANCE_MSG, advance(0x80, 7200));
    std::thread trickle([&] {
        for (char c : bytes) {
            bridgepeer::writeAll(peer, std::string(1, c));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    step(3600);
    trickle.join();
    EXPECT_EQ(hall->node->temperature, 288.0);
    EXPECT_EQ(rt, 7200);
}

TEST_F(Bridge, LargeMessageArrivesWholeThroughPartialSends)
{
    readStartUp();
    std::string big(4 << 20, '\0');
    for (size_t k = 0; k < big.size(); k++) big[k] = (char)(k * 7 + k / 251);
    std::string got;
    std::thread reader([&] { got = bridgepeer::readBytes(peer, big.size()); });
    int len = (int)big.size();
    EXPECT_EQ(bridge_SendAll(_sockfd, reinterpret_cast<const unsigned char*>(big.data()), &len), 0);
    reader.join();
    EXPECT_EQ(len, (int)big.size());
    EXPECT_TRUE(got == big);
}

// Sends the engine's message every 20 ms, ten times, to a peer that has closed.
template <class Send> void sendTenTimes(Send send)
{
    for (int k = 0; k < 10; k++) {
        send();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TEST_F(Bridge, StartUpSendToAPeerThatHasGoneIsFatalNotASignalAndTheEndCodeAWarning)
{
    readStartUp();
    close(peer), peer = -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EXIT(sendTenTimes([] { send_vx_ready_msg(3600); }), ::testing::ExitedWithCode(2),
                "Bridge: send\\(\\) failed w/ error # (32|104) \\*len= 24 total= 0");
    // The end code goes out once the results are closed: a peer that has gone cannot hear
    // it, and the run stays what it was.
    MessageCapture msgs;
    sendTenTimes([] { bridge_SendVxError(0); });
    EXPECT_TRUE(msgs.has("WARNING", "Bridge: the peer did not take the end code: "));
    EXPECT_EQ(msgs.errors(), 0);
}

// ---- The peer's end of the session ---------------------------------------------------------

struct EndCase {
    const char* name;
    enum { Unread, Closes, Resets, CodeZero } how;   // the peer's end, after reading the report or not
    int doBridge;   // the state after: 1 nothing more is sent, 2 the end code is owed
};

class BridgePeerEnds : public Bridge, public ::testing::WithParamInterface<EndCase> {};

TEST_P(BridgePeerEnds, EndsTheExchangeWithoutAnError)
{
    const EndCase& c = GetParam();
    readStartUp();
    if (c.how == EndCase::Unread) close(peer), peer = -1;
    std::thread peerSide([&] {
        if (peer < 0) return;
        for (int k = 0; k < 8; k++) bridgepeer::readMessage(peer);   // the report at 1:00
        if (c.how == EndCase::CodeZero) {
            peerSends(message(VX_ERROR_MSG, Wire{}.i(0)));
            return;
        }
        linger hard{1, 0};   // a reset instead of an orderly close
        if (c.how == EndCase::Resets) setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        close(peer), peer = -1;
    });
    MessageCapture msgs;
    step(3600);
    peerSide.join();
    EXPECT_TRUE(bridge_PeerEnded());
    EXPECT_EQ(_doBridge, c.doBridge);
    EXPECT_EQ(msgs.errors(), 0);
    EXPECT_EQ(msgs.count("WARNING"), 0);
    step(7200);   // no further exchange: nothing is sent, nothing awaited
    if (peer >= 0) expectNothingMore();
}

INSTANTIATE_TEST_SUITE_P(Bridge, BridgePeerEnds,
                         ::testing::Values(EndCase{"ClosesWithTheReportUnread", EndCase::Unread, 1},
                                           EndCase{"Closes", EndCase::Closes, 1},
                                           EndCase{"Resets", EndCase::Resets, 1},
                                           EndCase{"SendsCodeZero", EndCase::CodeZero, 2}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Failures that end the run ---------------------------------------------------------------

struct FatalCase {
    const char* name;
    std::string bytes;   // what the peer sends before the engine waits
    const char* text;    // the FATAL or ERROR text, as a regular expression
};

class BridgeFatal : public Bridge, public ::testing::WithParamInterface<FatalCase> {};

TEST_P(BridgeFatal, EndsTheRunWithItsMessage)
{
    readStartUp();
    peerSends(GetParam().bytes);
    shutdown(peer, SHUT_WR);   // a message cut short is all the engine gets
    EXPECT_EXIT(step(3600), ::testing::ExitedWithCode(2), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Bridge, BridgeFatal,
    ::testing::Values(
        FatalCase{"PeerClosesInAHeader", message(VX_ADVANCE_MSG, advance(0, 7200)).substr(0, 12),
                  "closed by client\\.\nFATAL   Bridge lost"},
        FatalCase{"PeerClosesInABody", message(VX_ADVANCE_MSG, advance(0, 7200)).substr(0, 24),
                  "closed by client\\.\nFATAL   Bridge lost"},
        FatalCase{"ZoneIndex", message(ADJ_ZONE_TEMP_MSG, Wire{}.i(2).i(1).i(5).f(1).f(1)), "Invalid zone index: 5, 2"},
        FatalCase{"JunctionIndex", message(ADJ_JCT_TEMP_MSG, Wire{}.i(1).i(0).f(1)), "Invalid jct index: 0, 1"},
        FatalCase{"AgentIndex", message(ADJ_ZONE_CONC_MSG, Wire{}.i(1).i(0).i(2)), "Invalid agent index: 2"},
        FatalCase{"PathId", message(ADJ_ELEMENT_MSG, Wire{}.i(9).i(1)), "Invalid path id: 9"},
        FatalCase{"ElementId", message(ADJ_ELEMENT_MSG, Wire{}.i(1).i(3)), "Invalid element id: 3"},
        FatalCase{"OrdinaryPathAsSystemPath", message(ADJ_AHSP_FLOWS_MSGTYPE, Wire{}.i(1).i(2).f(1)),
                  "Bridge: invalid AHS path index: 2, 1"},
        FatalCase{"SystemIndex", message(ADJ_AHS_POA_MSGTYPE, Wire{}.i(1).i(2).f(1)), "Bridge: invalid AHS index: 2, 1"},
        FatalCase{"OpeningBeyondTheEnvelope", message(ADJ_WPC_MSG, Wire{}.i(0).i(0).i(5).f(1).f(1).f(1).f(1).f(1)),
                  "Invalid envelope path position: 5"},
        FatalCase{"EnvelopeAgent", message(ADJ_WPC_MSG, Wire{}.i(0).i(1).i(1).i(7).f(1)), "Invalid agent index: 7, 1"},
        FatalCase{"EnvelopeAgentCount", message(ADJ_WPC_MSG, Wire{}.i(0).i(2).i(0).i(1).i(1)), "Invalid agent index: 2"},
        FatalCase{"UnknownCode", message(VX_ERROR_MSG, Wire{}.i(7)), "VX_ERROR_MSGTYPE code Unknown"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ConnectCase {
    const char* name;
    std::string address;   // "@" stands for a loopback port nobody listens on
    const char* text;
};

class BridgeConnect : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(BridgeConnect, FailureEndsTheRunBeforeTheProjectIsRead)
{
    std::string address = GetParam().address;
    if (address == "@") {
        bridgepeer::Listener closed;
        address = closed.address();
    }
    _doBridge = 0;
    EXPECT_EXIT(bridge_ConnectToServer(address.c_str()), ::testing::ExitedWithCode(2), GetParam().text);
    EXPECT_EQ(_doBridge, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Bridge, BridgeConnect,
    ::testing::Values(
        ConnectCase{"PortAbove65535", "127.0.0.1:65536", "FATAL   Invalid port: 127\\.0\\.0\\.1:65536\n"},
        ConnectCase{"NegativePort", "127.0.0.1:-1", "FATAL   Invalid port: 127\\.0\\.0\\.1:-1\n"},
        ConnectCase{"PortNotANumber", "127.0.0.1:8x", "FATAL   Invalid port: 127\\.0\\.0\\.1:8x\n"},
        ConnectCase{"HostTooLong", std::string(300, 'h') + ":8200", "FATAL   Invalid address: hhhh"},
        ConnectCase{"EmptyPortIsPortZero", "127.0.0.1:",
                    "FATAL   connect\\(\\) failed w/ error # 111 \\(Connection refused\\) for peer 127\\.0\\.0\\.1 port 0\n"},
        ConnectCase{"Refused", "@",
                    "FATAL   connect\\(\\) failed w/ error # 111 \\(Connection refused\\) for peer 127\\.0\\.0\\.1 port [1-9][0-9]*\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BridgeConnectHex, PortTextMayBeHexadecimal)
{
    bridgepeer::Listener listener;
    char address[64];
    std::snprintf(address, sizeof address, "127.0.0.1:0x%X", (unsigned)listener.port);
    bridge_ConnectToServer(address);
    EXPECT_EQ(_doBridge, 2);
    int peer = listener.accept();
    EXPECT_GE(peer, 0);
    close(peer);
    close(_sockfd);
    _sockfd = -1;
    _doBridge = 0;
}

}  // namespace
}  // namespace vexlar
