// The cursor's filters and its visible record set: the range and live-record sets built from
// index key ranges, the evaluation of filters over whole bitmaps or single records, index order
// over a bitmap, calculated fields and the cursor clone.
#include <algorithm>
#include <cstring>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/data_cursor_internal.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/index_file.h"
#include "dbengine/storage/index_page.h"
#include "platform/core/sysutils.h"

namespace {

// Releases a held index position also when a walk raises.
class TPositionHolder {
 public:
  TPositionHolder(TPageStore& Store) : FStore(Store) {}
  ~TPositionHolder() {
    try {
      IndexRelease(FStore, Pos);
    } catch (...) {
    }
  }
  TPositionHolder(const TPositionHolder&) = delete;
  TPositionHolder& operator=(const TPositionHolder&) = delete;
  TIndexPosition Pos;

 private:
  TPageStore& FStore;
};

constexpr int kStatusKeyLength = 5;

// Inverts a set over records 1..RecordCount; the bits beyond it stay clear.
void InvertSet(TRecordsBitmap& B) {
  B.Invert();
  for (int32_t R = B.RecordCount + 1; R <= B.BitCount; ++R) B.ClearBit(R);
}
constexpr int kMaxRestarts = 1000;

}  // namespace

// ---- Key ranges -----------------------------------------------------------------------------------------

int32_t TDataCursor::PhysicalRecordCount() {
  return static_cast<int32_t>(DataFile()->NextRecord()) - 1;
}

int TDataCursor::SlotKeyLength(uint8_t Slot) {
  if (Slot == kStatusIndex) return kStatusKeyLength;
  return IndexFile()->Descriptor(Slot)->KeyLength();
}

void TDataCursor::IncrementKey(uint8_t* Key, int Length) {
  bool AllHigh = true;
  for (int I = 0; I < Length; ++I)
    if (Key[I] != 0xFF) AllHigh = false;
  if (AllHigh) return;
  for (int I = Length - 1; I >= 0; --I) {
    if (Key[I] != 0xFF) {
      ++Key[I];
      return;
    }
    Key[I] = 0x00;
  }
}

void TDataCursor::DecrementKey(uint8_t* Key, int Length) {
  bool AllLow = true;
  for (int I = 0; I < Length; ++I)
    if (Key[I] != 0x00) AllLow = false;
  if (AllLow) return;
  for (int I = Length - 1; I >= 0; --I) {
    if (Key[I] != 0x00) {
      --Key[I];
      return;
    }
    Key[I] = 0xFF;
  }
}

int32_t TDataCursor::CountKeyRangeOn(uint8_t Slot, const uint8_t* Low, const uint8_t* High, bool& Aborted) {
  Aborted = false;
  const int Len = SlotKeyLength(Slot);
  if (CompareKeysFor(Slot, Low, High, Len) > 0) return 0;
  try {
    TPositionHolder First(*IndexFile());
    if (!IndexSeekKey(*IndexFile(), this, Slot, Low, Len, First.Pos)) return 0;
    const int64_t FirstOrdinal = First.Pos.Ordinal;
    // The last key not above High is the one before the first key above it.
    uint8_t Above[kCursorKeyBufferSize];
    std::memcpy(Above, High, static_cast<size_t>(Len));
    IncrementKey(Above, Len);
    int64_t LastOrdinal;
    TPositionHolder Last(*IndexFile());
    if (CompareKeysFor(Slot, Above, High, Len) > 0 && IndexSeekKey(*IndexFile(), this, Slot, Above, Len, Last.Pos))
      LastOrdinal = Last.Pos.Ordinal - 1;
    else
      LastOrdinal = IndexKeyCount(*IndexFile(), this, Slot);
    if (FirstOrdinal < 1 || LastOrdinal < FirstOrdinal) return 0;
    return static_cast<int32_t>(LastOrdinal - FirstOrdinal + 1);
  } catch (const EIndexChanged&) {
    Aborted = true;
    return 0;
  }
}

