// A folder of the running test's own in the temporary directory, for every file a test
// writes: its name shows the test, and mkdtemp keeps it apart from every other test and
// from a second copy of the suite running at the same time. Removed with all in it.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <system_error>

namespace vexlar_test {

// Makes the folder; returns its path ending in '/', or "" (with a failure) when it cannot.
inline std::string makeScratchDir()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "-" + info->name() : "test";
    for (char& c : name)
        if (!isalnum((unsigned char)c)) c = '_';
    std::string tmpl = ::testing::TempDir() + "vexlar-" + name + "-XXXXXX";
    if (!mkdtemp(&tmpl[0])) {
        ADD_FAILURE() << "cannot make the scratch folder " << tmpl;
        return "";
    }
    return tmpl + "/";
}

inline void removeScratchDir(const std::string& dir)
{
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
}

// The folder for the lifetime of the object: made on construction, removed on destruction.
class ScratchDir {
public:
    ScratchDir() : dir_(makeScratchDir()) {}
    ~ScratchDir() { removeScratchDir(dir_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::string& path() const { return dir_; }   // ends in '/'
    std::string file(const std::string& name) const { return dir_ + name; }

private:
    std::string dir_;
};

}  // namespace vexlar_test
