// The physical sort of a result table: the data file rewrites its records in key order, and the
// status index, whose keys name the records' new places, is built again. The index file's backup.
#include <cstring>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/data_cursor_internal.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/index_file.h"
#include "dbengine/storage/index_page.h"

void TDataCursor::SortTable(const std::vector<int>& KeyFields, const std::vector<bool>& Descending,
                            bool CaseIns, bool Distinct, bool Group, const TSortGroupCallbacks& Callbacks) {
  CheckExclusive();
  if (!HasNoPrimaryKey() || GetIndexCount() > 0) return;
  RunWrite([&]() {
    TDataFile* D = DataFile();
    // The sort reads the descending marks of the data file's descriptors; they are set for this
    // sort only.
    std::vector<std::pair<TFieldDescriptor*, uint8_t>> Marks;
    for (size_t I = 0; I < KeyFields.size(); ++I) {
      TFieldDescriptor* F = D->FieldByNumber(KeyFields[I]);
      if (F == nullptr) Fail(ecInvalidField, std::to_string(KeyFields[I]));
      Marks.emplace_back(F, F->Bytes[kFieldDescKeyDescendingOffset]);
      F->Bytes[kFieldDescKeyDescendingOffset] = I < Descending.size() && Descending[I] ? 1 : 0;
    }
    std::string Temp;
    if (Directory != nullptr && Directory->Session != nullptr) Temp = Directory->Session->GetPrivateDir();
    try {
      TableFileAccess(Table)->SortRecords(KeyFields, CaseIns, Distinct, Group, Callbacks, Temp);
    } catch (...) {
      for (auto& [F, Old] : Marks) F->Bytes[kFieldDescKeyDescendingOffset] = Old;
      throw;
    }
    for (auto& [F, Old] : Marks) F->Bytes[kFieldDescKeyDescendingOffset] = Old;
    // Records changed places: every slot's status key is made again.
    TIndexFile* X = IndexFile();
    IndexFreeTree(*X, this, kStatusIndex);
    std::vector<uint8_t> Image;
    uint8_t Key[kCursorKeyBufferSize];
    uint32_t Live = 0;
    for (uint32_t N = 1; N < D->NextRecord(); ++N) {
      if (!ReadRecordImage(N, Image)) continue;
      if (Image[0] == 0) ++Live;
      BuildStatusKey(Image.data(), Key);
      InsertKeyInto(kStatusIndex, Key, N);
    }
    X->SetRecordCount(Live);
    FlushChanges();
    RebuildVisibleSet();
    MoveFirst();
    MoveBy(-1);
    ReadCurrentRecord();
  });
}

// ---- Index file backup ------------------------------------------------------------------------------------

void TDataCursor::BackupIndexFile() {
  CheckExclusive();
  CheckWritable();
  TReadBracket Bracket(this);
  Table->BackupIndexFile();
}

void TDataCursor::RestoreIndexFile(bool Skip, bool DeleteBackup) {
  CheckExclusive();
  TReadBracket Bracket(this);
  Table->RestoreIndexFile(Skip, DeleteBackup);
  if (Skip) return;
  // The index state held by this cursor described the replaced file.
  StoreChangeCounts();
  BumpTableGeneration(Table);
  if (!IsNaturalOrder() && IndexNo != kStatusIndex && IndexNo > GetIndexCount()) IndexNo = 0;
  SetIndexNo(IndexNo);
  MoveFirst();
  MoveBy(-1);
  ReadCurrentRecord();
}
