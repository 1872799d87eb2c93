// Splitting and joining of file paths and the small file utilities beside them. Both
// separators are recognised when splitting; joining writes the one the last split path
// used, so names read from a project written on another system still open here. Every
// copy into a caller's buffer is bounded and an overrun is reported, never overflowed.
#include "common-src/paths.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common-src/messages.h"

namespace vexlar {

char _dirchr = '/';
char _pdrive[4];
char _pdir[4096];
char _prjname[255];
char _pext[8];
char _file_name[4096];

// Copies n characters of src into buf (of buflen bytes) and terminates it. When they do
// not fit, keeps buflen - 1 of them and reports the overrun; returns nonzero then.
static int copyPart(char* buf, int buflen, const char* src, size_t n, const char* overrun)
{
    if (!buf || buflen <= 0) return 0;
    int cut = 0;
    if (n >= (size_t)buflen) {
        errorMinimal(ERROR, overrun);
        n = (size_t)buflen - 1;
        cut = 1;
    }
    memcpy(buf, src, n);
    buf[n] = '\0';
    return cut;
}

static const char* lastOf(const char* s, size_t n, char c)
{
    const char* last = nullptr;
    for (size_t i = 0; i < n; i++)
        if (s[i] == c) last = s + i;
    return last;
}

void pathsplit(const char* path, char* drive, int drivelen, char* dir, int dirlen,
               char* name, int namelen, char* ext, int extlen)
{
    if (drive && drivelen > 0) drive[0] = '\0';
    if (!path) path = "";
    if (path[0] != '\0' && path[1] == ':') {
        if (drive && drivelen > 2) copyPart(drive, drivelen, path, 2, "");
        else if (drive) errorMinimal(ERROR, "pathsplit: file drive overrun");
        path += 2;
    }
    const char* file = path;
    const char* sep = strpbrk(path, "/\\");
    if (sep) {
        _dirchr = *sep;
        file = strrchr(path, _dirchr) + 1;
    }
    copyPart(dir, dirlen, path, (size_t)(file - path), "pathsplit: file path overrun");
    size_t flen = strlen(file);
    const char* dot = lastOf(file, flen, '.');
    size_t nlen = dot ? (size_t)(dot - file) : flen;
    copyPart(name, namelen, file, nlen, "pathsplit: file name overrun");
    copyPart(ext, extlen, file + nlen, flen - nlen, "pathsplit: file extension overrun");
}

// Bounded appender for pathmerge: keeps one byte for the terminator and remembers
// whether anything was dropped.
struct PathBuf {
    char* out;
    int len;
    int pos;
    int overrun;
    void put(char c)
    {
        if (pos < len - 1) out[pos++] = c;
        else overrun = 1;
    }
    void puts(const char* s)
    {
        for (; s && *s; s++) put(*s);
    }
};

void pathmerge(char* out, int outlen, const char* drive, const char* dir, const char* name,
               const char* ext)
{
    if (!out || outlen <= 0) return;
    PathBuf b{out, outlen, 0, 0};
    b.puts(drive);
    if (dir && dir[0] != '\0') {
        b.puts(dir);
        if (dir[strlen(dir) - 1] != _dirchr) b.put(_dirchr);
    }
    b.puts(name);
    if (ext && ext[0] != '\0') {
        if (ext[0] != '.') b.put('.');
        b.puts(ext);
    }
    out[b.pos] = '\0';
    if (b.overrun) errorMinimal(ERROR, "PathMerge: fullpath overrun");
}

void inputFilePath(char* out, int outlen, const char* name)
{
    int absolute = name[0] == '/' || name[0] == '\\' || (name[0] != '\0' && name[1] == ':');
    if (absolute) pathmerge(out, outlen, nullptr, nullptr, name, nullptr);
    else pathmerge(out, outlen, _pdrive, _pdir, name, nullptr);
}

void convertDirChars(char* path)
{
    char from;
    if (_dirchr == '/') from = '\\';
    else if (_dirchr == '\\') from = '/';
    else return;
    for (; path && *path; path++)
        if (*path == from) *path = _dirchr;
}

void setDirChar(char c) { _dirchr = c; }

FILE* openFile(const char* path, const char* mode) { return fopen(path, mode); }

int closeWholeFile(FILE* f, const char** reason)
{
    int earlier = errno;   // what a write refused before now left, when only the error flag tells
    errno = 0;
    int err = 0;
    if (fflush(f) != 0) err = errno ? errno : EIO;
    else if (ferror(f)) err = earlier ? earlier : EIO;
    if (fclose(f) != 0 && !err) err = errno ? errno : EIO;
    *reason = err ? strerror(err) : "";
    return err != 0;
}

int skipByteOrderMark(FILE* f)
{
    static const int mark[3] = {0xEF, 0xBB, 0xBF};
    long at = ftell(f);
    int c = fgetc(f);
    if (c != mark[0]) {
        if (c != EOF) ungetc(c, f);
        return 0;
    }
    if (fgetc(f) == mark[1] && fgetc(f) == mark[2]) return 1;
    // A first byte 0xEF that starts no mark: back to it where the stream can seek.
    clearerr(f);
    if (at >= 0) fseek(f, at, SEEK_SET);
    return 0;
}

// A write lock on the whole file: 0 when taken or when the file system has no locks, 1
// when another process holds one (its id in *holder). The holder is asked for after a
// refusal; a lock let go in between is tried for again.
static int lockWholeFile(int fd, long* holder)
{
    for (int tries = 0; tries < 3; tries++) {
        struct flock fl = {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        if (fcntl(fd, F_SETLK, &fl) == 0) return 0;
        if (errno != EACCES && errno != EAGAIN) return 0;
        if (fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type == F_UNLCK) continue;
        *holder = fl.l_type != F_UNLCK && fl.l_pid > 0 ? (long)fl.l_pid : -1;
        return 1;
    }
    *holder = -1;
    return 1;
}

FILE* openFileLocked(const char* path, long* holder)
{
    *holder = 0;
    int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);   // not emptied before the lock
    if (fd < 0) return nullptr;
    FILE* f = nullptr;
    if (lockWholeFile(fd, holder) == 0 && ftruncate(fd, 0) == 0) f = fdopen(fd, "w");
    if (!f) {
        int e = errno;
        close(fd);
        errno = e;
    }
    return f;
}

void removeResultPath(const char* path)
{
    struct stat st;
    if (lstat(path, &st) != 0) return;   // nothing of that name
    const char* kind = S_ISDIR(st.st_mode) ? "a folder" : "not a file";
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) {
        if (unlink(path) == 0 || errno == ENOENT) return;
        error(ERROR, __FILE__, __LINE__, "Could not remove result file ", path, ": ", strerror(errno), "");
        return;
    }
    error(ERROR, __FILE__, __LINE__, "Result file ", path, " is ", kind, " and was not removed", "");
}

int fileCopy(const char* src, const char* dst, FILE* trace)
{
    if (trace) fprintf(trace, "fileCopy\n  from %s\n  to %s\n", src, dst);
    if (strcmp(src, dst) == 0) {
        fprintf(stderr, "Cannot copy file %s to itself\n", src);
        return 0;
    }
    FILE* in = openFile(src, "rb");
    if (!in) {
        fprintf(stderr, "Failed to open file %s (%s)\n", src, strerror(errno));
        return 1;
    }
    FILE* out = openFile(dst, "wb");
    if (!out) {
        fprintf(stderr, "Failed to open file %s (%s)\n", dst, strerror(errno));
        fclose(in);
        return 1;
    }
    int c;
    while ((c = getc(in)) != EOF) putc(c, out);
    fclose(in);
    return fclose(out) == 0 ? 0 : 1;
}

// Processor time of the process in seconds; CLOCKS_PER_SEC is 1000000 on this platform.
float cputime(float start) { return (float)((double)clock() / CLOCKS_PER_SEC) - start; }

void ptr_xchg(void** a, void** b)
{
    void* t = *a;
    *a = *b;
    *b = t;
}

}  // namespace vexlar
