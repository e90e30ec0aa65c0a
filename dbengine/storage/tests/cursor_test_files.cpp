#include "dbengine/storage/tests/cursor_test_files.h"

#include <cstring>

#include "dbengine/storage/engine_errors.h"

TTestTableFiles::TTestTableFiles() {
  for (auto& F : Files) F = new TFileHandler();
}

TTestTableFiles::~TTestTableFiles() {
  CloseAll();
  for (auto& F : Files) delete F;
}

void TTestTableFiles::NameFiles(const std::string& BaseName, bool InMemory, bool Exclusive, bool Temporary,
                                bool SequentialAccess, bool WriteThrough, const std::string& TableName) {
  static const char* const Exts[3] = {".DAT", ".IDX", ".BLB"};
  for (int I = 0; I < 3; ++I) {
    Files[I]->FileName = BaseName + Exts[I];
    Files[I]->InMemory = InMemory;
    Files[I]->Exclusive = Exclusive;
    Files[I]->Temporary = Temporary;
    Files[I]->SequentialAccess = SequentialAccess;
    Files[I]->WriteThrough = WriteThrough;
    Files[I]->TableName = TableName;
  }
}

TTestTableFiles::THeader TTestTableFiles::ReadHeader(int I) {
  uint8_t B[16] = {};
  Files[I]->ReadAt(0, B, 16);
  THeader H;
  std::memcpy(&H.ChangeCount, B, 4);
  H.Version = B[8];
  H.HasBlobs = B[9];
  std::memcpy(&H.RecordCount, B + 12, 4);
  return H;
}

void TTestTableFiles::WriteHeader(int I) {
  if (FailWrites) RaiseEngineError(ecWriteError, Files[I]->TableName);
  uint8_t B[16] = {};
  std::memcpy(B, &Headers[I].ChangeCount, 4);
  B[8] = Headers[I].Version;
  B[9] = Headers[I].HasBlobs;
  std::memcpy(B + 12, &Headers[I].RecordCount, 4);
  Files[I]->WriteAt(0, B, 16);
}

void TTestTableFiles::OpenData() {
  Files[0]->Open();
  Headers[0] = ReadHeader(0);
}

void TTestTableFiles::OpenIndex() {
  Files[1]->Open();
  Headers[1] = ReadHeader(1);
}

void TTestTableFiles::RecreateIndex() {
  Files[1]->CreateFile();
  Headers[1] = THeader();
  WriteHeader(1);
  Files[1]->Close();
  Files[1]->Open();
}

void TTestTableFiles::OpenBlob() {
  Files[2]->Open();
  Headers[2] = ReadHeader(2);
}

void TTestTableFiles::CloseAll() {
  for (auto& F : Files)
    if (F->Opened) F->Close();
  Dirty = false;
}

void TTestTableFiles::CreateFiles(const TTableDefinition& Definition) {
  int N = Definition.HasBlobFields() ? 3 : 2;
  for (int I = 0; I < 3; ++I) Headers[I] = THeader();
  Headers[0].HasBlobs = N == 3 ? 1 : 0;
  for (int I = 0; I < N; ++I) {
    Files[I]->CreateFile();
    WriteHeader(I);
  }
}

bool TTestTableFiles::HeaderChanged(TTableFileKind Kind) {
  int I = static_cast<int>(Kind);
  return ReadHeader(I).ChangeCount != Headers[I].ChangeCount;
}

void TTestTableFiles::ReloadHeader(TTableFileKind Kind) {
  int I = static_cast<int>(Kind);
  if (Files[I]->Opened) Headers[I] = ReadHeader(I);
  if (I == 0) Dirty = false;
}

void TTestTableFiles::DropCache(TTableFileKind Kind) {
  if (Kind == TTableFileKind::Data) Dirty = false;
}

void TTestTableFiles::AddRecords(int32_t N) {
  Headers[0].RecordCount += N;
  Dirty = true;
}

void TTestTableFiles::WriteAll() {
  if (!Dirty) return;
  for (int I = 0; I < 3; ++I) {
    if (!Files[I]->Opened) continue;
    ++Headers[I].ChangeCount;
    WriteHeader(I);
  }
  Dirty = false;
}

void TTestTableFiles::SyncAll() {
  for (auto& F : Files)
    if (F->Opened) F->Flush();
}

TTableFiles* MakeTestTableFiles() { return new TTestTableFiles(); }
