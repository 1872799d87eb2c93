// End to end: what each way a run can end leaves in the project's folder, after a complete
// earlier run of the same project left its results there. The laboratory example runs a
// transient day with every result file switched on; the CFD room runs its zone. Each case
// then ends its own way and the folder is compared, file by file, with what the README
// promises: a normal end rewrites every result; an input test, a project error, a missing
// input, a FATAL and a full disk remove every switched result file (an earlier run's too),
// and remove the restart, short-time-step and summary files only when this run wrote them;
// a stop, also by a closed terminal, keeps this run's results, and so does a co-simulation
// peer that ends the session (after the last step the run is complete); a closed standard
// error changes nothing. A second run or an input test of the project under way is refused
// and touches nothing of it. Inputs are never touched, nothing is printed after the line
// that ends the run, the log is the run's own alone, and a folder is never removed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "e2e-sqlite.h"
#include "e2e-util.h"
#include "tests/bridge/bridge-peer.h"
#include "tests/param-names.h"

namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::vector<double>>;

enum class Fate { Same, Anew, Gone };   // as the earlier run left it, written by this run, absent
enum class Change { None, InputTest, BadDate, NoWeather, Stop, Hangup, SecondRun, SecondInputTest, ClosedStderr,
                    BadRecord, FullDisk, ZeroCellWidth, ResultFolder, PeerEndsAtTheEnd, PeerEndsMidRun,
                    InputTestZeroCellWidth, InputTestNoCfd, TwoHangups, SecondInterrupt, SilentPeer,
                    SilentFirstCommand, Refused, RefusedInputTest, PeerEndsToday, LogAsProject, SharedCexName };

struct End {
    const char* name;
    bool cfd;            // the CFD room instead of the laboratory
    Change change;
    int status;
    const char* lastErr;   // the last line on standard error begins with it
    const char* said;      // a line standard error holds as well ("" for none)
    Fate switched;         // result files removed by name at every early end
    Fate own;              // restart and short-time-step files, a CFD zone's field restart
    Fate csm;              // the contaminant summary, written at the run's end
};

void PrintTo(const End& e, std::ostream* os) { *os << e.name; }

// The laboratory example made transient from Jun01 to `period` in steps of `step`, with
// every result file of it selected, the weather of lab.wth. Run-control lines are counted as the project file counts them.
std::string labProject(const std::string& period, const std::string& step = "0:05:00")
{
    std::istringstream in(slurp(examplePath("lab")));
    std::ostringstream out;
    const std::map<int, std::string> set = {{5, "lab.wth   ! weather file"},
                                            {15, "1 1 50 1e-4 1e-5 0.75 0 50 0"},
                                            {17, "2 0 1e-4 1e-15 0 0"},
                                            {24, "Jun01 12:00:00 Jun01 0:00:00 " + period + " " + step + " 1:00:00 1:00:00"},
                                            {26, "1 0 1 1 1"},
                                            {27, "0 1 1 1 1 1 1 1"},
                                            {28, "1 1 0 1 1 1"},
                                            {29, "1 1 1 1 1"}};
    int n = 0, lineNo = 0;
    for (std::string line; std::getline(in, line); lineNo++) {
        if (lineNo >= 2 && line[0] != '!' && ++n <= 34 && set.count(n)) line = set.at(n);
        out << line << '\n';
    }
    return out.str();
}

// The weather of Jun01 to Dec31: a day line for each day, records at the start, noon and
// 18:00 of Jun01 and at the end.
std::string labWeather(const std::string& at18)
{
    std::string w = "WeatherFile VexlarW 2.0\nJune to December\n6/1 12/31\n";
    const int days[] = {30, 31, 31, 30, 31, 30, 31};
    for (int m = 6, k = 0; m <= 12; m++)
        for (int d = 1; d <= days[m - 6]; d++, k++)
            w += std::to_string(m) + "/" + std::to_string(d) + " " + std::to_string(k % 7 + 1) + " 1 0 0\n";
    return w + "6/1 00:00:00 283.15 101325 2 180 0 0 0 0 0 0\n6/1 12:00:00 293.15 101325 3 180 0 0 0 0 0 0\n" +
           "6/1 18:00:00 " + at18 + " 101325 3 180 0 0 0 0 0 0\n12/31 24:00:00 283.15 101325 2 180 0 0 0 0 0 0\n";
}

const char* const STOPPED = "NOTE Simulation stopped on request after the step ending ";

