// The cursor's navigation (natural and index order), keys, key search, ranges and the record
// writes with their index maintenance, validity checks, auto-increment numbering and record locks.
#include <algorithm>
#include <cstring>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/data_cursor_internal.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/index_file.h"
#include "dbengine/storage/index_page.h"
#include "platform/core/datetime.h"
#include "platform/core/sysutils.h"

namespace {

// Releases a held index position also when a walk raises.
class THeldPosition {
 public:
  explicit THeldPosition(TPageStore& Store) : FStore(Store) {}
  ~THeldPosition() {
    try {
      IndexRelease(FStore, Pos);
    } catch (...) {
    }
  }
  THeldPosition(const THeldPosition&) = delete;
  THeldPosition& operator=(const THeldPosition&) = delete;
  TIndexPosition Pos;

 private:
  TPageStore& FStore;
};

}  // namespace

// ---- Records of the data file ---------------------------------------------------------------------------

// Number of records from First on, stepping by Step, whose bits are set, up to Limit.
static int SetRun(const TRecordsBitmap& Bits, int32_t First, int32_t Step, int Limit) {
  int Run = 0;
  for (int32_t N = First; Run < Limit && N >= 1 && N <= Bits.RecordCount && Bits.GetBit(N); N += Step) ++Run;
  return Run;
}

// Records a run from First on takes in: up to the last set bit that follows the one before it with
// fewer than kRunGap clear bits between them (records not visible are read along; a wider gap
// ends the run), at most Limit.
constexpr int kRunGap = 64;
static int SetSpan(const TRecordsBitmap& Bits, int32_t First, int Limit) {
  int Span = 0;
  for (int32_t N = First, Gap = 0; N - First < Limit && N >= 1 && N <= Bits.RecordCount && Gap < kRunGap; ++N) {
    if (Bits.GetBit(N)) {
      Span = N - First + 1;
      Gap = 0;
    } else {
      ++Gap;
    }
  }
  return Span;
}

// Image gets Size bytes of Source, zeros up to ImageSize (its buffer is reused from read to read).
static void TakeImage(std::vector<uint8_t>& Image, const uint8_t* Source, size_t Size, size_t ImageSize) {
  Image.resize(ImageSize);
  std::memcpy(Image.data(), Source, Size);
  if (ImageSize > Size) std::memset(Image.data() + Size, 0, ImageSize - Size);
}

uint64_t TDataCursor::CopyGeneration() {
  // Inside a read of this cursor the generation is the one its bracket checked on entry (nothing
  // writes while a read runs); elsewhere it is asked for.
  if (FReadDepth > 0 && FWriteDepth == 0) return FGeneration;
  return TableGeneration(Table);
}

int TDataCursor::ForwardRunEstimate(uint32_t RecordNo) {
  TDataFile* D = DataFile();
  if (IsNaturalOrder()) {
    if (Bitmaps[0] == nullptr) return 0;
    return SetSpan(*Bitmaps[0], static_cast<int32_t>(RecordNo), D->ReadAheadCount);
  }
  // Index order over the whole range (no bitmap): the keys from the current one on whose record
  // numbers grow with small gaps in the held leaf.
  if (BitmapOrder || AtBOF || AtEOF || RecordNo != CurrentRecordNumber || !LeafHolds(SequenceNumber)) return 0;
  const int64_t Last = std::min<int64_t>(RangeLast, FLeaf.FirstOrdinal + FLeaf.Count - 1);
  uint32_t Prior = RecordNo;
  for (int64_t O = SequenceNumber + 1; O <= Last; ++O) {
    const uint32_t R = FLeaf.RecordAt(O);
    if (R <= Prior || R - Prior > static_cast<uint32_t>(kRunGap) ||
        R - RecordNo >= static_cast<uint32_t>(D->ReadAheadCount))
      break;
    Prior = R;
  }
  return static_cast<int>(Prior - RecordNo) + 1;
}

bool TDataCursor::ReadRecordImage(uint32_t RecordNo, std::vector<uint8_t>& Image) {
  TDataFile* D = DataFile();
  if (RecordNo == 0 || RecordNo >= D->NextRecord()) return false;
  const size_t Size = static_cast<size_t>(D->RecordSize());
  const size_t ImageSize = std::max<size_t>(RecordBufferSize, Size);
  // Outside writes, a scan takes its records from the run it read last; a record beyond it that
  // the caches do not hold starts the next run when the scan goes on past it.
  const bool RunUsable = FWriteDepth == 0 && Table != nullptr;
  uint64_t Generation = 0;
  if (RunUsable) {
    Generation = CopyGeneration();
    if (FRun.Table == Table && FRun.Generation == Generation && RecordNo >= FRun.First &&
        RecordNo - FRun.First < static_cast<uint32_t>(FRun.Count)) {
      TakeImage(Image, FRun.Images.data() + static_cast<size_t>(RecordNo - FRun.First) * Size, Size, ImageSize);
      return true;
    }
  }
  // The clean blocks kept for reads one at a time are never older than the record cache, which
  // holds what is being written: each is asked once.
  const uint8_t* Source = D->KeptImage(RecordNo);
  if (Source != nullptr) {
    TakeImage(Image, Source, Size, ImageSize);
    return true;
  }
  const bool After = FRun.Table == Table && RecordNo >= FRun.First;
  // Reads the run of Count records from RecordNo on, keeps it and hands out its first record.
  auto StartRun = [&](int Count) {
    const int Got = D->ReadRecordRun(this, RecordNo, Count, FRun.Images);
    if (Got <= 0) return false;
    FRun.Table = Table;
    FRun.Generation = Generation;
    FRun.First = RecordNo;
    FRun.Count = Got;
    TakeImage(Image, FRun.Images.data(), Size, ImageSize);
    return true;
  };
  if (RunUsable && (After || !IsNaturalOrder())) {
    const int Run = ForwardRunEstimate(RecordNo);
    if (Run > 1 && StartRun(Run)) return true;
  }
  // A record that has to come from the file brings the run of visible records next to it in
  // natural order along in the same read. The direction is the one the cursor moves in: away from
  // a cached neighbour towards one that is not; when that does not tell, the longer run.
  bool Forward = true;
  int Estimate = 0;
  if (IsNaturalOrder() && Bitmaps[0] != nullptr) {
    const int32_t N = static_cast<int32_t>(RecordNo);
    const int Ahead = SetRun(*Bitmaps[0], N, 1, D->ReadAheadCount);
    const int Behind = SetRun(*Bitmaps[0], N, -1, D->ReadAheadCount);
    const bool NextCached = D->CachedRecord(RecordNo + 1) != nullptr;
    const bool PriorCached = RecordNo > 1 && D->CachedRecord(RecordNo - 1) != nullptr;
    Forward = NextCached != PriorCached ? PriorCached : Ahead >= Behind;
    Estimate = Forward ? Ahead : Behind;
    const int Span = Forward && RunUsable ? ForwardRunEstimate(RecordNo) : 0;
    // A scan forward: the run is read once and handed out, not cached.
    if (Span > 1 && StartRun(Span)) return true;
  }
  if (Estimate <= 1) {
    // A record read on its own comes from the clean block of records around it, which stays for
    // the next reads in no particular order; the record cache is left to the records being written.
    Source = D->RecordImage(this, RecordNo);
    // One retry: the first read may have met another holder's change.
    if (Source == nullptr) Source = D->RecordImage(this, RecordNo);
    if (Source == nullptr) Fail(ecRecordsCorrupt);
    TakeImage(Image, Source, Size, ImageSize);
    return true;
  }
  TRecord* R = nullptr;
  if (!D->GetRecord(this, RecordNo, R, Forward, Estimate, true) || R == nullptr) {
    // One retry: the first read may have met another holder's change.
    if (!D->GetRecord(this, RecordNo, R, Forward, Estimate, true) || R == nullptr) Fail(ecRecordsCorrupt);
  }
  TakeImage(Image, R->Buffer, Size, ImageSize);
  D->ReleaseRecord(R);
  return true;
}

