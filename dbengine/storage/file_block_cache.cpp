#include "dbengine/storage/file_block_cache.h"

#include <algorithm>

void TFileBlockCache::Configure(size_t BlockBytes, size_t Limit) {
  const size_t Slots = std::max<size_t>(1, Limit / std::max<size_t>(1, BlockBytes));
  if (BlockBytes == FBlockBytes && Slots == FMaxSlots) return;
  Clear();
  FBlockBytes = BlockBytes;
  FMaxSlots = Slots;
}

void TFileBlockCache::Forget(TSlot& S) {
  if (!S.Held) return;
  FSlotOf[S.Block] = 0;
  --FHeld;
  S.Held = false;
  S.Used = false;
}

size_t TFileBlockCache::NextVictim() {
  // The clock: a block found since the hand last passed gets another round.
  for (;;) {
    const size_t I = FHand;
    TSlot& S = FSlots[I];
    FHand = (FHand + 1) % FSlots.size();
    if (S.Held && S.Used) {
      S.Used = false;
      continue;
    }
    Forget(S);
    return I;
  }
}

TFileBlockCache::TSlot& TFileBlockCache::FreeSlot() {
  if (FSlots.size() < FMaxSlots && Charge(FBlockBytes)) {
    FSlots.emplace_back();
    FSlots.back().Bytes = std::make_unique_for_overwrite<uint8_t[]>(FBlockBytes);
    return FSlots.back();
  }
  return FSlots[NextVictim()];
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

void TFileBlockCache::Remove(size_t I) {
  Forget(FSlots[I]);
  if (I + 1 != FSlots.size()) {
    FSlots[I] = std::move(FSlots.back());
    if (FSlots[I].Held) FSlotOf[FSlots[I].Block] = static_cast<uint32_t>(I) + 1;
  }
  FSlots.pop_back();
  if (FHand >= FSlots.size()) FHand = 0;
  Credit(FBlockBytes);
}

size_t TFileBlockCache::GiveUp(size_t Bytes) {
  size_t Freed = 0;
  while (Freed < Bytes && !FSlots.empty()) {
    Remove(NextVictim());
    Freed += FBlockBytes;
  }
  return Freed;
}

void TFileBlockCache::Clear() {
  Credit(CopyBytes());
  FSlotOf.clear();
  FSlots.clear();
  FHeld = 0;
  FHand = 0;
}