// A co-simulation peer on 127.0.0.1 that lets the run go to `until` (seconds from the
// start of January 1), then closes the connection, or ends the run at the end of that day
// (code 1), or falls silent, waiting for the engine's end code; its reads give up after
// a few seconds.
struct PeerThatHangsUp {
    enum How { HangUp, EndToday, FallSilent, SilentAtOnce };
    bridgepeer::Listener listener;
    std::thread peer;
    std::atomic<bool> silent{false};
    std::atomic<int> heard{-1};   // the type of the engine's message after the silence
    explicit PeerThatHangsUp(int until, How how = HangUp)
    {
        peer = std::thread([this, until, how] {
            int fd = listener.accept();
            if (fd < 0) return;
            for (int ready = 0; ready < 2;) {   // the start-up description and the first report
                std::string m = bridgepeer::readMessage(fd);
                if (m.empty()) break;
                ready += bridgepeer::beInt(m, 12) == 0;
            }
            if (how != SilentAtOnce) {
                bridgepeer::writeAll(fd, bridgepeer::message(20, bridgepeer::Wire{}.i(0x01).i(until)));
                bridgepeer::readMessage(fd);   // the ready at `until`
            }
            if (how == EndToday) {
                bridgepeer::writeAll(fd, bridgepeer::message(200, bridgepeer::Wire{}.i(1)));
                bridgepeer::readMessage(fd);   // nothing more comes: the engine ends the day alone
            }
            if (how == FallSilent || how == SilentAtOnce) {
                silent = true;
                std::string m = bridgepeer::readMessage(fd);
                heard = m.size() >= 24 ? bridgepeer::beInt(m, 12) * 100 + bridgepeer::beInt(m, 20) : -1;
            }
            close(fd);
        });
    }
    ~PeerThatHangsUp()
    {
        if (peer.joinable()) peer.join();
    }
};

class RunEnds : public E2eTest, public ::testing::WithParamInterface<End> {
protected:
    // Runs vexlar-x on `prj` in the project folder p/, with the signals' default actions (the
    // file-size signal ignored, so that a write past the limit fails as on a full disk),
    // files limited to `fileLimit` bytes when given. With `stop`, sends a termination signal
    // once the transient loop has said how to stop it, after `meanwhile` has run. With
    // `closedErr`, standard error is a pipe whose reader is gone before the run starts.
    // Returns the exit status.
    // With `again` (microseconds), the signal goes again that long after the first, during
    // the stop.
    int run(const std::vector<std::string>& args, rlim_t fileLimit = 0, int stop = 0,
            const std::function<void(pid_t)>& meanwhile = {}, bool closedErr = false, useconds_t again = 0)
    {
        const std::string err = dir + "run-stderr.txt", out = dir + "run-stdout.txt";   // runEngine has its own
        std::remove(err.c_str());   // an earlier run's lines are not this one's
        int pipeEnds[2] = {-1, -1};
        if (closedErr && pipe(pipeEnds) != 0) return -1;
        pid_t pid = fork();
        if (pid == 0) {
            for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(sig, SIG_DFL);
            signal(SIGXFSZ, SIG_IGN);
            if (closedErr) close(pipeEnds[0]);
            int e = closedErr ? pipeEnds[1] : open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (e < 0 || o < 0 || chdir(prj.c_str()) != 0) _exit(127);
            dup2(o, 1);
            dup2(e, 2);
            if (fileLimit) {
                struct rlimit r = {fileLimit, fileLimit};
                if (setrlimit(RLIMIT_FSIZE, &r) != 0) _exit(127);
            }
            std::vector<char*> argv = {(char*)VEXLAR_X_BIN};
            for (const std::string& a : args) argv.push_back((char*)a.c_str());
            argv.push_back(nullptr);
            execv(VEXLAR_X_BIN, argv.data());
            _exit(127);
        }
        if (closedErr) {
            close(pipeEnds[0]);
            close(pipeEnds[1]);
        }
        return signalWhenSaid(pid, err, stop ? "Press <ctrl>-c" : "", stop, [&] {
            if (meanwhile) meanwhile(pid);
            if (!again) return;
            kill(pid, stop);   // the first; signalWhenSaid sends the second
            usleep(again);
        });
    }

    // Every entry of the project folder: a file's bytes, or "<folder>" for a folder.
    std::map<std::string, std::string> listing()
    {
        std::map<std::string, std::string> files;
        for (const auto& e : fs::directory_iterator(prj)) {
            std::string name = e.path().filename().string();
            files[name] = e.is_directory() ? "<folder>" : slurp(e.path().string());
        }
        return files;
    }

