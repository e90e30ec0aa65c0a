// Feeds arbitrary text to a cursor's filter: the text is parsed, type-checked against the fields
// of a small in-memory table and, when it compiles, evaluated over the table through its indexes
// and by scanning. Every input must either filter or raise the engine's error (or the conversion
// error of a malformed literal), never crash or read out of bounds.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dbengine/sql/expr_filters.h"
#include "dbengine/storage/data_cursor.h"
#include "dbengine/storage/data_cursor_files.h"
#include "dbengine/storage/engine_errors.h"

namespace {

std::array<uint8_t, 768> FieldDef(uint16_t Number, const char* Name, uint8_t Type, uint8_t Size) {
  std::array<uint8_t, 768> D{};
  reinterpret_cast<TFieldDescriptor*>(D.data())->SetName(Name);
  StoreU16(D.data(), Number);
  D[kFieldDescTypeOffset] = Type;
  D[kFieldDescDeclaredSizeOffset] = Size;
  return D;
}

std::array<uint8_t, 120> IndexDef(const char* Name, uint16_t Field, bool Unique) {
  std::array<uint8_t, 120> D{};
  StoreShortString(D.data() + kIndexDescNameOffset, 30, Name);
  D[kIndexDescUniqueOffset] = Unique ? 1 : 0;
  StoreU16(D.data() + kIndexDescFieldNumbersOffset, Field);
  return D;
}

// NAME string 20, QTY integer, PRICE float, BORN date, FLAG boolean, NOTE memo; indexes on NAME
// and QTY; a few rows with NULLs.
TDataCursor* Table() {
  static TDataCursor* C = [] {
    SetTableFilesFactory(MakeTableFiles);
    RegisterEngineExpressions();
    auto* S = new TDataSession();
    TDataDirectory* Memory = S->OpenDirectory("MEMORY", "");
    auto* K = new TDataCursor(Memory);
    K->SetTableName("fuzz");
    K->SetInMemory(true);
    K->SetExclusive(true);
    TCreateTableParams P;
    P.Fields = {FieldDef(1, "NAME", ftString, 20), FieldDef(2, "QTY", ftInteger, 0), FieldDef(3, "PRICE", ftFloat, 0),
                FieldDef(4, "BORN", ftDate, 0),    FieldDef(5, "FLAG", ftBoolean, 0), FieldDef(6, "NOTE", ftBlob, 0)};
    P.Fields[5][kFieldDescSubTypeOffset] = 22;
    // No primary key: index 0 is natural order.
    P.Indexes = {std::array<uint8_t, 120>{}, IndexDef("BYNAME", 1, false), IndexDef("BYQTY", 2, false)};
    K->CreateTable(P);
    K->Open();
    const char* Names[] = {"Kot", "\xA3o\x9C", "", "abc", "Kot"};
    for (int I = 0; I < 5; ++I) {
      std::vector<uint8_t> B(K->RecordBufferSize);
      K->InitRecord(B.data());
      char N[21] = {};
      std::strncpy(N, Names[I], 20);
      int32_t Q = I * 7 - 10;
      double Price = I * 1.25;
      int32_t Born = 730000 + I;
      uint16_t Flag = I % 2;
      K->PutField(1, B.data(), false, N[0] ? N : nullptr);
      K->PutField(2, B.data(), false, I == 2 ? nullptr : &Q);
      K->PutField(3, B.data(), false, &Price);
      K->PutField(4, B.data(), false, I == 3 ? nullptr : &Born);
      K->PutField(5, B.data(), false, &Flag);
      K->InsertRecord(B.data(), false);
    }
    return K;
  }();
  return C;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TDataCursor* C = Table();
  std::string Text(reinterpret_cast<const char*>(Data), Size);
  for (uint8_t Order : {uint8_t(0), uint8_t(2)}) {
    try {
      C->SwitchIndex(Order);
      TFilterHandle H = C->AddFilter(nullptr, Text, false, Size % 2 == 1, true, false, nullptr, true);
      try {
        C->ActivateFilter(H);
        std::vector<uint8_t> B(C->RecordBufferSize);
        C->MoveToBegin();
        while (C->GetNextRecord(B.data()) == 0) {
        }
      } catch (...) {
        C->DropFilter(H);
        throw;
      }
      C->DropFilter(H);
    } catch (const EVXDBEngineError&) {
    } catch (const EConvertError&) {
    }
  }
  return 0;
}
