// End-to-end runs of the vexlar-x executable: the help screen, the version line, option
// errors, the project-name prompt, the log file and its header, and the exit statuses.
// Each test runs the binary in a temporary directory of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "e2e-util.h"
#include "tests/param-names.h"

namespace {

class Cli : public E2eTest {
protected:
    // Runs the engine in the test directory with args, feeding input on standard input.
    Outcome run(const std::string& args, const std::string& input = "") { return runEngine(args, "", input); }
};

const char* const HELP =
    "Usage: vexlar-x <source - spec> [options]\n"
    "\n"
    "    VexlarX - Multizone Airflow and Contaminant Transport Analysis Software:\n"
    "\n"
    "    <source - spec> is a file specification including such path\n"
    "    information as necessary.\n"
    "\n"
    "    -h, --help            show this help message and exit\n"
    "    -v, --Version         show the version of this program and exit\n"
    "    -b, --Bridge=<str>    run VexlarX in bridge mode with optional <ip_address:port>\n"
    "    -w, --Wind            VexlarX calculates wind pressures based on wind speed and "
    "direction obtained via ADJ_WTH_MSGTYPE\n"
    "    -f, --volumeFlow      VexlarX outputs volume airflow rates via bridge in [m3/s]\n"
    "    -c, --Console         run VexlarX with an interactive console\n"
    "    -t, --TestInput       Test input only\n"
    "The file can be specified in Windows Explorer by dragging\n"
    "    the project file icon onto the VexlarX program icon.\n"
    "\n";

TEST_F(Cli, HelpPrintsTheUsageScreenAndExitsZeroWithoutLog)
{
    for (const char* arg : {"-h", "--help", "office -h"}) {
        Outcome r = run(arg);
        EXPECT_EQ(r.status, 0) << arg;
        EXPECT_EQ(r.out, HELP) << arg;
        EXPECT_EQ(r.err, "") << arg;
    }
    EXPECT_FALSE(exists(dir + "office.xlog"));
}

TEST_F(Cli, VersionPrintsOnlyTheVersionLineAndReadsNothing)
{
    Outcome r = run("-v office");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "3.4.0.0 64 bit\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(exists(dir + "office.xlog"));
}

struct BadOption {
    const char* args;
    const char* err;
    bool usage;
};

void PrintTo(const BadOption& b, std::ostream* os) { *os << b.args; }

class CliOptionErrors : public Cli, public ::testing::WithParamInterface<BadOption> {};

TEST_P(CliOptionErrors, PrintTheExactLineAndExitOne)
{
    Outcome r = run(GetParam().args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, GetParam().err);
    EXPECT_EQ(r.out, GetParam().usage ? HELP : "");
    EXPECT_FALSE(exists(dir + "office.xlog"));
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliOptionErrors,
    ::testing::Values(BadOption{"office --bogus", "error: unknown option `--bogus`\n", true},
                      BadOption{"office --Test", "error: unknown option `--Test`\n", true},
                      BadOption{"office --no-help", "error: unknown option `--no-help`\n", true},
                      BadOption{"office -x", "error: unknown option `-x`\n", true},
                      BadOption{"office -b", "error: option `-b` requires a value\n", false},
                      BadOption{"office --Bridge", "error: option `--Bridge` requires a value\n",
                                false}),
    testnames::indexed([](const auto& c) { return std::string(c.args); }));

TEST_F(Cli, EmptyAnswerOrEndOfInputAtThePromptExitsOneWithoutLog)
{
    for (const char* input : {"", "\n"}) {
        Outcome r = run("", input);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Enter project name:  FATAL No project name given\n");
    }
    EXPECT_FALSE(exists(dir + ".xlog"));
}

TEST_F(Cli, ProjectNameFromThePromptGetsTheProjectExtensionAndItsLog)
{
    copyInto(dir, examplePath("office"));
    Outcome r = run("-t", "office\n");
    EXPECT_EQ(r.err.rfind("Enter project name:  Running VexlarX 3.4.0.0 on office.prj\n", 0), 0u)
        << r.err;
    std::string log = slurp(dir + "office.xlog");
    EXPECT_NE(log.find("Project (_file_name):  office.prj\n"), std::string::npos);
    EXPECT_NE(log.find("prj arg = office\n"), std::string::npos);
}

TEST_F(Cli, LogHeaderNamesProgramProjectDirectoryAndArguments)
{
    mkdir((dir + "runs").c_str(), 0700);
    std::ofstream(dir + "runs/office.prj") << "";
    Outcome r = run("runs/office -w");
    std::string log = slurp(dir + "runs/office.xlog");
    std::string want = std::string("Program:  ") + VEXLAR_X_BIN +
                       "\n  Version:  3.4.0.0 release 64 bit\n  Compiler: ";
    EXPECT_EQ(log.rfind(want, 0), 0u) << log;
    std::string cwd = dir.substr(0, dir.size() - 1);
    char real[4096];
    if (realpath(cwd.c_str(), real)) cwd = real;
    for (const std::string& line : std::vector<std::string>{"Project (_file_name):  runs/office.prj\n", "cwd: " + cwd + "\n", "prj arg = runs/office\n",
          "_pdrive , _pdir runs/, _prjname office, _pext .prj\n\nCalling arguments (3):\n",
          std::string("\targv[0] = ") + VEXLAR_X_BIN + "\n\targv[1] = runs/office\n\targv[2] = -w\n",
          "Running VexlarX 3.4.0.0 on runs/office.prj\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    EXPECT_NE(r.err.find("Running VexlarX 3.4.0.0 on runs/office.prj\n"), std::string::npos);
}

TEST_F(Cli, ExtensionOfTheProjectPathIsKept)
{
    std::ofstream(dir + "office.txt") << "";
    run("office.txt");
    EXPECT_NE(slurp(dir + "office.xlog").find("Project (_file_name):  office.txt\n"),
              std::string::npos);
}

// One line on standard error names the log and says why the system refused it.
TEST_F(Cli, LogThatCannotBeOpenedIsNamedWithTheSystemsReasonAndExitsTwo)
{
    std::filesystem::create_directory(dir + "office.xlog");
    std::ofstream(dir + "office.prj") << "";
    Outcome r = run("office");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "FATAL Could not open log file office.xlog: Is a directory\n");
}

class CliMistakes : public Cli, public ::testing::WithParamInterface<BadOption> {};

const std::string LONG_NAME(240, 'a');
const std::string LONG_NAME_REFUSED = "FATAL The name of project " + LONG_NAME + ".prj is too long: its database's journal " +
                                      LONG_NAME + ".sqlite3-journal would pass the folder's limit of 255 characters; "
                                      "shorten the project's name\n";

// A project that cannot be read, or a command line that names more than one, is refused
// with one line that says what is wrong, exit status 1, and not a file left behind: no
// log, and the project beside it untouched.
TEST_P(CliMistakes, AreRefusedWithTheirLineAndLeaveNoFile)
{
    copyInto(dir, examplePath("office"));
    const std::string office = slurp(dir + "office.prj");
    Outcome r = run(GetParam().args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, GetParam().err);
    EXPECT_EQ(r.out, GetParam().usage ? HELP : "");
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir)) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"office.prj"});
    EXPECT_TRUE(slurp(dir + "office.prj") == office);
}

