// The cursor's physical field access, field map replacement and BLOB access: open BLOBs are held
// by the cursor under negative handles that stand in the record buffer instead of the stored link
// until the record is written.
#include <algorithm>
#include <cstring>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/data_cursor_internal.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "platform/core/sysutils.h"

namespace {
int32_t LinkAt(const uint8_t* Buffer, const uint8_t* Desc) {
  return static_cast<int32_t>(LoadU32(Buffer + FieldDescOffset(Desc) + 1));
}
uint32_t RevisionAt(const uint8_t* Buffer, const uint8_t* Desc) {
  return LoadU32(Buffer + FieldDescOffset(Desc) + 5);
}
void StoreBlobValue(uint8_t* Buffer, const uint8_t* Desc, int32_t Link, uint32_t Revision) {
  uint8_t* Slot = Buffer + FieldDescOffset(Desc);
  Slot[0] = Link > 0 ? 1 : 0;
  StoreU32(Slot + 1, static_cast<uint32_t>(Link));
  StoreU32(Slot + 5, Link > 0 ? Revision : 0);
}
}  // namespace

// ---- Physical fields and the field map -------------------------------------------------------------------

void TDataCursor::GetPhysicalFieldDesc(int FieldNo, uint8_t* Desc) {
  const uint8_t* D = FieldByNumber(FieldNo);
  if (D == nullptr) Fail(ecInvalidField, std::to_string(FieldNo));
  std::memcpy(Desc, D, kFieldDescriptorSize);
}

void TDataCursor::GetPhysicalField(int FieldNo, const uint8_t* Buffer, bool& IsBlank, void* Dest) {
  const uint8_t* D = FieldByNumber(FieldNo);
  if (D == nullptr) Fail(ecInvalidField, std::to_string(FieldNo));
  GetFieldValue(D, Buffer, IsBlank, Dest, [this](int32_t L) { return OpenBlobSize(L); });
}

void TDataCursor::PutPhysicalField(int FieldNo, uint8_t* Buffer, bool Internal, const void* Source) {
  const uint8_t* D = FieldByNumber(FieldNo);
  if (D == nullptr) Fail(ecInvalidField, std::to_string(FieldNo));
  PutFieldValue(D, Buffer, Source, Internal, LanguageID, SortID,
                [this](int32_t L) { return OpenBlobSize(L); });
}

int TDataCursor::GetFieldDescByName(const std::string& Name) {
  TFieldDescriptor* D = DataFile()->FieldByName(Trim(Name));
  return D != nullptr ? D->Number() : 0;
}

void TDataCursor::SetFieldMap(const std::vector<std::array<uint8_t, 768>>& Descs) {
  std::vector<std::array<uint8_t, 768>> Checked = Descs;
  // A field map may mark calculated fields on any cursor (a stored table never holds them).
  CheckFieldDefinitions(TableName, LanguageID, SortID, Checked, false, true);
  const std::string Base = RemoveFileExt(TableName);
  uint16_t Size = static_cast<uint16_t>(DataFile()->RecordSize());
  std::vector<TFieldDescriptor> Map(Checked.size());
  bool Computed = false;
  for (size_t I = 0; I < Checked.size(); ++I) {
    TFieldDescriptor& F = Map[I];
    std::memcpy(F.Bytes, Checked[I].data(), kFieldDescriptorSize);
    // Calculated fields and fields the table does not store get room after the table's record.
    if (F.Calculated() || F.Number() > DataFile()->FieldCount()) {
      if (F.Calculated()) Computed = true;
      F.SetOffset(Size);
      Size = static_cast<uint16_t>(Size + F.DataSize() + 1);
    }
    std::string Qualified = Base + "." + F.Name();
    if (Qualified.size() > 100) Qualified.resize(100);
    StoreShortString(F.Bytes + kFieldDescQualifiedOffset, 100, Qualified);
  }
  FieldDescs = std::move(Map);
  FCalculations.clear();
  FCalculations.resize(FieldDescs.size());
  FieldCount = static_cast<uint16_t>(FieldDescs.size());
  HasComputedFields = Computed;
  RecordBufferSize = Size;
  CurrentRecord.resize(RecordBufferSize);
}

