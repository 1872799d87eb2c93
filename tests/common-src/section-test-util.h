// Test support for the section readers and numerical set-up: captures the engine's
// messages instead of printing them, feeds project text to the token stream from a
// temporary file, and gives each test fresh pools and cleared project globals.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <memory>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/prj-read.h"
#include "common-src/tokens.h"
#include "model/elements.h"
#include "model/schedules.h"
#include "model/prj-common.h"
#include "model/prj-records.h"
#include "model/run-control.h"

namespace vexlar {
namespace testutil {

struct Message {
    std::string head;
    std::string text;   // as shown: one leading blank, ending in a line feed
};

// Collects every message while alive and resets the ERROR count on entry and exit.
// Releases what reading a project leaves: the index lists, the initial mass fractions of
// zones and junctions, and both pools.
inline void releaseProjectModel()
{
    prj_read_free_comp_lists();
    prj_read_free_element_lists();
    // The engine keeps the counts for its reports; no list is left to count here.
    _npexp = _ndct = _njct = _nzone = _npath = _nfilt = _nahs = _nctrl = 0;
    _nlev = _ndsch = _nwsch = _nwpf = _nkinr = _nflte = _ncse = _nafe = _ndfe = _nosch = 0;
    if (_MfZ) _MfZ = fre_vT(_MfZ, 0, _nZctm - 1, "MfZ");
    if (_MfZi) _MfZi = fre_vT(_MfZi, 0, _nZctm - 1, "MfZi");
    if (_MfJ) _MfJ = fre_vT(_MfJ, 0, _nJctm - 1, "MfJ");
    if (_MfJi) _MfJi = fre_vT(_MfJi, 0, _nJctm - 1, "MfJi");
    _nZctm = _nJctm = 0;
    _ms = fre_ec(_ms, "ms-block");
    _mb = fre_ec(_mb, "mb-block");
}

class MessageCapture {
public:
    MessageCapture()
    {
        messages().clear();
        error(-2, __FILE__, __LINE__, "");
        _errorAuxFcnP = &MessageCapture::sink;
    }
    ~MessageCapture()
    {
        _errorAuxFcnP = nullptr;
        error(-2, __FILE__, __LINE__, "");
    }
    const std::vector<Message>& all() const { return messages(); }
    int errors() const { return error(-1, __FILE__, __LINE__, ""); }
    int count(const char* head) const
    {
        int n = 0;
        for (const Message& m : messages()) n += m.head == head;
        return n;
    }
    // True when a message of the level holds the text.
    bool has(const char* head, const std::string& text) const
    {
        for (const Message& m : messages())
            if (m.head == head && m.text.find(text) != std::string::npos) return true;
        return false;
    }
    std::string dump() const
    {
        std::string s;
        for (const Message& m : messages()) s += m.head + ":" + m.text;
        return s;
    }

private:
    static std::vector<Message>& messages()
    {
        static std::vector<Message> m;
        return m;
    }
    static void sink(const char* head, const char* text, int*)
    {
        messages().push_back({head, text});
    }
};

// Writes text to a temporary file and opens it as the token stream.
class TokenInput {
public:
    explicit TokenInput(const std::string& text)
    {
        char tmpl[] = "/tmp/vexlar-section-XXXXXX";
        int fd = mkstemp(tmpl);
        path_ = tmpl;
        FILE* f = fdopen(fd, "w");
        fputs(text.c_str(), f);
        fclose(f);
        EXPECT_EQ(0, nxtopen(path_.c_str(), __FILE__, __LINE__));
    }
    ~TokenInput()
    {
        if (_unxt) nxtclose();
        remove(path_.c_str());
    }
    // The next word left on the stream (empty at the end).
    std::string next_word()
    {
        char buf[256] = "";
        return nxtwrd(buf, NXT_WORD, sizeof buf) ? buf : "";
    }

private:
    std::string path_;
};

// A persistent-style pool for the records a test reads; released with everything in it.
class Pool {
public:
    Pool() : pool_(alc_eci(32000, "test-pool")) {}
    ~Pool() { fre_ec(pool_, "test-pool"); }
    MemBlock** get() { return &pool_; }

private:
    MemBlock* pool_;
};

// A section reader test: messages captured, the log in a temporary file, a pool for the
// records, and every index list the readers allocate released at the end.
class SectionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        log_ = tmpfile();
        _ulog = log_;
        prjType = 0;   // the records are those of a VexlarW file
    }
    void TearDown() override
    {
        input_.reset();
        free_lists();
        _ulog = nullptr;
        fclose(log_);
    }
    // Opens text as the token stream, placed after the end line of a previous section as
    // in a project file (a section's first read skips to the next line).
    void input(const std::string& text)
    {
        input_ = std::make_unique<TokenInput>("-999\n" + text);
    }
    std::string next_word() { return input_->next_word(); }
    std::string log()
    {
        fflush(log_);
        std::string s;
        rewind(log_);
        for (int c; (c = fgetc(log_)) != EOF;) s += (char)c;
        return s;
    }
    // Simulated species by name, for the sections that look names up.
    void species(std::vector<std::string> names, std::vector<float> diameters = {})
    {
        species_.assign(names.size(), SpeciesRec{});
        for (size_t i = 0; i < names.size(); ++i) {
            snprintf(species_[i].name, sizeof species_[i].name, "%s", names[i].c_str());
            species_[i].mean_diameter = i < diameters.size() ? diameters[i] : 0.0f;
            species_[i].number = (int16_t)(i + 1);
        }
        _ctm = species_.data();
        _nctm = (int)names.size();
    }

    MessageCapture msgs;
    Pool pool;

private:
    template <class T> static void release(T**& list, int& n, const char* tag)
    {
        list = prj_list_free(list, n, tag);
        n = 0;
    }
    void free_lists()
    {
        release(_LevList, _nlev, "LevLst");
        release(_DschList, _ndsch, "DshLst");
        release(_WschList, _nwsch, "WshLst");
        release(_WpfList, _nwpf, "WpfLst");
        release(_KinrList, _nkinr, "KnrLst");
        release(_FlteList, _nflte, "FlteLst");
        release(_FiltList, _nfilt, "FltLst");
        release(_CseList, _ncse, "CseLst");
        release(_AfeList, _nafe, "AfeLst");
        release(_DfeList, _ndfe, "DfeLst");
        _ctm = nullptr;
        _nctm = _nntc = 0;
        _Rs = _Cp = nullptr;
        _penf = nullptr;
        _Lev0 = _LevH = nullptr;
    }

    FILE* log_ = nullptr;
    std::unique_ptr<TokenInput> input_;
    std::vector<SpeciesRec> species_;
};

}  // namespace testutil
}  // namespace vexlar
