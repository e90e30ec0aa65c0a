#include "tutor/tests/test_archive.h"

#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

std::string ZlibCompress(const std::string& Data) {
  uLongf Len = compressBound(static_cast<uLong>(Data.size()));
  std::string Out(Len, '\0');
  if (compress(reinterpret_cast<Bytef*>(Out.data()), &Len, reinterpret_cast<const Bytef*>(Data.data()),
               static_cast<uLong>(Data.size())) != Z_OK)
    throw std::runtime_error("compress failed");
  Out.resize(Len);
  return Out;
}

std::uint32_t Crc32Of(const std::string& Data) {
  return static_cast<std::uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(Data.data()), Data.size()));
}

void PutU32(std::string& Buf, std::size_t At, std::uint32_t V) {
  for (int i = 0; i < 4; ++i) Buf.at(At + i) = static_cast<char>((V >> (8 * i)) & 0xFF);
}

std::uint32_t GetU32(const std::string& Buf, std::size_t At) {
  std::uint32_t V = 0;
  for (int i = 3; i >= 0; --i) V = (V << 8) | static_cast<unsigned char>(Buf.at(At + i));
  return V;
}

std::string MakeArchive(const std::vector<TTestMember>& Members, bool CompressDirectory) {
  std::string Out, Dir(Members.size() * 532, '\0');
  for (std::size_t i = 0; i < Members.size(); ++i) {
    const TTestMember& M = Members[i];
    const std::size_t E = i * 532;
    Dir[E] = static_cast<char>(M.Name.size());
    M.Name.copy(&Dir[E + 1], M.Name.size());
    Dir[E + 256] = static_cast<char>(M.Folder.size());
    M.Folder.copy(&Dir[E + 257], M.Folder.size());
    const std::string Packed = M.Stored ? M.Data : ZlibCompress(M.Data);
    PutU32(Dir, E + 512, static_cast<std::uint32_t>(M.Data.size()));
    PutU32(Dir, E + 516, static_cast<std::uint32_t>(Packed.size()));
    PutU32(Dir, E + 520, static_cast<std::uint32_t>(Out.size()));
    PutU32(Dir, E + 524, Crc32Of(M.Data));
    Dir[E + 528] = M.Stored ? 1 : 0;
    Out += Packed;
  }
  const std::uint32_t DirOffset = static_cast<std::uint32_t>(Out.size());
  Out += CompressDirectory ? ZlibCompress(Dir) : Dir;
  std::string Trailer(36, '\0');
  PutU32(Trailer, 4, static_cast<std::uint32_t>(Members.size()));
  PutU32(Trailer, 16, DirOffset);
  Trailer[20] = CompressDirectory ? 1 : 0;
  Out += Trailer;
  Reseal(Out);
  return Out;
}

void Reseal(std::string& Archive) {
  const std::size_t Data = Archive.size() - 36;
  PutU32(Archive, Data, Crc32Of(Archive.substr(0, Data)));
}

std::uint32_t DirectoryOffset(const std::string& Archive) {
  return GetU32(Archive, Archive.size() - 36 + 16);
}

std::size_t EntryAt(const std::string& Archive, std::size_t I) {
  return DirectoryOffset(Archive) + I * 532;
}

TTempDir::TTempDir() {
  const char* Base = std::getenv("TMPDIR");
  std::string Templ = std::string(Base && *Base ? Base : "/tmp") + "/vxtutor-XXXXXX";
  if (!mkdtemp(Templ.data())) throw std::runtime_error("mkdtemp failed");
  FPath = Templ;
}

TTempDir::~TTempDir() {
  std::error_code Ec;
  std::filesystem::remove_all(FPath, Ec);
}

std::string TTempDir::Write(const std::string& Name, const std::string& Bytes) const {
  const std::string P = FPath + "/" + Name;
  std::ofstream F(P, std::ios::binary);
  F.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  if (!F) throw std::runtime_error("cannot write " + P);
  return P;
}
