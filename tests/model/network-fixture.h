// Test support for the network build: a small project model made in memory (levels,
// zones, junctions, paths, duct segments, elements, sources, controls), the pools and
// project globals reset around each test, and the log of the run kept in a temporary file.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/elements.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/schedules.h"
#include "model/source-lists.h"
#include "model/sts-links.h"

namespace vexlar {
namespace testnet {

class NetworkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        _ms = alc_eci(32000, "ms-block");
        _mb = alc_eci(8000, "mb-block");
        clear_globals();
        _rcdat.abscnvg = 1e-5f;
        _rcdat.list = _list = 1;
        _wthdat.Tambt = 283.15f;
        _wthdat.Pbar = 101325.0;
        _wthdat.day_type = 1;
        level(0.0f);
        _ulog = std::tmpfile();
        _errorLogFileP = &_ulog;
        error(-2, __FILE__, __LINE__, "reset count", "");
    }

    void TearDown() override
    {
        for (Cd1Zone* c = _cdzn0; c;) {
            Cd1Zone* next = c->next;
            fre_e(c->cells, c->cell_count * sizeof(ZoneCell), "cdcVec");
            fre_e(c, sizeof(Cd1Zone), "cdzn");
            c = next;
        }
        if (_CtrlLogs)
            _CtrlLogs = fre_vT(_CtrlLogs, 0, _nlogc - 1, "CtrlLogs");
        EnvLists_free();
        PLDlist(0);
        _errorLogFileP = nullptr;
        std::fclose(_ulog);
        _ulog = nullptr;
        _ms = fre_ec(_ms, "ms-block");
        _mb = fre_ec(_mb, "mb-block");
        clear_globals();
        error(-2, __FILE__, __LINE__, "reset count", "");
    }

    // ---- project model -------------------------------------------------------------

    template <class T> T* rec(const char* tag) { return alc_ecT<T>(&_ms, tag); }

    LevelRec* level(float ref)
    {
        LevelRec* l = rec<LevelRec>("level");
        l->ref_height = ref;
        l->number = (int)levels.size();
        if (levels.size() > 1)
            levels.back()->next = l;
        levels.push_back(l);
        _Lev0 = levels[1];
        return l;
    }

    ZoneRec* zone(uint16_t flags = 0x03, float volume = 10.0f, float rel_height = 0.0f,
                  LevelRec* lev = nullptr)
    {
        ZoneRec* z = rec<ZoneRec>("zone");
        z->number = (int)zones.size();
        z->flags = flags;
        z->volume = volume;
        z->rel_height = rel_height;
        z->temperature = 293.15f;
        z->level = lev ? lev : levels[1];
        zones.push_back(z);
        return z;
    }

    JunctionRec* junction(ZoneRec* in = &_ambt, int16_t term_type = 0)
    {
        JunctionRec* j = rec<JunctionRec>("jct");
        j->number = (int)jcts.size();
        j->term_type = term_type;
        j->zone = in;
        j->level = levels[1];
        j->temperature = 293.15f;
        j->loss_coef1 = 1.0f;
        j->area = 0.04f;
        j->x = 1.0f;
        jcts.push_back(j);
        return j;
    }

    PathRec* path(ZoneRec* from, ZoneRec* to, AfeRec* e, uint16_t flags = 0)
    {
        PathRec* p = rec<PathRec>("path");
        p->number = (int)paths.size();
        p->from_zone = from;
        p->to_zone = to;
        p->element = e;
        p->flags = flags;
        p->level = levels[1];
        p->multiplier = 1.0f;
        paths.push_back(p);
        return p;
    }

    DuctSegRec* duct(JunctionRec* a, JunctionRec* b, AfeRec* e, float length = 2.0f)
    {
        DuctSegRec* d = rec<DuctSegRec>("jct");
        d->number = (int)ducts.size();
        d->jct_from = a;
        d->jct_to = b;
        d->element = e;
        d->length = length;
        ducts.push_back(d);
        return d;
    }