    static Fate fateOf(const End& end, const std::string& name)
    {
        std::string ext = name.substr(name.rfind('.'));
        if (ext == ".xlog") return end.change == Change::LogAsProject ? Fate::Same : Fate::Anew;
        if (ext == ".prj" || ext == ".wth" || ext == ".CFD") return Fate::Same;
        if (ext == ".rst" || ext == ".rzf" || ext == ".rzm" || ext == ".rxr" || ext == ".var") return end.own;
        if (ext == ".csm") return end.csm;
        // The per-species files are named after the species: an error in the run control
        // ends the reading before the species are known, and they stay.
        if (ext == ".cex" && name.find('_') != std::string::npos && end.change == Change::BadDate) return Fate::Same;
        return end.switched;
    }

    // The second run of a project under way, or its input test, is refused at once: it
    // names the project and the process that runs it, and touches nothing.
    void refusedWhileUnderWay(pid_t first, const std::vector<std::string>& args)
    {
        const std::map<std::string, std::string> during = listing();
        std::string words;
        for (const std::string& a : args) words += " " + a;
        Outcome second = runEngine("p/lab" + words);
        EXPECT_EQ(second.status, 1) << second.err;
        EXPECT_EQ(second.err, "FATAL Project p/lab.prj is being simulated by process " + std::to_string(first) +
                                  "; wait for that run to end, or stop it, before running the project again\n");
        EXPECT_EQ(second.out, "");
        std::map<std::string, std::string> after = listing();
        EXPECT_EQ(after.size(), during.size());
        for (const auto& [file, bytes] : during) EXPECT_EQ(after.count(file), 1u) << file << " removed by the second run";
        EXPECT_EQ(after.at("lab.xlog").rfind(during.at("lab.xlog"), 0), 0u) << "the log was rewritten";
    }

    std::string prj;   // the project's folder, in the test's own
};