INSTANTIATE_TEST_SUITE_P(
    Cli, CliMistakes,
    ::testing::Values(
        BadOption{"nothere", "FATAL Could not open project file nothere.prj: No such file or directory\n", false},
        BadOption{"nosuchdir/office", "FATAL The folder nosuchdir/ of the project nosuchdir/office.prj does not exist\n", false},
        BadOption{"office.prj/x", "FATAL The folder office.prj/ of the project office.prj/x.prj is not a folder\n", false},
        BadOption{"office extra", "error: unexpected argument `extra` after the project `office`\n", true},
        BadOption{"-t office.prj office", "error: unexpected argument `office` after the project `office.prj`\n", true},
        BadOption{"office -- -t", "error: unexpected argument `-t` after the project `office`\n", true},
        // A slip of tab completion: the log is refused before it is opened, and so emptied.
        BadOption{"office.xlog", "FATAL office.xlog is the log of project office, not a project file; give the project "
                                 "file (.prj)\n", false},
        // 240 characters fit a file name, not with ".sqlite3-journal" after them.
        BadOption{LONG_NAME.c_str(), LONG_NAME_REFUSED.c_str(), false}),
    testnames::indexed([](const auto& c) { return std::string(c.args); }));

// A directory where the project should be is named as such, whether the name carries the
// extension or not; a project file next to a directory of its bare name is still read.
TEST_F(Cli, ADirectoryNamedAsTheProjectIsReportedAsADirectory)
{
    std::filesystem::create_directory(dir + "results");
    std::filesystem::create_directory(dir + "plant.prj");
    Outcome r = run("results");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "FATAL results is a directory, not a project file\n");
    EXPECT_FALSE(exists(dir + "results.xlog"));
    r = run("plant.prj");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "FATAL plant.prj is a directory, not a project file\n");
    copyInto(dir, examplePath("office"));
    std::filesystem::create_directory(dir + "office");
    r = run("-t office");
    EXPECT_EQ(r.status, 0) << r.err;
}

