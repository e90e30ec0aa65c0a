// Memory for the clean copies the table files keep for reads in no particular order: the blocks of
// records a data file keeps (file_block_cache.h) and the decoded index pages an index file keeps
// besides its slots' caches. Every file draws on a budget; the files of the tables a session opens
// share the session's, so that a table left idle between statements keeps its copies for the next
// one while the tables in use do not need the room, and the copies of all the tables together stay
// within one bound however many tables are open or idle.
//
// A copy that needs room the budget does not have takes it, in this order:
//   1. from the tables gone idle, the one idle longest first: what was used least recently goes;
//   2. else from a table in use that holds more than the one asking would with the new copy, the
//      biggest first: tables in use at the same time (a join's) end up with even shares;
//   3. else the asking file replaces one of its own copies.
// Each file gives up its own copies in the order of its clock (those not used since the hand last
// passed first; a copy in use at the moment stays). A file that holds no copy may always take one,
// so that every read can be served; the budget is passed by at most one copy per file that way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class TLookupBudget;

// A file's clean copies as one member of a budget.
class TLookupCopies {
 public:
  TLookupCopies() = default;
  TLookupCopies(const TLookupCopies&) = delete;
  TLookupCopies& operator=(const TLookupCopies&) = delete;
  virtual ~TLookupCopies();

  // Draws on Budget from now on (nullptr: on none; such a member is bounded by its own limits
  // alone). The copies held are given up first.
  void DrawOn(TLookupBudget* Budget);
  TLookupBudget* Budget() const { return FBudget; }
  // An idle member gives way before the members in use.
  void SetIdle(bool Idle);
  bool Idle() const { return FIdle; }
  // Bytes of copies held.
  size_t CopyBytes() const { return FBytes; }

  // Gives up copies of at least Bytes (fewer when the rest are in use); returns the bytes given up.
  virtual size_t GiveUp(size_t Bytes) = 0;

 protected:
  // Room for a new copy of Bytes: true when granted (others may have given up theirs for it);
  // false when the member is to replace one of its own copies instead.
  bool Charge(size_t Bytes);
  // A copy of Bytes is gone.
  void Credit(size_t Bytes);

 private:
  friend class TLookupBudget;
  TLookupBudget* FBudget = nullptr;
  size_t FBytes = 0;
  bool FIdle = false;
  uint64_t FIdleSince = 0;
};

class TLookupBudget {
 public:
  explicit TLookupBudget(size_t Limit) : FLimit(Limit) {}
  TLookupBudget(const TLookupBudget&) = delete;
  TLookupBudget& operator=(const TLookupBudget&) = delete;
  // Members still drawing on it give up their copies and draw on none.
  ~TLookupBudget();

  size_t Limit() const { return FLimit; }
  // Members give up copies at once down to a lower limit (idle ones first, then the biggest).
  void SetLimit(size_t Limit);
  size_t HeldBytes() const { return FHeld; }
  int Members() const { return static_cast<int>(FMembers.size()); }

 private:
  friend class TLookupCopies;
  size_t FLimit;
  size_t FHeld = 0;
  uint64_t FTick = 0;
  std::vector<TLookupCopies*> FMembers;

  void Join(TLookupCopies* M);
  void Leave(TLookupCopies* M);
  bool Grant(TLookupCopies& Asking, size_t Bytes);
  // Other members give up copies until Bytes more fit, as far as the order of giving way lets them
  // (Asking nullptr: any member gives way).
  void MakeRoom(const TLookupCopies* Asking, size_t Bytes);
  // The next member to give way to Asking, which needs Bytes more, nullptr when none is to (Tried:
  // members that gave nothing this time); Level: what a member in use keeps at least (the next
  // biggest's share).
  TLookupCopies* GiverFor(const TLookupCopies* Asking, size_t Bytes, const std::vector<TLookupCopies*>& Tried,
                          size_t& Level) const;
};