void TDataCursor::MarkKeyRangeOn(uint8_t Slot, const uint8_t* Low, const uint8_t* High, bool& Aborted,
                                 TRecordsBitmap& Bitmap) {
  Aborted = false;
  const int32_t N = PhysicalRecordCount();
  Bitmap.SetRecordCount(std::max(N, 1));
  Bitmap.ClearAll();
  const int Len = SlotKeyLength(Slot);
  if (CompareKeysFor(Slot, Low, High, Len) > 0) return;
  try {
    TPositionHolder H(*IndexFile());
    bool Has = IndexSeekKey(*IndexFile(), this, Slot, Low, Len, H.Pos);
    while (Has) {
      if (CompareKeysFor(Slot, H.Pos.Key(), High, Len) > 0) break;
      const uint32_t R = H.Pos.RecordNumber();
      if (R >= 1 && static_cast<int64_t>(R) <= N) Bitmap.SetBit(static_cast<int32_t>(R));
      Has = IndexStep(*IndexFile(), this, Slot, H.Pos, true);
    }
  } catch (const EIndexChanged&) {
    Aborted = true;
  }
}

int32_t TDataCursor::CountKeyRange(const uint8_t* Low, const uint8_t* High, bool& Aborted) {
  return CountKeyRangeOn(IndexNo, Low, High, Aborted);
}

void TDataCursor::MarkKeyRange(const uint8_t* Low, const uint8_t* High, bool& Aborted, TRecordsBitmap& Bitmap) {
  MarkKeyRangeOn(IndexNo, Low, High, Aborted, Bitmap);
}

void TDataCursor::FillKey(uint8_t Slot, uint8_t* Key, int From, bool High) {
  const int Len = Slot == kStatusIndex ? kStatusKeyLength : SlotKeyLength(Slot);
  const int Start = std::max(From, 1) - 1;
  const uint8_t Plain = High ? 0xFF : 0x00;
  if (Slot == kStatusIndex || LanguageID == 0) {
    if (Start < Len) std::memset(Key + Start, Plain, static_cast<size_t>(Len - Start));
    return;
  }
  const TIndexDescriptor* D = IndexFile()->Descriptor(Slot);
  int Pos = 0;
  for (int I = 0; I < D->FieldCount() && Pos < Len; ++I) {
    const uint8_t* F = FieldByNumber(D->FieldNumber(I));
    if (F == nullptr) break;
    const int Size = FieldDescDataSize(F);
    const bool Text = F[kFieldDescTypeOffset] == ftString;
    for (int B = Pos; B < Pos + Size + 1 && B < Len; ++B) {
      if (B < Start) continue;
      if (B == Pos)
        Key[B] = High ? 1 : 0;
      else
        Key[B] = Text ? (High ? CollationMap[255] : CollationMap[0]) : Plain;
    }
    Pos += Size + 1;
  }
  for (int B = std::max(Pos, Start); B < Len; ++B) Key[B] = Plain;
}

void TDataCursor::FillKeyLow(uint8_t Slot, uint8_t* Key, int From) {
  FillKey(Slot, Key, From, false);
}

void TDataCursor::FillKeyHigh(uint8_t Slot, uint8_t* Key, int From) {
  FillKey(Slot, Key, From, true);
}

int TDataCursor::FindIndexOnField(int FieldNo, bool CaseIns, bool AnyCase) {
  TIndexFile* X = IndexFile();
  const uint8_t* F = FieldByNumber(FieldNo);
  if (F == nullptr) return -1;
  const bool Text = F[kFieldDescTypeOffset] == ftString;
  for (int S = HasNoPrimaryKey() ? 1 : 0; S <= GetIndexCount(); ++S) {
    const TIndexDescriptor* D = X->Descriptor(S);
    if (D->FieldCount() < 1 || D->FieldNumber(0) != FieldNo) continue;
    if (D->Descending() || D->FieldDescending(0)) continue;
    if (Text && !AnyCase && D->CaseInsensitive() != CaseIns) continue;
    return S;
  }
  return -1;
}

// ---- Scans ------------------------------------------------------------------------------------------------

void TDataCursor::FilterBitmap(TRecordsBitmap& Bitmap,
                               const std::function<bool(const uint8_t* Record, uint32_t RecordNo)>& Test,
                               bool& Aborted, int Mode) {
  Aborted = false;
  const int32_t N = PhysicalRecordCount();
  if (Bitmap.RecordCount < std::max(N, 1)) Bitmap.SetRecordCount(std::max(N, 1));
  if (Mode != 10) Bitmap.SetAll();
  std::vector<uint8_t> Image;
  int32_t R = 0, Pos = 0;
  for (;;) {
    if (Mode == 10) {
      if (R >= N || !Bitmap.FindNext(R, 1, Pos) || R > N) break;
    } else if (++R > N) {
      break;
    }
    if (!ReadRecordImage(static_cast<uint32_t>(R), Image) || Image[0] != 0) {
      Bitmap.ClearBit(R);
      continue;
    }
    if (HasComputedFields) ComputeCalculatedFields(Image.data());
    if (!Test(Image.data(), static_cast<uint32_t>(R))) Bitmap.ClearBit(R);
  }
}

