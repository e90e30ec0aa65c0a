#include "dbengine/storage/data_file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <set>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/engine_keys.h"
#include "platform/core/datetime.h"
#include "platform/core/sysutils.h"

namespace {
// A transaction keeps every record it writes in memory until the commit: record buffers grow in
// small steps so that a 33-byte row does not hold (and zero) half a kilobyte.
constexpr int kRecordBufferStep = 16;
constexpr int kHighestFieldType = 15;
}  // namespace

// ---- TRecord ----------------------------------------------------------------------------------------

TRecord::~TRecord() { EngineFree(Buffer); }

void TRecord::SetSize(int Size) {
  ReserveBuffer(Size, kRecordBufferStep, Buffer, BufferCapacity);
  RecordSize = static_cast<uint16_t>(Size);
}

void TRecord::Clear(bool NewRowNumber) {
  std::memset(Buffer, 0, RecordSize);
  StoreU32(Buffer + 1, RecordNumber);
  if (NewRowNumber && Owner != nullptr) StoreU32(Buffer + 5, Owner->NextAutoInc());
  if (Modified && Cached && Owner != nullptr) Owner->RecordCleaned();
  Modified = false;
}

void TRecord::Load(const uint8_t* Image, bool Encrypted) {
  std::memcpy(Buffer, Image, RecordSize);
  if (Encrypted) CipherDecode(Buffer, RecordSize, kTableCipherKeyLow, kTableCipherKeyHigh);
  if (Buffer[0] == 0) StoreU32(Buffer + 1, RecordNumber);
  if (Modified && Cached && Owner != nullptr) Owner->RecordCleaned();
  Modified = false;
}

void TRecord::Store(uint8_t* Image, bool Encrypted) const {
  std::memcpy(Image, Buffer, RecordSize);
  if (Encrypted) CipherEncode(Image, RecordSize, kTableCipherKeyLow, kTableCipherKeyHigh);
}

void TRecord::SetStatus(uint8_t S) {
  Buffer[0] = S;
  Modified = true;
}

void TRecord::SetFreeLink(uint32_t N) {
  StoreU32(Buffer + 1, N);
  Modified = true;
}

void TRecord::SetRowNumber(uint32_t N) {
  StoreU32(Buffer + 5, N);
  Modified = true;
}

void TRecord::SetRecordNumber(uint32_t N) {
  RecordNumber = N;
  if (Buffer[0] == 0) StoreU32(Buffer + 1, N);
  Modified = true;
}

int TRecord::Compare(const uint8_t* Image) const { return std::memcmp(Buffer, Image, RecordSize); }

void TRecord::CopyFields(const TRecord& Other) {
  if (RecordSize > kRecordPrefixSize)
    std::memcpy(Buffer + kRecordPrefixSize, Other.Buffer + kRecordPrefixSize, RecordSize - kRecordPrefixSize);
  Modified = true;
}

void TRecord::CopyImage(const uint8_t* Image) {
  std::memcpy(Buffer, Image, RecordSize);
  if (Buffer[0] == 0) StoreU32(Buffer + 1, RecordNumber);
  Modified = true;
}

// ---- Opening and the header --------------------------------------------------------------------------

TDataFile::~TDataFile() {
  try {
    Close();
  } catch (...) {
  }
  FCache.Clear();
  FCache.FreeOrphans();
}

void TDataFile::Raise(uint16_t Code, const std::string& FieldName) const {
  RaiseEngineError(Code, ErrorName(), FieldName);
}

void TDataFile::ResetCacheCapacity() {
  int R = RecordSize();
  CacheCapacity = R == 0 ? kMaxCachedRecords : std::min(kRecordCacheBytes / R, kMaxCachedRecords);
  if (CacheCapacity < 1) CacheCapacity = 1;
  // A file in memory is read at the cost of a copy: one block is all it keeps. Other files keep
  // what their budget grants.
  FPerBlock = static_cast<uint32_t>(std::max(1, kRecordBlockBytes / std::max(1, R)));
  const size_t Block = static_cast<size_t>(std::max(1, R)) * FPerBlock;
  FBlocks.Configure(Block, InMemory ? Block : SIZE_MAX);
}

void TDataFile::Open() {
  if (Opened) return;
  TFileHandler::Open();
  try {
    ReadHeader();
    int R = RecordSize();
    ReadAheadCount = R == 0 ? 1 : std::max(1, kReadAheadBytes / R);
    if (FieldCount() > kMaxTableFields) Raise(ecHeaderCorrupt);
    ReadFieldDescriptors();
    CacheHits = RecordReads = RecordAllocations = RecordWrites = 0;
    ResetCacheCapacity();
    VerifyStructure();
  } catch (...) {
    Fields.clear();
    TFileHandler::Close();
    throw;
  }
}

void TDataFile::Close() {
  if (!Opened) return;
  ClearCache();
  FCache.FreeOrphans();
  Fields.clear();
  DescriptorsChanged = false;
  TFileHandler::Close();
}

void TDataFile::ReadHeader() {
  ReadAt(0, Header, kDataHeaderSize);
  Header[kDatDirty] = 0;
  FDiskChangeCount = ChangeCount();
}

bool TDataFile::HeaderChanged() {
  uint8_t Disk[kDataHeaderSize];
  ReadAt(0, Disk, kDataHeaderSize);
  if (LoadU32(Disk + kDatChangeCount) == FDiskChangeCount) return false;
  std::memcpy(Header, Disk, kDataHeaderSize);
  Header[kDatDirty] = 0;
  FDiskChangeCount = ChangeCount();
  return true;
}

