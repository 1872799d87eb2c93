// Writes CFD zone input files for the tests: a builder that keeps the positional layout
// (label lines before each item's values, the rest of a value line counting as the first
// label of the next item), and a complete valid file whose items a test can change.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cfd/cfd.h"

namespace vexlar_test {

class CfdText {
public:
    // Label lines, then a value line left open (the next item's first skip ends it).
    void values(int skip, const std::string& v)
    {
        labels(skip);
        s_ += v;
        mid_ = true;
    }
    void skipOnly(int skip)
    {
        labels(skip);
        mid_ = false;
    }
    void line(const std::string& l)   // a whole line read as such (title, names)
    {
        if (mid_) s_ += "\n";
        s_ += l + "\n";
        mid_ = false;
    }
    // An opening: two skipped lines, the name, three label + "i1,i2" lines, one more line.
    void opening(const std::string& name, const std::string pairs[3])
    {
        skipOnly(2);
        line(name);
        for (int a = 0; a < 3; a++) line("! range"), line(pairs[a]);
        line("! end");
    }
    // A block: two skipped lines, the name, three label + pair lines, a label, the kind.
    void block(const std::string& name, const std::string pairs[3], const std::string& kind)
    {
        skipOnly(2);
        line(name);
        for (int a = 0; a < 3; a++) line("! range"), line(pairs[a]);
        values(1, kind);
    }
    // A wall: four skipped lines, three pair lines each followed by a label, the value.
    void wall(const std::string pairs[3], const std::string& value)
    {
        skipOnly(4);
        for (int a = 0; a < 3; a++) line(pairs[a]), line("! label");
        s_ += value;
        mid_ = true;
    }
    std::string str() const { return s_ + "\n"; }

private:
    void labels(int n)
    {
        if (mid_) s_ += "\n", n--;
        for (int l = 0; l < n; l++) s_ += "! label " + std::to_string(++count_) + "\n";
    }
    std::string s_;
    bool mid_ = false;
    int count_ = 0;
};

struct CfdOpening { std::string name, pairs[3]; };
struct CfdBlock { std::string name, pairs[3], kind; };
struct CfdWall { std::string pairs[3], value; };

// The items of a valid input file for a 4 x 3 x 2 grid; tests change what they exercise.
struct CfdFile {
    std::string title = "Office 'east' \"zone\"";
    std::string times = "30,3600,0.001,50,5,1,1", energy = "1", crite = "0.001,500";
    std::string lamin = "False", itur = "0", domain = "2.0,1.5,1.0", cells = "4,3,2";
    std::string dx = "0.25 0.5\n0.75 0.5", dy = "0.5 0.5 0.5", dz = "0.4 0.6";
    std::string counts = "1,1", blockCount;   // blockCount replaces the number of blocks
    std::vector<CfdOpening> inlets = {{"supply", {"1,1", "2,3", "1,2"}}};
    std::vector<CfdOpening> outlets = {{"exhaust", {"4,4", "1,1", "1,1"}}};
    std::vector<CfdBlock> blocks = {{"desk", {"2,3", "2,2", "1,1"}, "1,120"}};
    std::vector<CfdWall> twalls = {{{"1,4", "1,1", "1,2"}, "20"}};
    std::vector<CfdWall> qwalls = {{{"1,4", "1,3", "2,2"}, "50,1\n1,1e-6,0.5"}};
    std::string schemes = "1,1,1,2,2", buoy = "1";
    std::string limits = "-1,1,-2,2,-3,3,10,40";
    std::string urf = "0.5,0.5,0.5,0.3,0.9,0.6,0.6,0.8";
    std::string dt = "1e-1,2e-1,3e-1,4e-1,5e-1,6e-1,7e-1";
    std::string step = "2", stepValues = "50,1e1,2e1,3e1,4e1,5e1,6e1,7e1";
    std::string pintv = "10", mon = "2,3,2", ref = "3,2,2", window = "1,4,1 1,3,2";
    std::string xs = "2,1,3", ys = "0", zs = "1,2";
    std::string switches = "0,0,0", pamb = "101325", anu = "1.5e-5", ak = "0.026";
    std::string acp = "1005", prl = "0.71";

    std::string text() const
    {
        CfdText b;
        b.line(title);
        b.skipOnly(7);
        b.values(3, times);
        b.values(3, energy);
        b.values(6, crite);
        b.values(3, lamin);
        if (lamin[0] == 'F' || lamin[0] == 'f') b.values(3, itur);
        b.values(8, domain);
        b.values(4, cells);
        b.values(4, dx);
        b.values(2, dy);
        b.values(2, dz);
        b.values(3, counts);
        for (const auto& o : inlets) b.opening(o.name, o.pairs);
        for (const auto& o : outlets) b.opening(o.name, o.pairs);
        b.values(3, blockCount.empty() ? std::to_string(blocks.size()) : blockCount);
        for (const auto& k : blocks) b.block(k.name, k.pairs, k.kind);
        b.values(3, std::to_string(twalls.size()));
        for (const auto& w : twalls) b.wall(w.pairs, w.value);
        b.values(3, std::to_string(qwalls.size()));
        for (const auto& w : qwalls) b.wall(w.pairs, w.value);
        b.values(7, schemes);
        b.skipOnly(3);
        b.values(3, buoy);
        b.values(3, limits);
        b.values(3, urf);
        b.values(3, dt);
        b.values(3, step);
        if (step != "0" && step != "F") b.values(3, stepValues);
        b.values(3, pintv);
        b.values(3, mon);
        b.values(3, ref);
        b.values(3, window);
        b.values(3, xs);
        b.values(3, ys);
        b.values(3, zs);
        b.values(3, switches);
        b.values(7, pamb);
        b.skipOnly(4);
        b.values(2, anu);
        b.values(2, ak);
        b.values(2, acp);
        b.values(2, prl);
        return b.str();
    }
};

// A temporary directory holding the zone's files; IN is opened on the .CFD file.
struct CfdZoneDir {
    std::string dir;
    CfdZoneDir()
    {
        vexlar::cfd_reset();
        char tmpl[] = "/tmp/vexlar-cfd-XXXXXX";
        dir = mkdtemp(tmpl);
        vexlar::_cfdpdrive[0] = 0;
        snprintf(vexlar::_cfdpdir, sizeof vexlar::_cfdpdir, "%s/", dir.c_str());
        snprintf(vexlar::_cfdpname, sizeof vexlar::_cfdpname, "zone");
    }
    ~CfdZoneDir()
    {
        if (vexlar::IN) fclose(vexlar::IN), vexlar::IN = nullptr;
        if (vexlar::UCD) fclose(vexlar::UCD), vexlar::UCD = nullptr;
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0) perror("rm");
    }
    void write(const std::string& ext, const std::string& text) const
    {
        FILE* f = fopen((dir + "/zone" + ext).c_str(), "w");
        fputs(text.c_str(), f);
        fclose(f);
    }
    void open(const std::string& cfd)
    {
        write(".CFD", cfd);
        if (vexlar::IN) fclose(vexlar::IN);
        vexlar::IN = fopen((dir + "/zone.CFD").c_str(), "r");
    }
};

}  // namespace vexlar_test