// ---- Filter list ------------------------------------------------------------------------------------------

bool TDataCursor::AnyActiveFilter() {
  for (TFilter* F : Filters)
    if (F->Active) return true;
  return false;
}

bool TDataCursor::KeyedBitmapOrder() {
  return BitmapOrder && !IsNaturalOrder();
}

TFilter* TDataCursor::ListedFilter(TFilterHandle Handle) {
  for (TFilter* F : Filters)
    if (F == Handle) return F;
  Fail(ecInvalidFilterHandle);
}

void TDataCursor::FreeFilters() {
  std::vector<TFilter*> Old;
  Old.swap(Filters);
  for (TFilter* F : Old) delete F;
}

TFilterHandle TDataCursor::AddFilter(void* Data, const std::string& Text, bool NoPartialCompare, bool CaseIns,
                                     bool Flag, bool EvaluateLast, TFilterCallback Callback, bool Optimise,
                                     std::unique_ptr<TCursorCondition> Tree) {
  if (!Active) Fail(ecInvalidFilterHandle);
  if (static_cast<int>(Filters.size()) >= kMaxCursorFilters) Fail(ecTooManyFilters);
  std::unique_ptr<TCursorCondition> Condition;
  if (!Text.empty()) {
    TCursorExpressionCompiler* C = CursorExpressionCompiler();
    if (C == nullptr)
      RaiseEngineError(ecFilterError, TableName, std::string(), std::string(),
                       "filter expressions are not available");
    Condition = C->CompileCondition(*this, Text, NoPartialCompare, CaseIns);
    if (!Condition) RaiseEngineError(ecFilterError, TableName, std::string(), std::string(), "filter expression is empty");
    Callback = nullptr;
  } else if (Tree) {
    Condition = std::move(Tree);
    Callback = nullptr;
  } else if (!Callback) {
    RaiseEngineError(ecFilterError, TableName, std::string(), std::string(), "filter expression is empty");
  }
  auto* F = new TFilter(this, std::move(Callback), Data, Optimise, EvaluateLast, std::move(Condition));
  F->Flag = Flag;
  // Filters evaluated last stay behind all others.
  auto At = Filters.end();
  if (!EvaluateLast)
    At = std::find_if(Filters.begin(), Filters.end(), [](const TFilter* G) { return G->EvaluateLast; });
  Filters.insert(At, F);
  return F;
}

void TDataCursor::DropFilter(TFilterHandle Handle) {
  TReadBracket Bracket(this);
  if (Handle == nullptr) {
    FreeFilters();
  } else {
    TFilter* F = ListedFilter(Handle);
    Filters.erase(std::find(Filters.begin(), Filters.end(), F));
    delete F;
  }
  AfterFilterChange();
}

void TDataCursor::ActivateFilter(TFilterHandle Handle) {
  TReadBracket Bracket(this);
  std::vector<TFilter*> Targets;
  if (Handle == nullptr)
    Targets = Filters;
  else
    Targets.push_back(ListedFilter(Handle));
  for (TFilter* F : Targets) F->Activate();
  try {
    AfterFilterChange();
  } catch (...) {
    // A filter that could not be evaluated does not stay active over a half-built bitmap.
    for (TFilter* F : Targets) F->Deactivate();
    try {
      AfterFilterChange();
    } catch (...) {
    }
    throw;
  }
}

void TDataCursor::DeactivateFilter(TFilterHandle Handle) {
  TReadBracket Bracket(this);
  if (Handle == nullptr) {
    for (TFilter* F : Filters) F->Deactivate();
  } else {
    ListedFilter(Handle)->Deactivate();
  }
  AfterFilterChange();
}

void TDataCursor::SetFilterExpression(std::unique_ptr<TCursorCondition> Tree, TFilterHandle Handle) {
  if (!Tree) return;
  TReadBracket Bracket(this);
  TFilter* F = ListedFilter(Handle);
  if (!F->Active || F->IsCallback) Fail(ecInvalidFilterHandle);
  F->SetExpression(std::move(Tree));
  AfterFilterChange();
}

// ---- The visible set --------------------------------------------------------------------------------------