void TDataFile::WriteHeader(bool Force) {
  if (!Force && !Dirty()) return;
  StoreU32(Header + kDatChangeCount, ChangeCount() + 1);
  int64_t Writer = kWriterVersion;
  std::memcpy(Header + kDatWriterVersion, &Writer, 8);
  double Stamp = (Clock ? Clock() : static_cast<double>(Now())) - kLastUpdatedBias;
  std::memcpy(Header + kDatLastUpdated, &Stamp, 8);
  WriteAt(0, Header, kDataHeaderSize);
  Header[kDatDirty] = 0;
  FDiskChangeCount = ChangeCount();
}

void TDataFile::TouchHeader() {
  StoreU32(Header + kDatChangeCount, ChangeCount() + 1);
  MarkChanged();
}

void TDataFile::CipherDescriptors(uint8_t* Block, int64_t Length, bool Reading) const {
  if (!Encrypted() || Length == 0) return;
  // Files of the older writer enciphered only the low 16 bits' worth of the block.
  int64_t N = (Reading && WriterVersion() == 0) ? Length % 65536 : Length;
  CipherDecode(Block, static_cast<int>(N), kTableCipherKeyLow, kTableCipherKeyHigh);
}

void TDataFile::ReadFieldDescriptors() {
  int F = FieldCount();
  if (F > kMaxTableFields) Raise(ecHeaderCorrupt);
  std::vector<uint8_t> Block(static_cast<size_t>(F) * kFieldDescriptorSize);
  if (F > 0) ReadAt(kDataHeaderSize, Block.data(), static_cast<int64_t>(Block.size()));
  CipherDescriptors(Block.data(), static_cast<int64_t>(Block.size()), true);
  Fields.assign(static_cast<size_t>(F), TFieldDescriptor());
  for (int I = 0; I < F; ++I)
    std::memcpy(Fields[static_cast<size_t>(I)].Bytes, Block.data() + static_cast<size_t>(I) * kFieldDescriptorSize,
                kFieldDescriptorSize);
  DescriptorsChanged = false;
}

void TDataFile::WriteFieldDescriptors() {
  if (!DescriptorsChanged) return;
  std::vector<uint8_t> Block(Fields.size() * kFieldDescriptorSize);
  for (size_t I = 0; I < Fields.size(); ++I)
    std::memcpy(Block.data() + I * kFieldDescriptorSize, Fields[I].Bytes, kFieldDescriptorSize);
  CipherDescriptors(Block.data(), static_cast<int64_t>(Block.size()), false);
  if (!Block.empty()) WriteAt(kDataHeaderSize, Block.data(), static_cast<int64_t>(Block.size()));
  DescriptorsChanged = false;
}

int TDataFile::BlobBlockSize() const {
  int Size = LoadU16(Header + kDatBlobBlockSize);
  return Size == 0 ? 512 : Size;
}

int64_t TDataFile::WriterVersion() const {
  int64_t V;
  std::memcpy(&V, Header + kDatWriterVersion, 8);
  return V;
}

double TDataFile::LastUpdated() const {
  double V;
  std::memcpy(&V, Header + kDatLastUpdated, 8);
  return V;
}

namespace {
std::string LoadTableText(const uint8_t* P, int MaxLength, bool Encrypted) {
  uint8_t Copy[64];
  std::memcpy(Copy, P, static_cast<size_t>(MaxLength) + 1);
  if (Encrypted) CipherDecode(Copy + 1, MaxLength, kTableTextKeyLow, kTableTextKeyHigh);
  return LoadShortString(Copy, MaxLength);
}

void StoreTableText(uint8_t* P, int MaxLength, const std::string& S, bool Encrypted) {
  StoreShortString(P, MaxLength, S);
  if (Encrypted) CipherEncode(P + 1, MaxLength, kTableTextKeyLow, kTableTextKeyHigh);
}
}  // namespace

std::string TDataFile::Description() const { return LoadTableText(Header + kDatDescription, 50, Encrypted()); }

std::string TDataFile::Password() const { return LoadTableText(Header + kDatPassword, 15, Encrypted()); }

void TDataFile::SetTableInfo(const std::string& Description, const std::string& Password, uint32_t LastAutoInc,
                             uint16_t UserMajor, uint16_t UserMinor) {
  StoreTableText(Header + kDatDescription, 50, Description, Encrypted());
  StoreTableText(Header + kDatPassword, 15, Encrypted() ? Password : std::string(), Encrypted());
  StoreU32(Header + kDatLastAutoInc, LastAutoInc);
  StoreU16(Header + kDatUserMajor, UserMajor);
  StoreU16(Header + kDatUserMinor, UserMinor);
  SetDirty();
}

int64_t TDataFile::RecordOffset(uint32_t N) const {
  return kDataHeaderSize + static_cast<int64_t>(kFieldDescriptorSize) * FieldCount() +
         (static_cast<int64_t>(N) - 1) * RecordSize();
}

// ---- Field descriptors -------------------------------------------------------------------------------

TFieldDescriptor* TDataFile::Field(int Position) {
  if (Position < 1 || Position > static_cast<int>(Fields.size())) return nullptr;
  return &Fields[static_cast<size_t>(Position - 1)];
}

TFieldDescriptor* TDataFile::FieldByNumber(int Number) {
  for (auto& F : Fields)
    if (F.Number() == Number) return &F;
  return nullptr;
}

TFieldDescriptor* TDataFile::FieldByName(const std::string& Name) {
  std::string N = Trim(Name);
  for (auto& F : Fields)
    if (AnsiSameText(Trim(F.Name()), N)) return &F;
  return nullptr;
}