    // An element of a type with model data zero but for what the tests set: a power law
    // for the path types, a duct with geometry g1..g5 for the duct types.
    AfeRec* element(int type, DuctLine geometry = {0.1f, 0.4f, 0.01f, 0.0f, 0.0f})
    {
        AfeRec* e = rec<AfeRec>("afe");
        e->type = type;
        e->number = type;
        std::snprintf(e->name, sizeof e->name, "elem%d", type);
        if (type == AFE_DCT_DWC) {
            DwcData* d = rec<DwcData>("dwc");
            d->hyd_diameter = geometry.hyd_diameter;
            d->flow_area = geometry.area;
            d->rel_roughness = 0.0001f;
            d->duct = geometry;
            e->model_data = d;
        } else if (type >= AFE_DCT_DWC && type <= AFE_LAST_FILE) {
            DctPlrData* d = rec<DctPlrData>("dct");   // the geometry sits after the model data
            d->duct = geometry;
            e->model_data = duct_block(type, d);
        } else {
            e->model_data = rec<FanData>("plr");
        }
        return e;
    }

    // Publishes the model into the reader's index arrays and counts.
    void publish()
    {
        _ZoneList = zones.data();
        _nzone = (int)zones.size() - 1;
        _JctList = jcts.data();
        _njct = (int)jcts.size() - 1;
        _PathList = paths.data();
        _npath = (int)paths.size() - 1;
        _DctList = ducts.data();
        _ndct = (int)ducts.size() - 1;
        _LevList = levels.data();
        _nlev = (int)levels.size() - 1;
        _CtrlList = ctrls.data();
        _nctrl = (int)ctrls.size() - 1;
        _AhsList = systems.data();
        _nahs = (int)systems.size() - 1;
        _PexpList = occupants.data();
        _npexp = (int)occupants.size() - 1;
        _DschList = dschs.data();
        _ndsch = (int)dschs.size() - 1;
        _WschList = wschs.data();
        _nwsch = (int)wschs.size() - 1;
    }

    // Species: n of them, the first nontrace of them non-trace; _MfZ and _MfJ as the
    // reader leaves them (every zone and junction block filled with `mf`).
    void species(int n, int nontrace = 0, double mf = 0.0)
    {
        _nctm = n;
        _nntc = nontrace;
        _ctm = static_cast<SpeciesRec*>(alc_ec(&_ms, (n > 0 ? n : 1) * sizeof(SpeciesRec), "ctm"));
        rs.assign(n, 287.055);
        cp.assign(n, 1003.5);
        _Rs = rs.data();
        _Cp = cp.data();
        for (int k = 0; k < n; k++) {
            std::snprintf(_ctm[k].name, sizeof _ctm[k].name, "ctm%d", k);
            _ctm[k].non_trace = k < nontrace;
            _ctm[k].default_conc = (float)mf;
        }
        int nz = (int)zones.size(), nj = (int)jcts.size() - 1;
        mfz.assign((size_t)n * nz, mf);
        mfzi.assign((size_t)n * nz, mf);
        mfj.assign((size_t)n * (nj > 0 ? nj : 1), mf);
        mfji.assign(mfj.size(), mf);
        _MfZ = mfz.data();
        _MfZi = mfzi.data();
        _MfJ = mfj.data();
        _MfJi = mfji.data();
    }

    CtrlNode* control(int type, int sequence, int in1 = 0, int in2 = 0, void* data = nullptr)
    {
        CtrlNode* c = rec<CtrlNode>("ctrl");
        c->number = (int)ctrls.size();
        c->type = (int16_t)type;
        c->sequence = sequence;
        c->in1_number = in1;
        c->in2_number = in2;
        c->data = data;
        ctrls.push_back(c);
        return c;
    }

    CtrlNode* sensor(int kind, int number, int measure, int species_index = 0)
    {
        SensorData* s = rec<SensorData>("sns");
        s->sensed_kind = (int16_t)kind;
        s->sensed_number = number;
        s->measure = (int16_t)measure;
        s->species = (int16_t)species_index;
        return control(CT_SNS, (int)ctrls.size(), 0, 0, s);
    }

    // A source of the element type in zone z, pushed on _Css0 as the reader does.
    CssRec* source(int cse_type, ZoneRec* z, float multiplier, int species_index = 0,
                   float p2 = 1.0f)
    {
        CseRec* e = rec<CseRec>("cse");
        e->type = cse_type;
        e->species = species_index;
        float* p = static_cast<float*>(alc_ec(&_ms, 4 * sizeof(float), "cse-data"));
        p[0] = p[1] = p[3] = 1.0f;
        p[2] = p2;
        e->model_data = p;
        CssRec* s = rec<CssRec>("css");
        s->cse = e;
        s->zone_number = z->number;
        s->multiplier = multiplier;
        s->number = ++sources;
        s->value_ptr = &_one;
        s->next = _Css0;
        _Css0 = s;
        return s;
    }