void TDataCursor::BuildRangeAndLiveSets(int32_t N) {
  for (TRecordsBitmap* B : Bitmaps) B->SetRecordCount(std::max(N, 1));
  if (N == 0) {
    RangeSet()->ClearAll();
    LiveSet()->ClearAll();
    return;
  }
  bool Aborted = false;
  for (int Try = 0;; ++Try) {
    if (Try > kMaxRestarts) Fail(ecIndexCorrupt);
    if (!RangeActive || IsNaturalOrder()) {
      RangeSet()->ClearAll();
    } else {
      const int32_t C = (RangeFirst < 1 || RangeLast < 1) ? 0 : RangeLast - RangeFirst + 1;
      if (C > N - C) {
        // Most records lie inside: the records outside are marked and the result inverted.
        uint8_t Low[kCursorKeyBufferSize], High[kCursorKeyBufferSize];
        TRecordsBitmap* Above = GetRecordsBitmap();
        try {
          std::memset(Low, Descending ? 0xFF : 0x00, sizeof Low);
          std::memcpy(High, RangeStartKey, kCursorKeyBufferSize);
          if (Descending)
            IncrementKey(High, KeySize);
          else
            DecrementKey(High, KeySize);
          bool Below = CompareKeys(RangeStartKey, Low, KeySize) != 0;
          if (Below) MarkKeyRangeOn(IndexNo, Low, High, Aborted, *RangeSet());
          else {
            RangeSet()->ClearAll();
          }
          if (!Aborted) {
            std::memcpy(Low, RangeEndKey, kCursorKeyBufferSize);
            std::memset(High, Descending ? 0x00 : 0xFF, sizeof High);
            if (Descending)
              DecrementKey(Low, KeySize);
            else
              IncrementKey(Low, KeySize);
            if (CompareKeys(RangeEndKey, High, KeySize) != 0) {
              MarkKeyRangeOn(IndexNo, Low, High, Aborted, *Above);
              RangeSet()->OrWith(*Above);
            }
          }
          InvertSet(*RangeSet());
        } catch (...) {
          PutRecordsBitmap(Above);
          throw;
        }
        PutRecordsBitmap(Above);
      } else {
        MarkKeyRangeOn(IndexNo, RangeStartKey, RangeEndKey, Aborted, *RangeSet());
      }
    }
    if (Aborted) continue;
    // The status index holds every slot: the deleted ones are marked, the rest are live.
    uint8_t Low[kStatusKeyLength] = {1, 0, 0, 0, 0};
    uint8_t High[kStatusKeyLength] = {1, 0xFF, 0xFF, 0xFF, 0xFF};
    MarkKeyRangeOn(kStatusIndex, Low, High, Aborted, *LiveSet());
    if (Aborted) continue;
    InvertSet(*LiveSet());
    return;
  }
}

void TDataCursor::EvaluateFilter(TFilter* F, bool Narrow, bool& Restart) {
  Restart = false;
  const int32_t N = PhysicalRecordCount();
  F->Bitmap->SetRecordCount(std::max(N, 1));
  F->Bitmap->CopyFrom(*LiveSet());
  if (RangeActive && !IsNaturalOrder()) F->Bitmap->AndWith(*RangeSet());
  if (Narrow && F->EvaluateLast && F->Mode != 2) {
    for (TFilter* G : Filters) {
      if (G == F) break;
      if (!G->Active) continue;
      G->Bitmap->SetRecordCount(std::max(N, 1));
      F->Bitmap->AndWith(*G->Bitmap);
    }
  }
  F->Evaluate(Restart);
}

void TDataCursor::EvaluateAllFilters() {
  if (FFilterBusy) return;
  FFilterBusy = true;
  try {
    for (int Try = 0;; ++Try) {
      if (Try > kMaxRestarts) Fail(ecIndexCorrupt);
      const int32_t N = PhysicalRecordCount();
      BuildRangeAndLiveSets(N);
      bool Restart = false;
      if (N > 0) {
        for (TFilter* F : Filters) {
          if (!F->Active) continue;
          EvaluateFilter(F, true, Restart);
          if (Restart) break;
        }
      }
      if (!Restart) break;
    }
  } catch (...) {
    FFilterBusy = false;
    throw;
  }
  FFilterBusy = false;
  CombineVisibleSet();
}

