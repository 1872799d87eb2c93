// Test support for the timed input files: a fresh persistent pool and log per test, input
// files written to a directory of the test's own, the message lines of the log read back,
// and every timed input stream closed afterwards. Header-only, in the including file's
// anonymous namespace.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/network.h"
#include "model/prj-data.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/clock.h"
#include "simulation/weather.h"
#include "tests/e2e/e2e-util.h"

namespace vexlar {
namespace {

// The directory of the test's own comes from the end-to-end fixture.
class TimedFileTest : public E2eTest {
protected:
    void SetUp() override
    {
        E2eTest::SetUp();
        _ms = alc_eci(32000, "ms-block");
        log = std::tmpfile();
        _ulog = log;
        _errorLogFileP = &_ulog;
        error(-2, __FILE__, __LINE__, "reset count", "");
        _list = 0;
        _cvfNumNames = _dvfNumNames = 0;
        _cvfNames = _dvfNames = nullptr;
        _cvfVals[0] = _cvfVals[1] = _cvfVals[2] = nullptr;
        _dvfVals = nullptr;
        _Ctrl0 = nullptr;
        _pambt = nullptr;
        _nctm = _nntc = 0;   // no species until a test names them
        _ctm = nullptr;
        _wthdat = WeatherData{};
        _wthdat.h2o_index = -1;
        _newSTSaf = 0;
        _pdrive[0] = _pdir[0] = '\0';   // relative file names stand in the current folder
    }
    void TearDown() override
    {
        WTH_close();
        WPC_close();
        for (FILE** f : {&_ucvf, &_udvf, &_uctm})
            if (*f) std::fclose(*f), *f = nullptr;
        _Ctrl0 = nullptr;   // the control nodes were the test's own
        _ms = fre_ec(_ms, "ms-block");
        _errorLogFileP = nullptr;
        _ulog = nullptr;
        std::fclose(log);
        error(-2, __FILE__, __LINE__, "reset count", "");
        E2eTest::TearDown();
    }

    // Writes text to the file `name` of the test's directory; returns its path.
    std::string file(const std::string& name, const std::string& text)
    {
        std::string path = dir + name;
        FILE* f = std::fopen(path.c_str(), "wb");
        std::fputs(text.c_str(), f);
        std::fclose(f);
        return path;
    }
    // Names the file in the project field (e.g. _WTHfile).
    void name(char* field, const std::string& path) { std::snprintf(field, 4096, "%s", path.c_str()); }

    std::string logText()
    {
        std::fflush(log);
        std::string s;
        std::rewind(log);
        for (int c; (c = std::fgetc(log)) != EOF;) s += (char)c;
        return s;
    }
    // How many messages of the level whose text is exactly `text` the log holds.
    int logged(const char* level, const std::string& text)
    {
        std::string all = logText(), head = std::string(level) + "  (file ", body = "\n " + text + "\n";
        int n = 0;
        for (size_t at = all.find(head); at != std::string::npos; at = all.find(head, at + 1)) {
            size_t line_end = all.find('\n', at);
            if (all.compare(line_end, body.size(), body) == 0) n++;
        }
        return n;
    }

    // How many messages of the level the log holds.
    int messages(const char* level)
    {
        std::string all = logText(), head = std::string(level) + "  (file ";
        int n = 0;
        for (size_t at = all.find(head); at != std::string::npos; at = all.find(head, at + 1)) n++;
        return n;
    }

    FILE* log = nullptr;
};

}  // namespace
}  // namespace vexlar