// ---- Open BLOBs -------------------------------------------------------------------------------------------

TDataCursor::TOpenBlob* TDataCursor::FindOpenBlob(int32_t Handle) {
  for (auto& B : FOpenBlobs)
    if (B->Handle == Handle) return B.get();
  return nullptr;
}

int64_t TDataCursor::OpenBlobSize(int32_t Link) {
  TOpenBlob* B = FindOpenBlob(Link);
  return B != nullptr ? static_cast<int64_t>(B->Data.size()) : -1;
}

const uint8_t* TDataCursor::BlobDesc(int FieldNo, bool Physical) {
  const uint8_t* D = Physical ? FieldByNumber(FieldNo)
                              : (FieldNo >= 1 && FieldNo <= FieldCount ? MapEntry(FieldNo) : nullptr);
  return D != nullptr && D[kFieldDescTypeOffset] == ftBlob ? D : nullptr;
}

uint16_t TDataCursor::OpenBlobOf(int FieldNo, const uint8_t* Buffer, bool Physical, TOpenBlob*& Blob) {
  Blob = nullptr;
  const uint8_t* D = BlobDesc(FieldNo, Physical);
  if (D == nullptr) return ecInvalidBlobField;
  int32_t Link = LinkAt(Buffer, D);
  Blob = Link < 0 ? FindOpenBlob(Link) : nullptr;
  return Blob != nullptr ? 0 : ecInvalidBlobHandle;
}

uint16_t TDataCursor::OpenBlob(int FieldNo, uint8_t* Buffer, bool KeepOnRelease, bool Physical,
                               uint8_t Option2) {
  TReadBracket Bracket(this);
  const uint8_t* D = BlobDesc(FieldNo, Physical);
  if (D == nullptr) return ecInvalidBlobField;
  const int32_t Link = LinkAt(Buffer, D);
  if (Link < 0) {
    TOpenBlob* B = FindOpenBlob(Link);
    if (B == nullptr) return ecInvalidBlobOffset;
    B->KeepOnRelease = KeepOnRelease;
    return 0;
  }
  if (FOpenBlobs.size() >= static_cast<size_t>(kMaxOpenBlobs)) return ecTooManyBlobs;
  auto B = std::make_unique<TOpenBlob>();
  B->FieldNo = GetU16(D + kFieldDescNumberOffset);
  B->StoredLink = Link;
  B->Revision = RevisionAt(Buffer, D);
  B->KeepOnRelease = KeepOnRelease;
  B->Option2 = Option2;
  if (Link > 0) {
    TBlobFile* F = TableFileAccess(Table)->BlobFile();
    if (F == nullptr) Fail(ecBlobsCorrupt);
    TBlobBuffer Read;
    Read.Cursor = this;
    Read.FirstBlock = static_cast<uint32_t>(Link);
    Read.Revision = B->Revision;
    Read.FieldNumber = B->FieldNo;
    F->ReadBlob(Read);
    B->Data = std::move(Read.Data);
  }
  if (FNextBlobId >= 0x7FFFFFFE) FNextBlobId = 0;
  B->Handle = -(++FNextBlobId);
  StoreU32(Buffer + FieldDescOffset(D) + 1, static_cast<uint32_t>(B->Handle));
  FOpenBlobs.push_back(std::move(B));
  return 0;
}

uint16_t TDataCursor::CloseBlob(int FieldNo, uint8_t* Buffer, bool Physical) {
  TOpenBlob* B = nullptr;
  uint16_t Code = OpenBlobOf(FieldNo, Buffer, Physical, B);
  if (Code != 0) return Code;
  const uint8_t* D = BlobDesc(FieldNo, Physical);
  StoreU32(Buffer + FieldDescOffset(D) + 1, static_cast<uint32_t>(B->StoredLink));
  FOpenBlobs.erase(
      std::find_if(FOpenBlobs.begin(), FOpenBlobs.end(), [B](const auto& P) { return P.get() == B; }));
  return 0;
}

