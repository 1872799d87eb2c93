// What the short-time-step tests share: the log in a temporary file, read back whole, and a
// memory pool of the test's own, from which the set-up takes its cells and which goes with
// the test (the pool of whoever ran before is put back).
#pragma once

#include <cstdio>
#include <string>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "contaminant/sts-init.h"
#include "model/network.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/source-lists.h"
#include "model/sts-links.h"

namespace vexlar_test {

inline std::string readLog()
{
    std::string s;
    rewind(vexlar::_ulog);
    for (int c; (c = fgetc(vexlar::_ulog)) != EOF;) s += (char)c;
    return s;
}

class StsScratch {
public:
    void open()
    {
        vexlar::_ulog = tmpfile();
        vexlar::_list = 0;   // the logs the tests expect are those of the least detail
        // The set-up walks these lists: each test links in only what it makes itself.
        vexlar::_Css0 = nullptr;
        vexlar::srcl_clear();
        vexlar::_Ctrl0 = nullptr;
        vexlar::_jctn0 = nullptr;
        vexlar::_duct0 = nullptr;
        vexlar::_cdzn0 = nullptr;
        saved_ms_ = vexlar::_ms;
        vexlar::_ms = vexlar::alc_eci(32000, "ms");
    }
    // Frees the set-up's arrays first (they point into the pool); `zones` false when the
    // test's zone records live on its own stack and only the sums were built from the pool.
    void close(bool zones = true)
    {
        if (zones) vexlar::fre_1DCD();
        vexlar::fre_STSsums();
        if (zones) vexlar::fre_Znode();
        vexlar::_ms = vexlar::fre_ec(vexlar::_ms, "ms");
        vexlar::_ms = saved_ms_;
        fclose(vexlar::_ulog);
        vexlar::_ulog = nullptr;
    }

private:
    vexlar::MemBlock* saved_ms_ = nullptr;
};

}  // namespace vexlar_test
