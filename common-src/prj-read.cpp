// The project-file reader's frame: the header, the order of the sections, the Run Control
// section, and the helpers every section reader shares (counts, record numbers, the end
// word, index arrays). A fault is a counted ERROR; reading stops after the record that
// raised it and no later section is read.
#include "common-src/prj-read.h"

#include <cstring>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/tokens.h"

namespace vexlar {

int prj_errors() { return error(-1, __FILE__, __LINE__, "test", ""); }

int prj_section_count(const char* section)
{
    int n = readIX(1);
    if (n < 0) {
        error(ERROR, __FILE__, __LINE__, "Negative record count in ", section, " section: ",
              intstr(n), "");
        return 0;
    }
    return n;
}

int prj_record_number(int k, const char* mismatch)
{
    if (readIX(1) == k) return 0;
    error(ERROR, __FILE__, __LINE__, mismatch, intstr(k), "");
    return 1;
}

int prj_section_end2(const char* ok_name, const char* err_name)
{
    if ((int16_t)readI2(1) == -999) {
        if (_ulog) {
            fprintf(_ulog, "%s section read successfully.\n", ok_name);
            fflush(_ulog);
        }
        return 0;
    }
    errorf(ERROR, __FILE__, __LINE__,
           "PRJ read error in %s section; enable the echo feature then see Log file for "
           "where error occurred",
           err_name);
    return 1;
}

int prj_section_end(const char* section) { return prj_section_end2(section, section); }

void prj_read_records(int n, const char* mismatch, PRJ_RECORD_FN read_record, void* ctx)
{
    for (int k = 1; k <= n; k++) {
        prj_record_number(k, mismatch);
        read_record(k, ctx);
        if (prj_errors()) break;
    }
}

void skip_data()
{
    while (nxtwrd(_string, NXT_LINE, sizeof _string))
        if (strncmp(_string, "-999", 4) == 0) break;
}

void prj_read_name(char* name, int len) { nxtwrd(name, NXT_WORD, len); }

void prj_skip_description() { nxtwrd(_string, NXT_LINE, sizeof _string); }

int prj_ref(int value, int lo, int hi, const char* message, int k)
{
    if (value >= lo && value <= hi) return 0;
    error(ERROR, __FILE__, __LINE__, message, intstr(k), "");
    return 1;
}

void** prj_list_alc(int n, const char* tag)
{
    return n > 0 ? static_cast<void**>(alc_v(1, n, sizeof(void*), tag)) : nullptr;
}

void** prj_list_fre(void** list, int n, const char* tag)
{
    if (list && n > 0) fre_v(list, 1, n, sizeof(void*), tag);
    return nullptr;
}

}  // namespace vexlar
