// Shared by the index tests: a temporary folder, table fields for the definition checks, index
// descriptors and keys.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dbengine/storage/engine_errors.h"
#include "dbengine/storage/engine_keys.h"
#include "dbengine/storage/index_file.h"

namespace idxtest {

using TBytes = std::vector<uint8_t>;

// Field descriptors by number, as the data file would give them.
class TTestFields : public TIndexFieldSource {
 public:
  std::vector<std::array<uint8_t, 768>> F;
  uint16_t Add(uint8_t Type, int DeclaredSize = 0) {
    std::array<uint8_t, 768> D{};
    const uint16_t N = static_cast<uint16_t>(F.size() + 1);
    StoreU16(D.data(), N);
    D[kFieldDescTypeOffset] = Type;
    D[kFieldDescDeclaredSizeOffset] = static_cast<uint8_t>(DeclaredSize);
    SetFieldStorageSize(D.data());
    F.push_back(D);
    return N;
  }
  const uint8_t* FieldDescriptor(uint16_t N) override { return N >= 1 && N <= F.size() ? F[N - 1].data() : nullptr; }
};

inline TIndexDescriptor MakeIndex(const std::string& Name, const std::vector<uint16_t>& FieldNumbers, int KeyLength,
                                  bool Unique, uint8_t Compression = icNone, bool Descending = false,
                                  bool CaseInsensitive = false) {
  TIndexDescriptor D;
  D.SetName(Name);
  D.SetKeyLength(static_cast<uint16_t>(KeyLength));
  D.Bytes[kIndexDescDescendingOffset] = Descending;
  D.Bytes[kIndexDescCaseInsensitiveOffset] = CaseInsensitive;
  D.Bytes[kIndexDescUniqueOffset] = Unique;
  D.Bytes[kIndexDescCompressionOffset] = Compression;
  D.Bytes[kIndexDescFieldCountOffset] = static_cast<uint8_t>(FieldNumbers.size());
  for (size_t I = 0; I < FieldNumbers.size() && I < 16; ++I) D.SetFieldNumber(static_cast<int>(I), FieldNumbers[I]);
  return D;
}

// A temporary folder removed with the fixture.
class TTempDir {
 public:
  TTempDir() {
    char Tmpl[] = "/tmp/vxidx.XXXXXX";
    if (mkdtemp(Tmpl)) Dir = Tmpl;
  }
  ~TTempDir() {
    std::error_code E;
    std::filesystem::remove_all(Dir, E);
  }
  std::string Path(const std::string& Name) const { return Dir + "/" + Name; }
  TBytes ReadWhole(const std::string& Name) const {
    std::ifstream In(Path(Name), std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(In), {});
  }
  void WriteWhole(const std::string& Name, const TBytes& B) const {
    std::ofstream Out(Path(Name), std::ios::binary | std::ios::trunc);
    Out.write(reinterpret_cast<const char*>(B.data()), static_cast<std::streamsize>(B.size()));
  }
  std::string Dir;
};

// Runs F and returns the engine code it raised (0 when none).
template <class F>
uint16_t RaisedCode(F&& Body) {
  try {
    Body();
  } catch (const EVXDBEngineError& E) {
    return E.ErrorCode();
  }
  return 0;
}

}  // namespace idxtest
