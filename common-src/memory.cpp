// Tagged, zero-filled, accounted allocation. Vectors and arrays are addressed with the
// caller's own index ranges; each block is allocated so that it also covers index 0 and
// every row handle, so no handle ever points outside its block. The byte totals count
// what the caller asked for, so a run that releases all it allocated nets exactly 0.
#include "common-src/memory.h"

#include <cinttypes>
#include <cstdlib>

#include "common-src/messages.h"

namespace vexlar {

uint64_t _bytesAllocated = 0;
uint64_t _bytesFreed = 0;
MemBlock* _ms = nullptr;
MemBlock* _mb = nullptr;

static_assert(sizeof(MemBlock) == 24, "pool blocks carry a 24-byte header");
static const size_t PTR = sizeof(void*);

static void logTotals(const char* phase)
{
    if (_bytesFreed > _bytesAllocated)
        error(ERROR, __FILE__, __LINE__, "Freed more than allocated", "");
    if (!_ulog) return;
    fprintf(_ulog, "%s: %" PRIu64 " bytes allocated, %" PRIu64 " freed, %" PRId64 " net\n",
            phase, _bytesAllocated, _bytesFreed, (int64_t)(_bytesAllocated - _bytesFreed));
    fflush(_ulog);
}

// Obtains `actual` zero-filled bytes and counts `counted` of them as allocated.
static void* obtain(size_t actual, size_t counted, const char* tag)
{
    if (counted == 0 || actual == 0) error(FATAL, __FILE__, __LINE__, tag, " too small to allocate", "");
    void* p = calloc(1, actual);
    if (!p) {
        logTotals("alc_e error");
        if (_ulog) fprintf(_ulog, "Attempting to allocate %6zu bytes\n", counted);
        error(FATAL, __FILE__, __LINE__, "Failed allocation for ", tag, "");
    }
    _bytesAllocated += counted;
    return p;
}

void* alc_e(size_t size, const char* tag) { return obtain(size, size, tag); }

void* fre_e(void* p, size_t size, const char*)
{
    if (!p) return nullptr;
    free(p);
    _bytesFreed += size;
    return nullptr;
}

// An index span [lo, hi] whose block is widened to also cover [extlo, exthi]: the
// positions of index 0 and of any handles that point into it.
struct Span {
    long lo, hi, first, last;
    size_t count() const { return (size_t)(hi - lo + 1); }
    size_t blockCount() const { return (size_t)(last - first + 1); }
};

static Span span(long lo, long hi, long extlo, long exthi)
{
    Span s{lo, hi, lo < extlo ? lo : extlo, hi > exthi ? hi : exthi};
    if (s.first > 0) s.first = 0;
    if (s.last < 0) s.last = 0;
    return s;
}

static void checkRange(long lo, long hi, const char* tag)
{
    if (hi < lo)
        errorf(FATAL, __FILE__, __LINE__, "Max index(%ld) < min index(%ld): %s", hi, lo, tag);
}

// Allocates the span and returns the handle: the address of index 0, inside the block.
static char* alc_span(Span s, size_t size, const char* tag)
{
    char* block = (char*)obtain(s.blockCount() * size, s.count() * size, tag);
    return block - s.first * (long)size;
}

static void* fre_span(void* h, Span s, size_t size)
{
    if (!h) return nullptr;
    free((char*)h + s.first * (long)size);
    _bytesFreed += s.count() * size;
    return nullptr;
}

void* alc_v(int lo, int hi, size_t size, const char* tag)
{
    checkRange(lo, hi, tag);
    return alc_span(span(lo, hi, 0, 0), size, tag);
}

void* fre_v(void* v, int lo, int hi, size_t size, const char*)
{
    return fre_span(v, span(lo, hi, 0, 0), size);
}

// Row handles of a matrix stored in one data block: rows * cols elements indexed from
// the lowest column; row r's handle lies (r - rlo) * cols elements after the data handle.
static Span matrixData(int rlo, int rhi, int clo, int chi)
{
    long rows = (long)rhi - rlo + 1, cols = (long)chi - clo + 1;
    return span(clo, clo + rows * cols - 1, 0, (rows - 1) * cols);
}

void* alc_mc(int rlo, int rhi, int clo, int chi, size_t size, const char* tag)
{
    checkRange(rlo, rhi, tag);
    checkRange(clo, chi, tag);
    char** m = (char**)alc_v(rlo, rhi, PTR, tag);
    char* data = alc_span(matrixData(rlo, rhi, clo, chi), size, tag);
    size_t row = ((size_t)chi - clo + 1) * size;
    for (long r = rlo; r <= rhi; r++) m[r] = data + (r - rlo) * row;
    return m;
}

void* fre_mc(void* m, int rlo, int rhi, int clo, int chi, size_t size)
{
    if (!m) return nullptr;
    fre_span(((char**)m)[rlo], matrixData(rlo, rhi, clo, chi), size);
    return fre_v(m, rlo, rhi, PTR, nullptr);
}

void* alc_mr(int rlo, int rhi, int clo, int chi, size_t size, const char* tag)
{
    checkRange(rlo, rhi, tag);
    checkRange(clo, chi, tag);
    void** m = (void**)alc_v(rlo, rhi, PTR, tag);
    for (long r = rlo; r <= rhi; r++) m[r] = alc_v(clo, chi, size, tag);
    return m;
}

void* fre_mr(void* m, int rlo, int rhi, int clo, int chi, size_t size)
{
    if (!m) return nullptr;
    void** rows = (void**)m;
    for (long r = rlo; r <= rhi; r++) rows[r] = fre_v(rows[r], clo, chi, size, nullptr);
    return fre_v(m, rlo, rhi, PTR, nullptr);
}

// Data span of a ragged matrix: the total of the counts (at least one element) indexed
// from rlo, widened to cover every row handle (the running sums of the counts).
static Span raggedData(int rlo, int rhi, const int* counts, int* total)
{
    long sum = 0, lowest = 0, highest = 0;
    for (long r = rlo; r <= rhi; r++) {
        if (sum < lowest) lowest = sum;
        if (sum > highest) highest = sum;
        sum += counts[r];
    }
    if (total) *total = (int)sum;
    long n = sum > 0 ? sum : 1;
    return span(rlo, rlo + n - 1, lowest, highest);
}

void* alc_mvc(int rlo, int rhi, const int* counts, size_t size, const char* tag, int* total)
{
    checkRange(rlo, rhi, tag);
    char** m = (char**)alc_v(rlo, rhi, PTR, tag);
    char* data = alc_span(raggedData(rlo, rhi, counts, total), size, tag);
    long offset = 0;
    for (long r = rlo; r <= rhi; r++) {
        m[r] = data + offset * (long)size;
        offset += counts[r];
    }
    return m;
}

void* fre_mvc(void* m, int rlo, int rhi, const int* counts, size_t size)
{
    if (!m) return nullptr;
    fre_span(((char**)m)[rlo], raggedData(rlo, rhi, counts, nullptr), size);
    return fre_v(m, rlo, rhi, PTR, nullptr);
}

// The three blocks of a three-index array: na first-index handles, na * nb second-index
// handles indexed from blo, na * nb * nc elements indexed from clo.
struct ArrayShape {
    long na, nb, nc;
    Span handles, data;
};

static ArrayShape arrayShape(int alo, int ahi, int blo, int bhi, int clo, int chi)
{
    ArrayShape a;
    a.na = (long)ahi - alo + 1;
    a.nb = (long)bhi - blo + 1;
    a.nc = (long)chi - clo + 1;
    long n = a.na * a.nb;
    a.handles = span(blo, blo + n - 1, 0, (a.na - 1) * a.nb);
    a.data = span(clo, clo + n * a.nc - 1, 0, (n - 1) * a.nc);
    return a;
}

void* alc_ac(int alo, int ahi, int blo, int bhi, int clo, int chi, size_t size, const char* tag)
{
    checkRange(alo, ahi, tag);
    checkRange(blo, bhi, tag);
    checkRange(clo, chi, tag);
    ArrayShape s = arrayShape(alo, ahi, blo, bhi, clo, chi);
    char*** a = (char***)alc_v(alo, ahi, PTR, tag);
    char** h = (char**)alc_span(s.handles, PTR, tag);
    char* data = alc_span(s.data, size, tag);
    for (long t = 0; t < s.na * s.nb; t++) h[blo + t] = data + t * s.nc * (long)size;
    for (long i = 0; i < s.na; i++) a[alo + i] = h + i * s.nb;
    return a;
}

void* fre_ac(void* a, int alo, int ahi, int blo, int bhi, int clo, int chi, size_t size,
             const char* tag)
{
    if (!a) return nullptr;
    ArrayShape s = arrayShape(alo, ahi, blo, bhi, clo, chi);
    char** h = ((char***)a)[alo];
    fre_span(h[blo], s.data, size);
    fre_span(h, s.handles, PTR);
    return fre_v(a, alo, ahi, PTR, tag);
}

MemBlock* alc_eci(size_t size, const char* tag)
{
    if (size < sizeof(MemBlock) || size > UINT32_MAX)
        error(FATAL, __FILE__, __LINE__, tag, " too small to allocate", "");
    MemBlock* b = (MemBlock*)obtain(size, size, tag);
    b->size = (uint32_t)size;
    b->firstFree = sizeof(MemBlock);
    return b;
}

void* alc_ec(MemBlock** pool, size_t size, const char* tag)
{
    if (!pool || !*pool) error(FATAL, __FILE__, __LINE__, "null block pointer, call Dravik", "");
    if (size == 0) error(FATAL, __FILE__, __LINE__, tag, " too small to allocate", "");
    MemBlock* cur = *pool;
    size_t need = (size + 7) & ~(size_t)7;
    if (need > cur->size - sizeof(MemBlock))
        error(FATAL, __FILE__, __LINE__, "Requested size larger than block for ", tag, "");
    if (cur->firstFree + need > cur->size) {
        MemBlock* b = (MemBlock*)obtain(cur->size, cur->size, tag);
        b->size = cur->size;
        b->firstFree = sizeof(MemBlock);
        b->older = cur;
        cur->newer = b;
        *pool = cur = b;
    }
    char* p = (char*)cur + cur->firstFree;
    cur->firstFree += (uint32_t)need;
    return p;
}

MemBlock* fre_ec(MemBlock* pool, const char*)
{
    if (!pool) error(FATAL, __FILE__, __LINE__, "null block pointer, call Dravik", "");
    while (pool->newer) pool = pool->newer;
    while (pool) {
        MemBlock* older = pool->older;
        _bytesFreed += pool->size;
        free(pool);
        pool = older;
    }
    return nullptr;
}

int64_t MemNet(const char* phase)
{
    logTotals(phase);
    return (int64_t)(_bytesAllocated - _bytesFreed);
}

void MemList()
{
    if (!_ulog) return;
    fprintf(_ulog, "MemList: not tracking allocations.  Recompile heap code.\n");
    fflush(_ulog);
}

}  // namespace vexlar