void TDataFile::SetFieldAttributes(int Position, const TFieldDescriptor& D) {
  TFieldDescriptor* F = Field(Position);
  if (F == nullptr) Raise(ecInvalidField);
  uint8_t* B = F->Bytes;
  const uint8_t* S = D.Bytes;
  auto Copy = [&](int Offset, int Length) { std::memcpy(B + Offset, S + Offset, static_cast<size_t>(Length)); };
  Copy(kFieldDescNumberOffset, 2);
  Copy(kFieldDescNameOffset, 31);
  Copy(kFieldDescSubTypeOffset, 1);
  Copy(kFieldDescDescriptionOffset, 51);
  Copy(kFieldDescRequiredOffset, 1);
  Copy(kFieldDescMinimumOffset, 51);
  Copy(kFieldDescMaximumOffset, 51);
  Copy(kFieldDescDefaultOffset, 51);
  DescriptorsChanged = true;
  SetDirty();
}

// ---- Creating, emptying, checking --------------------------------------------------------------------

void TDataFile::CreateTable(const std::vector<TFieldDescriptor>& Descriptors, uint16_t BlobBlockSize,
                            uint16_t LanguageId, uint16_t SortId, bool Encrypted, const std::string& Password,
                            const std::string& Description, uint16_t UserMajor, uint16_t UserMinor) {
  if (Descriptors.size() > static_cast<size_t>(kMaxTableFields)) Raise(ecFieldLimit);
  Close();
  std::memset(Header, 0, kDataHeaderSize);
  StoreU16(Header + kDatLanguageId, LanguageId);
  StoreU16(Header + kDatSortId, SortId);
  StoreU16(Header + kDatUserMajor, UserMajor);
  StoreU16(Header + kDatUserMinor, UserMinor);
  Header[kDatEncrypted] = Encrypted ? 1 : 0;
  StoreTableText(Header + kDatDescription, 50, Description, Encrypted);
  StoreTableText(Header + kDatPassword, 15, Encrypted ? Password : std::string(), Encrypted);
  StoreU16(Header + kDatFieldCount, static_cast<uint16_t>(Descriptors.size()));
  int Blobs = 0;
  int64_t Size = kRecordPrefixSize;
  for (const auto& D : Descriptors) {
    if (D.Type() == ftBlob) ++Blobs;
    if (D.HasSlot()) Size += D.DataSize() + 1;
  }
  if (Blobs > kMaxBlobFields) Raise(ecBlobLimit);
  if (Size > 65535) Raise(ecRecordTooBig);
  StoreU16(Header + kDatBlobFieldCount, static_cast<uint16_t>(Blobs));
  StoreU32(Header + kDatBlobBlockSize, BlobBlockSize);
  Fields = Descriptors;
  Header[kDatVersion] = kTableFileVersion;
  StoreU32(Header + kDatNextRecord, 1);
  StoreU16(Header + kDatRecordSize, static_cast<uint16_t>(Size));
  SetDirty();
  DescriptorsChanged = true;
  ClearCache();
  TFileHandler::CreateFile();
  FDiskChangeCount = 0;
  ReadAheadCount = std::max(1, kReadAheadBytes / static_cast<int>(Size));
  ResetCacheCapacity();
}

void TDataFile::EmptyTable() {
  ClearCache();
  Seek(kDataHeaderSize + static_cast<int64_t>(kFieldDescriptorSize) * FieldCount(), 0);
  Truncate();
  StoreU32(Header + kDatChangeCount, 0);
  StoreU32(Header + kDatFreeRecord, 0);
  StoreU32(Header + kDatNextRecord, 1);
  StoreU32(Header + kDatLastAutoInc, 0);
  SetDirty();
  ResetCacheCapacity();
}

void TDataFile::VerifyStructure() {
  if (Version() != kTableFileVersion) Raise(ecWrongVersion);
  if (LanguageId() != 0 && !IsLanguageAvailable(LanguageId())) Raise(ecNoLanguageDriver);
  int F = FieldCount();
  if (F > kMaxTableFields || static_cast<int>(Fields.size()) != F) Raise(ecHeaderCorrupt);
  // Counters that address records: a wrong one would read or write outside the records.
  if (NextRecord() < 1 || NextRecord() > kMaxRecordNumber || FreeRecord() >= NextRecord())
    Raise(ecHeaderCorrupt);
  // Records are written before the header that counts them, so the file holds them all.
  if (RecordSize() > 0 && RecordOffset(NextRecord()) > GetSize()) Raise(ecHeaderCorrupt);
  TTableFormatScope Scope(LanguageId());
  std::set<std::string> Names;
  std::set<int> Numbers;
  int Blobs = 0;
  int64_t Offset = kRecordPrefixSize;
  for (int I = 1; I <= F; ++I) {
    const TFieldDescriptor& D = Fields[static_cast<size_t>(I - 1)];
    std::string Name = Trim(LoadShortString(D.Bytes + kFieldDescNameOffset, 255));
    if (Name.empty() || Name.size() > 30 || !IsIdentStartChar(Name[0])) Raise(ecHeaderCorrupt, Name);
    if (!Names.insert(AnsiUpperCase(Name)).second) Raise(ecHeaderCorrupt, Name);
    if (D.Number() != I || !Numbers.insert(D.Number()).second) Raise(ecHeaderCorrupt, Name);
    uint8_t Type = D.Type();
    if (Type == 0 || Type > kHighestFieldType) Raise(ecHeaderCorrupt, Name);
    bool Sized = Type == ftString || Type == ftBytes || Type == ftVarBytes;
    if (Sized ? D.Size() > kMaxStringSize : D.Size() != 0) Raise(ecHeaderCorrupt, Name);
    if (Type != ftBCD && (D.Scale() != 0 || D.Bytes[kFieldDescDataScaleOffset] != 0)) Raise(ecHeaderCorrupt, Name);
    // The stored physical size decides where values are read; it must be the one the type gives.
    if (D.DataSize() != FieldStorageSize(Type, D.Size())) Raise(ecHeaderCorrupt, Name);
    for (const std::string& Text : {D.Minimum(), D.Maximum(), D.Default()})
      if (!IsValidFieldValueText(Text, Type)) Raise(ecHeaderCorrupt, Name);
    if (Type == ftBlob) ++Blobs;
    if (D.IsAutoInc()) {
      if (D.Offset() != 5) Raise(ecHeaderCorrupt, Name);
    } else if (!D.Calculated()) {
      if (D.Offset() != Offset) Raise(ecHeaderCorrupt, Name);
      Offset += D.DataSize() + 1;
    }
  }
  if (Offset != RecordSize() || Blobs != BlobFieldCount() || Blobs > kMaxBlobFields) Raise(ecHeaderCorrupt);
}