void TDataCursor::ReadCurrentRecord() {
  if (!AtBOF && !AtEOF && CurrentRecordNumber != 0 && !VisibleEmpty()) {
    // Read straight into the current record: its buffer is reused from record to record.
    if (ReadRecordImage(CurrentRecordNumber, CurrentRecord)) {
      CurrentRecord.resize(RecordBufferSize);
      if (HasComputedFields) ComputeCalculatedFields(CurrentRecord.data());
      return;
    }
  }
  CurrentRecord.assign(RecordBufferSize, 0);
}

// ---- Keys -------------------------------------------------------------------------------------------------

void TDataCursor::BuildKeyFor(uint8_t Slot, const uint8_t* Record, uint8_t* Key) {
  if (Slot == kStatusIndex) {
    BuildStatusKey(Record, Key);
    return;
  }
  std::memset(Key, 0, kCursorKeyBufferSize);
  BuildRecordKey(
      IndexFile()->Descriptor(Slot)->Bytes, [this](int N) { return FieldByNumber(N); }, Record, Key,
      LanguageID, SortID);
}

void TDataCursor::BuildKey(const uint8_t* Record, uint8_t* Key) {
  BuildKeyFor(IndexNo, Record, Key);
}

bool TDataCursor::PlainKeyOrder(uint8_t Slot, const TIndexDescriptor* D) {
  TPlainOrder& P = FPlainOrder[Slot & 31];
  const void* File = DataFile();
  if (P.File == File && std::memcmp(P.Descriptor, D->Bytes, sizeof P.Descriptor) == 0) return P.Plain;
  bool Plain = true;
  for (int I = 0; I < D->FieldCount() && Plain; ++I) {
    const uint8_t* F = FieldByNumber(D->FieldNumber(I));
    if (F == nullptr) break;
    if (F[kFieldDescTypeOffset] == ftString || (!D->Descending() && D->FieldDescending(I))) Plain = false;
  }
  P.File = File;
  std::memcpy(P.Descriptor, D->Bytes, sizeof P.Descriptor);
  P.Plain = Plain;
  return Plain;
}

bool TDataCursor::BytewiseKeyOrder(uint8_t Slot) {
  // Without text fields and fields of their own direction the field-by-field comparison of
  // CompareKeysFor is the comparison of the bytes.
  return Slot == kStatusIndex || LanguageID == 0 || PlainKeyOrder(Slot, IndexFile()->Descriptor(Slot));
}

int TDataCursor::CompareKeysFor(uint8_t Slot, const uint8_t* A, const uint8_t* B, int Length) {
  if (Slot == kStatusIndex) return CompareBuffers(A, B, Length, false);
  const TIndexDescriptor* D = IndexFile()->Descriptor(Slot);
  const bool Desc = D->Descending();
  if (LanguageID == 0 || PlainKeyOrder(Slot, D)) return CompareBuffers(A, B, Length, Desc);
  int Pos = 0;
  for (int I = 0; I < D->FieldCount() && Pos < Length; ++I) {
    const uint8_t* F = FieldByNumber(D->FieldNumber(I));
    if (F == nullptr) break;
    const int Size = FieldDescDataSize(F);
    const int N = std::min(Size + 1, Length - Pos);
    const bool FieldDesc = Desc || D->FieldDescending(I);
    int R;
    if (F[kFieldDescTypeOffset] == ftString) {
      // The not-null byte first (a byte each; no call for it: every step of a descent comes here).
      R = (A[Pos] > B[Pos]) - (A[Pos] < B[Pos]);
      if (R == 0 && N > 1) {
        const char* SA = reinterpret_cast<const char*>(A + Pos + 1);
        const char* SB = reinterpret_cast<const char*>(B + Pos + 1);
        R = CollateStrings(LanguageID, SortID, SA, static_cast<int>(strnlen(SA, static_cast<size_t>(N - 1))),
                           SB, static_cast<int>(strnlen(SB, static_cast<size_t>(N - 1))),
                           kCompareIgnoreNonSpace);
      }
      if (FieldDesc) R = -R;
    } else {
      R = CompareBuffers(A + Pos, B + Pos, N, FieldDesc);
    }
    if (R != 0) return R;
    Pos += Size + 1;
  }
  if (Pos < Length) return CompareBuffers(A + Pos, B + Pos, Length - Pos, Desc);
  return 0;
}

int TDataCursor::CompareKeys(const uint8_t* A, const uint8_t* B, int Length) {
  return CompareKeysFor(IndexNo, A, B, Length);
}

int TDataCursor::ComparePageKeys(const TPage& Page, const uint8_t* EntryKey, const uint8_t* SearchKey,
                                 int Length) {
  return CompareKeysFor(static_cast<uint8_t>(Page.Slot), EntryKey, SearchKey, Length);
}

bool TDataCursor::InsertKeyInto(uint8_t Slot, const uint8_t* Key, uint32_t RecordNo, bool ReportDuplicate) {
  if (IndexInsertKey(*IndexFile(), this, Slot, Key, RecordNo)) return true;
  if (ReportDuplicate) return false;
  Fail(ecIndexCorrupt);
}

void TDataCursor::DeleteKeyFrom(uint8_t Slot, const uint8_t* Key) {
  if (!IndexDeleteKey(*IndexFile(), this, Slot, Key)) Fail(ecIndexCorrupt);
}

void TDataCursor::ReplaceKeyIn(uint8_t Slot, const uint8_t* OldKey, const uint8_t* NewKey,
                               uint32_t RecordNo) {
  DeleteKeyFrom(Slot, OldKey);
  InsertKeyInto(Slot, NewKey, RecordNo);
}

bool TDataCursor::KeyExistsIn(uint8_t Slot, const uint8_t* Key) {
  uint32_t Rec = 0;
  int64_t Ordinal = 0;
  return IndexFindKey(*IndexFile(), this, Slot, Key, Rec, Ordinal);
}

std::vector<uint8_t> TDataCursor::MaintainedIndexes() {
  std::vector<uint8_t> R;
  if (!HasNoPrimaryKey()) R.push_back(0);
  for (int S = 1; S <= GetIndexCount(); ++S) R.push_back(static_cast<uint8_t>(S));
  return R;
}

