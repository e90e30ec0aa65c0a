// Helpers of the data, BLOB and table-file tests: a temporary folder, field descriptors laid out
// by the definition checks, raw file access and an owner stub that records what the files ask.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "dbengine/storage/data_fields.h"
#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/table_file_owner.h"

namespace tablefiletest {

namespace fs = std::filesystem;

class TTempDir {
 public:
  TTempDir() {
    char Tmpl[] = "/tmp/vxtf.XXXXXX";
    if (mkdtemp(Tmpl) != nullptr) Path = Tmpl;
  }
  ~TTempDir() {
    std::error_code E;
    fs::remove_all(Path, E);
  }
  std::string File(const std::string& Name) const { return Path + "/" + Name; }
  std::string Path;
};

inline TFieldDescriptor MakeField(const std::string& Name, uint8_t Type, uint8_t Size = 0, uint8_t SubType = 0) {
  TFieldDescriptor D;
  D.SetName(Name);
  D.Bytes[kFieldDescTypeOffset] = Type;
  D.Bytes[kFieldDescDeclaredSizeOffset] = Size;
  D.Bytes[kFieldDescSubTypeOffset] = SubType;
  return D;
}

// Numbers the fields 1..n and lays them out as table creation does.
inline std::vector<TFieldDescriptor> LayOut(std::vector<TFieldDescriptor> Fields) {
  std::vector<std::array<uint8_t, 768>> A(Fields.size());
  for (size_t I = 0; I < Fields.size(); ++I) {
    Fields[I].SetNumber(static_cast<uint16_t>(I + 1));
    std::memcpy(A[I].data(), Fields[I].Bytes, 768);
  }
  CheckFieldDefinitions("test", 0, 0, A, true, false);
  for (size_t I = 0; I < Fields.size(); ++I) std::memcpy(Fields[I].Bytes, A[I].data(), 768);
  return Fields;
}

// ID auto-increment, NAME string 40, AGE integer, SCORE float, BORN date, NOTE BLOB: record size 79.
inline std::vector<TFieldDescriptor> StudentFields() {
  return LayOut({MakeField("ID", ftInteger, 0, kSubTypeAutoInc), MakeField("NAME", ftString, 40),
                 MakeField("AGE", ftInteger), MakeField("SCORE", ftFloat), MakeField("BORN", ftDate),
                 MakeField("NOTE", ftBlob)});
}

inline std::string ReadAll(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

inline void Patch(const std::string& Path, int64_t Offset, const void* Bytes, size_t Count) {
  std::fstream F(Path, std::ios::binary | std::ios::in | std::ios::out);
  F.seekp(Offset);
  F.write(static_cast<const char*>(Bytes), static_cast<std::streamsize>(Count));
}

inline void PatchU32(const std::string& Path, int64_t Offset, uint32_t V) {
  uint8_t B[4];
  StoreU32(B, V);
  Patch(Path, Offset, B, 4);
}

inline uint32_t U32At(const std::string& Bytes, size_t Offset) {
  return LoadU32(reinterpret_cast<const uint8_t*>(Bytes.data()) + Offset);
}
inline uint16_t U16At(const std::string& Bytes, size_t Offset) {
  return LoadU16(reinterpret_cast<const uint8_t*>(Bytes.data()) + Offset);
}

// Engine error code of a call, 0 when it raised none.
template <class F>
uint16_t CodeOf(F&& Call) {
  try {
    Call();
  } catch (const EVXDBEngineError& E) {
    return E.ErrorCode();
  }
  return 0;
}

class TOwnerStub : public TTableFileOwner {
 public:
  bool Transaction = false;
  bool Repair = false;
  bool ReportChange = false;
  int Changes = 0;
  int ChangeChecks = 0;
  std::vector<std::string> Log;
  bool InTransaction() const override { return Transaction; }
  void MarkChanged() override { ++Changes; }
  bool ChangedBeforeRead(TDataCursor*) override {
    ++ChangeChecks;
    return ReportChange;
  }
  bool Repairing(TDataCursor*) const override { return Repair; }
  void RepairLog(TDataCursor*, const std::string& Text) override { Log.push_back(Text); }
};

// A second process running Child (its result is the exit status), talking to the test over two
// pipes. It must start before the test opens the files, so that the two never share an open file
// description.
class TForkedPeer {
 public:
  explicit TForkedPeer(const std::function<int(TForkedPeer&)>& Child) {
    if (pipe(FDown) != 0 || pipe(FUp) != 0) return;
    Pid = fork();
    if (Pid == 0) {
      int Status = 3;
      try {
        Status = Child(*this);
      } catch (...) {
      }
      _exit(Status);
    }
  }
  ~TForkedPeer() {
    for (int Fd : {FDown[0], FDown[1], FUp[0], FUp[1]})
      if (Fd >= 0) close(Fd);
  }
  // Child side: tell the test, wait for the test.
  bool Tell() { return write(FUp[1], "c", 1) == 1; }
  bool Hear() {
    char C;
    return read(FDown[0], &C, 1) == 1;
  }
  // Test side.
  bool Signal() { return write(FDown[1], "p", 1) == 1; }
  bool Await() {
    char C;
    return read(FUp[0], &C, 1) == 1;
  }
  // The child's exit status, -1 when it did not exit normally.
  int Finish() {
    int Status = 0;
    if (Pid <= 0 || waitpid(Pid, &Status, 0) != Pid) return -1;
    return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  }
  pid_t Pid = -1;

 private:
  int FDown[2] = {-1, -1};
  int FUp[2] = {-1, -1};
};

}  // namespace tablefiletest