// ---- Counters ----------------------------------------------------------------------------------------

uint32_t TDataFile::NextAutoInc() {
  // Wrapping to 1 would hand out row numbers that live records already carry.
  if (LastAutoInc() >= 0x7FFFFFFF) Raise(ecFieldLimit);
  StoreU32(Header + kDatLastAutoInc, LastAutoInc() + 1);
  SetDirty();
  return LastAutoInc();
}

void TDataFile::SetLastAutoInc(uint32_t V) {
  StoreU32(Header + kDatLastAutoInc, V);
  SetDirty();
}

uint32_t TDataFile::NextBlobRevision() {
  uint32_t V = LastBlobRevision();
  if (V >= 0x7FFFFFFF) V = 0;
  StoreU32(Header + kDatLastBlobRevision, V + 1);
  SetDirty();
  return V + 1;
}

// ---- The record cache --------------------------------------------------------------------------------

TRecord* TDataFile::CachedRecord(uint32_t N) { return FCache.Find(N); }

TRecord* TDataFile::ObtainEntry() {
  TRecord* R = FCache.Obtain(CacheCapacity, InTransaction(), kCacheGrowth, [this] { FlushRecords(); });
  if (R == nullptr) Raise(ecRecordsCorrupt);
  R->Owner = this;
  R->Modified = false;
  R->PinCount = 0;
  R->SetSize(RecordSize());
  ++RecordAllocations;
  return R;
}

void TDataFile::ReadRecords(uint32_t RecordNumber, int Count, bool Forward) {
  int R = RecordSize();
  uint32_t First = Forward ? RecordNumber : RecordNumber - static_cast<uint32_t>(Count) + 1;
  std::vector<uint8_t> Images(static_cast<size_t>(Count) * static_cast<size_t>(R));
  FCache.WindowFirst = First;
  FCache.WindowLast = First + static_cast<uint32_t>(Count) - 1;
  try {
    int64_t Got = ReadAt(RecordOffset(First), Images.data(), static_cast<int64_t>(Images.size()), true);
    int Complete = static_cast<int>(Got / R);
    // A file shorter than its header claims: the records present are still read.
    if (Forward ? Complete < 1 : Complete < Count) Raise(ecReadError);
    Count = std::min(Count, Complete);
    ++RecordReads;
    bool Cipher = Encrypted();
    for (int I = 0; I < Count; ++I) {
      uint32_t N = First + static_cast<uint32_t>(I);
      const uint8_t* Image = Images.data() + static_cast<size_t>(I) * static_cast<size_t>(R);
      uint8_t Prefix[kRecordPrefixSize];
      std::memcpy(Prefix, Image, std::min<size_t>(sizeof(Prefix), static_cast<size_t>(R)));
      if (Cipher) CipherDecode(Prefix, std::min<int>(kRecordPrefixSize, R), kTableCipherKeyLow, kTableCipherKeyHigh);
      CheckImage(Prefix, N);
      TRecord* C = FCache.FindSorted(N);
      if (C == nullptr) {
        C = ObtainEntry();
        C->RecordNumber = N;
        C->Load(Image, Cipher);
        FCache.Insert(C);
      } else if (!C->Modified && C->PinCount == 0) {
        C->Load(Image, Cipher);
      }
    }
  } catch (...) {
    FCache.WindowFirst = FCache.WindowLast = 0;
    throw;
  }
  FCache.WindowFirst = FCache.WindowLast = 0;
}

