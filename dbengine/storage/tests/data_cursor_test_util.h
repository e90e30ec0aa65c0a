// Helpers of the cursor tests: a session with a disk directory in a temporary folder, table
// definitions, record buffers filled through the cursor's field access, and the engine code a call
// raises.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/engine_errors.h"

namespace cursortest {

using TBuffer = std::vector<uint8_t>;

template <class F>
uint16_t RaisedCode(F&& Body) {
  try {
    Body();
  } catch (const EVXDBEngineError& E) {
    return E.ErrorCode();
  }
  return 0;
}

inline std::array<uint8_t, 768> Field(const std::string& Name, uint8_t Type, uint8_t Size = 0,
                                      uint8_t SubType = 0) {
  std::array<uint8_t, 768> D{};
  TFieldDescriptor* F = reinterpret_cast<TFieldDescriptor*>(D.data());
  F->SetName(Name);
  D[kFieldDescTypeOffset] = Type;
  D[kFieldDescDeclaredSizeOffset] = Size;
  D[kFieldDescSubTypeOffset] = SubType;
  return D;
}

inline std::array<uint8_t, 120> Index(const std::string& Name, const std::vector<uint16_t>& Fields,
                                      bool Unique, bool Descending = false) {
  std::array<uint8_t, 120> D{};
  StoreShortString(D.data() + kIndexDescNameOffset, 30, Name);
  D[kIndexDescUniqueOffset] = Unique ? 1 : 0;
  D[kIndexDescDescendingOffset] = Descending ? 1 : 0;
  for (size_t I = 0; I < Fields.size(); ++I)
    StoreU16(D.data() + kIndexDescFieldNumbersOffset + 2 * I, Fields[I]);
  return D;
}

// Numbers fields 1..n.
inline void Number(std::vector<std::array<uint8_t, 768>>& Fields) {
  for (size_t I = 0; I < Fields.size(); ++I) StoreU16(Fields[I].data(), static_cast<uint16_t>(I + 1));
}

class CursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTableFilesFactory(MakeTableFiles);
    char Tmpl[] = "/tmp/vxcur.XXXXXX";
    ASSERT_NE(mkdtemp(Tmpl), nullptr);
    Path = std::string(Tmpl) + "/";
    Session = new TDataSession();
    Session->LockRetryCount = 2;
    Session->LockWaitTime = 10;
    Dir = Session->OpenDirectory("db", Path);
    ASSERT_NE(Dir, nullptr);
  }
  void TearDown() override {
    for (TDataCursor* C : Cursors) delete C;
    Cursors.clear();
    delete Session;
    std::error_code E;
    std::filesystem::remove_all(Path, E);
  }
  TDataCursor* NewCursor(const std::string& Table, bool Exclusive = false) {
    TDataCursor* C = new TDataCursor(Dir);
    Cursors.push_back(C);
    C->SetTableName(Table);
    C->SetExclusive(Exclusive);
    return C;
  }
  // In a forked child: a session and a cursor of its own on a table, opened after the fork (the
  // parent's cursors are not the child's to free). The child ends with _exit.
  TDataCursor* ChildCursor(const std::string& Table, TDataDirectory*& Directory, bool Strict = false) {
    for (TDataCursor*& X : Cursors) X = nullptr;
    TDataSession* S = new TDataSession();
    S->StrictChangeDetection = Strict;
    Directory = S->OpenDirectory("db", Path);
    TDataCursor* K = new TDataCursor(Directory);
    K->SetTableName(Table);
    K->Open();
    return K;
  }
  void Create(const std::string& Table, TCreateTableParams P) {
    Number(P.Fields);
    TDataCursor* C = NewCursor(Table, true);
    C->CreateTable(std::move(P));
  }
  // ID autoinc, NAME string 20, AGE integer; primary key ID; secondary index BYNAME (non-unique).
  void CreatePeople(const std::string& Table = "people") {
    TCreateTableParams P;
    P.Fields = {Field("ID", ftInteger, 0, kSubTypeAutoInc), Field("NAME", ftString, 20),
                Field("AGE", ftInteger)};
    P.Indexes = {Index("", {1}, true), Index("BYNAME", {2}, false)};
    Create(Table, P);
  }
  TDataCursor* OpenPeople(bool Exclusive = false) {
    TDataCursor* C = NewCursor("people", Exclusive);
    C->Open();
    return C;
  }
  TBuffer Row(TDataCursor* C, const std::string& Name, int32_t Age, bool AgeNull = false) {
    TBuffer B(C->RecordBufferSize);
    C->InitRecord(B.data());
    char S[21] = {};
    std::strncpy(S, Name.c_str(), 20);
    C->PutField(2, B.data(), false, S);
    if (!AgeNull) C->PutField(3, B.data(), false, &Age);
    return B;
  }
  void Insert(TDataCursor* C, const std::string& Name, int32_t Age) {
    TBuffer B = Row(C, Name, Age);
    C->InsertRecord(B.data(), false);
  }
  static std::string NameOf(TDataCursor* C, const uint8_t* B) {
    char S[32] = {};
    bool Blank;
    C->GetField(2, B, Blank, S);
    return Blank ? std::string() : std::string(S);
  }
  static int32_t IntOf(TDataCursor* C, int FieldNo, const uint8_t* B) {
    int32_t V = 0;
    bool Blank;
    C->GetField(FieldNo, B, Blank, &V);
    return V;
  }
  // Names in the cursor's order from the beginning.
  static std::vector<std::string> Scan(TDataCursor* C) {
    std::vector<std::string> R;
    TBuffer B(C->RecordBufferSize);
    C->MoveToBegin();
    while (C->GetNextRecord(B.data()) == 0) R.push_back(NameOf(C, B.data()));
    return R;
  }

  std::string Path;
  TDataSession* Session = nullptr;
  TDataDirectory* Dir = nullptr;
  std::vector<TDataCursor*> Cursors;
};

}  // namespace cursortest