std::string TDataCursor::IndexDisplayName(uint8_t Slot) {
  std::string N = Trim(IndexFile()->Descriptor(Slot)->Name());
  return N.empty() && Slot == 0 ? std::string("Primary") : N;
}

int64_t TDataCursor::IndexKeyTotal() {
  return IndexKeyCount(*IndexFile(), this, IndexNo);
}

const uint8_t* TDataCursor::THeldLeaf::KeyAt(int64_t Ordinal) const {
  return Page->KeyAt(static_cast<int>(Ordinal - FirstOrdinal) + 1);
}

uint32_t TDataCursor::THeldLeaf::RecordAt(int64_t Ordinal) const {
  return LoadU32(KeyAt(Ordinal) + KeyLength);
}

void TDataCursor::HoldLeaf(const TPage& Leaf, int64_t Ordinal) {
  FLeaf.Table = nullptr;
  if (Leaf.Count < 1 || Leaf.ReadPos < 1 || Leaf.ReadPos > Leaf.Count) return;
  FLeaf.Slot = IndexNo;
  FLeaf.Page = &Leaf;
  FLeaf.Offset = Leaf.Offset;
  FLeaf.Serial = Leaf.Serial;
  FLeaf.FirstOrdinal = Ordinal - Leaf.ReadPos + 1;
  FLeaf.Count = Leaf.Count;
  FLeaf.KeyLength = Leaf.KeyLength;
  FLeaf.ByteOrder = IndexFile()->ByteOrder(this, IndexNo);
  FLeaf.Generation = CopyGeneration();
  FLeaf.Table = Table;
}

int TDataCursor::CompareInLeaf(const uint8_t* A, const uint8_t* B) {
  return FLeaf.ByteOrder != 0 ? CompareBuffers(A, B, KeySize, FLeaf.ByteOrder < 0) : CompareKeys(A, B, KeySize);
}

bool TDataCursor::LeafHolds(int64_t Ordinal) {
  if (FLeaf.Table == nullptr || FLeaf.Table != Table || FLeaf.Slot != IndexNo) return false;
  if (Ordinal < FLeaf.FirstOrdinal || Ordinal >= FLeaf.FirstOrdinal + FLeaf.Count) return false;
  // The page is compared as an address before anything of it is read: it may be gone.
  if (FLeaf.Generation != CopyGeneration() || IndexFile()->PageInMemory(FLeaf.Offset) != FLeaf.Page ||
      FLeaf.Page->Serial != FLeaf.Serial) {
    DropLeaf();
    return false;
  }
  return true;
}

int32_t TDataCursor::KeysBelow(const uint8_t* Key, bool OrEqual) {
  uint32_t Rec = 0;
  int64_t Ordinal = 0;
  bool Found = IndexFindKey(*IndexFile(), this, IndexNo, Key, Rec, Ordinal);
  if (Found) return static_cast<int32_t>(OrEqual ? Ordinal : Ordinal - 1);
  return static_cast<int32_t>(Ordinal);
}

// ---- Visible set and range --------------------------------------------------------------------------------

void TDataCursor::ClearRange() {
  if (RangeStartKey == nullptr) return;
  std::memset(RangeStartKey, 0x00, kCursorKeyBufferSize);
  std::memset(RangeEndKey, 0xFF, kCursorKeyBufferSize);
  RangeActive = false;
}

bool TDataCursor::SeekInLeaf(const uint8_t* Key, int64_t& Ordinal) {
  if (FLeaf.Count < 1 || !LeafHolds(FLeaf.FirstOrdinal)) return false;
  // The first key not below Key lies in the leaf when its first key is below Key (no key before
  // the leaf can then reach it) and its last one is not.
  const int64_t End = FLeaf.FirstOrdinal + FLeaf.Count;
  if (CompareInLeaf(FLeaf.KeyAt(FLeaf.FirstOrdinal), Key) >= 0 || CompareInLeaf(FLeaf.KeyAt(End - 1), Key) < 0)
    return false;
  int64_t Lo = FLeaf.FirstOrdinal + 1, Hi = End - 1;
  while (Lo < Hi) {
    const int64_t Mid = Lo + (Hi - Lo) / 2;
    if (CompareInLeaf(FLeaf.KeyAt(Mid), Key) >= 0)
      Hi = Mid;
    else
      Lo = Mid + 1;
  }
  Ordinal = Lo;
  return true;
}

int64_t TDataCursor::FirstAboveInLeaf(int64_t From, const uint8_t* Key) {
  // Probes at growing distances from From, then a binary search between the last two: a short
  // range ends after a few comparisons.
  const int64_t End = FLeaf.FirstOrdinal + FLeaf.Count;
  int64_t Lo = From, Hi = From, Step = 1;  // keys in [From, Lo) are not above Key
  while (Hi < End && CompareInLeaf(FLeaf.KeyAt(Hi), Key) <= 0) {
    Lo = Hi + 1;
    Hi = std::min(End, Hi + Step);
    Step *= 2;
  }
  while (Lo < Hi) {
    const int64_t Mid = Lo + (Hi - Lo) / 2;
    if (CompareInLeaf(FLeaf.KeyAt(Mid), Key) > 0)
      Hi = Mid;
    else
      Lo = Mid + 1;
  }
  return Lo;
}

void TDataCursor::ComputeRange() {
  if (FInRangeComputation) return;
  FInRangeComputation = true;
  try {
    if (RangeActive && CompareKeys(RangeStartKey, RangeEndKey, KeySize) == 1) {
      RangeFirst = RangeLast = 0;
    } else if (RangeActive) {
      // The first key of the range is looked up in the leaf the cursor holds, else found by one
      // descent whose leaf is held; the end is looked for in that leaf from there, and only a
      // range that goes on past the leaf needs a second descent.
      int64_t First = 0;
      bool Any = SeekInLeaf(RangeStartKey, First);
      if (!Any) {
        THeldPosition H(*IndexFile());
        Any = IndexSeekKey(*IndexFile(), this, IndexNo, RangeStartKey, KeySize, H.Pos);
        First = H.Pos.Ordinal;
        if (Any) HoldLeaf(*H.Pos.Leaf, H.Pos.Ordinal);
      }
      RangeFirst = static_cast<int32_t>(First);
      RangeLast = RangeFirst - 1;
      if (Any && LeafHolds(First)) {
        const int64_t Above = FirstAboveInLeaf(First, RangeEndKey);
        RangeLast = Above < FLeaf.FirstOrdinal + FLeaf.Count ? static_cast<int32_t>(Above - 1)
                                                             : KeysBelow(RangeEndKey, true);
      } else if (Any) {
        RangeLast = KeysBelow(RangeEndKey, true);
      }
      if (RangeLast < RangeFirst) RangeFirst = RangeLast = 0;
    } else {
      RangeFirst = 1;
      RangeLast = static_cast<int32_t>(IndexKeyTotal());
    }
  } catch (...) {
    FInRangeComputation = false;
    throw;
  }
  FInRangeComputation = false;
}

