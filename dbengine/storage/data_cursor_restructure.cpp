// Restructuring a table: its fields, indexes and table options change while every record keeps its
// values and its row number (other tables hold row numbers as ids). Three ways, the cheapest that
// does the job: a full rewrite into a new table when fields or the options that shape the files
// change, a rebuild of the changed secondary indexes, or only descriptors and header values.
//
// A full rewrite builds the new table under a temporary name in the session's private directory
// (the in-memory database for an in-memory table); the old files are not touched until it is
// complete. The new files then take the old ones' place: the old files are renamed to their backup
// names, the new ones moved in (copied when the private directory lies on another file system), and
// the backups deleted; any failure on the way removes what was moved in and gives the backups
// their names back.
#include <algorithm>
#include <cstring>
#include <memory>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/data_cursor_internal.h"
#include "dbengine/storage/engine_common.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/file_layer.h"
#include "dbengine/storage/index_file.h"
#include "platform/core/sysutils.h"

std::function<void(const std::string& Step)> RestructureStepHook;

namespace {

const char* const kTableExts[3] = {".DAT", ".IDX", ".BLB"};
const char* const kBackupExts[3] = {".DBK", ".IBK", ".BBK"};

void CheckResult(int R, const std::string& TableName) {
  if (R < 0) RaiseEngineError(static_cast<uint16_t>(-R), TableName);
}

// Values of the same type: strings and bytes must fit their new size; anything else must keep its
// storage form (BCD its scale).
bool ConvertSameType(const TFieldDescriptor& From, const void* Value, const TFieldDescriptor& To, void* Dest) {
  if (From.Type() != To.Type()) return false;
  const uint8_t* V = static_cast<const uint8_t*>(Value);
  if (To.Type() == ftString) {
    const size_t Length = strnlen(reinterpret_cast<const char*>(V), From.DataSize());
    if (Length > To.Size()) return false;
    std::memcpy(Dest, V, Length);
    return true;
  }
  if (To.Type() == ftBytes || To.Type() == ftVarBytes) {
    for (int I = To.DataSize(); I < From.DataSize(); ++I)
      if (V[I] != 0) return false;
    std::memcpy(Dest, V, static_cast<size_t>(std::min(From.DataSize(), To.DataSize())));
    return true;
  }
  if (From.DataSize() != To.DataSize() || From.Scale() != To.Scale()) return false;
  std::memcpy(Dest, V, To.DataSize());
  return true;
}

// Puts the files of the work table (WorkBase: path and name without extension) in the place of
// the table's files (TableBase).
void ReplaceTableFiles(const std::string& WorkBase, const std::string& TableBase, bool InMemory,
                       const std::string& TableName) {
  TFileList& L = EngineFileList();
  std::vector<int> Backed, Moved;
  try {
    for (int I = 0; I < 3; ++I) {
      const std::string File = TableBase + kTableExts[I], Backup = TableBase + kBackupExts[I];
      if (!L.FileExists(File, InMemory)) continue;
      if (L.FileExists(Backup, InMemory)) CheckResult(L.FileDelete(Backup, InMemory), TableName);
      CheckResult(L.FileRename(File, InMemory, Backup), TableName);
      Backed.push_back(I);
    }
    if (RestructureStepHook) RestructureStepHook("backup");
    for (int I = 0; I < 3; ++I) {
      const std::string From = WorkBase + kTableExts[I], To = TableBase + kTableExts[I];
      if (!L.FileExists(From, InMemory)) continue;
      CheckResult(InMemory ? L.FileRename(From, true, To) : MoveTableFile(From, To), TableName);
      Moved.push_back(I);
      if (RestructureStepHook) RestructureStepHook("move");
    }
  } catch (...) {
    for (int I : Moved) L.FileDelete(TableBase + kTableExts[I], InMemory);
    for (int I : Backed) L.FileRename(TableBase + kBackupExts[I], InMemory, TableBase + kTableExts[I]);
    throw;
  }
  // The new table is in place; a backup that cannot be deleted only takes room.
  for (int I : Backed) L.FileDelete(TableBase + kBackupExts[I], InMemory);
}

// The table options of a restructure into a table definition or the parameters of a new table.
template <class TOptions>
void TakeTableOptions(TOptions& To, const TRestructureParams& P, uint16_t BlobBlockSize) {
  To.Description = P.Description;
  To.Encrypted = P.Encrypted;
  To.Password = P.Password;
  To.BlobBlockSize = BlobBlockSize;
  To.LanguageID = P.LanguageID;
  To.SortID = P.SortID;
  To.UserMajorVersion = P.UserMajorVersion;
  To.UserMinorVersion = P.UserMinorVersion;
}

int FieldPosition(const std::vector<std::array<uint8_t, 768>>& Fields, uint16_t Number) {
  for (size_t I = 0; I < Fields.size(); ++I)
    if (GetU16(Fields[I].data() + kFieldDescNumberOffset) == Number) return static_cast<int>(I + 1);
  return 0;
}

int KeyFieldsOf(const uint8_t* Index) {
  int N = 0;
  while (N < kMaxIndexFields && GetU16(Index + kIndexDescFieldNumbersOffset + 2 * N) != 0) ++N;
  return N;
}

}  // namespace

