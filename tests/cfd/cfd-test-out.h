// Result-file tests of the CFD zone: the zone's files are named into the test's own scratch
// folder, and a file is read back whole.
#pragma once
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "cfd/cfd-int.h"
#include "tests/scratch-dir.h"

namespace vexlar_test {

// Names the zone's files <dir>/zone.* in the test's scratch folder, which the fixture holds
// and removes; returns the folder without its closing separator.
inline std::string cfd_test_out_dir(const ScratchDir& scratch)
{
    std::string dir = scratch.path();
    if (!dir.empty()) dir.pop_back();
    snprintf(vexlar::_cfdpdir, sizeof vexlar::_cfdpdir, "%s/", dir.c_str());
    strcpy(vexlar::_cfdpname, "zone");
    vexlar::_cfdpdrive[0] = 0;
    return dir;
}

inline std::string cfd_test_slurp(const std::string& path)
{
    std::string s;
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) s.append(buf, n);
        fclose(f);
    }
    return s;
}

// The item of type T at byte offset off of a binary file's contents.
template <class T> T cfd_test_at(const std::string& s, size_t off)
{
    T v{};
    if (off + sizeof v <= s.size()) memcpy(&v, s.data() + off, sizeof v);
    return v;
}

}  // namespace vexlar_test
