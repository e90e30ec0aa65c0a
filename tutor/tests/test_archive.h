// Archives built byte by byte for the reader's tests, independent of the packer, so that every
// field can be bent to what a test needs.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TTestMember {
  TTestMember(std::string AName, std::string AData, bool AStored = false, std::string AFolder = std::string())
      : Name(std::move(AName)), Data(std::move(AData)), Stored(AStored), Folder(std::move(AFolder)) {}
  std::string Name;
  std::string Data;
  bool Stored;
  std::string Folder;
};

std::string ZlibCompress(const std::string& Data);
std::uint32_t Crc32Of(const std::string& Data);
void PutU32(std::string& Buf, std::size_t At, std::uint32_t V);
std::uint32_t GetU32(const std::string& Buf, std::size_t At);

// The archive bytes: members from offset 0, then the directory, then the trailer.
std::string MakeArchive(const std::vector<TTestMember>& Members, bool CompressDirectory);
// Recomputes the trailer's CRC after a test changed bytes before it.
void Reseal(std::string& Archive);
// Byte offset of the directory and of entry I in an archive with a stored directory.
std::uint32_t DirectoryOffset(const std::string& Archive);
std::size_t EntryAt(const std::string& Archive, std::size_t I);

// A fresh folder under $TMPDIR (or /tmp), removed with its contents at destruction.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return FPath; }
  // Writes Bytes to a file in the folder and returns its full path.
  std::string Write(const std::string& Name, const std::string& Bytes) const;

 private:
  std::string FPath;
};
