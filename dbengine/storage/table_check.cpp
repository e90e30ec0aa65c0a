#include "dbengine/storage/table_check.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/data_session.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/index_file.h"
#include "dbengine/storage/index_page.h"
#include "dbengine/storage/engine_common.h"
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

namespace {

// The index definitions an index file's header still holds: the primary one first (no key fields
// when the table has none), then the secondary ones. Empty when the header cannot be read.
std::vector<std::array<uint8_t, 120>> SavedIndexes(const std::string& IdxPath) {
  std::vector<std::array<uint8_t, 120>> L;
  std::FILE* F = std::fopen(ResolveDiskFileName(IdxPath).c_str(), "rb");
  if (F == nullptr) return L;
  std::vector<uint8_t> H(kIndexHeaderSize);
  size_t Got = std::fread(H.data(), 1, H.size(), F);
  std::fclose(F);
  if (Got != H.size() || H[kIdxVersion] != kIndexFileVersion) return L;
  const int Count = H[kIdxIndexCount];
  if (Count > kIndexSlotCount - 1) return L;
  for (int S = 0; S <= Count; ++S) {
    std::array<uint8_t, 120> D{};
    std::memcpy(D.data(), H.data() + kIdxDescriptors + kIndexDescriptorSize * S, kIndexDescriptorSize);
    L.push_back(D);
  }
  if (H[kIdxNoPrimaryIndex] != 0) L[0] = std::array<uint8_t, 120>{};
  return L;
}

}  // namespace

std::vector<std::string> RebuildIndexes(TDataDirectory* Dir, const std::string& Name) {
  std::vector<std::string> Steps;
  const std::string Base = Dir->Path + RemoveFileExt(Name);
  std::vector<std::array<uint8_t, 120>> Indexes = SavedIndexes(Base + ".IDX");
  if (Indexes.empty())
    Steps.push_back("the index definitions could not be read from the index file: only the record status index is made");
  // Without its index file the table opens with an empty one, the record status index made from the
  // records.
  const std::string Idx = ResolveDiskFileName(Base + ".IDX");
  std::error_code E;
  std::filesystem::remove(Idx, E);
  auto C = std::make_unique<TDataCursor>(Dir);
  C->SetTableName(Name);
  C->SetExclusive(true);
  C->Open();
  std::vector<std::array<uint8_t, 768>> Fields;
  {
    TDataFile* D = TableFileAccess(C->Table)->DataFile();
    for (int I = 0; I < D->FieldCount(); ++I) {
      std::array<uint8_t, 768> F{};
      std::memcpy(F.data(), D->Field(I + 1)->Bytes, kFieldDescriptorSize);
      Fields.push_back(F);
    }
  }
  C->Close();
  Steps.push_back("made the record status index from the records");
  bool Keyed = false;
  for (const auto& D : Indexes) {
    TIndexDescriptor X;
    std::memcpy(X.Bytes, D.data(), kIndexDescriptorSize);
    if (X.FieldNumber(0) != 0) Keyed = true;
  }
  if (Keyed) {
    TRestructureParams P;
    P.Fields = Fields;
    P.Indexes = Indexes;
    C->RestructureTable(std::move(P));
    for (size_t I = 0; I < Indexes.size(); ++I) {
      TIndexDescriptor X;
      std::memcpy(X.Bytes, Indexes[I].data(), kIndexDescriptorSize);
      if (X.FieldNumber(0) == 0) continue;
      Steps.push_back(std::string("made ") + (I == 0 ? "the primary index" : "index " + Trim(X.Name())) + " from the records");
    }
  }
  return Steps;
}
