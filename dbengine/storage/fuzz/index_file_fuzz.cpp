// Opens arbitrary bytes as an index file (.IDX) and walks it: the open checks, every index tree
// and free chain, then a few inserts and deletes and a flush. A corrupt file may only end in an
// engine error; anything else (a crash, a stray read, another exception) is a finding.
#include <cstdint>
#include <cstring>
#include <vector>

#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/engine_keys.h"
#include "dbengine/storage/file_layer.h"
#include "dbengine/storage/index_file.h"

namespace {

// Fields 1..8: integers, strings and floats, so that the open checks pass for plausible headers.
class TFuzzFields : public TIndexFieldSource {
 public:
  TFuzzFields() {
    const uint8_t Types[8] = {ftInteger, ftString, ftInteger, ftFloat, ftDate, ftBlob, ftSmallInt, ftString};
    const uint8_t Sizes[8] = {0, 40, 0, 0, 0, 0, 0, 4};
    for (int I = 0; I < 8; ++I) {
      uint8_t* D = F[I];
      memset(D, 0, 768);
      D[0] = static_cast<uint8_t>(I + 1);
      D[kFieldDescTypeOffset] = Types[I];
      D[kFieldDescDeclaredSizeOffset] = Sizes[I];
      SetFieldStorageSize(D);
    }
  }
  const uint8_t* FieldDescriptor(uint16_t N) override { return N >= 1 && N <= 8 ? F[N - 1] : nullptr; }

 private:
  uint8_t F[8][768];
};

template <class Body>
void Guarded(Body&& B) {
  try {
    B();
  } catch (const EVXDBEngineError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  static TFuzzFields Fields;
  const char* Name = "FUZZ.IDX";
  {
    TFileHandler Image(Name, true);
    Image.CreateFile();
    if (Size > 0) Image.Write(Data, static_cast<int64_t>(Size));
    Image.Close();
  }
  TIndexFile F;
  F.InMemory = true;
  F.FileName = Name;
  F.Fields = &Fields;
  F.Encrypted = (Size & 1) != 0;  // an odd length (one byte past the pages) stands for a ciphered file
  try {
    F.Open();
  } catch (const EVXDBEngineError&) {
    return 0;
  }
  Guarded([&] { F.VerifyIndexFile(); });
  const int Last = F.IndexCount() < kMaxSecondaryIndexes ? F.IndexCount() : kMaxSecondaryIndexes;
  std::vector<int> Slots;
  for (int S = 0; S <= Last; ++S) Slots.push_back(S);
  Slots.push_back(kSysDeletedSlot);
  for (int S : Slots) {
    Guarded([&] { IndexCheckTree(F, nullptr, S, F.PageCapacity()); });
    Guarded([&] { F.CheckFreeChain(S); });
    uint8_t Out[kMaxIndexKeyLength];
    uint32_t Rec = 0;
    Guarded([&] { IndexKeyAtOrdinal(F, nullptr, S, 1, Out, Rec); });
  }
  // Changes only while the file stays small: new pages go to EndOffset.
  if (F.EndOffset() <= Size + 64 * kIndexPageSize) {
    for (int S : Slots) {
      const int KL = F.Descriptor(S)->KeyLength();
      if (KL < 1 || KL > kMaxIndexKeyLength) continue;
      std::vector<uint8_t> Key(static_cast<size_t>(KL), 0);
      for (int I = 0; I < 24; ++I) {
        Key[0] = 1;
        Key[static_cast<size_t>(KL - 1)] = static_cast<uint8_t>(I * 37);
        if (KL > 2) Key[1] = static_cast<uint8_t>(I * 11);
        Guarded([&] { IndexInsertKey(F, nullptr, S, Key.data(), static_cast<uint32_t>(I + 1)); });
        if (I % 3 == 0) Guarded([&] { IndexDeleteKey(F, nullptr, S, Key.data()); });
        uint32_t Rec = 0;
        int64_t Ord = 0;
        Guarded([&] { IndexFindKey(F, nullptr, S, Key.data(), Rec, Ord); });
      }
      Guarded([&] { IndexCheckTree(F, nullptr, S, F.PageCapacity()); });
    }
    Guarded([&] { F.FlushPages(); });
    Guarded([&] { F.WriteHeader(false); });
  }
  Guarded([&] { F.Close(); });
  return 0;
}
