// Reader of .zlb resource archives, the files that hold the program's pictures, sounds, text
// tables, keyboard layouts, word lists and course scripts.
//
// Archive layout (integers little-endian, unsigned 32-bit; offsets from the start of the file):
//   member data   anywhere before the directory; each member one zlib stream (RFC 1950) or stored
//   directory     at the directory offset: count entries of 532 bytes, stored as they are or as one
//                 zlib stream that inflates to exactly count * 532 bytes
//   trailer       the last 36 bytes:
//                   0  CRC-32 of every byte before the trailer
//                   4  number of directory entries
//                   8  (8 bytes, unused)
//                  16  directory offset
//                  20  directory compressed: 0 stored, anything else one zlib stream
//                  21  (15 bytes, unused)
// Directory entry (532 bytes):
//     0  member name: a length byte and up to 255 CP1250 characters
//   256  member folder, same form, usually empty
//   512  size after inflation (the stored size of a stored member)
//   516  (unused; our packer writes the packed size)
//   520  offset of the member's data
//   524  CRC-32 of the inflated bytes
//   528  stored: 0 the data is a zlib stream, anything else it is stored as is
//   529  (3 bytes, unused)
// A member's path is its folder followed directly by its name; paths compare without regard to the
// case of A-Z. CRC-32 and inflation are zlib's.
//
// Every failure raises Exception with one of the archive's messages:
//   "Archive file not found", "Unable to open file (<name>)", "The archive file appears to be
//   corrupted", "Unable to read archive file list", "No archive is currently open",
//   "Index out of bounds", "File not found in archive", "File (<index>) is corrupt",
//   "File (<index>) failed CRC check".
// A hostile file (counts or offsets past the end, a directory or member that inflates short) gets
// one of these errors; the reader never reads outside the file's data and never allocates more
// than the file's contents can inflate to.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/classes.h"

// One directory entry, as the archive holds it.
struct TZLBEntry {
  static constexpr std::size_t EntrySize = 532;
  std::array<std::uint8_t, EntrySize> Bytes{};

  std::string Name() const;    // CP1250
  std::string Folder() const;  // CP1250
  std::string Path() const { return Folder() + Name(); }
  std::uint32_t Size() const;
  std::uint32_t Offset() const;
  std::uint32_t CRC() const;
  bool Stored() const { return Bytes[528] != 0; }
};

// The 36-byte trailer at the end of the file.
struct TZLBTrailer {
  static constexpr std::size_t TrailerSize = 36;
  std::array<std::uint8_t, TrailerSize> Bytes{};

  std::uint32_t CRC() const;
  std::uint32_t EntryCount() const;
  std::uint32_t DirectoryOffset() const;
  bool DirectoryCompressed() const { return Bytes[20] != 0; }
};

enum TZLBCompressionLevel { fcNone, fcFastest, fcDefault, fcMaximum };

// Phases of the progress report.
constexpr int zpLoadingDirectory = 0;
constexpr int zpExtracting = 1;
constexpr int zpIdle = 5;

class TZLBArchive : public TComponent {
 public:
  using TStreamLoader = std::function<void(TStream* Stream)>;
  // Called for each linked control when the archive becomes active (the "changed" notification
  // the skinned controls reload their pictures on).
  using TChangedHandler = std::function<void(TZLBArchive* Archive)>;

  explicit TZLBArchive(TComponent* AOwner = nullptr);
  ~TZLBArchive() override;
  std::string ClassName() const override { return "TZLBArchive"; }

  // Closes an open archive, then opens FileName and loads its directory. An empty name opens
  // nothing and returns false.
  bool OpenArchive(const std::string& FileName);
  void CloseArchive();
  // Opens ArchiveName, then notifies the linked controls.
  void Activate();

  int Count() const;
  void GetEntry(int Index, TZLBEntry& Entry) const;
  // The first entry whose path equals Path without regard to A-Z case, or -1.
  int IndexOf(const std::string& Path) const;
  // Writes the member's inflated bytes to Dest at its current position.
  bool Extract(int Index, TStream* Dest);
  void ExtractToStream(TStream* Stream, const std::string& Path);
  // Extracts into a fresh memory stream, rewinds it and hands it to Loader.
  bool ExtractAndLoad(const std::string& Path, const TStreamLoader& Loader);
  void ExtractToStrings(TStrings* Strings, const std::string& Path);

  bool Active() const { return FActive; }
  void SetActive(bool Value);
  const std::string& ArchiveName() const { return FArchiveName; }
  void SetArchiveName(const std::string& Value);
  // The file of the open archive; empty while none is open.
  const std::string& FileName() const { return FFileName; }
  bool CheckCRC() const { return FCheckCRC; }
  void SetCheckCRC(bool V) { FCheckCRC = V; }
  bool SavePaths() const { return FSavePaths; }
  void SetSavePaths(bool V) { FSavePaths = V; }
  // Kept for the writer side of the format; reading ignores them.
  TZLBCompressionLevel CompressionLevel() const { return FCompressionLevel; }
  void SetCompressionLevel(TZLBCompressionLevel V) { FCompressionLevel = V; }
  bool ExtractWithPath() const { return FExtractWithPath; }
  void SetExtractWithPath(bool V) { FExtractWithPath = V; }
  bool RecursePaths() const { return FRecursePaths; }
  void SetRecursePaths(bool V) { FRecursePaths = V; }

  // Linked controls (not owned). Control is the key; OnChanged may be empty for a linked object
  // that is no visual control (it is then told nothing).
  void AddLinkedControl(TObject* Control, TChangedHandler OnChanged);
  void RemoveLinkedControl(TObject* Control);
  int LinkedControlCount() const { return static_cast<int>(FLinks.size()); }

  TNotifyEvent OnArchiveOpened;
  std::function<void(TObject* Sender, const std::string& Path)> OnStreamExtracted;
  std::function<void(TObject* Sender, const std::string& Text, int Percentage)> OnProgress;

 protected:
  void Loaded() override;

 private:
  struct TLink {
    TObject* Control;
    TChangedHandler OnChanged;
  };
  void LoadDirectory(TStream& File);
  void Progress(int Phase, const std::string& Text, std::int64_t Done, std::int64_t Total);

  std::string FArchiveName;
  std::string FFileName;
  TZLBTrailer FTrailer;
  std::vector<TZLBEntry> FEntries;
  std::vector<TLink> FLinks;
  bool FActive = false;
  bool FActivateWhenLoaded = false;
  bool FCheckCRC = false;
  bool FSavePaths = false;
  bool FExtractWithPath = false;
  bool FRecursePaths = false;
  TZLBCompressionLevel FCompressionLevel = fcDefault;
};
