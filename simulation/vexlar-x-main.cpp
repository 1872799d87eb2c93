// Program entry of vexlar-x: reads the command line, takes the project path, opens the
// log with its header, reads the project and builds the network, sets up the equation
// systems and files, dispatches on the run mode and ends the run. The steps after the
// project is read are in vexlar-x-run.cpp; every early or failed end goes through finish.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "bridge/bridge.h"
#include "cfd/cfd.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/options.h"
#include "common-src/paths.h"
#include "common-src/prj-read.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-data.h"
#include "model/run-control.h"
#include "model/version.h"
#include "output/sim-out.h"
#include "simulation/ctrl-sim.h"
#include "simulation/sim-common.h"
#include "simulation/sim-interrupt.h"
#include "simulation/vexlar-x-finish.h"
#include "simulation/vexlar-x-run.h"
#include "simulation/weather.h"

using namespace vexlar;

namespace {

struct Options {
    int version = 0;
    int wind = 0;
    const char* bridge = nullptr;
    const char* prjArg = nullptr;   // first non-option argument
};

// Parses the command line; -h and option errors end the process inside the parser.
Options parseOptions(int argc, char** argv)
{
    static Options o;
    static const ArgParseOption table[] = {
        {ARGPARSE_OPT_BOOLEAN, 'h', "help", nullptr, "show this help message and exit",
         argparse_help_cb, 0, ARGPARSE_OPT_NONEG},
        {ARGPARSE_OPT_BOOLEAN, 'v', "Version", &o.version,
         "show the version of this program and exit", nullptr, 0, 0},
        {ARGPARSE_OPT_STRING, 'b', "Bridge", &o.bridge,
         "run VexlarX in bridge mode with optional <ip_address:port>", nullptr, 0, 0},
        {ARGPARSE_OPT_BOOLEAN, 'w', "Wind", &o.wind,
         "VexlarX calculates wind pressures based on wind speed and direction obtained via "
         "ADJ_WTH_MSGTYPE",
         nullptr, 0, 0},
        {ARGPARSE_OPT_BOOLEAN, 'f', "volumeFlow", &_vFBridge,
         "VexlarX outputs volume airflow rates via bridge in [m3/s]", nullptr, 0, 0},
        {ARGPARSE_OPT_BOOLEAN, 'c', "Console", &_doDOSwdw,
         "run VexlarX with an interactive console", nullptr, 0, 0},
        {ARGPARSE_OPT_BOOLEAN, 't', "TestInput", &_doInput, "Test input only", nullptr, 0, 0},
        {ARGPARSE_OPT_END, 0, nullptr, nullptr, nullptr, nullptr, 0, 0},
    };
    static const char* const usages[] = {"vexlar-x <source - spec> [options]", nullptr};
    ArgParseState st;
    argparse_init(&st, table, usages, 0);
    argparse_describe(&st,
                      "\n    VexlarX - Multizone Airflow and Contaminant Transport Analysis "
                      "Software:\n\n    <source - spec> is a file specification including such "
                      "path\n    information as necessary.",
                      "The file can be specified in Windows Explorer by dragging\n    the "
                      "project file icon onto the VexlarX program icon.\n");
    int words = argparse_parse(&st, argc, (const char**)argv);
    if (words > 1) {   // one run simulates one project
        fprintf(stderr, "error: unexpected argument `%s` after the project `%s`\n", argv[1], argv[0]);
        argparse_usage(&st);
        exit(1);
    }
    if (words > 0) o.prjArg = argv[0];
    return o;
}

// "Calling arguments (n):" and one line per argument as typed, bounded to the buffer.
void callingArguments(int argc, char** argv, char* text, size_t len)
{
    size_t n = (size_t)snprintf(text, len, "Calling arguments (%d):\n", argc);
    for (int i = 0; i < argc && n < len; i++)
        n += (size_t)snprintf(text + n, len - n, "\targv[%d] = %s\n", i, argv[i]);
}

// Reads the project name typed at the prompt; end of input or an empty line ends the run
// before any log is opened.
void promptProjectName(char* name, int len)
{
    fputs("Enter project name:  ", stderr);
    fflush(stderr);
    if (!fgets(name, len, stdin)) name[0] = '\0';
    name[strcspn(name, "\n")] = '\0';
    if (name[0] == '\0') errorMinimal(FATAL, " No project name given");
}

int compilerVersion()
{
#if defined(__clang__)
    return __clang_major__ * 10000 + __clang_minor__ * 100 + __clang_patchlevel__;
#else
    return __GNUC__ * 10000 + __GNUC_MINOR__ * 100 + __GNUC_PATCHLEVEL__;
#endif
}

const char* compilerName()
{
#if defined(__clang__)
    return "clang";
#else
    return "gcc";
#endif
}

void writeLogHeader(const char* program, const char* prjPath, const char* prjArg,
                    const char* callArgs)
{
    fprintf(_ulog, "Program:  %s\n", program);
    fprintf(_ulog, "  Version:  %s %s %s\n", VEXLAR_VERSION, "release", "64 bit");
    fprintf(_ulog, "  Compiler: %s %d\n", compilerName(), compilerVersion());
    fprintf(_ulog, "Project (_file_name):  %s\n", prjPath);
    fflush(_ulog);
    char cwd[4096];
    fprintf(_ulog, "cwd: %s\n", getcwd(cwd, sizeof cwd) ? cwd : "");
    fprintf(_ulog, "prj arg = %s\n", prjArg);
    fprintf(_ulog, "_pdrive %s, _pdir %s, _prjname %s, _pext %s\n", _pdrive, _pdir, _prjname,
            _pext);
    fflush(_ulog);
    fprintf(_ulog, "\n%s", callArgs);
    fflush(_ulog);
}

int isDirectory(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

template <class... Pieces> [[noreturn]] void refuse(Pieces... pieces)
{
    std::string text = " ";
    for (const char* p : std::initializer_list<const char*>{pieces...}) text += p;
    errorMinimal(FATAL, text.c_str());
    exit(1);   // errorMinimal ends the run at FATAL; this only tells the compiler
}

// A project that cannot be read is refused before its log is opened, so that nothing is
// left behind: a folder that does not exist, a directory in the project's place (unless a
// project file of that name stands beside it), a file that cannot be opened.
void checkProjectReadable(const char* path, const char* prjPath)
{
    struct stat st;
    if (_pdir[0] != '\0') {
        char dir[4100], bare[4100];   // the folder as named, and without its last separator
        snprintf(dir, sizeof dir, "%s%s", _pdrive, _pdir);
        snprintf(bare, sizeof bare, "%s", dir);
        size_t n = strlen(bare);
        if (n > 1 && (bare[n - 1] == '/' || bare[n - 1] == '\\')) bare[n - 1] = '\0';
        if (stat(bare, &st) != 0)
            refuse("The folder ", dir, " of the project ", prjPath,
                   errno == ENOENT ? " does not exist" : " cannot be reached");
        if (!S_ISDIR(st.st_mode)) refuse("The folder ", dir, " of the project ", prjPath, " is not a folder");
    }
    int prjIsFile = stat(prjPath, &st) == 0 && S_ISREG(st.st_mode);
    if (isDirectory(path) && !prjIsFile) refuse(path, " is a directory, not a project file");
    if (isDirectory(prjPath)) refuse(prjPath, " is a directory, not a project file");
    FILE* f = fopen(prjPath, "r");
    if (!f) refuse("Could not open project file ", prjPath, ": ", strerror(errno));
    fclose(f);
}

// Every file of the run is named after the project: the longest name, the database's
// journal, must fit the folder's limit, or SQLite fails with a message that names none.
void checkNameFits(const char* prjPath)
{
    static const char journal[] = ".sqlite3-journal";
    char dir[4100];
    snprintf(dir, sizeof dir, "%s%s", _pdrive, _pdir[0] ? _pdir : ".");
    long limit = pathconf(dir, _PC_NAME_MAX);
    if (limit <= 0) limit = 255;
    if ((long)(strlen(_prjname) + sizeof journal - 1) <= limit) return;
    char n[32];
    snprintf(n, sizeof n, "%ld", limit);
    refuse("The name of project ", prjPath, " is too long: its database's journal ", _prjname,
           journal, " would pass the folder's limit of ", n, " characters; shorten the project's name");
}

// Opens the log under the lock that makes it this run's alone: a second run of the
// project, or an input test, would remove or rewrite the files of the one under way. The
// holder's lock goes with its process, so a crashed run never blocks the next.
FILE* openRunLog(const char* prjPath)
{
    long holder = 0;
    FILE* log = openFileLocked(_file_name, &holder);
    if (holder > 0) {
        char pid[32];
        snprintf(pid, sizeof pid, "%ld", holder);
        refuse("Project ", prjPath, " is being simulated by process ", pid,
               "; wait for that run to end, or stop it, before running the project again");
    }
    if (holder < 0)
        refuse("Project ", prjPath,
               " is being simulated by another process; wait for that run to end, or stop it, "
               "before running the project again");
    return log;
}

// Splits the project path, checks the project can be read, opens the log and installs
// the message hooks; a log that cannot be opened ends the run with status 2 after one
// line on standard error naming it and the system's reason (no hook is installed yet).
void openLog(const char* path, char* prjPath, size_t len)
{
    pathsplit(path, _pdrive, sizeof _pdrive, _pdir, sizeof _pdir, _prjname, sizeof _prjname,
              _pext, sizeof _pext);
    if (_pext[0] == '\0') strcpy(_pext, ".prj");
    pathmerge(prjPath, (int)len, _pdrive, _pdir, _prjname, _pext);
    getXLogFileName(_pdrive, _pdir, _prjname, _file_name, sizeof _file_name);
    // The log given as the project (a slip of tab completion): opening the log would
    // empty the earlier run's before the reader refuses it.
    if (strcmp(prjPath, _file_name) == 0)
        refuse(prjPath, " is the log of project ", _prjname, ", not a project file; give the project file (.prj)");
    checkNameFits(prjPath);
    checkProjectReadable(path, prjPath);
    _ulog = openRunLog(prjPath);
    if (!_ulog) error(FATAL, __FILE__, __LINE__, "Could not open log file ", _file_name, ": ", strerror(errno), "");
    _errorLogFileP = &_ulog;
    _errorFinishFcnP = finish;
    setErrorTraps();
}

void runningLine(const char* prjPath)
{
    fprintf(stderr, "Running VexlarX %s on %s\n", VEXLAR_VERSION, prjPath);
    fprintf(_ulog, "Running VexlarX %s on %s\n", VEXLAR_VERSION, prjPath);
    fflush(_ulog);
}

}  // namespace

int main(int argc, char** argv)
{
    static char program[4096], callArgs[4096], typed[4096], prjPath[4096];
    snprintf(program, sizeof program, "%s", argc > 0 ? argv[0] : "vexlar-x");
    callingArguments(argc, argv, callArgs, sizeof callArgs);
    simInterrupt_ignoreClosedStreams();
    keepEarlierResults();

    Options opt = parseOptions(argc, argv);
    if (opt.version) {
        fprintf(stderr, "%s %s\n", VEXLAR_VERSION, "64 bit");
        return 0;
    }
    _wPBridge = opt.wind ? 0 : 1;
    const char* path = opt.prjArg;
    if (!path) {
        promptProjectName(typed, sizeof typed);
        path = typed;
    }
    openLog(path, prjPath, sizeof prjPath);
    writeLogHeader(program, prjPath, path, callArgs);
    if (opt.bridge) bridge_ConnectToServer(opt.bridge);
    runningLine(prjPath);

    _ms = alc_eci(32000, "ms-block");
    _mb = alc_eci(8000, "mb-block");
    if (prj_read(prjPath) != 0) return 1;   // the reader has reported why
    int runClass = setRunClock();
    if (ctrl_NeedCvfDvf(3)) CVF_init_data(_dayofy, _simEndDate, 1);
    if (ctrl_NeedCvfDvf(4)) DVF_init_data(_dayofy, _simEndDate);
    sim_data();
    if (_rcdat.sim_af >= 2) {
        testModeOverrides();
    } else if (_doBridge > 1) {
        refusePeerOfStiffIntegrator(runClass != RUN_STEADY);
        bridge_CreatePathList();
        bridge_SendInfoMessages();
    }
    prj_read_free_comp_lists();
    prj_read_free_element_lists();
    if (_mb) _mb = fre_ec(_mb, "mb-block");
    MemNet("Read PRJ ");
    logNetworkCounts(_ulog);
    if (_nafnd + _nafpt < 2) {
        error(ERROR, __FILE__, __LINE__, " Nothing to simulate", "");
        return 0;
    }
    matInit();
    readInitialValues();
    openAmbientInputs();
    if (_doInput) {
        error(NOTE, __FILE__, __LINE__, "Input test completed", "");
        finishInputTest();
    }
    setSchedulesAndControls(_stepEndTime, 1);
    if (_rcdat.cfd_cpl > 0) getcpl();
    openResultFiles();
    extremesInit();
    MemNet("Start");
    runSimulation(runClass);
    endOfRun(runClass);
    return 0;
}
