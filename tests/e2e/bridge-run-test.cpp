// End-to-end co-simulation: the real vexlar-x as client of a peer of the test's own on
// 127.0.0.1, over a one-day run of a room supplied by a fan that a control node scales
// and relieved by an opening. The peer checks what it receives, drives the run with
// advances and adjustments, and compares the reported volume flows with hand-worked ones.
// A peer that ends the session, by closing or by error code 0, keeps what the run
// completed: the meeting-room example's CO2 follows the well-mixed room up to that step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "e2e-sqlite.h"
#include "e2e-util.h"
#include "tests/bridge/bridge-peer.h"

namespace {

using bridgepeer::beInt;
using bridgepeer::leFloat;
using bridgepeer::message;
using bridgepeer::readMessage;
using bridgepeer::Wire;

const std::string PROJECT = "bridge-room.prj";

class BridgeRun : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        copyInto(dir, std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/" + PROJECT);
    }

    // Runs the engine against a peer that accepts it and follows `script`; the peer's
    // reads give up after a few seconds, so neither side can hang the test.
    Outcome runWithPeer(const std::string& options, const std::function<void(int)>& script,
                        const std::string& project = PROJECT)
    {
        bridgepeer::Listener listener;
        std::thread peer([&] {
            int fd = listener.accept();
            if (fd < 0) return;
            script(fd);
            close(fd);
        });
        Outcome o = runEngine(project + " -b " + listener.address() + options, project);
        peer.join();
        return o;
    }
};

void send(int fd, const std::string& bytes) { EXPECT_TRUE(bridgepeer::writeAll(fd, bytes)); }
Wire advance(int bits, int until) { return Wire{}.i(bits).i(until); }
int typeOf(const std::string& m) { return m.size() >= 20 ? beInt(m, 12) : -1; }

// The start-up description: its types in order, and the fields this project fixes.
void checkStartUp(int fd)
{
    const int types[] = {1, 2, 3, 4, 5, 6, 9, 7, 14, 8, 10, 11, 12, 13, 0};
    std::vector<std::string> got;
    for (int t : types) {
        got.push_back(readMessage(fd));
        EXPECT_EQ(typeOf(got.back()), t);
    }
    EXPECT_EQ(got[0], message(1, Wire{}.name("bridge-room")));
    EXPECT_EQ(got[1], message(2, Wire{}.i(1).i(1).i(0).i(86400).i(3600)));
    EXPECT_EQ(got[2], message(3, Wire{}.i(1).i(1).name("CO2")));
    EXPECT_EQ(got[4], message(5, Wire{}.i(1).i(1).f(1.0f).name("fan")));
    EXPECT_EQ(got[14], message(0, Wire{}.i(0)));
}

// The report of every kind before the first step (option bits 255 until the first advance).
void checkFirstReport(int fd)
{
    const int types[] = {120, 130, 150, 160, 140, 170, 180, 0};
    for (int t : types) {
        std::string m = readMessage(fd);
        EXPECT_EQ(typeOf(m), t);
        if (t == 120) {
            EXPECT_EQ(m, message(120, Wire{}.i(0).i(1).f(0.0004f).i(0)));   // the initial CO2
        }
    }
}

// Two volume flows of a path-flow report at the time, within the solver's tolerance.
void expectPathFlows(const std::string& m, int time, double f1, double f2)
{
    ASSERT_EQ(m.size(), 44u);
    EXPECT_EQ(typeOf(m), 130);
    EXPECT_EQ(beInt(m, 20), time);
    EXPECT_EQ(beInt(m, 24), 2);
    EXPECT_NEAR(leFloat(m, 28), f1, 2e-5) << "fan path at " << time;
    EXPECT_NEAR(leFloat(m, 32), f2, 2e-5) << "relief path at " << time;
}

