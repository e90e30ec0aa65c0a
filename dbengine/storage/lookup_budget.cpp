#include "dbengine/storage/lookup_budget.h"

#include <algorithm>

// ---- TLookupCopies -----------------------------------------------------------------------------------

TLookupCopies::~TLookupCopies() {
  if (FBudget != nullptr) FBudget->Leave(this);
}

void TLookupCopies::DrawOn(TLookupBudget* Budget) {
  if (Budget == FBudget) return;
  if (FBytes > 0) GiveUp(FBytes);
  if (FBudget != nullptr) FBudget->Leave(this);
  FBudget = Budget;
  if (FBudget != nullptr) FBudget->Join(this);
}

void TLookupCopies::SetIdle(bool Idle) {
  if (Idle && !FIdle && FBudget != nullptr) FIdleSince = ++FBudget->FTick;
  FIdle = Idle;
}

bool TLookupCopies::Charge(size_t Bytes) {
  if (FBudget != nullptr) return FBudget->Grant(*this, Bytes);
  FBytes += Bytes;
  return true;
}

void TLookupCopies::Credit(size_t Bytes) {
  Bytes = std::min(Bytes, FBytes);
  FBytes -= Bytes;
  if (FBudget != nullptr) FBudget->FHeld -= std::min(Bytes, FBudget->FHeld);
}

// ---- TLookupBudget -----------------------------------------------------------------------------------

TLookupBudget::~TLookupBudget() {
  while (!FMembers.empty()) FMembers.back()->DrawOn(nullptr);
}

void TLookupBudget::Join(TLookupCopies* M) {
  FMembers.push_back(M);
  // Copies a member could not give up (in use while it moved) count here from now on.
  FHeld += M->FBytes;
  if (M->FIdle) M->FIdleSince = ++FTick;
}

void TLookupBudget::Leave(TLookupCopies* M) {
  FMembers.erase(std::remove(FMembers.begin(), FMembers.end(), M), FMembers.end());
  FHeld -= std::min(M->FBytes, FHeld);
}

void TLookupBudget::SetLimit(size_t Limit) {
  FLimit = Limit;
  MakeRoom(nullptr, 0);
}

TLookupCopies* TLookupBudget::GiverFor(const TLookupCopies* Asking, size_t Bytes,
                                       const std::vector<TLookupCopies*>& Tried, size_t& Level) const {
  TLookupCopies* Idle = nullptr;
  TLookupCopies* Biggest = nullptr;
  // A member in use gives way to one that holds less than it even with the new copy: copies of
  // other sizes would otherwise pass back and forth between two members of even shares.
  const size_t Own = Asking != nullptr ? Asking->FBytes + Bytes : 0;
  size_t Second = Asking != nullptr ? Asking->FBytes : 0;
  for (TLookupCopies* M : FMembers) {
    if (M == Asking || M->FBytes == 0 || std::find(Tried.begin(), Tried.end(), M) != Tried.end()) continue;
    if (M->FIdle) {
      if (Idle == nullptr || M->FIdleSince < Idle->FIdleSince) Idle = M;
    } else if (Biggest == nullptr || M->FBytes > Biggest->FBytes) {
      if (Biggest != nullptr) Second = std::max(Second, Biggest->FBytes);
      Biggest = M;
    } else {
      Second = std::max(Second, M->FBytes);
    }
  }
  Level = 0;
  if (Idle != nullptr) return Idle;
  if (Biggest == nullptr || Biggest->FBytes <= Own) return nullptr;
  Level = Second;
  return Biggest;
}

void TLookupBudget::MakeRoom(const TLookupCopies* Asking, size_t Bytes) {
  std::vector<TLookupCopies*> Tried;
  while (FHeld + Bytes > FLimit) {
    size_t Level = 0;
    TLookupCopies* Giver = GiverFor(Asking, Bytes, Tried, Level);
    if (Giver == nullptr) return;
    // A member in use gives down to the next biggest at most, so that they shrink evenly.
    const size_t Need = std::min(FHeld + Bytes - FLimit, std::max<size_t>(1, Giver->FBytes - Level));
    if (Giver->GiveUp(Need) == 0) Tried.push_back(Giver);
  }
}

bool TLookupBudget::Grant(TLookupCopies& Asking, size_t Bytes) {
  MakeRoom(&Asking, Bytes);
  if (FHeld + Bytes > FLimit && Asking.FBytes > 0) return false;
  FHeld += Bytes;
  Asking.FBytes += Bytes;
  return true;
}