void TDataCursor::RebuildVisibleSet() {
  // Whatever changed, the tree and the records are read again.
  DropLeaf();
  DropRecordRun();
  for (TPlainOrder& P : FPlainOrder) P.File = nullptr;
  BuildVisibleSet();
}

void TDataCursor::BuildVisibleSet() {
  if (!IsNaturalOrder()) ComputeRange();
  // Natural order and active filters hold the visible set as a bitmap.
  BitmapOrder = IsNaturalOrder() || AnyActiveFilter();
  FVisibleKeys.clear();
  if (!BitmapOrder) {
    // The range of index positions is the visible set: the bitmaps are not read until a filter or
    // natural order builds them again.
    VisibleCount = 0;
    return;
  }
  EvaluateAllFilters();
  if (IsNaturalOrder()) {
    RangeFirst = 1;
    RangeLast = VisibleCount;
  }
}

bool TDataCursor::VisibleEmpty() {
  if (IsNaturalOrder()) return VisibleCount == 0;
  if (BitmapOrder) return FVisibleKeys.empty();
  return !(RangeFirst >= 1 && RangeLast >= RangeFirst);
}

int32_t TDataCursor::GetRecordCount() {
  if (IsNaturalOrder()) return VisibleCount;
  if (BitmapOrder) return static_cast<int32_t>(FVisibleKeys.size());
  return (RangeFirst >= 1 && RangeLast >= 1 && RangeLast >= RangeFirst) ? RangeLast - RangeFirst + 1 : 0;
}

int32_t TDataCursor::GetSequenceNumber() {
  if (IsNaturalOrder() || BitmapOrder) return SequenceNumber;
  return SequenceNumber < 1 || RangeFirst < 1 ? 0 : SequenceNumber - RangeFirst + 1;
}

// ---- Positions
// ---------------------------------------------------------------------------------------------

void TDataCursor::SetEmptyPosition() {
  SequenceNumber = 0;
  AtBOF = AtEOF = true;
  CurrentRecordNumber = 0;
  std::memset(CurrentKey, 0, sizeof(CurrentKey));
}

void TDataCursor::LoadOrdinal(int32_t Ordinal) {
  uint32_t Rec = 0;
  if (LeafHolds(Ordinal)) {
    std::memcpy(CurrentKey, FLeaf.KeyAt(Ordinal), static_cast<size_t>(FLeaf.KeyLength));
    Rec = FLeaf.RecordAt(Ordinal);
  } else {
    THeldPosition H(*IndexFile());
    if (!IndexSeekOrdinal(*IndexFile(), this, IndexNo, Ordinal, H.Pos)) Fail(ecIndexCorrupt);
    std::memcpy(CurrentKey, H.Pos.Key(), static_cast<size_t>(H.Pos.Leaf->KeyLength));
    Rec = H.Pos.RecordNumber();
    HoldLeaf(*H.Pos.Leaf, H.Pos.Ordinal);
  }
  SequenceNumber = Ordinal;
  CurrentRecordNumber = Rec;
  AtBOF = AtEOF = false;
}

void TDataCursor::MoveFirst() {
  if (VisibleEmpty()) {
    SetEmptyPosition();
    return;
  }
  if (IsNaturalOrder()) {
    int32_t N = 0, Pos = 0;
    Bitmaps[0]->FindNext(N, 1, Pos);
    CurrentRecordNumber = static_cast<uint32_t>(N);
    SequenceNumber = 1;
    AtBOF = AtEOF = false;
  } else if (BitmapOrder) {
    LoadVisibleKey(1);
  } else {
    LoadOrdinal(RangeFirst);
  }
}

void TDataCursor::MoveLast() {
  if (VisibleEmpty()) {
    SetEmptyPosition();
    return;
  }
  if (IsNaturalOrder()) {
    int32_t N = Bitmaps[0]->RecordCount + 1, Pos = VisibleCount + 1;
    Bitmaps[0]->FindPrior(N, 1, Pos);
    CurrentRecordNumber = static_cast<uint32_t>(N);
    SequenceNumber = VisibleCount;
    AtBOF = AtEOF = false;
  } else if (BitmapOrder) {
    LoadVisibleKey(static_cast<int32_t>(FVisibleKeys.size()));
  } else {
    LoadOrdinal(RangeLast);
  }
}

void TDataCursor::MoveBy(int N) {
  if (N == 0) return;
  if (VisibleEmpty()) {
    SetEmptyPosition();
    return;
  }
  if (IsNaturalOrder()) {
    TRecordsBitmap* V = Bitmaps[0];
    int32_t R = AtBOF ? 0 : (AtEOF ? V->RecordCount + 1 : static_cast<int32_t>(CurrentRecordNumber));
    int32_t Pos = AtBOF ? 0 : (AtEOF ? VisibleCount + 1 : SequenceNumber);
    bool Found = N > 0 ? (R < V->RecordCount && V->FindNext(R, N, Pos)) : V->FindPrior(R, -N, Pos);
    if (Found) {
      CurrentRecordNumber = static_cast<uint32_t>(R);
      SequenceNumber = Pos;
      AtBOF = AtEOF = false;
    } else if (N > 0) {
      AtEOF = true;
      AtBOF = false;
      CurrentRecordNumber = static_cast<uint32_t>(V->RecordCount + 1);
      SequenceNumber = VisibleCount + 1;
    } else {
      AtBOF = true;
      AtEOF = false;
      CurrentRecordNumber = 0;
      SequenceNumber = 0;
    }
    return;
  }
  // Index order steps through positions of the index range, or of the visible keys under a bitmap.
  const int32_t First = BitmapOrder ? 1 : RangeFirst;
  const int32_t Last = BitmapOrder ? static_cast<int32_t>(FVisibleKeys.size()) : RangeLast;
  int32_t From = AtBOF ? First - 1 : (AtEOF ? Last + 1 : SequenceNumber);
  int64_t To = static_cast<int64_t>(From) + N;
  if (To < First) {
    AtBOF = true;
    AtEOF = false;
    SequenceNumber = First - 1;
    CurrentRecordNumber = 0;
  } else if (To > Last) {
    AtEOF = true;
    AtBOF = false;
    SequenceNumber = Last + 1;
    CurrentRecordNumber = 0;
  } else if (BitmapOrder) {
    LoadVisibleKey(static_cast<int32_t>(To));
  } else {
    LoadOrdinal(static_cast<int32_t>(To));
  }
}

// A step back from the start (forward from the end) stands before the first record (after the
// last) of the visible set without reading a key.
void TDataCursor::MoveToBegin() {
  TReadBracket Bracket(this);
  AtBOF = true;
  AtEOF = false;
  MoveBy(-1);
  ReadCurrentRecord();
}

void TDataCursor::MoveToEnd() {
  TReadBracket Bracket(this);
  AtEOF = true;
  AtBOF = false;
  MoveBy(1);
  ReadCurrentRecord();
}