// ---- Definition comparisons -------------------------------------------------------------------------

bool TDataCursor::SameFieldDefinition(const uint8_t* A, const uint8_t* B) {
  auto Text = [](const uint8_t* D, int Offset) { return GetShortString(D + Offset, 50); };
  return FieldDescName(A) == FieldDescName(B) && A[kFieldDescTypeOffset] == B[kFieldDescTypeOffset] &&
         A[kFieldDescSubTypeOffset] == B[kFieldDescSubTypeOffset] &&
         A[kFieldDescDeclaredSizeOffset] == B[kFieldDescDeclaredSizeOffset] &&
         A[kFieldDescDeclaredScaleOffset] == B[kFieldDescDeclaredScaleOffset] &&
         A[kFieldDescRequiredOffset] == B[kFieldDescRequiredOffset] &&
         SameText(Text(A, kFieldDescDefaultOffset), Text(B, kFieldDescDefaultOffset)) &&
         SameText(Text(A, kFieldDescMinimumOffset), Text(B, kFieldDescMinimumOffset)) &&
         SameText(Text(A, kFieldDescMaximumOffset), Text(B, kFieldDescMaximumOffset));
}

bool TDataCursor::SameIndexDefinition(const uint8_t* OldIndex, const uint8_t* NewIndex,
                                      const std::vector<std::array<uint8_t, 768>>& OldFields,
                                      const std::vector<std::array<uint8_t, 768>>& NewFields) {
  if (GetU16(OldIndex + kIndexDescKeyLengthOffset) != GetU16(NewIndex + kIndexDescKeyLengthOffset)) return false;
  // The option bytes: descending, case, unique, compression, and the per-field descending flags.
  if (std::memcmp(OldIndex + kIndexDescDescendingOffset, NewIndex + kIndexDescDescendingOffset, 4) != 0 ||
      std::memcmp(OldIndex + kIndexDescFieldDescendingOffset, NewIndex + kIndexDescFieldDescendingOffset, 16) != 0)
    return false;
  const int Count = KeyFieldsOf(NewIndex);
  if (KeyFieldsOf(OldIndex) != Count) return false;
  bool Same = true;
  for (int K = 0; K < Count; ++K) {
    const uint16_t N = GetU16(NewIndex + kIndexDescFieldNumbersOffset + 2 * K);
    const int NewPos = FieldPosition(NewFields, N);
    if (NewPos == 0) Fail(ecInvalidField, std::to_string(N));
    const int OldPos = FieldPosition(OldFields, N);
    if (GetU16(OldIndex + kIndexDescFieldNumbersOffset + 2 * K) != N || OldPos == 0 ||
        !SameFieldDefinition(OldFields[static_cast<size_t>(OldPos - 1)].data(),
                             NewFields[static_cast<size_t>(NewPos - 1)].data()))
      Same = false;
  }
  return Same;
}

void TDataCursor::RenumberFields(std::vector<std::array<uint8_t, 768>>& Fields,
                                 std::vector<std::array<uint8_t, 120>>& Indexes) {
  for (auto& X : Indexes)
    for (int K = 0, Count = KeyFieldsOf(X.data()); K < Count; ++K) {
      uint8_t* P = X.data() + kIndexDescFieldNumbersOffset + 2 * K;
      SetU16(P, static_cast<uint16_t>(FieldPosition(Fields, GetU16(P))));
    }
  for (size_t I = 0; I < Fields.size(); ++I)
    SetU16(Fields[I].data() + kFieldDescNumberOffset, static_cast<uint16_t>(I + 1));
}

// ---- Header value ----------------------------------------------------------------------------------------