void TDataCursor::CombineVisibleSet() {
  if (FFilterBusy || !BitmapOrder) return;
  const int32_t N = PhysicalRecordCount();
  TRecordsBitmap* V = VisibleSet();
  FVisibleKeys.clear();
  if (N < 1) {
    V->SetRecordCount(1);
    V->ClearAll();
    VisibleCount = 0;
    return;
  }
  V->SetRecordCount(N);
  LiveSet()->SetRecordCount(N);
  V->CopyFrom(*LiveSet());
  if (RangeActive && !IsNaturalOrder()) {
    RangeSet()->SetRecordCount(N);
    V->AndWith(*RangeSet());
  }
  for (TFilter* F : Filters) {
    if (!F->Active) continue;
    F->Bitmap->SetRecordCount(N);
    V->AndWith(*F->Bitmap);
  }
  VisibleCount = V->CountSet();
  if (!IsNaturalOrder()) BuildVisibleKeys();
}

void TDataCursor::BuildVisibleKeys() {
  FVisibleKeys.clear();
  TRecordsBitmap* V = VisibleSet();
  if (VisibleCount > 0) {
    for (int Try = 0;; ++Try) {
      if (Try > kMaxRestarts) Fail(ecIndexCorrupt);
      try {
        TPositionHolder H(*IndexFile());
        bool Has = RangeActive ? IndexSeekKey(*IndexFile(), this, IndexNo, RangeStartKey, KeySize, H.Pos)
                               : IndexSeekOrdinal(*IndexFile(), this, IndexNo, 1, H.Pos);
        while (Has) {
          if (RangeActive && CompareKeys(H.Pos.Key(), RangeEndKey, KeySize) > 0) break;
          const uint32_t R = H.Pos.RecordNumber();
          if (R >= 1 && static_cast<int64_t>(R) <= V->RecordCount && V->GetBit(static_cast<int32_t>(R)))
            FVisibleKeys.push_back({static_cast<int32_t>(H.Pos.Ordinal), R});
          Has = IndexStep(*IndexFile(), this, IndexNo, H.Pos, true);
        }
        break;
      } catch (const EIndexChanged&) {
        FVisibleKeys.clear();
      }
    }
  }
  VisibleCount = static_cast<int32_t>(FVisibleKeys.size());
}

void TDataCursor::LoadVisibleKey(int32_t Position) {
  const TVisibleKey& K = FVisibleKeys[static_cast<size_t>(Position - 1)];
  LoadOrdinal(K.Ordinal);
  CurrentRecordNumber = K.Record;
  SequenceNumber = Position;
}

void TDataCursor::AfterFilterChange() {
  const bool WasEmpty = AtBOF && AtEOF;
  RebuildVisibleSet();
  if (WasEmpty) {
    MoveFirst();
    MoveBy(-1);
    ReadCurrentRecord();
  } else {
    Reposition();
  }
}

bool TDataCursor::RecordKeyInRange(const uint8_t* Image) {
  uint8_t Key[kCursorKeyBufferSize];
  BuildKey(Image, Key);
  return CompareKeys(Key, RangeStartKey, KeySize) >= 0 && CompareKeys(Key, RangeEndKey, KeySize) <= 0;
}

void TDataCursor::UpdateVisibleRecord(uint32_t RecNo, const uint8_t* Image) {
  if (!BitmapOrder || RecNo == 0) return;
  const int32_t N = std::max(PhysicalRecordCount(), static_cast<int32_t>(RecNo));
  for (TRecordsBitmap* B : Bitmaps)
    if (B->RecordCount < N) B->SetRecordCount(N);
  const int32_t R = static_cast<int32_t>(RecNo);
  const bool Live = Image != nullptr && Image[0] == 0;
  bool Visible = Live;
  if (Live)
    LiveSet()->SetBit(R);
  else
    LiveSet()->ClearBit(R);
  if (RangeActive && !IsNaturalOrder()) {
    const bool In = Live && RecordKeyInRange(Image);
    if (In)
      RangeSet()->SetBit(R);
    else
      RangeSet()->ClearBit(R);
    Visible = Visible && In;
  }
  for (TFilter* F : Filters) {
    if (!F->Active) continue;
    if (Live) {
      std::vector<uint8_t> Copy(Image, Image + RecordBufferSize);
      if (HasComputedFields) ComputeCalculatedFields(Copy.data());
      F->TestRecord(RecNo, Copy.data());
    } else {
      F->ExcludeRecord(RecNo);
    }
    if (F->Bitmap->RecordCount < R) F->Bitmap->SetRecordCount(R);
    Visible = Visible && F->Bitmap->GetBit(R);
  }
  TRecordsBitmap* V = VisibleSet();
  const bool Was = V->GetBit(R);
  if (Visible && !Was) {
    V->SetBit(R);
    ++VisibleCount;
  } else if (!Visible && Was) {
    V->ClearBit(R);
    --VisibleCount;
  }
  if (!IsNaturalOrder()) BuildVisibleKeys();
}