bool TDataFile::GetRecord(TDataCursor* Cursor, uint32_t RecordNumber, TRecord*& Record, bool Forward, int Estimate,
                          bool ReadAhead) {
  Record = nullptr;
  if (RecordNumber == 0) Raise(ecRecordsCorrupt);
  uint32_t Next = NextRecord();
  if (RecordNumber == Next) {
    // Computed in 64 bits: a 32-bit product would wrap and let the file pass 2 GB.
    if (static_cast<int64_t>(RecordNumber) + 1 > kMaxRecordNumber ||
        static_cast<int64_t>(RecordSize()) * RecordNumber > kMaxTableBytes)
      Raise(ecTableFull);
    TRecord* Stale = FCache.Find(RecordNumber);
    if (Stale != nullptr) {
      if (Stale->PinCount != 0) Raise(ecRecordsCorrupt);
      FCache.Remove(Stale);
      FCache.Recycle(Stale);
    }
    TRecord* R = ObtainEntry();
    R->RecordNumber = RecordNumber;
    R->Clear(false);
    FCache.Insert(R);
    StoreU32(Header + kDatNextRecord, Next + 1);
    SetDirty();
    R->Pin();
    Record = R;
    return true;
  }
  if (RecordNumber > Next) Raise(ecRecordsCorrupt);
  TRecord* R = FCache.Find(RecordNumber);
  if (R != nullptr) {
    ++CacheHits;
  } else if (const uint8_t* Clean = HeldImage(RecordNumber)) {
    ++CacheHits;
    R = ObtainEntry();
    R->RecordNumber = RecordNumber;
    std::memcpy(R->Buffer, Clean, static_cast<size_t>(RecordSize()));
    FCache.Insert(R);
  } else {
    if (Owner != nullptr && Owner->ChangedBeforeRead(Cursor)) return false;
    int Count = 1;
    if (ReadAhead) {
      Count = Estimate > 0 ? std::min(Estimate, ReadAheadCount) : ReadAheadCount;
      int64_t Available = Forward ? static_cast<int64_t>(NextRecord()) - RecordNumber : RecordNumber;
      Count = static_cast<int>(std::min<int64_t>(Count, Available));
      // Room for every record read, so that the one asked for is never pushed out by the others.
      Count = std::max(1, std::min(Count, CacheCapacity / 2));
    }
    ReadRecords(RecordNumber, Count, Forward);
    R = FCache.Find(RecordNumber);
    if (R == nullptr) Raise(ecRecordsCorrupt);
  }
  if (R->RecordNumber != RecordNumber) Raise(ecRecordsCorrupt);
  FCache.Touch(R);
  R->Pin();
  Record = R;
  return true;
}

int TDataFile::ReadRecordRun(TDataCursor* Cursor, uint32_t First, int Count, std::vector<uint8_t>& Images) {
  const int R = RecordSize();
  if (First == 0 || First >= NextRecord() || Count < 1 || R < 1) return 0;
  Count = static_cast<int>(std::min<int64_t>(Count, static_cast<int64_t>(NextRecord()) - First));
  if (Owner != nullptr && Owner->ChangedBeforeRead(Cursor)) return 0;
  Images.resize(static_cast<size_t>(Count) * static_cast<size_t>(R));
  const int64_t Got = ReadAt(RecordOffset(First), Images.data(), static_cast<int64_t>(Images.size()), true);
  const int Complete = static_cast<int>(Got / R);
  if (Complete < 1) Raise(ecReadError);
  Count = std::min(Count, Complete);
  ++RecordReads;
  const bool Cipher = Encrypted();
  // The cached records of the run, walked alongside in record-number order.
  auto It = std::lower_bound(FCache.Sorted.begin(), FCache.Sorted.end(), First,
                             [](const TRecord* C, uint32_t V) { return C->RecordNumber < V; });
  for (int I = 0; I < Count; ++I) {
    const uint32_t N = First + static_cast<uint32_t>(I);
    uint8_t* Image = Images.data() + static_cast<size_t>(I) * static_cast<size_t>(R);
    while (It != FCache.Sorted.end() && (*It)->RecordNumber < N) ++It;
    if (It != FCache.Sorted.end() && (*It)->RecordNumber == N) {
      std::memcpy(Image, (*It)->Buffer, static_cast<size_t>(R));
      continue;
    }
    if (Cipher) CipherDecode(Image, R, kTableCipherKeyLow, kTableCipherKeyHigh);
    CheckImage(Image, N);
  }
  Images.resize(static_cast<size_t>(Count) * static_cast<size_t>(R));
  return Count;
}

void TDataFile::CheckImage(const uint8_t* Image, uint32_t N) const {
  // A live record carries its own number: a zeroed or misplaced slot is damage, never a blank row.
  if (!ImageSound(Image, N)) Raise(ecRecordsCorrupt);
}

const uint8_t* TDataFile::KeptImage(uint32_t N) {
  const uint8_t* Image = HeldImage(N);
  if (Image == nullptr) {
    TRecord* R = FCache.Find(N);
    if (R == nullptr) return nullptr;
    Image = R->Buffer;
  }
  ++CacheHits;
  return Image;
}

const uint8_t* TDataFile::RecordImage(TDataCursor* Cursor, uint32_t N) {
  if (N == 0 || N >= NextRecord()) Raise(ecRecordsCorrupt);
  if (const uint8_t* Kept = KeptImage(N)) return Kept;
  if (Owner != nullptr && Owner->ChangedBeforeRead(Cursor)) return nullptr;
  const int R = RecordSize();
  const uint32_t PerBlock = RecordsPerBlock();
  const uint32_t Block = (N - 1) / PerBlock, First = Block * PerBlock + 1;
  bool Sound = true;
  const uint8_t* Bytes = FBlocks.Load(Block, [&](uint8_t* Buffer) {
    const int64_t Count = std::min<int64_t>(PerBlock, static_cast<int64_t>(NextRecord()) - First);
    const int64_t Got = ReadAt(RecordOffset(First), Buffer, Count * R, true);
    // A file shorter than its header claims: the records present are still kept.
    const int64_t Complete = Got / R;
    if (First + Complete <= N) Raise(ecReadError);
    ++RecordReads;
    if (Encrypted())
      for (int64_t I = 0; I < Complete; ++I) CipherDecode(Buffer + I * R, R, kTableCipherKeyLow, kTableCipherKeyHigh);
    // The records are checked once for all the reads the block serves.
    for (int64_t I = 0; I < Complete && Sound; ++I)
      Sound = ImageSound(Buffer + I * R, First + static_cast<uint32_t>(I));
    // What the record cache holds of the block is newer than the file or the same.
    const uint32_t End = First + static_cast<uint32_t>(Complete);
    auto It = std::lower_bound(FCache.Sorted.begin(), FCache.Sorted.end(), First,
                               [](const TRecord* C, uint32_t V) { return C->RecordNumber < V; });
    for (; It != FCache.Sorted.end() && (*It)->RecordNumber < End; ++It)
      std::memcpy(Buffer + static_cast<size_t>((*It)->RecordNumber - First) * static_cast<size_t>(R), (*It)->Buffer,
                  static_cast<size_t>(R));
    return static_cast<size_t>(Complete * R);
  });
  const uint8_t* Image = Bytes + static_cast<size_t>(N - First) * static_cast<size_t>(R);
  if (!Sound) {
    // A block with a damaged record is not kept: only a read of that record fails. The copy stays
    // valid until the next call on the file.
    FBlocks.Drop(Block, Block);
    CheckImage(Image, N);
  }
  return Image;
}