std::string TDataCursor::GetPassword() {
  if (Active) return DataFile()->Password();
  // The stored password is deciphered by the data file; the header check asks for it first.
  uint8_t H[kDataHeaderSize];
  ReadClosedHeader(H);
  if (H[kDatEncrypted] == 0) return std::string();
  const std::string Base = RemoveFileExt(TableName);
  TDataFile F;
  F.FileName = ((InMemory || Directory == nullptr) ? Base : Directory->Path + Base) + ".DAT";
  F.InMemory = InMemory;
  F.ReadOnly = true;
  F.TableName = TableName;
  F.Open();
  std::string S = F.Password();
  F.Close();
  return S;
}

// ---- RestructureTable ------------------------------------------------------------------------------------

void TDataCursor::RestructureTable(TRestructureParams P) {
  CheckClosed();
  CheckExclusive();
  CheckWritable();
  Open();
  try {
    std::vector<std::array<uint8_t, 768>> OldFields(FieldCount);
    for (size_t I = 0; I < OldFields.size(); ++I)
      std::memcpy(OldFields[I].data(), DataFile()->Field(static_cast<int>(I + 1))->Bytes, kFieldDescriptorSize);
    std::vector<std::array<uint8_t, 120>> OldIndexes(static_cast<size_t>(GetIndexCount() + 1));
    for (size_t I = 0; I < OldIndexes.size(); ++I) GetIndexDesc(static_cast<uint8_t>(I), OldIndexes[I].data());
    const uint16_t BlobBlock = P.BlobBlockSize < 0 ? GetBlobBlockSize() : static_cast<uint16_t>(P.BlobBlockSize);

    // The new definition is checked and completed as for a new table.
    TTableDefinition Def;
    Def.Fields = P.Fields;
    Def.Indexes = P.Indexes;
    if (Def.Indexes.empty()) Def.Indexes.push_back(std::array<uint8_t, 120>{});
    TakeTableOptions(Def, P, BlobBlock);
    if (Def.Indexes.size() > static_cast<size_t>(kMaxTableIndexes)) Fail(ecIndexLimit);
    CheckTableDefinition(TableName, Def, false, true);

    // A field that keeps its place, its number and its definition keeps its stored form.
    bool Full = P.Encrypted != IsEncrypted() || BlobBlock != GetBlobBlockSize() || P.LanguageID != LanguageID ||
                P.SortID != SortID || Def.Fields.size() != OldFields.size();
    for (size_t I = 0; !Full && I < Def.Fields.size(); ++I)
      Full = GetU16(Def.Fields[I].data()) != I + 1 ||
             !SameFieldDefinition(OldFields[I].data(), Def.Fields[I].data());
    // Any change of the primary key rewrites the records too: a unique key over existing rows must
    // be met by every row (a violation stops the restructure), and the primary key decides how
    // free record slots are reused.
    const bool OldPrimary = !HasNoPrimaryKey();
    const bool NewPrimary = KeyFieldsOf(Def.Indexes[0].data()) > 0;
    if (!Full && (OldPrimary != NewPrimary ||
                  (NewPrimary && !SameIndexDefinition(OldIndexes[0].data(), Def.Indexes[0].data(), OldFields,
                                                      Def.Fields))))
      Full = true;
    if (Full) {
      RestructureRewrite(P, Def.Fields, Def.Indexes, BlobBlock);
      return;
    }
    size_t FirstChanged = std::min(OldIndexes.size(), Def.Indexes.size());
    for (size_t I = 1; I < FirstChanged; ++I)
      if (!SameIndexDefinition(OldIndexes[I].data(), Def.Indexes[I].data(), OldFields, Def.Fields)) {
        FirstChanged = I;
        break;
      }
    if (FirstChanged < std::max(OldIndexes.size(), Def.Indexes.size())) RestructureIndexes(Def.Indexes, FirstChanged);
    RestructureDescriptors(Def.Fields, Def.Indexes);
    const uint32_t Last = P.LastAutoInc >= 0 ? static_cast<uint32_t>(P.LastAutoInc) : DataFile()->LastAutoInc();
    SetTableInfo(P.Description, P.Password, Last, P.UserMajorVersion, P.UserMinorVersion);
  } catch (...) {
    Close();
    throw;
  }
  Close();
}

// Secondary indexes FirstChanged.. are dropped and the new ones from there on built; the index file
// is kept as a backup meanwhile and copied back when a build fails.
void TDataCursor::RestructureIndexes(const std::vector<std::array<uint8_t, 120>>& NewIndexes, size_t FirstChanged) {
  BackupIndexFile();
  try {
    for (int I = GetIndexCount(); I >= static_cast<int>(FirstChanged); --I)
      DeleteIndex(Trim(IndexFile()->Descriptor(I)->Name()));
    for (size_t I = FirstChanged; I < NewIndexes.size(); ++I) AddIndex(NewIndexes[I]);
  } catch (...) {
    try {
      RestoreIndexFile(false, true);
    } catch (...) {
    }
    throw;
  }
  RestoreIndexFile(true, true);
}