TEST_F(BridgeRun, OneDaySessionReportsHandWorkedVolumeFlowsAfterEachAdjustment)
{
    // Air at 101325 Pa, 287 J/(kg K) times F = 1 + 1.6077687 W: dry air at 293.15 K (W
    // floored at 1e-5, F = 1.0000160776865938) is 1.2043087 kg/m3. A fan pressurises the
    // room, so both paths take the mean of the room and the outdoors: 290.65 K and W =
    // 0.002 after the peer's 10 C, 0.004 kg/kg outdoors and 25 C room give F = 1.0032155
    // and 1.2107937 kg/m3.
    const double at20C = 1.2043087, mixed = 1.2107937;
    Outcome o = runWithPeer(" -f", [&](int fd) {
        checkStartUp(fd);
        checkFirstReport(fd);
        send(fd, message(20, advance(0x06, 3600)));
        // 1:00: the fan's 0.1 kg/s in and out.
        EXPECT_EQ(typeOf(readMessage(fd)), 120);
        expectPathFlows(readMessage(fd), 3600, 0.1 / at20C, 0.1 / at20C);
        EXPECT_EQ(readMessage(fd), message(0, Wire{}.i(3600)));
        send(fd, message(70, Wire{}.i(1).f(0.5f)) + message(20, advance(0x04, 7200)));
        // 2:00: the control node at one half halves the fan.
        expectPathFlows(readMessage(fd), 7200, 0.05 / at20C, 0.05 / at20C);
        EXPECT_EQ(typeOf(readMessage(fd)), 0);
        send(fd, message(60, Wire{}.i(1).i(3)) + message(20, advance(0x04, 10800)));
        // 3:00: the 0.2 kg/s fan at one half; then 10 C and 0.004 kg/kg outdoors, the room
        // at 25 C, and no report at 4:00.
        expectPathFlows(readMessage(fd), 10800, 0.1 / at20C, 0.1 / at20C);
        EXPECT_EQ(typeOf(readMessage(fd)), 0);
        send(fd, message(80, Wire{}.f(283.15f).f(101325.0f).f(0).f(0).f(0.004f))
                     + message(40, Wire{}.i(1).i(1).f(298.15f)) + message(20, advance(0x04, 18000)));
        expectPathFlows(readMessage(fd), 18000, 0.1 / mixed, 0.1 / mixed);
        EXPECT_EQ(readMessage(fd), message(0, Wire{}.i(18000)));
        // The peer ends the exchange: the engine finishes the day alone and sends nothing.
        send(fd, message(200, Wire{}.i(1)));
        EXPECT_EQ(readMessage(fd), "");
    });
    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_NE(o.err.find("WARNING VX_ERROR_MSGTYPE code 1:end_next_day\n"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("time: 24:00:00"), std::string::npos) << o.err;
    EXPECT_NE(o.log.find("  server ip address = 127.0.0.1\n"), std::string::npos);
}

TEST_F(BridgeRun, NormalEndTellsAConnectedPeerWithErrorCodeZero)
{
    Outcome o = runWithPeer("", [&](int fd) {
        checkStartUp(fd);
        checkFirstReport(fd);
        send(fd, message(20, advance(0x01, 86400)));
        EXPECT_EQ(readMessage(fd), message(0, Wire{}.i(86400)));   // bit 0x01 selects nothing
        send(fd, message(20, advance(0x01, 90000)));
        EXPECT_EQ(readMessage(fd), message(200, Wire{}.i(0)));
        EXPECT_EQ(readMessage(fd), "");
    });
    EXPECT_EQ(o.status, 0) << o.err;
}

// A header whose unsigned length field reads 0xFFFFFFF0, far beyond any buffer.
std::string hugeLengthHeader()
{
    Wire w;
    w.bytes.assign("ACATMSG\0", 8);
    return w.i((int32_t)0xFFFFFFF0u).i(70).i(10).bytes;
}

struct Failure {
    const char* name;
    std::string reply;   // the peer's answer to the first report; "" closes the connection
    const char* text;
};

class BridgeRunFailure : public BridgeRun, public ::testing::WithParamInterface<Failure> {};

TEST_P(BridgeRunFailure, EndsWithItsMessageAndStatusTwo)
{
    const Failure& f = GetParam();
    Outcome o = runWithPeer("", [&](int fd) {
        checkStartUp(fd);
        checkFirstReport(fd);
        send(fd, f.reply);
        if (f.reply.size() < 28) shutdown(fd, SHUT_WR);   // the message is cut short
        // The run ends through finish, which still tells a peer that is connected.
        else EXPECT_EQ(readMessage(fd), message(200, Wire{}.i(0)));
    });
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find(f.text), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find("24:00:00"), std::string::npos) << "the run did not go on";
}

