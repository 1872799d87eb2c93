// Test helper: a small text file written to a scratch folder of the test's own and opened
// on the token stream, with the log redirected to a temporary stream whose text can be read
// back, and the ERROR count reset around each test.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common-src/messages.h"
#include "common-src/tokens.h"
#include "tests/scratch-dir.h"

namespace vexlar_test {

inline int errorCount() { return vexlar::error(-1, __FILE__, __LINE__, "test", ""); }
inline void resetErrors() { vexlar::error(-4, __FILE__, __LINE__, "reset count", ""); }

inline std::string readAll(FILE* f)
{
    std::string s;
    rewind(f);
    for (int c; (c = fgetc(f)) != EOF;) s += (char)c;
    return s;
}

inline void writeFile(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

class TokenFile : public ::testing::Test {
protected:
    ScratchDir scratch;   // the test's own folder, so that copies of the suite may run at once
    std::string path = scratch.file("input.txt");
    FILE* log = nullptr;
    FILE* savedLog = nullptr;
    FILE** savedLogP = nullptr;

    void SetUp() override
    {
        log = tmpfile();
        savedLog = vexlar::_ulog;
        savedLogP = vexlar::_errorLogFileP;
        vexlar::_ulog = log;
        vexlar::_errorLogFileP = &vexlar::_ulog;
        resetErrors();
    }
    void open(const std::string& text)
    {
        writeFile(path, text);
        ASSERT_EQ(vexlar::nxtopen(path.c_str(), __FILE__, __LINE__), 0);
        resetErrors();
    }
    std::string logText() { return readAll(log); }
    template <class F> std::string stderrOf(F f)
    {
        testing::internal::CaptureStderr();
        f();
        return testing::internal::GetCapturedStderr();
    }
    void TearDown() override
    {
        vexlar::nxtclose();
        vexlar::_echo = 0;
        vexlar::_ulog = savedLog;
        vexlar::_errorLogFileP = savedLogP;
        fclose(log);
        remove(path.c_str());
        resetErrors();
    }
};

}  // namespace vexlar_test