uint16_t TDataCursor::GetNextRecord(uint8_t* Buffer) {
  TReadBracket Bracket(this);
  if (AtBOF)
    MoveFirst();
  else
    MoveBy(1);
  if (AtEOF) {
    if (Buffer != nullptr) std::memset(Buffer, 0, RecordBufferSize);
    return ecEndOfFile;
  }
  ReadCurrentRecord();
  if (Buffer != nullptr) std::memcpy(Buffer, CurrentRecord.data(), RecordBufferSize);
  return 0;
}

uint16_t TDataCursor::GetPriorRecord(uint8_t* Buffer) {
  TReadBracket Bracket(this);
  if (AtEOF)
    MoveLast();
  else
    MoveBy(-1);
  if (AtBOF) {
    if (Buffer != nullptr) std::memset(Buffer, 0, RecordBufferSize);
    return ecBeginOfFile;
  }
  ReadCurrentRecord();
  if (Buffer != nullptr) std::memcpy(Buffer, CurrentRecord.data(), RecordBufferSize);
  return 0;
}

uint16_t TDataCursor::GetCurrentRecord(uint8_t* Buffer, bool Lock) {
  TReadBracket Bracket(this);
  uint16_t Code = 0;
  if (AtBOF && AtEOF)
    Code = ecNoCurrentRecord;
  else if (AtBOF)
    Code = ecBeginOfFile;
  else if (AtEOF)
    Code = ecEndOfFile;
  if (Code != 0) {
    if (Buffer != nullptr) std::memset(Buffer, 0, RecordBufferSize);
    return Code;
  }
  if (Lock) {
    const uint32_t Locked = CurrentRecordNumber;
    LockRecord(Locked);
    try {
      // What this cursor read before must still be what the record holds now.
      ReadCurrentRecord();
      if (!Exclusive && Buffer != nullptr &&
          (CurrentRecordNumber != Locked || AtBOF || AtEOF ||
           std::memcmp(CurrentRecord.data(), Buffer, static_cast<size_t>(DataFile()->RecordSize())) != 0))
        Fail(ecRecordChanged);
    } catch (...) {
      try {
        UnlockRecord(Locked);
      } catch (...) {
      }
      throw;
    }
    if (AtBOF || AtEOF) return AtBOF && AtEOF ? ecNoCurrentRecord : (AtBOF ? ecBeginOfFile : ecEndOfFile);
  } else {
    ReadCurrentRecord();
  }
  if (Buffer != nullptr) std::memcpy(Buffer, CurrentRecord.data(), RecordBufferSize);
  return 0;
}

void TDataCursor::GotoSequence(int32_t N) {
  TReadBracket Bracket(this);
  if (VisibleEmpty()) {
    SetEmptyPosition();
  } else if (N < 1) {
    MoveFirst();
    MoveBy(-1);
  } else if (N > GetRecordCount()) {
    MoveLast();
    MoveBy(1);
  } else if (IsNaturalOrder()) {
    int32_t R = 0, Pos = 0;
    Bitmaps[0]->FindNext(R, N, Pos);
    CurrentRecordNumber = static_cast<uint32_t>(R);
    SequenceNumber = N;
    AtBOF = AtEOF = false;
  } else if (BitmapOrder) {
    LoadVisibleKey(N);
  } else {
    LoadOrdinal(RangeFirst + N - 1);
  }
  ReadCurrentRecord();
}

void TDataCursor::Reposition() {
  if (VisibleEmpty()) {
    SetEmptyPosition();
    ReadCurrentRecord();
    return;
  }
  if (AtBOF && !AtEOF) {
    MoveBy(-1);
  } else if (AtEOF && !AtBOF) {
    MoveBy(1);
  } else if (IsNaturalOrder()) {
    TRecordsBitmap* V = Bitmaps[0];
    int32_t N = static_cast<int32_t>(CurrentRecordNumber);
    bool Visible = N >= 1 && N <= V->RecordCount && V->GetBit(N);
    if (!Visible) {
      int32_t R = N, Pos = 0;
      if (N >= 0 && N < V->RecordCount && V->FindNext(R, 1, Pos)) {
        N = R;
      } else {
        R = std::min(N, V->RecordCount + 1);
        V->FindPrior(R, 1, Pos);
        N = R;
      }
    }
    CurrentRecordNumber = static_cast<uint32_t>(N);
    if (!(QuerySource && !LiveResult)) SequenceNumber = V->CountSetBefore(N) + 1;
    AtBOF = AtEOF = false;
  } else {
    uint8_t Key[kCursorKeyBufferSize];
    BuildKey(CurrentRecord.data(), Key);
    SearchKey(Key, true);
  }
  ReadCurrentRecord();
}

// ---- Key search and ranges
// -----------------------------------------------------------------------------------

bool TDataCursor::SearchKey(const uint8_t* Key, bool Nearest) {
  (void)Nearest;  // without a match the cursor stands on the next greater key either way
  if (VisibleEmpty()) {
    SetEmptyPosition();
    return false;
  }
  if (RangeActive && CompareKeys(Key, RangeStartKey, KeySize) < 0) {
    MoveFirst();
    return false;
  }
  if (RangeActive && CompareKeys(Key, RangeEndKey, KeySize) > 0) {
    MoveLast();
    return false;
  }
  // The descent that finds the key holds its leaf: the position is loaded from there.
  bool Found = false;
  int64_t Seq = 0;
  {
    THeldPosition H(*IndexFile());
    if (IndexSeekKey(*IndexFile(), this, IndexNo, Key, KeySize, H.Pos)) {
      Found = CompareKeys(H.Pos.Key(), Key, KeySize) == 0;
      HoldLeaf(*H.Pos.Leaf, H.Pos.Ordinal);
    }
    Seq = H.Pos.Ordinal;
  }
  if (BitmapOrder) {
    // Only keys of visible records count; without one at or after the key the cursor is at the end.
    auto It = std::lower_bound(FVisibleKeys.begin(), FVisibleKeys.end(), Seq,
                               [](const TVisibleKey& K, int64_t S) { return K.Ordinal < S; });
    if (It == FVisibleKeys.end()) {
      AtEOF = true;
      AtBOF = false;
      SequenceNumber = static_cast<int32_t>(FVisibleKeys.size()) + 1;
      CurrentRecordNumber = 0;
      return false;
    }
    LoadVisibleKey(static_cast<int32_t>(It - FVisibleKeys.begin()) + 1);
    return Found && It->Ordinal == Seq;
  }
  if (Seq < RangeFirst) {
    Seq = RangeFirst;
    Found = false;
  }
  if (Seq > RangeLast) {
    AtEOF = true;
    AtBOF = false;
    SequenceNumber = RangeLast + 1;
    CurrentRecordNumber = 0;
    return false;
  }
  LoadOrdinal(static_cast<int32_t>(Seq));
  return Found;
}

