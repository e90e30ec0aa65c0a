// The engine heap: every engine object and buffer is allocated zero-filled, and grows zero-filled.
// Key buffers, record buffers, bitmaps and pooled nodes rely on the zero fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

// A zero-filled block of at least Size bytes. Size < 1 gives nullptr without an error. Raises
// engine error 0x2B08 when memory is exhausted.
void* EngineAlloc(intptr_t Size);
// Resizes Block (not nullptr); bytes added at the end are zero. Size < 1 frees the block and gives
// nullptr. On failure raises 0x2B08 and the old block stays valid.
void* EngineRealloc(void* Block, intptr_t Size);
// Frees a block from EngineAlloc/EngineRealloc; nullptr is ignored.
void EngineFreeBlock(void* Block);
// Frees Block and sets the variable to nullptr.
template <class T>
inline void EngineFree(T*& Block) {
  EngineFreeBlock(const_cast<void*>(static_cast<const void*>(Block)));
  Block = nullptr;
}
// The usable size of a block (the size asked for).
size_t EngineBlockSize(const void* Block);
// Releases counted in the current cycle of 1,020. At the end of each cycle the process heap is
// trimmed when the bytes released since the last trim (at least 1 MB) reach the bytes in use.
uint32_t EngineReleaseCount();
// Trims made so far.
uint32_t EngineHeapTrims();
// Bytes of engine blocks released so far (a running total).
uint64_t EngineReleasedBytes();
// After a big release (the caches of a transaction, counted from Since, a running total taken
// before): trims the heap now when at least 1 MB went, so that the heap's deferred work on the
// freed blocks is not left to whichever allocation comes next.
void EngineHeapSettle(uint64_t Since);

// Keeps a reusable buffer at least Needed bytes long, grown in whole multiples of BlockSize and
// never shrunk; Needed < 1 frees it.
void ReserveBuffer(intptr_t Needed, intptr_t BlockSize, void*& Buffer, intptr_t& Capacity);
template <class T>
inline void ReserveBuffer(intptr_t Needed, intptr_t BlockSize, T*& Buffer, intptr_t& Capacity) {
  void* P = Buffer;
  ReserveBuffer(Needed, BlockSize, P, Capacity);
  Buffer = static_cast<T*>(P);
}

// Base of engine classes: their instances live on the engine heap and start zero-filled.
struct TEngineObject {
  static void* operator new(size_t Size) { return EngineAlloc(static_cast<intptr_t>(Size)); }
  static void operator delete(void* P) { EngineFreeBlock(P); }
  static void* operator new[](size_t Size) { return EngineAlloc(static_cast<intptr_t>(Size)); }
  static void operator delete[](void* P) { EngineFreeBlock(P); }
};