void TDataFile::ReleaseRecord(TRecord*& Record) {
  if (Record == nullptr) return;
  // A record changed while it was held: the clean block of its place is older now.
  if (Record->Modified) {
    const uint32_t Block = (Record->RecordNumber - 1) / RecordsPerBlock();
    FBlocks.Drop(Block, Block);
  }
  FCache.Release(Record);
  Record = nullptr;
}

uint32_t TDataFile::AllocateRecord(TDataCursor* Cursor, bool HasPrimaryIndex, TRecord*& Record) {
  Record = nullptr;
  uint32_t N = FreeRecord();
  if (N != 0 && HasPrimaryIndex) {
    TRecord* R = nullptr;
    if (!GetRecord(Cursor, N, R)) Raise(ecRecordChanged);
    uint32_t Successor = LoadU32(R->Buffer + 1);
    // A chain through a live record, itself or beyond the file would overwrite data.
    if (R->Status() != 1 || Successor == N || Successor >= NextRecord()) {
      ReleaseRecord(R);
      Raise(ecRecordsCorrupt);
    }
    StoreU32(Header + kDatFreeRecord, Successor);
    SetDirty();
    R->Clear(false);
    R->Modified = true;
    Record = R;
    return N;
  }
  N = NextRecord();
  TRecord* R = nullptr;
  GetRecord(Cursor, N, R);
  R->Modified = true;
  Record = R;
  return N;
}

void TDataFile::AppendRecords(TDataCursor* Cursor, const uint8_t* Images, uint32_t Count) {
  if (Count == 0) return;
  const size_t R = static_cast<size_t>(RecordSize());
  if (InTransaction()) {
    // The transaction's records stay in the cache until it commits.
    for (uint32_t I = 0; I < Count; ++I) {
      TRecord* Rec = nullptr;
      GetRecord(Cursor, NextRecord(), Rec);
      std::memcpy(Rec->Buffer, Images + I * R, R);
      Rec->Modified = true;
      ReleaseRecord(Rec);
    }
    return;
  }
  const uint32_t First = NextRecord();
  const int64_t Last = static_cast<int64_t>(First) + Count - 1;
  // The limits of GetRecord's append, for the last record.
  if (Last + 1 > kMaxRecordNumber || static_cast<int64_t>(R) * Last > kMaxTableBytes) Raise(ecTableFull);
  // Cached records of those numbers are stale: no record lies past the end of the file.
  while (!FCache.Sorted.empty() && FCache.Sorted.back()->RecordNumber >= First) {
    TRecord* Stale = FCache.Sorted.back();
    if (Stale->PinCount != 0) Raise(ecRecordsCorrupt);
    FCache.Remove(Stale);
    FCache.Recycle(Stale);
  }
  if (Encrypted()) {
    std::vector<uint8_t> Run(Images, Images + Count * R);
    for (uint32_t I = 0; I < Count; ++I)
      CipherEncode(Run.data() + I * R, static_cast<int>(R), kTableCipherKeyLow, kTableCipherKeyHigh);
    WriteAt(RecordOffset(First), Run.data(), static_cast<int64_t>(Run.size()));
  } else {
    WriteAt(RecordOffset(First), Images, static_cast<int64_t>(Count * R));
  }
  RecordWrites += Count;
  StoreU32(Header + kDatNextRecord, First + Count);
  SetDirty();
  MarkChanged();
}

void TDataFile::PushFreeRecord(TRecord* Record, bool HasPrimaryIndex) {
  Record->SetStatus(1);
  Record->SetFreeLink(HasPrimaryIndex ? FreeRecord() : 0);
  StoreU32(Header + kDatFreeRecord, Record->RecordNumber);
  SetDirty();
}

bool TDataFile::FlushRecords() {
  const size_t R = static_cast<size_t>(RecordSize());
  const bool Cipher = Encrypted();
  std::vector<uint8_t> Run;
  int64_t Written = FCache.WriteRuns(1, [&](TRecord* const* First, size_t Count) {
    Run.resize(Count * R);
    for (size_t K = 0; K < Count; ++K) First[K]->Store(Run.data() + K * R, Cipher);
    const uint32_t N = First[0]->RecordNumber;
    WriteAt(RecordOffset(N), Run.data(), static_cast<int64_t>(Run.size()));
    FBlocks.Drop((N - 1) / RecordsPerBlock(), (N - 1 + static_cast<uint32_t>(Count) - 1) / RecordsPerBlock());
  });
  RecordWrites += Written;
  if (Written > 0) MarkChanged();
  return Written > 0;
}

void TDataFile::ClearCache() {
  FCache.Clear();
  FBlocks.Clear();
  ResetCacheCapacity();
}

void TDataFile::TrimCache() {
  ResetCacheCapacity();
  FCache.Trim(CacheCapacity);
}

// ---- Sorting -----------------------------------------------------------------------------------------

