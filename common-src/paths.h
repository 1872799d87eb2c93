// File names as four parts (drive, directory, name, extension) with bounded buffers, the
// project path parts every result file is named from, and a few small file and timing
// utilities. main splits the project path once; the log and every result file are then
// named by joining those parts with an extension of their own.
#pragma once
#include <cstdio>

namespace vexlar {

extern char _dirchr;            // directory separator of the paths in use, '/' at start
extern char _pdrive[4];         // project path parts, filled by main
extern char _pdir[4096];
extern char _prjname[255];
extern char _pext[8];
extern char _file_name[4096];   // shared buffer for file names built from the parts

void pathsplit(const char* path, char* drive, int drivelen, char* dir, int dirlen,
               char* name, int namelen, char* ext, int extlen);
void pathmerge(char* out, int outlen, const char* drive, const char* dir, const char* name,
               const char* ext);
// The file a name read from the project stands for: an absolute name as it is, a relative
// one in the project's own directory (the drive and directory parts), where the results go.
void inputFilePath(char* out, int outlen, const char* name);
void convertDirChars(char* path);
void setDirChar(char c);
FILE* openFile(const char* path, const char* mode);
// Flushes and closes f: 0 when every byte written reached the file; otherwise 1, with
// *reason the system's reason (as strerror gives it) for the write that failed.
int closeWholeFile(FILE* f, const char** reason);
// Passes over a UTF-8 byte-order mark at the reading position of a text input just opened
// (what common editors put before the first line), so that its first word reads as written.
// Returns 1 when there was one; otherwise the stream stands where it stood.
int skipByteOrderMark(FILE* f);
// Opens the file for writing, emptied, once this process holds the system's advisory lock
// on it for as long as the stream stays open; the system lets the lock go when the process
// ends, however it ends. Returns null when it cannot be opened (errno says why) or when
// another process holds the lock: *holder is then that process's id (-1 when unknown),
// else 0.
FILE* openFileLocked(const char* path, long* holder);
// Removes a result file of a run: a file (or a link, the link itself) goes, and a name
// with nothing behind it is no fault. A folder, or anything else that is not a file, is
// never removed: it stays, with an ERROR that names it.
void removeResultPath(const char* path);
int fileCopy(const char* src, const char* dst, FILE* trace);
float cputime(float start);
void ptr_xchg(void** a, void** b);

}  // namespace vexlar