uint16_t TDataCursor::ReadBlob(int FieldNo, const uint8_t* Buffer, bool Physical, int64_t& Count,
                               int64_t Length, void* Dest, int64_t Offset) {
  TOpenBlob* B = nullptr;
  Count = 0;
  uint16_t Code = OpenBlobOf(FieldNo, Buffer, Physical, B);
  if (Code != 0) return Code;
  const int64_t Size = static_cast<int64_t>(B->Data.size());
  if (Offset < 0 || Length < 0) return ecEndOfBlob;
  if (Size >= Offset + Length) {
    Count = Length;
  } else {
    // A request running past the end gets every byte that remains, the last single one included.
    Code = ecEndOfBlob;
    Count = Size > Offset ? Size - Offset : 0;
  }
  if (Count >= 1) std::memcpy(Dest, B->Data.data() + Offset, static_cast<size_t>(Count));
  return Code;
}

uint16_t TDataCursor::WriteBlob(int FieldNo, const uint8_t* Buffer, bool Physical, int64_t Length,
                                const void* Source, int64_t Offset) {
  TOpenBlob* B = nullptr;
  uint16_t Code = OpenBlobOf(FieldNo, Buffer, Physical, B);
  if (Code != 0) return Code;
  if (Offset < 0 || Length < 0 || Offset + Length > 0x7FFFFFFF) return ecInvalidBlobLength;
  if (Offset + Length > static_cast<int64_t>(B->Data.size()))
    B->Data.resize(static_cast<size_t>(Offset + Length));
  if (Length >= 1) std::memcpy(B->Data.data() + Offset, Source, static_cast<size_t>(Length));
  B->Modified = true;
  return 0;
}

uint16_t TDataCursor::TruncateBlob(int FieldNo, const uint8_t* Buffer, bool Physical, int64_t NewSize) {
  TOpenBlob* B = nullptr;
  uint16_t Code = OpenBlobOf(FieldNo, Buffer, Physical, B);
  if (Code != 0) return Code;
  if (NewSize < 0 || NewSize > 0x7FFFFFFF) return ecInvalidBlobLength;
  B->Data.resize(static_cast<size_t>(NewSize));
  B->Modified = true;
  return 0;
}

uint16_t TDataCursor::GetBlobSize(int FieldNo, const uint8_t* Buffer, bool Physical, int64_t& Size) {
  TOpenBlob* B = nullptr;
  Size = 0;
  uint16_t Code = OpenBlobOf(FieldNo, Buffer, Physical, B);
  if (Code == 0) Size = static_cast<int64_t>(B->Data.size());
  return Code;
}

void TDataCursor::FreeBlobs(bool All) {
  for (size_t I = FOpenBlobs.size(); I-- > 0;)
    if (All || !FOpenBlobs[I]->KeepOnRelease)
      FOpenBlobs.erase(FOpenBlobs.begin() + static_cast<std::ptrdiff_t>(I));
}

// ---- BLOBs of written records
// --------------------------------------------------------------------------------