// ---- Calculated fields ------------------------------------------------------------------------------------

void TDataCursor::SetFieldCalculation(int FieldNo, std::unique_ptr<TCursorCalculation> Calculation) {
  const uint8_t* D = MapEntry(FieldNo);
  if (D[kFieldDescCalculatedOffset] == 0) Fail(ecInvalidField, std::to_string(FieldNo));
  if (FCalculations.size() < FieldDescs.size()) FCalculations.resize(FieldDescs.size());
  FCalculations[static_cast<size_t>(FieldNo - 1)] = std::move(Calculation);
  if (Active && !CurrentRecord.empty() && !(AtBOF || AtEOF)) ComputeCalculatedFields(CurrentRecord.data());
}

void TDataCursor::ComputeCalculatedFields(uint8_t* Record) {
  if (!HasComputedFields || InCallback) return;
  InCallback = true;
  try {
    for (size_t I = 0; I < FCalculations.size() && I < FieldDescs.size(); ++I) {
      if (!FCalculations[I] || !FieldDescs[I].Calculated()) continue;
      FCalculations[I]->Compute(*this, Record, FieldDescs[I]);
    }
  } catch (...) {
    InCallback = false;
    throw;
  }
  InCallback = false;
}

// ---- Clone ------------------------------------------------------------------------------------------------

void TDataCursor::SetPasswordHandler(void* Session, std::function<bool(void* Session)> Handler) {
  if (!Handler) {
    OnPasswordRequest = nullptr;
    return;
  }
  OnPasswordRequest = [Session, Handler = std::move(Handler)](TDataCursor*) { return Handler(Session); };
}

TDataCursor* TDataCursor::CloneCursor() {
  TReadBracket Bracket(this);
  auto C = std::make_unique<TDataCursor>(Directory);
  TDataSession* S = Directory != nullptr ? Directory->Session : nullptr;
  std::string AddedPassword;
  if (S != nullptr && DataFile()->Encrypted() && !S->HasPassword(DataFile()->Password())) {
    AddedPassword = DataFile()->Password();
    S->AddPassword(AddedPassword);
  }
  try {
    C->SetTableName(TableName);
    C->SetExclusive(Exclusive);
    C->SetCloned(Exclusive);
    C->SetReadOnly(ReadOnly);
    C->SetInMemory(InMemory);
    C->Open();
    std::vector<std::array<uint8_t, 768>> Map(FieldDescs.size());
    for (size_t I = 0; I < FieldDescs.size(); ++I) std::memcpy(Map[I].data(), FieldDescs[I].Bytes, 768);
    C->SetFieldMap(Map);
    for (size_t I = 0; I < FCalculations.size(); ++I)
      if (FCalculations[I]) C->SetFieldCalculation(static_cast<int>(I + 1), FCalculations[I]->Clone(*C));
    if (IsNaturalOrder())
      C->SwitchIndex(IndexNo);
    else
      C->SetIndexName(IndexName);
    if (RangeActive && !IsNaturalOrder()) {
      std::memcpy(C->RangeStartKey, RangeStartKey, kCursorKeyBufferSize);
      std::memcpy(C->RangeEndKey, RangeEndKey, kCursorKeyBufferSize);
      C->RangeActive = true;
      C->ComputeRange();
    }
    for (TFilter* F : Filters) {
      TFilterHandle H = C->AddFilter(F->CallbackData, std::string(), false, false, F->Flag, F->EvaluateLast,
                                     F->Callback, F->Optimise, F->Condition ? F->Condition->Clone(*C) : nullptr);
      H->Mode = F->Mode;
      if (F->Active) H->Activate();
    }
    C->RebuildVisibleSet();
    C->MoveFirst();
    C->MoveBy(-1);
    C->ReadCurrentRecord();
    if (!(AtBOF || AtEOF)) C->SetToCursor(this);
  } catch (...) {
    if (!AddedPassword.empty()) S->RemovePassword(AddedPassword);
    throw;
  }
  if (!AddedPassword.empty()) S->RemovePassword(AddedPassword);
  return C.release();
}
