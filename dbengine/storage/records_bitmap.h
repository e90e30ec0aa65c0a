// A set of record numbers 1..N of one table, one bit per record, and the process-wide pool of free
// bitmaps.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "dbengine/storage/engine_heap.h"

class TRecordsBitmap : public TEngineObject {
 public:
  TRecordsBitmap() = default;
  TRecordsBitmap(const TRecordsBitmap&) = delete;
  TRecordsBitmap& operator=(const TRecordsBitmap&) = delete;
  ~TRecordsBitmap();

  uint32_t* Words = nullptr;
  intptr_t Capacity = 0;    // bytes; grows in 1,024-byte steps, never shrinks
  int32_t RecordCount = 0;  // N
  int32_t BitCount = 0;     // N rounded up to 32
  int32_t WordCount = 0;

  // Words gained are zero; bits above a smaller N are kept.
  void SetRecordCount(int32_t N);
  // Record n is bit (n-1) mod 32 of word (n-1) div 32. No check against N.
  bool GetBit(int32_t N) const { return (Words[(N - 1) >> 5] >> ((N - 1) & 31)) & 1u; }
  void SetBit(int32_t N) { Words[(N - 1) >> 5] |= 1u << ((N - 1) & 31); }
  void ClearBit(int32_t N) { Words[(N - 1) >> 5] &= ~(1u << ((N - 1) & 31)); }
  int32_t CountSet() const;
  int32_t CountSetBefore(int32_t N) const;
  // Walks forward from N + 1 (backward from N - 1); every set bit moves N there and Position by
  // one; true at the K-th hit, false when the end is passed (N and Position hold the last hit).
  bool FindNext(int32_t& N, int32_t K, int32_t& Position) const;
  bool FindPrior(int32_t& N, int32_t K, int32_t& Position) const;
  void AndWith(const TRecordsBitmap& Other);
  void OrWith(const TRecordsBitmap& Other);
  void Invert();
  void ClearAll();
  void SetAll();
  void CopyFrom(const TRecordsBitmap& Other);
};

// Takes a cleared bitmap from the pool (its RecordCount stays as it was) or makes a new one.
TRecordsBitmap* GetRecordsBitmap();
// Returns a bitmap to the pool and sets the variable to nullptr; nullptr is ignored.
void PutRecordsBitmap(TRecordsBitmap*& Bitmap);
// Number of bitmaps waiting in the pool.
int PooledRecordsBitmaps();