namespace {

// The sort key of a record: its status (live records first), then per key field the null flag and
// the encoded value, then the row number, so that equal keys keep creation order.
class TSortOrder {
 public:
  TSortOrder(TDataFile& File, const std::vector<int>& KeyFields, bool CaseInsensitive)
      : FLanguage(File.LanguageId()), FSort(File.SortId()), FCaseInsensitive(CaseInsensitive) {
    int Pos = 1;
    for (int Number : KeyFields) {
      const TFieldDescriptor* D = File.FieldByNumber(Number);
      if (D == nullptr) RaiseEngineError(ecInvalidField, File.TableName);
      if (D->Type() == ftBlob) RaiseEngineError(ecIndexFieldType, File.TableName, D->Name());
      int Size = (D->IsAutoInc() ? 4 : D->DataSize()) + 1;
      FParts.push_back({D, Pos, Size, D->KeyDescending()});
      Pos += Size;
    }
    FFieldEnd = Pos;
    KeyLength = Pos + 4;
  }

  int KeyLength = 0;

  void Build(const uint8_t* Record, uint8_t* Key) const {
    std::memset(Key, 0, static_cast<size_t>(KeyLength));
    Key[0] = Record[0] == 0 ? 0 : 1;
    for (const TPart& P : FParts) {
      bool Blank;
      GetFieldValue(P.Field->Data(), Record, Blank, nullptr);
      if (!Blank) {
        Key[P.Position] = 1;
        const uint8_t* Value = P.Field->IsAutoInc() ? Record + 5 : Record + P.Field->Offset() + 1;
        BuildIndexKey(P.Field->Data(), Value, Key, P.Position, FSort, FLanguage, P.Descending, FCaseInsensitive);
      } else if (P.Descending && FLanguage == 0) {
        InvertKeyBytes(Key + P.Position, P.Size);
      }
    }
    EncodeIntegerKey(static_cast<int32_t>(LoadU32(Record + 5)), Key + FFieldEnd);
  }

  // Status and key fields only.
  int CompareFields(const uint8_t* A, const uint8_t* B) const {
    if (A[0] != B[0]) return A[0] < B[0] ? -1 : 1;
    if (FLanguage == 0) return Sign(std::memcmp(A + 1, B + 1, static_cast<size_t>(FFieldEnd - 1)));
    for (const TPart& P : FParts) {
      const uint8_t* X = A + P.Position;
      const uint8_t* Y = B + P.Position;
      int C;
      if (P.Field->Type() == ftString && X[0] != 0 && Y[0] != 0) {
        const char* S = reinterpret_cast<const char*>(X + 1);
        const char* T = reinterpret_cast<const char*>(Y + 1);
        C = CollateStrings(FLanguage, FSort, S, static_cast<int>(strnlen(S, static_cast<size_t>(P.Size - 1))), T,
                           static_cast<int>(strnlen(T, static_cast<size_t>(P.Size - 1))),
                           kCompareIgnoreNonSpace | (FCaseInsensitive ? kCompareIgnoreCase : 0));
      } else if (X[0] != Y[0]) {
        C = X[0] < Y[0] ? -1 : 1;
      } else {
        C = Sign(std::memcmp(X, Y, static_cast<size_t>(P.Size)));
      }
      // Descending order applies to every field (the byte inversion only happens in language 0).
      if (C != 0) return P.Descending ? -C : C;
    }
    return 0;
  }

  int Compare(const uint8_t* A, const uint8_t* B) const {
    int C = CompareFields(A, B);
    return C != 0 ? C : Sign(std::memcmp(A + FFieldEnd, B + FFieldEnd, 4));
  }

 private:
  struct TPart {
    const TFieldDescriptor* Field;
    int Position;
    int Size;
    bool Descending;
  };
  std::vector<TPart> FParts;
  int FFieldEnd = 1;
  uint16_t FLanguage;
  uint16_t FSort;
  bool FCaseInsensitive;

  static int Sign(int V) { return V < 0 ? -1 : (V > 0 ? 1 : 0); }
};

// Entries of a sorted run: key, then the deciphered record image.
struct TSortRun {
  TFileHandler* File = nullptr;
  int64_t Count = 0;
  int64_t Next = 0;
  std::vector<uint8_t> Buffer;
  int64_t BufferFirst = 0;
  int64_t BufferCount = 0;
};

}  // namespace