INSTANTIATE_TEST_SUITE_P(
    BridgeRun, BridgeRunFailure,
    ::testing::Values(
        Failure{"PeerClosesInAMessage", message(20, advance(0x01, 7200)).substr(0, 24),
                "ERROR Socket recv() returned 0 bytes, closed by client.\nFATAL   Bridge lost\n"},
        // Each fault of the peer's names the message that holds it, and the item.
        Failure{"ZoneOutOfRange", message(40, Wire{}.i(1).i(2).f(300.0f)),
                "FATAL Invalid zone index: 2, 1 in ADJ_ZONE_TEMP_MSG (type 40) sent by the peer\n"},
        Failure{"ElementOutOfRange", message(60, Wire{}.i(1).i(99)),
                "FATAL Invalid element id: 99 for path 1 in ADJ_ELEMENT_MSG (type 60) sent by the peer\n"},
        // The header is dropped with its length shown unsigned; the next message is read.
        Failure{"HugeLengthShownUnsigned", hugeLengthHeader() + message(40, Wire{}.i(1).i(2).f(300.0f)),
                "ERROR Bridge: Invalid packet length: 4294967280 in ADJ_CTRL_NODE_MSG (type 70) sent by the peer, "
                "which may be 20 to "},
        // Weather is five values: with two the message is skipped, and the next one read.
        Failure{"ShortMessageNamesItsType", message(80, Wire{}.f(283.15f).f(101325.0f)) + message(40, Wire{}.i(1).i(2).f(300.0f)),
                "ERROR Bridge: Invalid packet length: 28 in ADJ_WTH_MSG (type 80) sent by the peer, which needs 40 bytes; "
                "the message is skipped\nFATAL Invalid zone index: 2, 1"},
        // Counts of 2^31 - 1 are refused before any size is worked out from them.
        Failure{"HugeEnvelopeCounts", message(90, Wire{}.i(0).i(2147483647).i(2147483647)) + message(40, Wire{}.i(1).i(2).f(300.0f)),
                "ERROR Bridge: Invalid packet length: 32 in ADJ_WPC_MSG (type 90) sent by the peer, whose count "
                "2147483647 it cannot hold; the message is skipped\nFATAL Invalid zone index: 2, 1"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The peer's end of the session ---------------------------------------------------------

// Reads what the engine sends up to its next ready message; that message, "" when none came.
std::string untilReady(int fd)
{
    for (std::string m = readMessage(fd); !m.empty(); m = readMessage(fd))
        if (typeOf(m) == 0) return m;
    return "";
}

struct PeerEnd {
    const char* name;
    int until;   // the peer advances the run to this time, then ends the session
    enum { Close, CodeZero, CodeZeroThenReset } how;
    int status;
    const char* lastErr;   // the last line on standard error ("" for either of two)
};

void PrintTo(const PeerEnd& e, std::ostream* os) { *os << e.name; }

class PeerEndsTheSession : public BridgeRun, public ::testing::WithParamInterface<PeerEnd> {};

// The meeting room under the implicit method: 75 m3 of air at 293.15 K with F = 0.05 kg/s
// of outdoor air (CO2 6.08e-4 kg/kg) and G = 6e-5 kg/s of CO2 from 9:00. Each 5-minute
// implicit step takes its excess over the outdoor air from e to (e + h G/F) / (1 + h),
// h = 300 s / tau, tau = M / F: at 10:00, twelve steps on, it is G/F (1 - (1 + h)^-12).
// By midnight, seven hours after the people left, it is back at the outdoor air.
TEST_P(PeerEndsTheSession, KeepsEveryResultOfTheStepsItCompleted)
{
    const PeerEnd& e = GetParam();
    const std::string room = "meeting-room.prj";
    std::ofstream(dir + room) << edited(slurp(examplePath("meeting-room")), {{"2 0 0 0.1 0 0", "0 0 0 0.1 0 0"}});
    Outcome o = runWithPeer("", [&](int fd) {
        EXPECT_EQ(untilReady(fd), message(0, Wire{}.i(0)));    // the start-up description
        EXPECT_EQ(untilReady(fd), message(0, Wire{}.i(0)));    // the report before the first step
        send(fd, message(20, advance(0x01, e.until)));
        EXPECT_EQ(readMessage(fd), message(0, Wire{}.i(e.until)));
        if (e.how == PeerEnd::Close) return;
        if (e.how == PeerEnd::CodeZeroThenReset) {   // gone before the engine's end code
            linger hard{1, 0};
            setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            send(fd, message(200, Wire{}.i(0)));
            return;
        }
        send(fd, message(200, Wire{}.i(0)));
        EXPECT_EQ(readMessage(fd), message(200, Wire{}.i(0)));   // the engine's end code, after its results
        EXPECT_EQ(readMessage(fd), "");
    }, room);
    EXPECT_EQ(o.status, e.status) << o.err;
    const std::string lastErr = o.err.substr(o.err.rfind('\n', o.err.size() - 2) + 1);
    if (*e.lastErr) {
        EXPECT_EQ(lastErr, e.lastErr) << o.err;
    }
    EXPECT_EQ(("\n" + o.err).find("\nERROR "), std::string::npos) << o.err;
    EXPECT_EQ(("\n" + o.err).find("\nFATAL "), std::string::npos) << o.err;
    const std::string end = e.status == 0 ? "Simulation completed successfully.\n" : "VexlarX finish(1)\n";
    EXPECT_EQ(o.log.substr(o.log.size() - std::min(o.log.size(), end.size())), end);
    EXPECT_TRUE(exists(dir + "meeting-room.rst"));
    EXPECT_FALSE(exists(dir + "meeting-room.sqlite3-wal"));

    std::vector<std::vector<double>> rows =
        sqlRows(dir + "meeting-room.sqlite3",
                "SELECT t.Time, c.C0 FROM TIME t JOIN NODEZONECCDATA c ON c.TimeID = t.TimeID "
                "AND c.ZoneNumber = 1 ORDER BY t.TimeID");
    ASSERT_EQ(rows.size(), (size_t)e.until / 600 + 1) << "midnight and every ten minutes to the end";
    EXPECT_EQ(rows.back()[0], e.until);
    const double outdoor = (double)6.08e-4f, rise = (double)6e-5f / (double)0.05f;
    const double tau = 75.0 * 101325.0 / (287.055 * (double)293.15f) / (double)0.05f;
    const double co2 = e.until == 36000 ? outdoor + rise * (1.0 - std::pow(1.0 + 300.0 / tau, -12)) : outdoor;
    EXPECT_NEAR(rows.back()[1], co2, 1e-4 * rise);
}

const char* const PEER_STOPPED =
    "NOTE Simulation stopped as the co-simulation peer ended the session after the step ending Jan01 10:00:00\n";

INSTANTIATE_TEST_SUITE_P(
    BridgeRun, PeerEndsTheSession,
    ::testing::Values(PeerEnd{"ClosesAfterTheLastStep", 86400, PeerEnd::Close, 0, " DATE: Jan01   time: 24:00:00   day:   1   step: 288\n"},
                      PeerEnd{"SendsCodeZeroAfterTheLastStep", 86400, PeerEnd::CodeZero, 0,
                              "NOTE VX_ERROR_MSGTYPE code 0:terminate_sim\n"},
                      PeerEnd{"ResetsAfterCodeZero", 86400, PeerEnd::CodeZeroThenReset, 0, ""},
                      PeerEnd{"ClosesMidRun", 36000, PeerEnd::Close, 1, PEER_STOPPED},
                      PeerEnd{"SendsCodeZeroMidRun", 36000, PeerEnd::CodeZero, 1, PEER_STOPPED}),
    [](const auto& info) { return std::string(info.param.name); });

// Under steady airflow (the meeting room's sim_af 0) the flows are solved once: a fan
// swap, zone temperatures and weather from the peer change none, and the peer is told so
// once per kind; a concentration, which acts, is taken without a word.
TEST_F(BridgeRun, SteadyAirflowWarnsOncePerAdjustmentThatWouldActOnTheFlows)
{
    const std::string room = "meeting-room.prj";
    std::ofstream(dir + room) << edited(slurp(examplePath("meeting-room")), {{"2 0 0 0.1 0 0", "0 0 0 0.1 0 0"}});
    Outcome o = runWithPeer("", [&](int fd) {
        EXPECT_EQ(untilReady(fd), message(0, Wire{}.i(0)));   // the start-up description
        EXPECT_EQ(untilReady(fd), message(0, Wire{}.i(0)));   // the report before the first step
        const std::string warm = message(40, Wire{}.i(1).i(1).f(300.0f));
        send(fd, warm + warm + message(60, Wire{}.i(1).i(2)) + message(60, Wire{}.i(1).i(2)) +
                     message(80, Wire{}.f(283.15f).f(101325.0f).f(2).f(180).f(0.004f)) +
                     message(30, Wire{}.i(1).i(1).i(1).i(1).f(6.08e-4f)) + message(20, advance(0x01, 86400)));
        EXPECT_EQ(readMessage(fd), message(0, Wire{}.i(86400)));
        send(fd, message(200, Wire{}.i(0)));
        EXPECT_EQ(readMessage(fd), message(200, Wire{}.i(0)));
    }, room);
    EXPECT_EQ(o.status, 0) << o.err;
    const std::string tail = " sent by the peer changes no airflow: the project's airflow is steady (sim_af 0)";
    const std::string fix = "; set sim_af to 1 on Run Control for the peer's adjustments to act on the flows\n";
    for (const std::string& said :
         {"WARNING Bridge: ADJ_ZONE_TEMP_MSG" + tail + fix, "WARNING Bridge: ADJ_ELEMENT_MSG" + tail + fix,
          "WARNING Bridge: ADJ_WTH_MSG" + tail + ", and the results list the peer's ambient conditions while the flows "
                                                  "were solved at the project's" + fix}) {
        size_t at = o.err.find(said);
        EXPECT_NE(at, std::string::npos) << said << "\n" << o.err;
        EXPECT_EQ(o.err.find(said, at + 1), std::string::npos) << "twice: " << said;
    }
    EXPECT_EQ(o.err.find("ADJ_ZONE_CONC_MSG"), std::string::npos) << o.err;
}

// A cyclic run repeats its design day unlisted until it repeats itself: a peer that ends
// the session in the first pass leaves no result, and the run says the peer stopped it.
TEST_F(BridgeRun, PeerEndingACyclicRunBeforeItsListedDaySaysSo)
{
    const std::string room = "meeting-room.prj";
    std::ofstream(dir + room) << edited(slurp(examplePath("meeting-room")),
                                        {{"2 0 1e-4 1e-15 0 0", "3 0 1e-4 1e-15 0 0"}, {"2 0 0 0.1 0 0", "0 0 0 0.1 0 0"}});
    Outcome o = runWithPeer("", [&](int fd) {
        EXPECT_EQ(untilReady(fd), message(0, Wire{}.i(0)));   // the start-up description
        EXPECT_EQ(untilReady(fd), message(0, Wire{}.i(0)));   // the report before the first step
        send(fd, message(20, advance(0x01, 36000)));
        EXPECT_EQ(readMessage(fd), message(0, Wire{}.i(36000)));
    }, room);
    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_NE(o.err.find("NOTE Simulation stopped as the co-simulation peer ended the session before any result "
                         "was listed; no result file is kept\n"),
              std::string::npos)
        << o.err;
    EXPECT_FALSE(exists(dir + "meeting-room.sqlite3"));
    EXPECT_FALSE(exists(dir + "meeting-room.rst"));
}

TEST_F(BridgeRun, StiffIntegratorRefusesThePeerBeforeDescribingTheBuilding)
{
    const std::string room = copyInto(dir, examplePath("meeting-room"));   // mf_solver 2
    Outcome o = runWithPeer("", [&](int fd) { EXPECT_EQ(readMessage(fd), "") << "the peer hears nothing"; }, room);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("ERROR CVODE does not support bridge functionality\n"
                         "NOTE Set mf_solver to 0 or 1 on Run Control to run with a co-simulation peer\n"
                         "FATAL Please try another transport solver\n"),
              std::string::npos)
        << o.err;
    EXPECT_FALSE(exists(dir + "meeting-room.sqlite3"));
}

TEST_F(BridgeRun, ConnectionFailuresEndBeforeTheProjectIsRead)
{
    Outcome bad = runEngine(PROJECT + " -b 127.0.0.1:65536", PROJECT);
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("FATAL   Invalid port: 127.0.0.1:65536\n"), std::string::npos) << bad.err;
    std::string address;
    {
        bridgepeer::Listener closed;
        address = closed.address();
    }
    Outcome refused = runEngine(PROJECT + " -b " + address, PROJECT);
    EXPECT_EQ(refused.status, 2);
    const std::string reason = "FATAL   connect() failed w/ error # 111 (Connection refused) for peer 127.0.0.1 port " +
                               address.substr(address.find(':') + 1) + "\n";
    EXPECT_NE(refused.err.find(reason), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("Running VexlarX"), std::string::npos);
}

}  // namespace
