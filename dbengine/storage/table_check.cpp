#include "dbengine/storage/table_check.h"

#include <cstring>
#include <memory>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/index_page.h"
#include "platform/core/sysutils.h"

namespace {

std::string Described(const std::exception& E) {
  if (const auto* X = dynamic_cast<const EVXDBEngineError*>(&E)) return X->Message();
  return E.what();
}

std::string IndexLabel(TIndexFile* X, int Slot) {
  if (Slot == kSysDeletedSlot) return "the record status index";
  if (Slot == 0) return "the primary index";
  return "index " + Trim(X->Descriptor(Slot)->Name());
}

}  // namespace

void CheckOpenTable(TDataCursor* C, TTableCheckResult& R) {
  TTableFileSet* A = TableFileAccess(C->Table);
  TDataFile* D = A->DataFile();
  TIndexFile* X = A->IndexFile();
  const std::string IdxName = X->FileName.substr(X->FileName.find_last_of("/\\") + 1);
  // Every record, read from the data file in its natural order.
  int32_t Live = 0;
  try {
    std::vector<uint8_t> B(static_cast<size_t>(C->RecordBufferSize));
    C->SetIndexNo(kNaturalOrderIndex);
    C->MoveToBegin();
    while (C->GetNextRecord(B.data()) == 0) ++Live;
  } catch (const std::exception& E) {
    R.Problems.push_back("records: " + Described(E));
    return;
  }
  R.Records = Live;
  const uint32_t Slots = D->NextRecord() - 1;
  std::vector<int> Check;
  for (int S = X->NoPrimaryIndex() ? 1 : 0; S <= X->IndexCount(); ++S) Check.push_back(S);
  Check.push_back(kSysDeletedSlot);
  for (int S : Check) {
    try {
      TIndexTreeStats T = IndexCheckTree(*X, C, S, X->PageCapacity());
      X->CheckFreeChain(S);
      const int64_t Expected = S == kSysDeletedSlot ? static_cast<int64_t>(Slots) : Live;
      if (T.Keys != Expected)
        R.Problems.push_back(IdxName + ": " + IndexLabel(X, S) + " holds " + std::to_string(T.Keys) + " keys, the data file " +
                             std::to_string(Expected) + (S == kSysDeletedSlot ? " record slots" : " records"));
    } catch (const std::exception& E) {
      R.Problems.push_back(IdxName + ": " + IndexLabel(X, S) + ": " + Described(E));
    }
  }
  // Each index in its order reaches every live record once.
  for (int S : Check) {
    if (S == kSysDeletedSlot) continue;
    try {
      std::vector<uint8_t> B(static_cast<size_t>(C->RecordBufferSize));
      C->SetIndexNo(static_cast<uint8_t>(S));
      C->MoveToBegin();
      int32_t N = 0;
      while (C->GetNextRecord(B.data()) == 0) ++N;
      if (N != Live)
        R.Problems.push_back(IdxName + ": " + IndexLabel(X, S) + " leads to " + std::to_string(N) + " records, the data file holds " +
                             std::to_string(Live));
    } catch (const std::exception& E) {
      R.Problems.push_back(IdxName + ": " + IndexLabel(X, S) + ": " + Described(E));
    }
  }
}

TTableCheckResult CheckTable(TDataDirectory* Dir, const std::string& Name) {
  TTableCheckResult R;
  auto C = std::make_unique<TDataCursor>(Dir);
  try {
    C->SetTableName(Name);
    C->SetExclusive(true);
    C->SetReadOnly(true);
    C->Open();
  } catch (const std::exception& E) {
    R.Problems.push_back("open: " + Described(E));
    return R;
  }
  R.Opened = true;
  try {
    CheckOpenTable(C.get(), R);
  } catch (const std::exception& E) {
    R.Problems.push_back(Described(E));
  }
  try {
    C->Close();
  } catch (...) {
  }
  return R;
}