void TDataCursor::StoreBlobFields(uint8_t* Image, const uint8_t* OldImage, uint32_t RecordNo) {
  TBlobFile* F = TableFileAccess(Table)->BlobFile();
  std::vector<int32_t> Released;
  for (const TFieldDescriptor& Field : DataFile()->Fields) {
    if (Field.Type() != ftBlob) continue;
    const uint8_t* D = Field.Bytes;
    int32_t Link = LinkAt(Image, D);
    uint32_t Revision = RevisionAt(Image, D);
    const int32_t OldLink = OldImage != nullptr ? LinkAt(OldImage, D) : 0;
    const uint32_t OldRevision = OldImage != nullptr ? RevisionAt(OldImage, D) : 0;
    bool Done = false;
    if (Link < 0) {
      TOpenBlob* B = FindOpenBlob(Link);
      if (B == nullptr) Fail(ecInvalidBlobOffset);
      Released.push_back(Link);
      if (B->Modified) {
        if (F == nullptr) Fail(ecBlobsCorrupt);
        const bool InPlace = OldImage != nullptr && OldLink > 0 && B->StoredLink == OldLink;
        if (B->Data.empty()) {
          Link = 0;
          Revision = 0;
        } else {
          TBlobBuffer W;
          W.Cursor = this;
          W.Modified = true;
          W.RecordNumber = RecordNo;
          W.FieldNumber = Field.Number();
          W.FirstBlock = InPlace ? static_cast<uint32_t>(OldLink) : 0;
          W.Revision = InPlace ? OldRevision : DataFile()->NextBlobRevision();
          W.Data = B->Data;
          F->WriteBlob(W);
          Link = static_cast<int32_t>(W.FirstBlock);
          Revision = W.Revision;
        }
        Done = true;
      } else {
        Link = B->StoredLink;
        Revision = B->Revision;
      }
    }
    if (!Done && Link > 0 && !(OldImage != nullptr && Link == OldLink)) {
      // A value that belongs to another record is copied: two records never share a chain.
      if (F == nullptr) Fail(ecBlobsCorrupt);
      TBlobBuffer R;
      R.Cursor = this;
      R.FirstBlock = static_cast<uint32_t>(Link);
      R.Revision = Revision;
      F->ReadBlob(R);
      R.FirstBlock = 0;
      R.Revision = DataFile()->NextBlobRevision();
      R.RecordNumber = RecordNo;
      R.FieldNumber = Field.Number();
      R.Modified = true;
      if (R.Data.empty()) {
        Link = 0;
      } else {
        F->WriteBlob(R);
        Link = static_cast<int32_t>(R.FirstBlock);
        Revision = R.Revision;
      }
    }
    if (OldLink > 0 && OldLink != Link && F != nullptr) {
      uint32_t First = static_cast<uint32_t>(OldLink);
      F->FreeBlobChain(this, false, false, RecordNo, OldRevision, First);
    }
    StoreBlobValue(Image, D, Link, Revision);
  }
  for (int32_t H : Released)
    FOpenBlobs.erase(
        std::remove_if(FOpenBlobs.begin(), FOpenBlobs.end(), [H](const auto& P) { return P->Handle == H; }),
        FOpenBlobs.end());
}

void TDataCursor::FreeRecordBlobs(const uint8_t* Image, uint32_t RecordNo) {
  TBlobFile* F = TableFileAccess(Table)->BlobFile();
  if (F == nullptr) return;
  for (const TFieldDescriptor& Field : DataFile()->Fields) {
    if (Field.Type() != ftBlob) continue;
    int32_t Link = LinkAt(Image, Field.Bytes);
    if (Link <= 0) continue;
    uint32_t First = static_cast<uint32_t>(Link);
    F->FreeBlobChain(this, false, false, RecordNo, RevisionAt(Image, Field.Bytes), First);
  }
}

uint32_t TDataCursor::GetBlobRevision(int FieldNo, const uint8_t* Buffer, bool Physical) {
  const uint8_t* D = BlobDesc(FieldNo, Physical);
  if (D == nullptr) Fail(ecInvalidBlobField);
  return RevisionAt(Buffer, D);
}

void TDataCursor::SetBlobRevision(int FieldNo, uint8_t* Buffer, bool Physical, uint32_t Revision) {
  const uint8_t* D = BlobDesc(FieldNo, Physical);
  if (D == nullptr) Fail(ecInvalidBlobField);
  StoreU32(Buffer + FieldDescOffset(D) + 5, Revision);
}
