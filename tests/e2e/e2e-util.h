// Scaffolding shared by the end-to-end tests: reading a whole file, copying a project,
// and a fixture that gives each test a fresh temporary directory of its own (removed
// afterwards) in which it runs the real vexlar-x with its standard streams captured.
// Header-only, in the including file's anonymous namespace.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/scratch-dir.h"

namespace {

// The whole file as bytes; "" when it cannot be read.
inline std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The bundled example project `name` (without extension).
inline std::string examplePath(const std::string& name)
{
    return std::string(VEXLAR_SOURCE_DIR) + "/examples/" + name + ".prj";
}

// Copies the file `source` into the directory `dir` (ending in '/'); returns its file name.
inline std::string copyInto(const std::string& dir, const std::string& source)
{
    std::string base = source.substr(source.find_last_of('/') + 1);
    std::error_code ec;
    std::filesystem::copy_file(source, dir + base, std::filesystem::copy_options::overwrite_existing, ec);
    EXPECT_FALSE(ec) << source << ": " << ec.message();
    return base;
}

// The tab-separated fields of the first line of `text` that begins with `head`; empty
// without such a line. num reads field k as a number (NaN when it is missing).
inline std::vector<std::string> fieldsOf(const std::string& text, const std::string& head)
{
    std::istringstream in(text);
    std::vector<std::string> fields;
    for (std::string line; std::getline(in, line);)
        if (line.rfind(head, 0) == 0) {
            std::istringstream l(line);
            for (std::string f; std::getline(l, f, '\t');) fields.push_back(f);
            break;
        }
    return fields;
}

inline double num(const std::vector<std::string>& f, size_t k)
{
    return k < f.size() ? std::atof(f[k].c_str()) : std::nan("");
}

// A line of a project replaced by another: the line that begins with `first`.
using Edit = std::pair<std::string, std::string>;

// The text with its edits made; each edit must match exactly one line.
inline std::string edited(const std::string& text, const std::vector<Edit>& edits)
{
    std::istringstream in(text);
    std::ostringstream out;
    std::vector<int> used(edits.size(), 0);
    for (std::string line; std::getline(in, line);) {
        for (size_t k = 0; k < edits.size(); k++)
            if (line.rfind(edits[k].first, 0) == 0) {
                line = edits[k].second;
                used[k]++;
            }
        out << line << '\n';
    }
    for (size_t k = 0; k < edits.size(); k++) EXPECT_EQ(used[k], 1) << edits[k].first;
    return out.str();
}

// The text with each piece replaced; every piece must occur exactly once.
inline std::string replaced(std::string text, const std::vector<Edit>& pieces)
{
    for (const Edit& e : pieces) {
        size_t at = text.find(e.first);
        EXPECT_NE(at, std::string::npos) << e.first;
        if (at == std::string::npos) continue;
        EXPECT_EQ(text.find(e.first, at + 1), std::string::npos) << e.first;
        text.replace(at, e.first.size(), e.second);
    }
    return text;
}

// Shell text put before the engine's command that caps its memory at mb MiB, so that an
// allocation sized by a corrupt count fails at once instead of paging or zeroing
// gigabytes. AddressSanitizer reserves far more address space than it uses; under it the
// sanitizer's allocator takes the cap instead (and returns null past it).
#if defined(__SANITIZE_ADDRESS__)
#define E2E_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define E2E_ASAN 1
#endif
#endif
inline std::string memoryCap(int mb)
{
#ifdef E2E_ASAN
    return "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1:max_allocation_size_mb=" +
           std::to_string(mb) + "\" ";
#else
    return "ulimit -v " + std::to_string(mb * 1024) + " && ";
#endif
}

// Starts vexlar-x on `project` in the folder `dir` with SIGINT, SIGTERM and SIGHUP at their
// default actions, as from a terminal, both its output streams to the file `said`; returns
// its process id.
inline pid_t startEngine(const std::string& dir, const std::string& project, const std::string& said)
{
    pid_t pid = fork();
    if (pid == 0) {
        for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, SIG_DFL);
        int out = open(said.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || chdir(dir.c_str()) != 0) _exit(127);
        dup2(out, 1);
        dup2(out, 2);
        execl(VEXLAR_X_BIN, VEXLAR_X_BIN, project.c_str(), (char*)nullptr);
        _exit(127);
    }
    return pid;
}

// Waits for the process pid to end, after sending it the signal sig once the file `said`
// holds `text` (no signal for an empty text, or when a minute passes without it); returns
// its exit status, or -1 when it did not exit or ended before it was signalled. What
// `meanwhile` does, it does once the text is there and before the signal.
inline int signalWhenSaid(pid_t pid, const std::string& said, const std::string& text, int sig,
                          const std::function<void()>& meanwhile = {})
{
    int status = 0;
    if (!text.empty()) {
        for (int ms = 0; ms < 60000 && slurp(said).find(text) == std::string::npos; ms += 2) {
            if (waitpid(pid, &status, WNOHANG) == pid) return -1;
            usleep(2000);
        }
        if (meanwhile) meanwhile();
        kill(pid, sig);
    }
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A finished run: its exit status (-1 when it did not exit), standard output, standard
// error and log.
struct Outcome {
    int status;
    std::string out, err, log;
};

// Each test gets a directory made for it alone (its name shows the test; mkdtemp keeps it
// unique across tests run in parallel by other processes), removed with all in it.
class E2eTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = vexlar_test::makeScratchDir();
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override { vexlar_test::removeScratchDir(dir); }

    // Runs vexlar-x with `args` in the test's directory, `input` on its standard input;
    // the log read back is that of the project file `project` ("name.prj"; none for "").
    Outcome runEngine(const std::string& args, const std::string& project = "", const std::string& input = "")
    {
        std::ofstream(dir + "stdin.txt") << input;
        std::string cmd = "cd '" + dir + "' && " + before + "'" VEXLAR_X_BIN "' " + args +
                          " <stdin.txt >stdout.txt 2>stderr.txt";
        int raw = std::system(cmd.c_str());
        Outcome r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir + "stdout.txt"), slurp(dir + "stderr.txt"),
                  project.empty() ? std::string() : slurp(dir + project.substr(0, project.rfind('.')) + ".xlog")};
        for (const char* f : {"stdin.txt", "stdout.txt", "stderr.txt"}) std::remove((dir + f).c_str());
        return r;
    }

    std::string dir;      // the test's directory, ending in '/'
    std::string before;   // shell text before the engine's command, e.g. memoryCap(...)
};

}  // namespace