bool TDataCursor::FindKey(bool IsKey, const uint8_t* Source, uint8_t* Out, int PartialLength, bool Nearest,
                          int FieldCount) {
  if (IsNaturalOrder()) return false;
  TReadBracket Bracket(this);
  if (Source == nullptr) return false;
  uint8_t Key[kCursorKeyBufferSize] = {};
  if (IsKey)
    std::memcpy(Key, Source, KeySize);
  else
    BuildKey(Source, Key);
  bool Found;
  const bool Full = FieldCount < 1 || FieldCount > KeyFieldCount - 1;
  if (Full && Unique && (FieldCount != 0 || PartialLength == 0)) {
    Found = SearchKey(Key, Nearest);
  } else {
    if (!Unique && FieldCount == 0 && PartialLength == 0) FieldCount = KeyFieldCount;
    const uint8_t* Desc = IndexFile()->Descriptor(IndexNo)->Bytes;
    int Prefix = KeyPrefixLength(
        Desc, [this](int N) { return FieldByNumber(N); }, FieldCount);
    if (PartialLength > 0) Prefix += PartialLength + 1;
    Prefix = std::min<int>(Prefix, KeySize);
    std::memset(Key + Prefix, Descending ? 0xFF : 0x00, static_cast<size_t>(KeySize - Prefix));
    SearchKey(Key, true);
    Found = !VisibleEmpty() && !AtEOF && !AtBOF && CompareKeys(CurrentKey, Key, Prefix) == 0;
  }
  ReadCurrentRecord();
  if (Out != nullptr) std::memcpy(Out, CurrentRecord.data(), RecordBufferSize);
  return Found;
}

void TDataCursor::SetRange(bool IsKey, const uint8_t* Start, int StartFieldCount, const uint8_t* End,
                           int EndFieldCount) {
  if (IsNaturalOrder()) return;
  TReadBracket Bracket(this);
  const uint8_t* Desc = IndexFile()->Descriptor(IndexNo)->Bytes;
  // A partial key (fewer fields, or any key of an index that is not unique) is filled past its
  // fields: the lowest start, the highest end.
  auto Fill = [&](int Count, bool High, uint8_t* Key) {
    if ((Count >= 1 && Count <= KeyFieldCount - 1) || !Unique) {
      if (Count == 0 || Count > KeyFieldCount) Count = KeyFieldCount;
      int Prefix = std::min<int>(KeyPrefixLength(
                                     Desc, [this](int N) { return FieldByNumber(N); }, Count),
                                 KeySize);
      std::memset(Key + Prefix, (High != Descending) ? 0xFF : 0x00, static_cast<size_t>(KeySize - Prefix));
    }
  };
  auto MakeKey = [&](const uint8_t* Source, int Count, bool High, uint8_t* Key) {
    // An end that is not given is open.
    if (Source == nullptr) {
      std::memset(Key, (High != Descending) ? 0xFF : 0x00, kCursorKeyBufferSize);
      return;
    }
    if (IsKey) {
      std::memset(Key, 0, kCursorKeyBufferSize);
      std::memcpy(Key, Source, KeySize);
    } else {
      BuildKey(Source, Key);  // which clears the buffer first
    }
    Fill(Count, High, Key);
  };
  MakeKey(Start, StartFieldCount, false, RangeStartKey);
  if (Start != nullptr && Start == End && StartFieldCount == EndFieldCount) {
    // One source for both ends (an equality range, once per outer row of a join): its key is
    // built once, only the fill differs.
    std::memcpy(RangeEndKey, RangeStartKey, kCursorKeyBufferSize);
    Fill(EndFieldCount, true, RangeEndKey);
  } else {
    MakeKey(End, EndFieldCount, true, RangeEndKey);
  }
  RangeActive = true;
  // Only the range changed: the held leaf and the run of records read stand.
  BuildVisibleSet();
  Reposition();
}

void TDataCursor::CancelRange() {
  TReadBracket Bracket(this);
  ClearRange();
  BuildVisibleSet();
  Reposition();
}

// ---- New records, validity
// ------------------------------------------------------------------------------------

void TDataCursor::InitRecord(uint8_t* Buffer) {
  std::memset(Buffer, 0, RecordBufferSize);
  if (HasDefaults) ApplyFieldDefaults(PhysicalFields(), Buffer, LanguageID, SortID, Now());
}

void TDataCursor::ValidateRecord(const uint8_t* Buffer) {
  if (HasValidityChecks) ::ValidateRecord(TableName, PhysicalFields(), Buffer, LanguageID, SortID);
}

uint32_t TDataCursor::TakeRowNumber(const uint8_t* Buffer) {
  TDataFile* D = DataFile();
  if (!NoAutoInc) return D->NextAutoInc();
  // The buffer's own number; later automatic numbers go past it.
  const uint32_t Id = LoadU32(Buffer + 5);
  D->SetLastAutoInc(std::max(Id, D->LastAutoInc() + 1));
  return Id;
}

uint32_t TDataCursor::PeekNextAutoInc() {
  uint32_t Last = DataFile()->LastAutoInc();
  // The data file refuses to hand out numbers past the 32-bit signed range.
  if (Last >= 0x7FFFFFFF) Fail(ecFieldLimit);
  return Last + 1;
}

// ---- Writes
// --------------------------------------------------------------------------------------------------

void TDataCursor::FlushChanges() {
  BumpTableGeneration(Table);
  if (FilesReadOnly || Table->InTransaction) {
    StoreChangeCounts();
    return;
  }
  // Other holders learn of the change through the headers' change counters. An exclusive table is
  // written too: a later failed change then drops only its own cached changes.
  DataFile()->SetDirty();
  IndexFile()->SetDirty();
  if (TBlobFile* B = TableFileAccess(Table)->BlobFile()) B->SetDirty();
  Table->Files->WriteAll();
  // A journalled table's change is durable when this returns; others sync only when asked to.
  Table->CommitPost();
  if (!Table->Journalled() && Table->ForceBufferFlush()) Table->Files->SyncAll();
  StoreChangeCounts();
}

void TDataCursor::RunWrite(const std::function<void()>& Body) {
  CheckWritable();
  BeginWrite();
  try {
    Body();
  } catch (...) {
    // Nothing half-written may reach the files: cached records, pages and blocks changed by the
    // failed operation are dropped and the headers read again. (Outside a transaction every
    // earlier change is already on disk.)
    if (!FilesReadOnly && !Table->InTransaction) {
      try {
        Table->AbandonChanges();
        BumpTableGeneration(Table);
        RebuildVisibleSet();
        Reposition();
      } catch (...) {
      }
    }
    EndWrite();
    throw;
  }
  EndWrite();
}

