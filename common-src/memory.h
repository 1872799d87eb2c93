// Tagged, zero-filled, accounted allocation: records, offset-indexed vectors, matrices,
// three-index arrays and chained element pools. Every failure is FATAL, so no
// allocation ever returns null; every release returns null for the caller to store.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vexlar {

extern uint64_t _bytesAllocated;
extern uint64_t _bytesFreed;

struct MemBlock {
    uint32_t size;        // block size in bytes, header included
    uint32_t firstFree;   // offset of the first free byte from the block start
    MemBlock* older;
    MemBlock* newer;
};

extern MemBlock* _ms;   // pool of records that live for the whole run (32000-byte blocks)
extern MemBlock* _mb;   // pool of project-level network records (8000-byte blocks)

void* alc_e(size_t size, const char* tag);
void* fre_e(void* p, size_t size, const char* tag);
void* alc_v(int lo, int hi, size_t size, const char* tag);
void* fre_v(void* v, int lo, int hi, size_t size, const char* tag);
void* alc_mc(int rlo, int rhi, int clo, int chi, size_t size, const char* tag);
void* fre_mc(void* m, int rlo, int rhi, int clo, int chi, size_t size);
void* alc_mr(int rlo, int rhi, int clo, int chi, size_t size, const char* tag);
void* fre_mr(void* m, int rlo, int rhi, int clo, int chi, size_t size);
void* alc_mvc(int rlo, int rhi, const int* counts, size_t size, const char* tag, int* total);
void* fre_mvc(void* m, int rlo, int rhi, const int* counts, size_t size);
void* alc_ac(int alo, int ahi, int blo, int bhi, int clo, int chi, size_t size, const char* tag);
void* fre_ac(void* a, int alo, int ahi, int blo, int bhi, int clo, int chi, size_t size,
             const char* tag);
MemBlock* alc_eci(size_t size, const char* tag);
void* alc_ec(MemBlock** pool, size_t size, const char* tag);
MemBlock* fre_ec(MemBlock* pool, const char* tag);
int64_t MemNet(const char* phase);
void MemList();

// Typed forms of the offset-indexed allocations: v[lo..hi], m[rlo..rhi][clo..chi].
template <class T> T* alc_vT(int lo, int hi, const char* tag)
{ return static_cast<T*>(alc_v(lo, hi, sizeof(T), tag)); }
template <class T> T* fre_vT(T* v, int lo, int hi, const char* tag)
{ return static_cast<T*>(fre_v(v, lo, hi, sizeof(T), tag)); }
template <class T> T** alc_mcT(int rlo, int rhi, int clo, int chi, const char* tag)
{ return static_cast<T**>(alc_mc(rlo, rhi, clo, chi, sizeof(T), tag)); }
template <class T> T** fre_mcT(T** m, int rlo, int rhi, int clo, int chi)
{ return static_cast<T**>(fre_mc(m, rlo, rhi, clo, chi, sizeof(T))); }
template <class T> T* alc_ecT(MemBlock** pool, const char* tag)
{ return static_cast<T*>(alc_ec(pool, sizeof(T), tag)); }

}  // namespace vexlar
