#include "dbengine/storage/file_block_cache.h"

#include <algorithm>

void TFileBlockCache::Configure(size_t BlockBytes, size_t Budget) {
  const size_t Slots = std::max<size_t>(1, Budget / std::max<size_t>(1, BlockBytes));
  if (BlockBytes == FBlockBytes && Slots == FMaxSlots) return;
  Clear();
  FBlockBytes = BlockBytes;
  FMaxSlots = Slots;
}

const uint8_t* TFileBlockCache::Find(uint32_t Block, size_t& Size) {
  if (Block >= FSlotOf.size() || FSlotOf[Block] == 0) return nullptr;
  TSlot& S = FSlots[FSlotOf[Block] - 1];
  S.Used = true;
  Size = S.Size;
  return S.Bytes.get();
}

void TFileBlockCache::Forget(TSlot& S) {
  if (!S.Held) return;
  FSlotOf[S.Block] = 0;
  --FHeld;
  S.Held = false;
  S.Used = false;
}

TFileBlockCache::TSlot& TFileBlockCache::FreeSlot() {
  if (FSlots.size() < FMaxSlots) {
    FSlots.emplace_back();
    FSlots.back().Bytes = std::make_unique_for_overwrite<uint8_t[]>(FBlockBytes);
    return FSlots.back();
  }
  // The clock: a block found since the hand last passed gets another round.
  for (;;) {
    TSlot& S = FSlots[FHand];
    FHand = (FHand + 1) % FSlots.size();
    if (S.Held && S.Used) {
      S.Used = false;
      continue;
    }
    Forget(S);
    return S;
  }
}

const uint8_t* TFileBlockCache::Load(uint32_t Block, const std::function<size_t(uint8_t* Buffer)>& Fill) {
  if (Block < FSlotOf.size() && FSlotOf[Block] != 0) Forget(FSlots[FSlotOf[Block] - 1]);
  TSlot& S = FreeSlot();
  S.Size = std::min(Fill(S.Bytes.get()), FBlockBytes);
  // Not used yet: a block read once and never again is the first to make room.
  S.Block = Block;
  S.Held = true;
  S.Used = false;
  if (Block >= FSlotOf.size()) FSlotOf.resize(static_cast<size_t>(Block) + 1, 0);
  FSlotOf[Block] = static_cast<uint32_t>(&S - FSlots.data()) + 1;
  ++FHeld;
  return S.Bytes.get();
}

void TFileBlockCache::Drop(uint32_t First, uint32_t Last) {
  const size_t End = std::min<size_t>(static_cast<size_t>(Last) + 1, FSlotOf.size());
  for (size_t B = First; B < End; ++B)
    if (FSlotOf[B] != 0) Forget(FSlots[FSlotOf[B] - 1]);
}

void TFileBlockCache::Clear() {
  FSlotOf.clear();
  FSlots.clear();
  FHeld = 0;
  FHand = 0;
}