TEST_P(RunEnds, LeaveTheFilesTheReadmePromises)
{
    const End end = GetParam();
    prj = dir + "p/";
    fs::create_directory(prj);
    const std::string name = end.cfd ? "room" : "lab";
    if (end.cfd) {
        for (const char* f : {"room.prj", "room_room.CFD"}) copyInto(prj, VEXLAR_SOURCE_DIR "/tests/e2e/cfd/" + std::string(f));
    } else {
        std::ofstream(prj + "lab.prj") << labProject("Jun01 24:00:00");
        std::ofstream(prj + "lab.wth") << labWeather("293.15");
    }
    ASSERT_EQ(run({name}), 0) << slurp(dir + "run-stderr.txt");
    const std::map<std::string, std::string> earlier = listing();
    ASSERT_EQ(earlier.size(), end.cfd ? 12u : 20u);   // inputs, log and every result file

    std::vector<std::string> args = {name};
    rlim_t fileLimit = 0;
    std::unique_ptr<PeerThatHangsUp> peer;
    switch (end.change) {
    case Change::None: break;
    case Change::InputTest: args.push_back("-t"); break;
    case Change::BadDate:
        std::ofstream(prj + "lab.prj") << edited(earlier.at("lab.prj"), {{"Jun01 12:00:00", "Jun41 12:00:00 Jun01 0:00:00 Jun01 24:00:00 0:05:00 1:00:00 1:00:00"}});
        break;
    case Change::NoWeather: fs::remove(prj + "lab.wth"); break;
    case Change::Stop:
    case Change::Hangup:
    case Change::SecondRun:
    case Change::SecondInputTest:
    case Change::TwoHangups:
    case Change::SecondInterrupt:
        // Some seconds of minute steps: a run stopped, or refused another while under way,
        // long before its end, even on a loaded machine.
        std::ofstream(prj + "lab.prj") << labProject("Dec31 24:00:00", "0:01:00");
        break;
    case Change::ClosedStderr: break;
    case Change::BadRecord: std::ofstream(prj + "lab.wth") << labWeather("29x3.15"); break;
    case Change::FullDisk: fileLimit = 20000; break;
    case Change::ZeroCellWidth:
        std::ofstream(prj + "room_room.CFD") << edited(earlier.at("room_room.CFD"), {{"0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5", "0 0.5 0.5 0.5 0.5 0.5 0.5 0.5"}});
        break;
    case Change::InputTestZeroCellWidth:
        std::ofstream(prj + "room_room.CFD") << edited(earlier.at("room_room.CFD"), {{"0.5 0.5 0.5 0.5 0.5 0.5 0.5 0.5", "0 0.5 0.5 0.5 0.5 0.5 0.5 0.5"}});
        args.push_back("-t");
        break;
    case Change::InputTestNoCfd:
        fs::remove(prj + "room_room.CFD");
        args.push_back("-t");
        break;
    case Change::ResultFolder:
        fs::remove(prj + "lab.sim");
        fs::create_directory(prj + "lab.sim");
        args.push_back("-t");
        break;
    case Change::PeerEndsAtTheEnd:    // Jun01 24:00
    case Change::PeerEndsMidRun:      // Jun01 18:00
        peer = std::make_unique<PeerThatHangsUp>(151 * 86400 + (end.change == Change::PeerEndsMidRun ? 64800 : 86400));
        args.push_back("-b" + peer->listener.address());
        break;
    case Change::SilentPeer:           // silent after Jun01 18:00
    case Change::SilentFirstCommand:   // silent before its first advance
    case Change::PeerEndsToday:        // code 1 at Jun01 12:00 of a three-day run
        std::ofstream(prj + "lab.prj") << labProject("Jun03 24:00:00");
        peer = std::make_unique<PeerThatHangsUp>(151 * 86400 + (end.change == Change::SilentPeer ? 64800 : 43200),
                                                 end.change == Change::SilentPeer           ? PeerThatHangsUp::FallSilent
                                                 : end.change == Change::SilentFirstCommand ? PeerThatHangsUp::SilentAtOnce
                                                                                            : PeerThatHangsUp::EndToday);
        args.push_back("-b" + peer->listener.address());
        break;
    case Change::Refused:
    case Change::RefusedInputTest: {   // the peer is not listening yet
        std::string address = bridgepeer::Listener().address();
        args.push_back("-b" + address);
        if (end.change == Change::RefusedInputTest) args.push_back("-t");
        break;
    }
    case Change::LogAsProject: args = {"lab.xlog"}; break;
    case Change::SharedCexName: std::ofstream(prj + "lab_CO2.prj") << "another project\n"; break;
    }
    const std::map<std::string, std::string> before = listing();
    const bool stopped = end.change == Change::Stop || end.change == Change::Hangup ||
                         end.change == Change::SecondRun || end.change == Change::SecondInputTest ||
                         end.change == Change::TwoHangups || end.change == Change::SecondInterrupt ||
                         end.change == Change::SilentPeer || end.change == Change::SilentFirstCommand;
    std::function<void(pid_t)> meanwhile;
    if (end.change == Change::SecondRun) meanwhile = [&](pid_t first) { refusedWhileUnderWay(first, {}); };
    if (end.change == Change::SecondInputTest) meanwhile = [&](pid_t first) { refusedWhileUnderWay(first, {"-t"}); };
    auto stopAt = std::chrono::steady_clock::now();
    const bool silentPeer = end.change == Change::SilentPeer || end.change == Change::SilentFirstCommand;
    if (silentPeer)
        meanwhile = [&](pid_t) {   // the engine waits for the peer's next command
            for (int ms = 0; ms < 20000 && !peer->silent; ms += 2) usleep(2000);
            usleep(20000);
            stopAt = std::chrono::steady_clock::now();
        };
    const int sig = !stopped                                                               ? 0
                    : end.change == Change::Hangup || end.change == Change::TwoHangups      ? SIGHUP
                    : end.change == Change::SecondInterrupt                                 ? SIGINT
                                                                                            : SIGTERM;
    // The hang-ups of a closing terminal come 5 ms apart; a second Ctrl-C soon after the
    // first, while the stop closes the files.
    const useconds_t again = end.change == Change::TwoHangups ? 5000 : end.change == Change::SecondInterrupt ? 500 : 0;
    EXPECT_EQ(run(args, fileLimit, sig, meanwhile, end.change == Change::ClosedStderr, again), end.status);
    if (silentPeer) {   // at once, and the peer was told
        EXPECT_LT(std::chrono::steady_clock::now() - stopAt, std::chrono::seconds(2));
        peer->peer.join();
        EXPECT_EQ(peer->heard, 200 * 100 + 0) << "the engine's end code";
    }

    const std::string err = slurp(dir + "run-stderr.txt");
    std::string lastErr = err.substr(err.rfind('\n', err.size() - 2) + 1);
    EXPECT_EQ(lastErr.rfind(end.lastErr, 0), 0u) << err;
    EXPECT_NE(err.find(end.said), std::string::npos) << err;
    if (!stopped) {
        EXPECT_EQ(err.find(STOPPED), std::string::npos) << err;
    }
    const std::string log = slurp(prj + name + ".xlog");
    if (end.change == Change::LogAsProject) {
        EXPECT_TRUE(log == earlier.at("lab.xlog")) << "the earlier run's log was touched";
    }
    EXPECT_EQ(log.find('\0'), std::string::npos);
    EXPECT_EQ(log.find("Program:  "), 0u);
    EXPECT_EQ(log.find("Program:  ", 1), std::string::npos) << "a second run wrote into the log";
    const bool complete = end.change == Change::None || end.change == Change::ClosedStderr ||
                          end.change == Change::PeerEndsAtTheEnd || end.change == Change::PeerEndsToday;
    const std::string last = (end.status == 0 && complete) || end.change == Change::LogAsProject
                                 ? "Simulation completed successfully.\n"
                                 : "VexlarX finish(" + std::to_string(end.status) + ")\n";
    EXPECT_EQ(log.size() >= last.size() ? log.substr(log.size() - last.size()) : log, last);

    std::map<std::string, std::string> now = listing();
    for (const auto& [file, bytes] : before) {
        if (bytes == "<folder>") {   // never removed
            EXPECT_EQ(now[file], "<folder>") << file;
            continue;
        }
        const Fate fate = fateOf(end, file);
        EXPECT_EQ(now.count(file), fate == Fate::Gone ? 0u : 1u) << file;
        // A normal end simulates the day again to the same results, bit for bit; a peer's
        // run (peer-driven output) is complete but its files are not those of a plain run.
        const bool rerun = end.change == Change::None || end.change == Change::ClosedStderr;
        const bool sameBytes = fate == Fate::Same || (rerun && file != name + ".xlog");
        if (sameBytes && now.count(file)) {
            EXPECT_TRUE(now[file] == bytes) << file << " differs";
        }
    }
    for (const auto& [file, bytes] : now) EXPECT_EQ(before.count(file), 1u) << file << " was left besides";
    if (end.change == Change::PeerEndsToday) {   // the headers give the day the run ended, Jun01
        EXPECT_EQ(sqlRows(prj + "lab.sqlite3", "SELECT Date1, Time1 FROM SIMINFO"), (Rows{{152, 86400}}));
        std::istringstream cbw(now["lab.cbw"]);
        std::string first;
        std::getline(cbw, first);
        EXPECT_EQ(first.substr(first.rfind('\t') + 1), "6/1") << first;
        EXPECT_NE(now["lab.csm"].find("\n86400\tseconds\n"), std::string::npos) << now["lab.csm"];
    }
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(
    RunEnds, RunEnds,
    ::testing::Values(
        End{"Normal", false, Change::None, 0, " DATE: Jun01   time: 24:00:00", "", Fate::Anew, Fate::Anew, Fate::Anew},
        End{"InputTest", false, Change::InputTest, 0, "NOTE Input test completed\n", "", Fate::Gone, Fate::Same, Fate::Same},
        End{"ProjectError", false, Change::BadDate, 2, "FATAL Project file errors must be fixed.\n",
            "ERROR Jun41 is not a valid date\n", Fate::Same, Fate::Same, Fate::Same},
        End{"MissingInput", false, Change::NoWeather, 1, "ERROR Could not open weather file lab.wth: No such file or directory\n",
            "", Fate::Same, Fate::Same, Fate::Same},
        End{"Stop", false, Change::Stop, 1, STOPPED, "", Fate::Anew, Fate::Anew, Fate::Anew},
        End{"ClosedTerminal", false, Change::Hangup, 1, STOPPED, "", Fate::Anew, Fate::Anew, Fate::Anew},
        End{"SecondRunRefused", false, Change::SecondRun, 1, STOPPED, "", Fate::Anew, Fate::Anew, Fate::Anew},
        End{"InputTestRefused", false, Change::SecondInputTest, 1, STOPPED, "", Fate::Anew, Fate::Anew, Fate::Anew},
        End{"ClosedStderrPipe", false, Change::ClosedStderr, 0, "", "", Fate::Anew, Fate::Anew, Fate::Anew},
        End{"FatalMidRun", false, Change::BadRecord, 2, "FATAL Error encountered while reading WTH file lab.wth\n",
            " DATE: Jun01   time: 12:00:00", Fate::Gone, Fate::Gone, Fate::Same},
        End{"FullDisk", false, Change::FullDisk, 2, "FATAL Error executing SQLite3 statement: disk I/O error\n", "",
            Fate::Gone, Fate::Same, Fate::Same},
        End{"CfdZoneInputTest", true, Change::InputTest, 0, "NOTE Input test completed\n", "", Fate::Gone,
            Fate::Same, Fate::Same},
        End{"CfdZoneFatal", true, Change::ZeroCellWidth, 2,
            "FATAL CFD input file error x cell width 1 = 0 out of range: item 9 (x cell widths) of room_room.CFD\n", "", Fate::Gone, Fate::Same,
            Fate::Same},
        // The input test reads the zone's file as the run would; failing before any result
        // file is opened, it keeps the earlier run's results.
        End{"CfdZoneInputTestOfABrokenFile", true, Change::InputTestZeroCellWidth, 2,
            "FATAL CFD input file error x cell width 1 = 0 out of range: item 9 (x cell widths) of room_room.CFD\n", "", Fate::Same, Fate::Same,
            Fate::Same},
        End{"CfdZoneInputTestWithoutItsFile", true, Change::InputTestNoCfd, 2,
            "FATAL Unable to locate input file room_room.CFD: No such file or directory\n", "", Fate::Same, Fate::Same,
            Fate::Same},
        End{"FolderNamedAsAResult", false, Change::ResultFolder, 0,
            "ERROR Result file lab.sim is a folder and was not removed\n", "NOTE Input test completed\n", Fate::Gone,
            Fate::Same, Fate::Same},
        End{"PeerHangsUpAfterTheLastStep", false, Change::PeerEndsAtTheEnd, 0, " DATE: Jun01   time: 24:00:00", "",
            Fate::Anew, Fate::Anew, Fate::Anew},
        End{"PeerHangsUpMidRun", false, Change::PeerEndsMidRun, 1,
            "NOTE Simulation stopped as the co-simulation peer ended the session after the step ending Jun01 18:00:00\n",
            "", Fate::Anew, Fate::Anew, Fate::Anew},
        // A closing terminal sends its jobs SIGHUP, and the kernel another as the shell exits.
        End{"TwoHangups", false, Change::TwoHangups, 1, STOPPED, "", Fate::Anew, Fate::Anew, Fate::Anew},
        End{"SecondInterruptDuringTheStop", false, Change::SecondInterrupt, 1, STOPPED, "", Fate::Anew, Fate::Anew,
            Fate::Anew},
        End{"StopWhileThePeerIsSilent", false, Change::SilentPeer, 1,
            "NOTE Simulation stopped on request after the step ending Jun01 18:00:00\n", "", Fate::Anew, Fate::Anew,
            Fate::Anew},
        End{"StopWhileWaitingForTheFirstCommand", false, Change::SilentFirstCommand, 1,
            "NOTE Simulation stopped on request after the step ending Jun01 00:00:00\n", "", Fate::Anew, Fate::Anew,
            Fate::Anew},
        End{"ConnectionRefused", false, Change::Refused, 2, "FATAL   connect() failed w/ error # 111 (Connection refused)",
            "", Fate::Same, Fate::Same, Fate::Same},
        End{"ConnectionRefusedInputTest", false, Change::RefusedInputTest, 2,
            "FATAL   connect() failed w/ error # 111 (Connection refused)", "", Fate::Same, Fate::Same, Fate::Same},
        End{"PeerEndsTheThreeDayRunToday", false, Change::PeerEndsToday, 0, " DATE: Jun01   time: 24:00:00",
            "WARNING VX_ERROR_MSGTYPE code 1:end_next_day\n", Fate::Anew, Fate::Anew, Fate::Anew},
        End{"LogGivenAsTheProject", false, Change::LogAsProject, 1,
            "FATAL lab.xlog is the log of project lab, not a project file; give the project file (.prj)\n", "",
            Fate::Same, Fate::Same, Fate::Same},
        End{"SpeciesFileOfAnotherProject", false, Change::SharedCexName, 2,
            "FATAL Species exfiltration file lab_CO2.cex is also the exfiltration file of project lab_CO2 in the same "
            "folder; rename one of the two projects, or set cex_ctm to 0 on Run Control\n",
            "", Fate::Same, Fate::Same, Fate::Same}),
    testnames::named([](const End& e) { return std::string(e.name); }));
// clang-format on

}  // namespace