    // The log of the run so far (also what a child of a death test wrote to it).
    std::string log_text()
    {
        std::fflush(_ulog);
        std::fseek(_ulog, 0, SEEK_END);
        long end = std::ftell(_ulog);
        std::string s((size_t)end, '\0');
        std::rewind(_ulog);
        size_t got = std::fread(&s[0], 1, (size_t)end, _ulog);
        s.resize(got);
        std::fseek(_ulog, 0, SEEK_END);
        return s;
    }

    AirNode* node(int index)
    {
        AirNode* n = _afnd0;
        while (n && n->index != index) n = n->next;
        return n;
    }
    AirPath* airpath(int index)
    {
        AirPath* p = _pafp0;
        while (p && p->index != index) p = p->next;
        return p;
    }

    std::vector<LevelRec*> levels{nullptr};
    std::vector<ZoneRec*> zones{nullptr};
    std::vector<JunctionRec*> jcts{nullptr};
    std::vector<PathRec*> paths{nullptr};
    std::vector<DuctSegRec*> ducts{nullptr};
    std::vector<CtrlNode*> ctrls{nullptr};
    std::vector<AhsRec*> systems{nullptr};
    std::vector<ExposureRec*> occupants{nullptr};
    std::vector<DaySchedRec*> dschs{nullptr};
    std::vector<WeekSchedRec*> wschs{nullptr};

private:
    // The same geometry placed after the model values of each duct type.
    void* duct_block(int type, DctPlrData* plr)
    {
        DuctLine g = plr->duct;
        switch (type) {
        case AFE_DCT_PLR: return plr;
        case AFE_DCT_FCN: case AFE_DCT_QCN: { auto* d = rec<DctPlr3Data>("dct"); d->duct = g; return d; }
        case AFE_DCT_FAN: { auto* d = rec<DctFanData>("dct"); d->duct = g; return d; }
        case AFE_DCT_CMF: case AFE_DCT_CVF: { auto* d = rec<DctConstFlowData>("dct"); d->duct = g; return d; }
        case AFE_DCT_BDQ: case AFE_DCT_BDF: { auto* d = rec<DctBdData>("dct"); d->duct = g; return d; }
        default: { auto* d = rec<DctCsfData>("dct"); d->duct = g; return d; }
        }
    }

    void clear_globals()
    {
        _rcdat = RunControlData{};
        _wthdat = WeatherData{};
        _ambt = ZoneRec{};
        _ZoneList = nullptr; _nzone = 0; _JctList = nullptr; _njct = 0;
        _PathList = nullptr; _npath = 0; _DctList = nullptr; _ndct = 0;
        _LevList = nullptr; _nlev = 0; _Lev0 = nullptr;
        _CtrlList = nullptr; _nctrl = 0; _Ctrl0 = nullptr; _nlogc = 0;
        _AhsList = nullptr; _nahs = 0; _PexpList = nullptr; _npexp = 0;
        _OschList = nullptr; _nosch = 0; _Pxs0 = nullptr; _Css0 = nullptr; _ncss = 0;
        _DschList = nullptr; _ndsch = 0; _WschList = nullptr; _nwsch = 0;
        _nctm = _nntc = 0; _ctm = nullptr; _Rs = _Cp = nullptr;
        _MfZ = _MfZi = _MfJ = _MfJi = nullptr;
        _afnd0 = _pambt = nullptr; _pafp0 = nullptr; _nafnd = _nafpt = 0;
        _jctn0 = nullptr; _cdzn0 = nullptr; _duct0 = nullptr; _term0 = _leak0 = nullptr;
        _useWPC = _useWPCwp = _useWPCmf = 0;
        _sim_af_dyn = 0;
        _cvfNumNames = _dvfNumNames = 0; _cvfNames = _dvfNames = nullptr;
        _cvfVals[0] = _cvfVals[1] = _cvfVals[2] = nullptr; _dvfVals = nullptr;
        _CtrlLogs = nullptr;
        srcl_clear();
        std::strcpy(_WTHfile, "weather.wth");
        std::strcpy(_CTMfile, "ambient.ctm");
    }

    int sources = 0;

protected:
    std::vector<double> rs, cp, mfz, mfzi, mfj, mfji;   // the species tables behind _Rs, _MfZ, ...
};

}  // namespace testnet
}  // namespace vexlar