// Values that leave the stored form alone: field descriptions and character cases, index names.
void TDataCursor::RestructureDescriptors(const std::vector<std::array<uint8_t, 768>>& NewFields,
                                         const std::vector<std::array<uint8_t, 120>>& NewIndexes) {
  TDataFile* D = DataFile();
  for (size_t I = 0; I < NewFields.size(); ++I) {
    TFieldDescriptor F;
    std::memcpy(F.Bytes, NewFields[I].data(), kFieldDescriptorSize);
    TFieldDescriptor* Stored = D->Field(static_cast<int>(I + 1));
    Stored->Bytes[kFieldDescCharCaseOffset] = F.Bytes[kFieldDescCharCaseOffset];
    D->SetFieldAttributes(static_cast<int>(I + 1), F);
  }
  for (int I = 1; I <= GetIndexCount() && static_cast<size_t>(I) < NewIndexes.size(); ++I) {
    const std::string Name = GetShortString(NewIndexes[static_cast<size_t>(I)].data() + kIndexDescNameOffset, 30);
    const TIndexDescriptor* X = IndexFile()->Descriptor(I);
    if (X->Name() == Name) continue;
    uint16_t Numbers[kMaxIndexFields];
    for (int K = 0; K < kMaxIndexFields; ++K) Numbers[K] = X->FieldNumber(K);
    RenameIndex(static_cast<uint8_t>(I), Name, Numbers);
  }
  RunWrite([&]() { FlushChanges(); });
}

void TDataCursor::RestructureRewrite(const TRestructureParams& P,
                                     const std::vector<std::array<uint8_t, 768>>& NewFields,
                                     const std::vector<std::array<uint8_t, 120>>& NewIndexes,
                                     uint16_t BlobBlockSize) {
  TDataSession* S = Directory->Session;
  // The private directory is opened for the rewrite (and may be the table's own directory).
  const bool OpenedWorkDir = !InMemory && S != nullptr;
  TDataDirectory* WorkDir = OpenedWorkDir ? S->OpenDirectory("", S->GetPrivateDir()) : Directory;
  const bool AddedPassword = P.Encrypted && S != nullptr && !S->HasPassword(P.Password);
  if (AddedPassword) S->AddPassword(P.Password);
  std::string WorkName;
  std::unique_ptr<TDataCursor> Work;
  std::vector<int> OldPositions;
  auto Release = [&]() {
    Work.reset();
    if (AddedPassword) S->RemovePassword(P.Password);
    if (OpenedWorkDir) S->CloseDirectory(WorkDir);
  };
  try {
    WorkDir->GetTempTableName(InMemory, WorkName);
    // New field i carries the value of the old field whose number it kept (old numbers are
    // positions).
    for (const auto& F : NewFields) {
      const uint16_t N = GetU16(F.data() + kFieldDescNumberOffset);
      OldPositions.push_back(N >= 1 && N <= FieldCount ? N : 0);
    }
    TCreateTableParams C;
    C.Fields = NewFields;
    C.Indexes = NewIndexes;
    RenumberFields(C.Fields, C.Indexes);
    TakeTableOptions(C, P, BlobBlockSize);
    Work.reset(new TDataCursor(WorkDir));
    Work->SetTableName(WorkName);
    Work->SetInMemory(InMemory);
    Work->SetExclusive(true);
    Work->Restructuring = true;
    Work->CreateTable(C);
  } catch (...) {
    Release();
    throw;
  }
  try {
    Work->Open();
    // Every record keeps its row number, with or without an auto-increment field.
    Work->NoAutoInc = true;
    std::vector<uint8_t> From, To(Work->RecordBufferSize);
    for (uint32_t N = 1; N < DataFile()->NextRecord(); ++N) {
      if (!ReadRecordImage(N, From) || From[0] != 0) continue;
      CopyRecordInto(Work.get(), P, From, To, OldPositions);
    }
    const uint32_t Last = P.LastAutoInc >= 0 ? static_cast<uint32_t>(P.LastAutoInc) : DataFile()->LastAutoInc();
    Work->SetTableInfo(P.Description, P.Password, Last, P.UserMajorVersion, P.UserMinorVersion);
    Work->Close();
    Close();
    // The old table must be closed everywhere in this session before its files are replaced.
    if (Directory->FindTable(TableName, InMemory) != nullptr) Fail(ecTableInUse);
    const std::string WorkBase = (InMemory ? std::string() : WorkDir->Path) + RemoveFileExt(WorkName);
    const std::string TableBase = (InMemory ? std::string() : Directory->Path) + RemoveFileExt(TableName);
    ReplaceTableFiles(WorkBase, TableBase, InMemory, TableName);
  } catch (...) {
    try {
      Work->Close();
      WorkDir->DeleteTable(WorkName, InMemory);
    } catch (...) {
    }
    Release();
    throw;
  }
  Release();
}