uint32_t TDataFile::SortRecords(const std::vector<int>& KeyFields, bool CaseInsensitive, bool Distinct, bool Group,
                                const TSortGroupCallbacks& Callbacks, const std::string& TempDirectory) {
  FlushRecords();
  ClearCache();
  const TSortOrder Order(*this, KeyFields, CaseInsensitive);
  const size_t R = static_cast<size_t>(RecordSize());
  const size_t K = static_cast<size_t>(Order.KeyLength);
  const size_t Entry = K + R;
  const uint32_t Total = RecordCount();
  const uint32_t RunSize = static_cast<uint32_t>(std::max(1, CacheCapacity));
  const bool Cipher = Encrypted();

  // Reads records First..First+Count-1 as sorted entries.
  auto SortedRun = [&](uint32_t First, uint32_t Count, std::vector<uint8_t>& Out) {
    std::vector<uint8_t> Images(Count * R);
    ReadAt(RecordOffset(First), Images.data(), static_cast<int64_t>(Images.size()));
    std::vector<uint8_t> Entries(Count * Entry);
    for (uint32_t I = 0; I < Count; ++I) {
      uint8_t* E = Entries.data() + I * Entry;
      std::memcpy(E + K, Images.data() + I * R, R);
      if (Cipher) CipherDecode(E + K, static_cast<int>(R), kTableCipherKeyLow, kTableCipherKeyHigh);
      Order.Build(E + K, E);
    }
    std::vector<uint32_t> Index(Count);
    for (uint32_t I = 0; I < Count; ++I) Index[I] = I;
    std::sort(Index.begin(), Index.end(), [&](uint32_t A, uint32_t B) {
      return Order.Compare(Entries.data() + A * Entry, Entries.data() + B * Entry) < 0;
    });
    Out.resize(Count * Entry);
    for (uint32_t I = 0; I < Count; ++I) std::memcpy(Out.data() + I * Entry, Entries.data() + Index[I] * Entry, Entry);
  };

  // The output: records 1, 2, ... written in chunks, with Distinct and Group applied.
  uint32_t Written = 0;
  uint32_t LastDeleted = 0;
  std::vector<uint8_t> Pending;
  uint32_t PendingFirst = 1;
  std::vector<uint8_t> Previous(K), Row(R);
  bool HaveRow = false;
  auto FlushPending = [&]() {
    if (!Pending.empty()) WriteAt(RecordOffset(PendingFirst), Pending.data(), static_cast<int64_t>(Pending.size()));
    Pending.clear();
    PendingFirst = Written + 1;
  };
  auto Emit = [&](const uint8_t* Image) {
    size_t At = Pending.size();
    Pending.insert(Pending.end(), Image, Image + R);
    uint8_t* P = Pending.data() + At;
    ++Written;
    // Deleted records end up last, unchained: only tables with a primary index reuse them.
    if (P[0] == 0) {
      StoreU32(P + 1, Written);
    } else {
      StoreU32(P + 1, 0);
      LastDeleted = Written;
    }
    if (Cipher) CipherEncode(P, static_cast<int>(R), kTableCipherKeyLow, kTableCipherKeyHigh);
    if (Pending.size() >= static_cast<size_t>(kReadAheadBytes)) FlushPending();
  };
  auto CloseGroup = [&]() {
    if (!HaveRow) return;
    HaveRow = false;
    if (Callbacks.Finish) Callbacks.Finish(Row.data());
    if (!Callbacks.Keep || Callbacks.Keep(Row.data())) Emit(Row.data());
  };
  bool First = true;
  auto Put = [&](const uint8_t* E) {
    const uint8_t* Image = E + K;
    if ((Distinct || Group) && Image[0] != 0) return;
    bool Same = !First && Order.CompareFields(E, Previous.data()) == 0;
    First = false;
    std::memcpy(Previous.data(), E, K);
    if (Group) {
      if (!Same) {
        CloseGroup();
        std::memcpy(Row.data(), Image, R);
        HaveRow = true;
      }
      if (Callbacks.Accumulate) Callbacks.Accumulate(Row.data(), Image);
      return;
    }
    if (Distinct && Same) return;
    Emit(Image);
  };

  if (Total <= RunSize) {
    std::vector<uint8_t> Run;
    if (Total > 0) SortedRun(1, Total, Run);
    for (uint32_t I = 0; I < Total; ++I) Put(Run.data() + I * Entry);
  } else {
    std::vector<TSortRun> Runs;
    std::vector<std::unique_ptr<TFileHandler>> Files;
    auto Cleanup = [&]() {
      for (auto& F : Files) {
        try {
          F->Close();
          F->Delete();
        } catch (...) {
        }
      }
    };
    try {
      std::vector<uint8_t> Run;
      for (uint32_t Start = 1; Start <= Total; Start += RunSize) {
        uint32_t Count = std::min(RunSize, Total - Start + 1);
        SortedRun(Start, Count, Run);
        auto F = std::make_unique<TFileHandler>(UniqueTempFileName(TempDirectory, ".SRT", InMemory), InMemory);
        F->Temporary = true;
        F->TableName = ErrorName();
        F->CreateFile();
        F->WriteAt(0, Run.data(), static_cast<int64_t>(Run.size()));
        TSortRun S;
        S.File = F.get();
        S.Count = Count;
        Runs.push_back(std::move(S));
        Files.push_back(std::move(F));
      }
      // Each run's head entry, read through a buffer of up to 64 KB.
      const int64_t PerRead = std::max<int64_t>(1, kReadAheadBytes / static_cast<int64_t>(Entry));
      auto Head = [&](TSortRun& S) -> const uint8_t* {
        if (S.Next >= S.Count) return nullptr;
        if (S.Next >= S.BufferFirst + S.BufferCount || S.BufferCount == 0) {
          S.BufferFirst = S.Next;
          S.BufferCount = std::min(PerRead, S.Count - S.Next);
          S.Buffer.resize(static_cast<size_t>(S.BufferCount) * Entry);
          S.File->ReadAt(S.Next * static_cast<int64_t>(Entry), S.Buffer.data(), static_cast<int64_t>(S.Buffer.size()));
        }
        return S.Buffer.data() + static_cast<size_t>(S.Next - S.BufferFirst) * Entry;
      };
      for (;;) {
        TSortRun* Best = nullptr;
        const uint8_t* BestEntry = nullptr;
        for (TSortRun& S : Runs) {
          const uint8_t* H = Head(S);
          if (H != nullptr && (BestEntry == nullptr || Order.Compare(H, BestEntry) < 0)) {
            Best = &S;
            BestEntry = H;
          }
        }
        if (Best == nullptr) break;
        Put(BestEntry);
        ++Best->Next;
      }
    } catch (...) {
      Cleanup();
      throw;
    }
    Cleanup();
  }
  if (Group) CloseGroup();
  FlushPending();
  if (Distinct || Group) {
    StoreU32(Header + kDatNextRecord, Written + 1);
    Seek(RecordOffset(Written + 1), 0);
    Truncate();
  }
  StoreU32(Header + kDatFreeRecord, LastDeleted);
  SetDirty();
  MarkChanged();
  return Written;
}
