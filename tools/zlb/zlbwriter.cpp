#include "tools/zlb/zlbwriter.h"

#include <zlib.h>

#include <limits>
#include <stdexcept>

namespace {

constexpr std::size_t EntrySize = 532;
constexpr std::size_t TrailerSize = 36;

void PutU32(std::string& Buf, std::size_t At, std::uint32_t V) {
  for (int i = 0; i < 4; ++i) Buf[At + i] = static_cast<char>((V >> (8 * i)) & 0xFF);
}

void PutShortString(std::string& Buf, std::size_t At, const std::string& S, const char* What) {
  if (S.size() > 255) throw std::invalid_argument(std::string(What) + " longer than 255 bytes: " + S);
  Buf[At] = static_cast<char>(S.size());
  S.copy(&Buf[At + 1], S.size());
}

std::string Compress(const std::string& Data) {
  uLongf Len = compressBound(static_cast<uLong>(Data.size()));
  std::string Out(Len, '\0');
  const int Rc =
      compress2(reinterpret_cast<Bytef*>(Out.data()), &Len, reinterpret_cast<const Bytef*>(Data.data()),
                static_cast<uLong>(Data.size()), Z_DEFAULT_COMPRESSION);
  if (Rc != Z_OK) throw std::runtime_error("zlib compression failed");
  Out.resize(Len);
  return Out;
}

std::uint32_t Crc(const std::string& Data) {
  return static_cast<std::uint32_t>(
      crc32_z(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(Data.data()), Data.size()));
}

std::uint32_t Offset32(std::size_t V) {
  if (V > std::numeric_limits<std::uint32_t>::max()) throw std::runtime_error("archive larger than 4 GiB");
  return static_cast<std::uint32_t>(V);
}

}  // namespace

std::string BuildZLBArchive(const std::vector<TZLBWriterMember>& Members, bool StoreDirectory) {
  std::string Out;
  std::string Directory(Members.size() * EntrySize, '\0');
  for (std::size_t i = 0; i < Members.size(); ++i) {
    const TZLBWriterMember& M = Members[i];
    const std::size_t E = i * EntrySize;
    PutShortString(Directory, E, M.Name, "member name");
    PutShortString(Directory, E + 256, M.Folder, "member folder");
    const std::string Packed = M.Stored ? M.Data : Compress(M.Data);
    PutU32(Directory, E + 512, Offset32(M.Data.size()));
    PutU32(Directory, E + 516, Offset32(Packed.size()));  // packed size; readers ignore it
    PutU32(Directory, E + 520, Offset32(Out.size()));
    PutU32(Directory, E + 524, Crc(M.Data));
    Directory[E + 528] = M.Stored ? 1 : 0;
    Out += Packed;
  }
  const std::uint32_t DirOffset = Offset32(Out.size());
  Out += StoreDirectory ? Directory : Compress(Directory);

  std::string Trailer(TrailerSize, '\0');
  PutU32(Trailer, 0, Crc(Out));
  PutU32(Trailer, 4, Offset32(Members.size()));
  PutU32(Trailer, 16, DirOffset);
  Trailer[20] = StoreDirectory ? 0 : 1;
  Offset32(Out.size() + TrailerSize);
  return Out + Trailer;
}