void TDataCursor::CopyRecordInto(TDataCursor* Work, const TRestructureParams& P, std::vector<uint8_t>& From,
                                 std::vector<uint8_t>& To, const std::vector<int>& OldPositions) {
  auto Check = [](uint16_t Code, TDataCursor* C) {
    if (Code != 0) RaiseEngineError(Code, C->TableName);
  };
  Work->InitRecord(To.data());
  std::memcpy(To.data() + 5, From.data() + 5, 4);
  uint8_t Value[512], Converted[512];
  for (size_t I = 0; I < OldPositions.size(); ++I) {
    const int Old = OldPositions[I];
    const int New = static_cast<int>(I + 1);
    if (Old == 0) continue;
    const TFieldDescriptor& OD = *reinterpret_cast<const TFieldDescriptor*>(DataFile()->Field(Old));
    const TFieldDescriptor& ND = *reinterpret_cast<const TFieldDescriptor*>(Work->DataFile()->Field(New));
    bool Blank = true;
    std::memset(Value, 0, sizeof Value);
    GetPhysicalField(Old, From.data(), Blank, OD.Type() == ftBlob ? nullptr : Value);
    if (ND.IsAutoInc()) {
      // Its value is the row number, which every record keeps: a value of a field that becomes
      // the auto-increment field survives only when it is that number.
      if (OD.IsAutoInc() || Blank) continue;
      std::memset(Converted, 0, sizeof Converted);
      const bool Done = OD.Type() != ftBlob && (P.Convert ? P.Convert(OD, Value, ND, Converted)
                                                           : ConvertSameType(OD, Value, ND, Converted));
      if (!Done || std::memcmp(Converted, From.data() + 5, 4) != 0) Fail(ecInvalidFieldDef, OD.Name());
      continue;
    }
    if (Blank) continue;
    if (OD.Type() == ftBlob || ND.Type() == ftBlob) {
      // BLOB values move as bytes; a string becomes a BLOB's text and a BLOB a string that holds it.
      std::vector<uint8_t> Bytes;
      if (OD.Type() == ftBlob) {
        Check(OpenBlob(Old, From.data(), false, true), this);
        int64_t Size = 0, Count = 0;
        uint16_t R = GetBlobSize(Old, From.data(), true, Size);
        if (R == 0 && Size > 0) {
          Bytes.resize(static_cast<size_t>(Size));
          R = ReadBlob(Old, From.data(), true, Count, Size, Bytes.data(), 0);
        }
        CloseBlob(Old, From.data(), true);
        Check(R, this);
      } else if (OD.Type() == ftString) {
        const char* S = reinterpret_cast<const char*>(Value);
        Bytes.assign(S, S + strnlen(S, OD.DataSize()));
      } else {
        Fail(ecInvalidFieldDef, OD.Name());
      }
      if (ND.Type() == ftBlob) {
        Check(Work->OpenBlob(New, To.data(), false, true), Work);
        if (!Bytes.empty())
          Check(Work->WriteBlob(New, To.data(), true, static_cast<int64_t>(Bytes.size()), Bytes.data(), 0), Work);
      } else {
        if (ND.Type() != ftString || Bytes.size() > ND.Size() || std::find(Bytes.begin(), Bytes.end(), 0) != Bytes.end())
          Fail(ecInvalidFieldDef, OD.Name());
        Bytes.push_back(0);
        Work->PutPhysicalField(New, To.data(), true, Bytes.data());
      }
      continue;
    }
    std::memset(Converted, 0, sizeof Converted);
    const bool Done = P.Convert ? P.Convert(OD, Value, ND, Converted) : ConvertSameType(OD, Value, ND, Converted);
    // A value that does not convert stops the restructure: nothing is given up silently.
    if (!Done) Fail(ecInvalidFieldDef, OD.Name());
    Work->PutPhysicalField(New, To.data(), true, Converted);
  }
  try {
    Work->InsertRecord(To.data(), false);
  } catch (...) {
    Work->FreeBlobs(true);
    throw;
  }
  Work->FreeBlobs(true);
}