void TDataCursor::InsertRecord(uint8_t* Buffer, bool Repos) {
  RunWrite([&]() {
    TDataFile* D = DataFile();
    const bool HasPrimary = !HasNoPrimaryKey();
    const uint32_t Free = D->FreeRecord();
    const bool Reused = Free != 0 && HasPrimary;
    const uint32_t NewRec = Reused ? Free : D->NextRecord();
    // A slot of the free chain is a record number others may hold a lock on. An appended record
    // inside a transaction is one nobody else can know: its lock goes to the transaction at once,
    // as the unlock at the end would hand it.
    const bool Handed = !Reused && Table->LockAppendedRecord(static_cast<int32_t>(NewRec));
    if (Handed)
      FPendingLocks.insert(static_cast<int32_t>(NewRec));
    else
      LockRecord(NewRec);
    try {
      ValidateRecord(Buffer);
      Buffer[0] = 0;
      if (!NoAutoInc) StoreU32(Buffer + 5, PeekNextAutoInc());
      std::vector<uint8_t> Old;
      if (Reused && !ReadRecordImage(NewRec, Old)) Fail(ecRecordsCorrupt);
      // Each index takes its key in one descent, which also meets an equal key already there: in a
      // unique index a key violation. The keys the indexes before it took are taken back then, so
      // that a refused record leaves nothing behind (its row number is handed out only after).
      const std::vector<uint8_t> Slots = MaintainedIndexes();
      uint8_t Key[kCursorKeyBufferSize];
      for (size_t I = 0; I < Slots.size(); ++I) {
        const uint8_t S = Slots[I];
        BuildKeyFor(S, Buffer, Key);
        if (InsertKeyInto(S, Key, NewRec, true)) continue;
        for (size_t J = I; J-- > 0;) {
          BuildKeyFor(Slots[J], Buffer, Key);
          DeleteKeyFrom(Slots[J], Key);
        }
        const bool Checked = !(LiveResult && !QuerySource) && (S == 0 || IndexFile()->Descriptor(S)->Unique());
        if (Checked) Fail(ecKeyViolation, "", IndexDisplayName(S));
        Fail(ecIndexCorrupt);
      }
      const uint32_t Id = TakeRowNumber(Buffer);
      StoreU32(Buffer + 5, Id);
      uint8_t NewStatus[kCursorKeyBufferSize];
      BuildStatusKey(Buffer, NewStatus);
      if (Reused) {
        uint8_t OldStatus[kCursorKeyBufferSize];
        BuildStatusKey(Old.data(), OldStatus);
        ReplaceKeyIn(kStatusIndex, OldStatus, NewStatus, NewRec);
      } else {
        InsertKeyInto(kStatusIndex, NewStatus, NewRec);
      }
      TRecord* R = nullptr;
      const uint32_t Got = D->AllocateRecord(this, HasPrimary, R);
      if (Got != NewRec) {
        D->ReleaseRecord(R);
        Fail(ecRecordsCorrupt);
      }
      std::vector<uint8_t> Image(Buffer, Buffer + D->RecordSize());
      try {
        StoreBlobFields(Image.data(), nullptr, NewRec);
      } catch (...) {
        D->ReleaseRecord(R);
        throw;
      }
      R->CopyImage(Image.data());
      R->Buffer[0] = 0;
      StoreU32(R->Buffer + 1, NewRec);
      StoreU32(R->Buffer + 5, Id);
      R->Modified = true;
      CurrentRecord.assign(RecordBufferSize, 0);
      std::memcpy(CurrentRecord.data(), R->Buffer, static_cast<size_t>(D->RecordSize()));
      D->ReleaseRecord(R);
      IndexFile()->IncRecordCount();
      FlushChanges();
      if (!IsNaturalOrder()) ComputeRange();
      UpdateVisibleRecord(NewRec, CurrentRecord.data());
      if (Repos) {
        CurrentRecordNumber = NewRec;
        AtBOF = AtEOF = false;
        Reposition();
      } else {
        // The position stays where it was; its sequence number may have moved.
        uint32_t Keep = CurrentRecordNumber;
        if (!(AtBOF || AtEOF)) {
          ReadCurrentRecord();
          CurrentRecordNumber = Keep;
          Reposition();
        } else if (AtBOF && AtEOF) {
          // The set is no longer empty: the cursor stands before its first record.
          MoveFirst();
          MoveBy(-1);
          ReadCurrentRecord();
        }
      }
    } catch (...) {
      try {
        if (!Handed) UnlockRecord(NewRec);
      } catch (...) {
      }
      throw;
    }
    if (!Handed) UnlockRecord(NewRec);
  });
}

void TDataCursor::AppendRecords(uint8_t* Buffers, uint32_t Count) {
  CheckExclusive();
  if (!HasNoPrimaryKey() || GetIndexCount() > 0) Fail(ecIndexExists);
  if (DataFile()->BlobFieldCount() > 0) Fail(ecInvalidBlobField);
  if (Count == 0) return;
  RunWrite([&]() {
    TDataFile* D = DataFile();
    TIndexFile* X = IndexFile();
    const size_t Size = static_cast<size_t>(D->RecordSize());
    const size_t KeyLength = static_cast<size_t>(SlotKeyLength(kStatusIndex));
    std::vector<uint8_t> Keys(Count * KeyLength);
    std::vector<uint32_t> Numbers(Count);
    const uint32_t First = D->NextRecord();
    for (uint32_t I = 0; I < Count; ++I) {
      uint8_t* Buffer = Buffers + static_cast<size_t>(I) * RecordBufferSize;
      if (!NoAutoInc) StoreU32(Buffer + 5, PeekNextAutoInc());
      ValidateRecord(Buffer);
      const uint32_t Id = TakeRowNumber(Buffer);
      Buffer[0] = 0;
      StoreU32(Buffer + 1, First + I);
      StoreU32(Buffer + 5, Id);
      BuildStatusKey(Buffer, Keys.data() + I * KeyLength);
      Numbers[I] = First + I;
    }
    // The buffers are the records' images, unless calculated fields follow each record.
    std::vector<uint8_t> Packed;
    if (RecordBufferSize != Size) {
      Packed.resize(Count * Size);
      for (uint32_t I = 0; I < Count; ++I)
        std::memcpy(Packed.data() + I * Size, Buffers + static_cast<size_t>(I) * RecordBufferSize, Size);
    }
    D->AppendRecords(this, Packed.empty() ? Buffers : Packed.data(), Count);
    // The new records' status keys carry new row numbers: they go after every live key.
    if (IndexAppendKeys(*X, this, kStatusIndex, Keys.data(), Numbers.data(), Count) != Count) Fail(ecIndexCorrupt);
    X->SetRecordCount(X->GetRecordCount() + Count);
    FlushChanges();
    if (IsNaturalOrder()) {
      for (uint32_t I = 0; I < Count; ++I)
        UpdateVisibleRecord(First + I, Buffers + static_cast<size_t>(I) * RecordBufferSize);
    } else {
      RebuildVisibleSet();
    }
    MoveFirst();
    MoveBy(-1);
    ReadCurrentRecord();
  });
}

