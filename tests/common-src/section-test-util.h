// Test support for the section readers and numerical set-up: captures the engine's
// messages instead of printing them, feeds project text to the token stream from a
// temporary file, and gives each test fresh pools and cleared project globals.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/tokens.h"

namespace vexlar {
namespace testutil {

struct Message {
    std::string head;
    std::string text;   // as shown: one leading blank, ending in a line feed
};

// Collects every message while alive and resets the ERROR count on entry and exit.
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

}  // namespace testutil
}  // namespace vexlar
