// Clean copies of a table file's contents in blocks of one size, for reads in no particular order.
// The files' own caches hold the few records or pages being worked on (and everything a transaction
// changes); reads that jump about the file (the inner table of a join, lookups by key) would read
// the same parts of it again and again. A block read once is found again through a table by block
// number.
//
// The copies take at most a limit of bytes of their own and draw on a budget they may share with
// other files (lookup_budget.h): a new block takes the room the budget grants, else the place of one
// of the cache's blocks that was not found again since the clock hand last passed it. A copy is what
// the file holds: its owner drops the blocks a write of its own covers and all of them whenever the
// file may have changed otherwise (another holder's change, changes abandoned, the file emptied,
// rewritten or closed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "dbengine/storage/lookup_budget.h"

// Bytes of clean copies one table file keeps at the most when it draws on a budget of its own.
constexpr size_t kFileBlockCacheBytes = size_t{4} << 20;

class TFileBlockCache : public TLookupCopies {
 public:
  TFileBlockCache() = default;

  // Blocks of BlockBytes bytes, at most Limit bytes of them (one block at least). A change of
  // either drops every block.
  void Configure(size_t BlockBytes, size_t Limit);
  size_t BlockBytes() const { return FBlockBytes; }

  // The held copy of a block and its size (less than BlockBytes at the end of the file); nullptr
  // when the block is not held.
  const uint8_t* Find(uint32_t Block, size_t& Size) {
    if (Block >= FSlotOf.size() || FSlotOf[Block] == 0) return nullptr;
    TSlot& S = FSlots[FSlotOf[Block] - 1];
    S.Used = true;
    Size = S.Size;
    return S.Bytes.get();
  }
  // Reads a block through Fill, which gets a buffer of BlockBytes and returns the bytes it put
  // there, and keeps it (in place of a copy held before). When Fill raises, nothing is kept.
  const uint8_t* Load(uint32_t Block, const std::function<size_t(uint8_t* Buffer)>& Fill);
  // Forgets blocks First..Last.
  void Drop(uint32_t First, uint32_t Last);
  // Forgets every block and frees their memory.
  void Clear();

  int HeldBlocks() const { return FHeld; }
  size_t HeldBytes() const { return FSlots.size() * FBlockBytes; }

  size_t GiveUp(size_t Bytes) override;

 private:
  struct TSlot {
    uint32_t Block = 0;
    size_t Size = 0;
    bool Held = false;
    bool Used = false;  // found since the clock hand last passed
    std::unique_ptr<uint8_t[]> Bytes;
  };
  size_t FBlockBytes = 0;
  size_t FMaxSlots = 1;
  std::vector<TSlot> FSlots;
  std::vector<uint32_t> FSlotOf;  // by block number: its slot + 1, 0 when not held
  int FHeld = 0;
  size_t FHand = 0;

  void Forget(TSlot& S);
  // The slot the clock hand finds for a new block (its block forgotten); it moves on past it.
  size_t NextVictim();
  TSlot& FreeSlot();
  // Frees the memory of slot I (its block forgotten).
  void Remove(size_t I);
};