// A temperature of 0 K would give zero density and infinite flows: the input test stops
// at it as at any other project error.
TEST_F(Cli, InputTestRejectsAZoneAtZeroKelvin)
{
    std::string prj = slurp(std::string(VEXLAR_SOURCE_DIR) + "/tests/e2e/prj/minimal.prj");
    size_t at = prj.find("0 50 293.15 0 Room");
    ASSERT_NE(at, std::string::npos);
    prj.replace(at, 18, "0 50 0 0 Room");
    std::ofstream(dir + "cold.prj", std::ios::binary) << prj;
    Outcome r = run("-t cold");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ERROR Invalid temperature, zone 1\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("FATAL Project file errors must be fixed.\n"), std::string::npos);
    EXPECT_EQ(r.err.find("Input test completed"), std::string::npos);
}

TEST_F(Cli, RejectedProjectHeaderExitsOne)
{
    std::ofstream(dir + "office.prj") << "Other 3.4.0.0\n";
    Outcome r = run("office");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ERROR Not a VexlarW or Trelbo 3.4 file\n"), std::string::npos) << r.err;
}

// The lab example has species, sinks, controls and envelope openings.
TEST_F(Cli, CompleteRunReleasesEverythingAndEndsWithItsLastLine)
{
    copyInto(dir, examplePath("lab"));
    Outcome r = run("lab");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string log = slurp(dir + "lab.xlog");
    size_t marks = 0;
    for (const char* mark : {"\nRead PRJ : ", "\nArrays: ", "\nStart: ", "\nEnd: ", "\nFinal: "}) {
        size_t at = log.find(mark, marks);
        EXPECT_NE(at, std::string::npos) << mark;
        marks = at;
    }
    EXPECT_NE(log.find(" freed, 0 net\nSimulation completed successfully.\n", marks), std::string::npos)
        << log.substr(marks);
    EXPECT_EQ(log.find("MemList"), std::string::npos);
}

TEST_F(Cli, TestModeThatNeverOpensTheWindPressureFileStillReleasesItsLocations)
{
    // The office example as a building pressurization test (sim_af 4) that names
    // wind pressures from a file: the network lists the opening locations, the test
    // mode then drops the file.
    std::string prj = slurp(examplePath("office"));
    for (auto [from, to] : {std::pair<std::string, std::string>{"\n0 0 0:00:00 1/1 12/31 0 0 0\n",
                                                                "\n0 0 0:00:00 1/1 12/31 1 0 0\n"},
                            {"\n0 1 50 1e-4 1e-5 0.75 0 50 0\n", "\n4 1 50 1e-4 1e-5 0.75 0 50 0\n"}}) {
        size_t at = prj.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        prj.replace(at, from.size(), to);
    }
    std::ofstream(dir + "office.prj", std::ios::binary) << prj;
    Outcome r = run("office");
    EXPECT_EQ(r.status, 0) << r.err;
    std::string log = slurp(dir + "office.xlog");
    EXPECT_NE(log.find("Creating PLDlist:\n"), std::string::npos);
    EXPECT_NE(log.find(" freed, 0 net\nSimulation completed successfully.\n"), std::string::npos) << log;
}

TEST_F(Cli, InputTestEndsThroughFinishAndRemovesResultsOfAnEarlierRun)
{
    copyInto(dir, examplePath("lab"));
    for (const char* ext : {".sim", ".sqlite3", ".rst", ".ach"}) std::ofstream(dir + "lab" + ext) << "old";
    Outcome r = run("-t lab");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("NOTE Input test completed\n"), std::string::npos) << r.err;
    std::string log = slurp(dir + "lab.xlog");
    EXPECT_EQ(log.substr(log.size() - 18), "VexlarX finish(0)\n");
    for (const char* ext : {".sim", ".sqlite3", ".ach"})
        EXPECT_FALSE(exists(dir + "lab" + ext)) << ext;
    EXPECT_TRUE(exists(dir + "lab.rst")) << "a restart file this run did not write stays";
}

// The project is read before the run begins to replace its result files: an earlier
// run's stay.
TEST_F(Cli, FatalBeforeTheResultsAreOpenedEndsWithTwoAndLeavesEarlierResults)
{
    std::ofstream(dir + "office.prj") << "VexlarW 3.4.0.0\n0\ndescription\nnonsense\n";
    for (const char* ext : {".sim", ".ach", ".sqlite3", ".rst"}) std::ofstream(dir + "office" + ext);
    Outcome r = run("office");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("ERROR Bad short integer: nonsense\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("FATAL Project file errors must be fixed.\n"), std::string::npos);
    std::string log = slurp(dir + "office.xlog");
    EXPECT_NE(log.find("FATAL  (file prj-read, line "), std::string::npos) << log;
    EXPECT_EQ(log.substr(log.size() - 18), "VexlarX finish(2)\n");
    for (const char* ext : {".sim", ".ach", ".sqlite3", ".rst"})
        EXPECT_TRUE(exists(dir + "office" + ext)) << ext;
}

}  // namespace
