// The project-file reader: prj_read reads the header and every section in file order into
// the shared project model, checking each record number and cross-reference. The section
// frame helpers below are shared by all section readers: a count, records numbered 1..n,
// and the end word "-999".
#pragma once
#include <cstdint>

#include "common-src/memory.h"
#include "model/prj-records.h"

namespace vexlar {

// Reads the project file; 0 when it was read without an ERROR, 1 when it could not be
// opened or its header was rejected. ERRORs in the sections end the run with a FATAL.
int prj_read(const char* path);
int run_read();

// ---- Section frame -----------------------------------------------------------------------

// The current ERROR count (nonzero: stop reading records and sections).
int prj_errors();
// Where the reader stands, named in the line that follows every ERROR of prj_read: a
// section (its record and field cleared), a record of it, a field of the record (null:
// none known).
void prj_enter_section(const char* section);
void prj_at_record(int k);
void prj_at_field(const char* field);
// 1 when n items of at least one word each can still follow in the file (or its size is
// not known): a count beyond that is corrupt, and nothing is sized by it.
int prj_count_fits(int n);
// 1 while a loop over the items of a record may go on: no ERROR counted, file not ended.
int prj_more();
// The record count of a section, the first word of a new line; a negative count, or one
// larger than the rest of the file can hold, is an ERROR and gives 0.
int prj_section_count(const char* section);
// Reads a record number (first word of a new line) and checks it against the position k:
// 0 when equal, else ERROR with the mis-match message followed by k, the number expected,
// and the number found (one ERROR only for a word that is no number), and 1.
int prj_record_number(int k, const char* mismatch);
// Reads the end word (first word of a new line): "-999" logs "<name> section read
// successfully."; anything else is the "PRJ read error in <name> section; ..." ERROR with
// the count and what stands there, unless an ERROR inside the section stopped its reading
// (it has said what is wrong). Returns 0 or 1.
int prj_section_end(const char* section);
// The same with a different name in the success line (the species section).
int prj_section_end2(const char* ok_name, const char* err_name);
// Reads records 1..n: each record number is checked, then read_record(k, ctx) reads the rest
// of the record; the loop stops at a wrong number, and after the first record that leaves
// an ERROR counted.
typedef void (*PRJ_RECORD_FN)(int k, void* ctx);
void prj_read_records(int n, const char* mismatch, PRJ_RECORD_FN read_record, void* ctx);
// Skips a whole section: lines up to one whose first four characters are "-999".
void skip_data();

// Reads a name word of at most len - 1 characters into name.
void prj_read_name(char* name, int len);
// Skips the rest of the current line and reads the next whole line (a description).
void prj_skip_description();
// Checks a reference read from the file, lo <= value <= hi: 0 when valid, else ERROR with
// the message followed by the record number k, and 1.
int prj_ref(int value, int lo, int hi, const char* message, int k);

// The record a checked reference names: null for 0 (when lo is 0), list[n] for 1..count;
// anything else is the ERROR "message k" and null.
template <class T> T* prj_pick(T** list, int n, int lo, int count, const char* message, int k)
{
    if (prj_ref(n, lo, count, message, k) || n == 0) return nullptr;
    return list[n];
}
// A value-file binding: the type (16-bit) and, for types 1 and 2, the column name.
void prj_read_value_file(int16_t* type, char* name);
// Skips the extra line that Trelbo files carry after some records.
void prj_skip_trelbo_line();

// 1-based index arrays of the sections: allocated only for counts above 0.
void** prj_list_alc(int n, const char* tag);
void** prj_list_fre(void** list, int n, const char* tag);
template <class T> T** prj_list(int n, const char* tag)
{ return reinterpret_cast<T**>(prj_list_alc(n, tag)); }
template <class T> T** prj_list_free(T** list, int n, const char* tag)
{ return reinterpret_cast<T**>(prj_list_fre(reinterpret_cast<void**>(list), n, tag)); }

// ---- Sections read here --------------------------------------------------------------------

// Control kinds: the keyword table (ended by an empty name) and the parallel table of
// signal functions, both indexed by CtrlType.
extern const char* const _ctrl_names[CT_NTYPES + 1];
extern const CTRL_SIGNAL_FN _pfcs[CT_NTYPES];

int ctrl_read();
int ahs_read();
int zone_read();
int zone_cc_read();
int path_read();
int jct_read();
int duct_read();
int css_read();
int osch_read();
int pexp_read();
int note_read();
// Copies a source/sink instance into a new record at the head of _Css0.
CssRec* copyCssToLinkedList(const CssRec* tmpl);
void prj_read_free_comp_lists();
void prj_read_free_element_lists();

}  // namespace vexlar
