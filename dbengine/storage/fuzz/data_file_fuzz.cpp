// Opens arbitrary bytes as a data file (.DAT) or a BLOB file (.BLB) of the in-memory database and
// walks them the way tables do: every record and field, the free chain, appends, write-back and
// sorting; every block chain, the free chain, a rewrite and the repair walk. A corrupt file may raise engine
// errors; anything else (a crash, another exception, a read out of bounds) is a fault.
//
// Layout of an input: byte 0 bit 0 picks the file (0 data, 1 BLOB), bit 1 enciphers the BLOB file,
// bit 2 gives the data file a primary index; for a BLOB file bytes 1..2 are the block size (little
// endian, 0 = 512). The file's contents follow.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dbengine/storage/blob_file.h"
#include "dbengine/storage/data_file.h"
#include "dbengine/storage/engine_errors.h"

namespace {

class TRepairOwner : public TTableFileOwner {
 public:
  bool Repairing(TDataCursor*) const override { return true; }
  void RepairLog(TDataCursor*, const std::string&) override {}
};

void PutFile(const std::string& Name, const uint8_t* Data, size_t Size) {
  TFileHandler H(Name, true);
  H.CreateFile();
  if (Size > 0) H.Write(Data, static_cast<int64_t>(Size));
  H.Close();
}

void WalkData(const std::string& Name, bool Primary) {
  TDataFile F;
  F.FileName = Name;
  F.InMemory = true;
  F.Clock = [] { return 46000.0; };
  try {
    F.Open();
  } catch (const EVXDBEngineError&) {
    return;
  }
  try {
    F.Description();
    F.Password();
    uint32_t Last = F.NextRecord() - 1;
    if (Last > 2000) Last = 2000;
    for (uint32_t N = 1; N <= Last; ++N) {
      TRecord* R = nullptr;
      if (!F.GetRecord(nullptr, N, R, true, 0, true)) continue;
      for (int I = 1; I <= F.FieldCount(); ++I) {
        const TFieldDescriptor* D = F.Field(I);
        if (D->Calculated()) continue;
        bool Blank = false;
        uint8_t Value[256];
        GetFieldValue(D->Data(), R->Buffer, Blank, Value);
      }
      F.ReleaseRecord(R);
    }
  } catch (const EVXDBEngineError&) {
  }
  // Free chain, appends and write-back; each step may meet the corruption on its own.
  for (int I = 0; I < 4; ++I) {
    TRecord* R = nullptr;
    try {
      F.AllocateRecord(nullptr, Primary, R);
      R->SetRowNumber(F.NextAutoInc());
      if (I == 3) F.PushFreeRecord(R, Primary);
    } catch (const EVXDBEngineError&) {
    }
    F.ReleaseRecord(R);
  }
  try {
    F.FlushRecords();
    F.WriteHeader(false);
    F.TrimCache();
  } catch (const EVXDBEngineError&) {
  }
  // Sorting builds keys from every record's values.
  if (F.NextRecord() <= 2000 && F.FieldCount() > 0) {
    std::vector<int> Keys;
    for (int I = 1; I <= F.FieldCount() && I <= 3; ++I) Keys.push_back(I);
    TSortGroupCallbacks Group;
    Group.Accumulate = [](uint8_t*, const uint8_t*) {};
    try {
      F.SortRecords(Keys, Primary, !Primary, Primary, Group, "");
    } catch (const EVXDBEngineError&) {
    }
  }
}

void WalkBlob(const std::string& Name, int BlockSize, bool Encrypted) {
  TRepairOwner Owner;
  TBlobFile F(&Owner);
  F.FileName = Name;
  F.InMemory = true;
  F.Encrypted = Encrypted;
  F.SetBlockSize(BlockSize);
  try {
    F.Open();
  } catch (const EVXDBEngineError&) {
    return;
  }
  std::vector<uint32_t> Firsts;
  try {
    int64_t End = F.EndOffset();
    int Walked = 0;
    for (int64_t Offset = kBlobHeaderSize; Offset < End && Walked < 300; Offset += F.BlockSize(), ++Walked) {
      TBlobBlock* B = nullptr;
      if (!F.GetBlock(nullptr, static_cast<uint32_t>(Offset), B, 8, true)) break;
      bool First = B->Previous == 0;
      uint32_t Revision = B->Revision;
      F.ReleaseBlock(B);
      if (!First) continue;
      Firsts.push_back(static_cast<uint32_t>(Offset));
      TBlobBuffer Buffer;
      Buffer.FirstBlock = static_cast<uint32_t>(Offset);
      Buffer.Revision = Revision;
      try {
        F.ReadBlob(Buffer);
      } catch (const EVXDBEngineError&) {
      }
    }
  } catch (const EVXDBEngineError&) {
  }
  // A rewrite over the first chain, a new value, then freeing with repair.
  for (size_t I = 0; I < Firsts.size() && I < 4; ++I) {
    try {
      TBlobBuffer Buffer;
      Buffer.FirstBlock = Firsts[I];
      Buffer.Revision = 77;
      Buffer.Data.assign(static_cast<size_t>(F.DataPerBlock()) * (I % 3) + 5, static_cast<uint8_t>(I));
      if (I == 0) F.WriteBlob(Buffer);
      uint32_t Link = Buffer.FirstBlock;
      F.FreeBlobChain(nullptr, I == 1, I == 2, 1, I == 0 ? 77 : 5, Link);
    } catch (const EVXDBEngineError&) {
    }
  }
  try {
    TBlobBuffer Buffer;
    Buffer.Revision = 78;
    Buffer.Data.assign(1000, 0x5A);
    F.WriteBlob(Buffer);
    F.ReadBlob(Buffer);
    F.FlushBlocks();
    F.WriteHeader(false);
  } catch (const EVXDBEngineError&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  const bool Blob = (Data[0] & 1) != 0;
  const std::string Name = Blob ? "FUZZ.BLB" : "FUZZ.DAT";
  if (Blob) {
    int BlockSize = Data[1] | (Data[2] << 8);
    PutFile(Name, Data + 3, Size - 3);
    WalkBlob(Name, BlockSize, (Data[0] & 2) != 0);
  } else {
    PutFile(Name, Data + 1, Size - 1);
    WalkData(Name, (Data[0] & 4) != 0);
  }
  EngineFileList().FileDelete(Name, true);
  return 0;
}