void TDataCursor::ModifyRecord(uint8_t* Buffer, bool Unlock, bool Repos) {
  RunWrite([&]() {
    if (AtBOF || AtEOF) Fail(ecNoCurrentRecord);
    TDataFile* D = DataFile();
    const uint32_t RecNo = CurrentRecordNumber;
    // Normally the lock was taken when editing began; a caller that did not lock gets it here.
    const bool LockedHere = !(Table->IsCursorLocked(static_cast<int32_t>(RecNo)) &&
                              Table->CursorLockOwner(static_cast<int32_t>(RecNo)) == this);
    if (LockedHere) LockRecord(RecNo);
    try {
      ValidateRecord(Buffer);
      std::vector<uint8_t> Old;
      if (!ReadRecordImage(RecNo, Old) || Old[0] != 0) Fail(ecRecordChanged);
      if (!NoAutoInc)
        StoreU32(Buffer + 5, LoadU32(Old.data() + 5));
      else
        D->SetLastAutoInc(std::max(LoadU32(Buffer + 5), D->LastAutoInc()));
      Buffer[0] = 0;
      std::vector<uint8_t> Slots = MaintainedIndexes();
      if (NoAutoInc) Slots.push_back(kStatusIndex);
      std::vector<uint8_t> Changed;
      uint8_t OldKey[kCursorKeyBufferSize], NewKey[kCursorKeyBufferSize];
      for (uint8_t S : Slots) {
        BuildKeyFor(S, Old.data(), OldKey);
        BuildKeyFor(S, Buffer, NewKey);
        const int Len = S == kStatusIndex ? 5 : IndexFile()->Descriptor(S)->KeyLength();
        if (CompareKeysFor(S, OldKey, NewKey, Len) == 0) continue;
        Changed.push_back(S);
        const bool UniqueSlot = S == 0 || S == kStatusIndex || IndexFile()->Descriptor(S)->Unique();
        if (UniqueSlot && !(LiveResult && !QuerySource) && KeyExistsIn(S, NewKey))
          Fail(ecKeyViolation, "", IndexDisplayName(S));
      }
      for (uint8_t S : Changed) {
        BuildKeyFor(S, Old.data(), OldKey);
        BuildKeyFor(S, Buffer, NewKey);
        ReplaceKeyIn(S, OldKey, NewKey, RecNo);
      }
      std::vector<uint8_t> Image(Buffer, Buffer + D->RecordSize());
      StoreBlobFields(Image.data(), Old.data(), RecNo);
      TRecord* R = nullptr;
      if (!D->GetRecord(this, RecNo, R) || R == nullptr) Fail(ecRecordChanged);
      std::memcpy(R->Buffer + kRecordPrefixSize, Image.data() + kRecordPrefixSize,
                  static_cast<size_t>(D->RecordSize() - kRecordPrefixSize));
      StoreU32(R->Buffer + 5, LoadU32(Buffer + 5));
      R->Modified = true;
      D->ReleaseRecord(R);
      ReadCurrentRecord();
      FlushChanges();
      if (!IsNaturalOrder()) ComputeRange();
      UpdateVisibleRecord(RecNo, CurrentRecord.data());
    } catch (...) {
      if (LockedHere) {
        try {
          UnlockRecord(RecNo);
        } catch (...) {
        }
      }
      throw;
    }
    if (Unlock || LockedHere) UnlockRecord(RecNo);
    // The cursor stays on the record; in index order its key and so its position may have moved
    // (a position left as it was would make the next step skip or repeat a record).
    (void)Repos;
    CurrentRecordNumber = RecNo;
    Reposition();
  });
}

void TDataCursor::DeleteRecord(const uint8_t* Buffer, bool Repos) {
  RunWrite([&]() {
    if (AtBOF || AtEOF) Fail(ecNoCurrentRecord);
    TDataFile* D = DataFile();
    const uint32_t RecNo = CurrentRecordNumber;
    std::vector<uint8_t> Old;
    if (!ReadRecordImage(RecNo, Old) || Old[0] != 0) Fail(ecRecordChanged);
    if (!Exclusive && Buffer != nullptr &&
        std::memcmp(Old.data(), Buffer, static_cast<size_t>(D->RecordSize())) != 0)
      Fail(ecRecordChanged);
    LockRecord(RecNo);
    try {
      uint8_t Key[kCursorKeyBufferSize];
      for (uint8_t S : MaintainedIndexes()) {
        BuildKeyFor(S, Old.data(), Key);
        DeleteKeyFrom(S, Key);
      }
      uint8_t Live[kCursorKeyBufferSize], Dead[kCursorKeyBufferSize];
      BuildStatusKey(Old.data(), Live);
      BuildStatusKey(Old.data(), Dead);
      Dead[0] = 1;
      ReplaceKeyIn(kStatusIndex, Live, Dead, RecNo);
      IndexFile()->DecRecordCount();
      FreeRecordBlobs(Old.data(), RecNo);
      TRecord* R = nullptr;
      if (!D->GetRecord(this, RecNo, R) || R == nullptr) Fail(ecRecordChanged);
      D->PushFreeRecord(R, !HasNoPrimaryKey());
      R->Modified = true;
      D->ReleaseRecord(R);
      FlushChanges();
      if (!IsNaturalOrder()) ComputeRange();
      UpdateVisibleRecord(RecNo, nullptr);
      // The cursor moves to the record after the deleted one in every case: a position left on
      // the deleted key's place would make the next step skip a record.
      (void)Repos;
      CurrentRecord = Old;
      CurrentRecordNumber = RecNo;
      Reposition();
    } catch (...) {
      try {
        UnlockRecord(RecNo);
      } catch (...) {
      }
      throw;
    }
    UnlockRecord(RecNo);
  });
}

// ---- Copies and other cursors
// ----------------------------------------------------------------------------------

uint16_t TDataCursor::CopyCurrentRecord(uint8_t* Buffer) {
  TReadBracket Bracket(this);
  std::memset(Buffer, 0, RecordBufferSize);
  if (AtBOF && AtEOF) return ecNoCurrentRecord;
  if (AtBOF || AtEOF) return AtBOF ? ecBeginOfFile : ecEndOfFile;
  ReadCurrentRecord();
  for (const TFieldDescriptor& F : DataFile()->Fields) {
    if (!F.HasSlot()) continue;
    const uint16_t Offset = F.Offset();
    if (CurrentRecord[Offset] == 0) continue;
    const int Size = F.Type() == ftBlob ? 8 : F.DataSize();
    std::memcpy(Buffer + Offset, CurrentRecord.data() + Offset, static_cast<size_t>(Size) + 1);
  }
  if (NoAutoInc) std::memcpy(Buffer + 5, CurrentRecord.data() + 5, 4);
  return 0;
}

uint16_t TDataCursor::SetToCursor(TDataCursor* Other) {
  TReadBracket Bracket(this);
  uint16_t Code = 0;
  if (Other == nullptr || Other->AtBOF || Other->AtEOF) return ecRecordNotFound;
  if (IsNaturalOrder()) {
    CurrentRecordNumber = Other->CurrentRecordNumber;
    AtBOF = AtEOF = false;
    Reposition();
    if (CurrentRecordNumber != Other->CurrentRecordNumber || AtBOF || AtEOF) Code = ecRecordNotFound;
  } else {
    uint8_t Key[kCursorKeyBufferSize];
    BuildKey(Other->CurrentRecord.data(), Key);
    if (!SearchKey(Key, true)) Code = ecRecordNotFound;
    ReadCurrentRecord();
  }
  return Code;
}
