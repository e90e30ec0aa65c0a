// The engine's file layer: a process-wide list of file objects (one per file name, one operating
// system descriptor per file per process), disk and in-memory files with per-user handle numbers
// and positions, and byte-range locks.
//
// Byte-range locks behave like exclusive Windows LockFile locks: a request fails at once, a byte
// that is locked cannot be locked again (not even through the same process), and an unlock needs
// the exact range. Between processes this is a Linux open-file-description lock (F_OFD_SETLK,
// owned by the one descriptor, dropped when the process dies); inside the process each file object
// keeps a table of held ranges that is checked first, so two sessions of one process exclude each
// other and an unlock never releases a range that another handle holds.
//
// The list's operations return 0 or a handle number on success and a negated engine error code on
// failure; TFileHandler raises those codes as engine errors.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "dbengine/storage/engine_heap.h"
#include "platform/core/sysutils.h"

// Lock byte that arbitrates exclusive opens between processes: shared openers hold a read lock on
// it, exclusive openers and creators a write lock. It lies beyond every byte the table files lock.
constexpr int64_t kOpenModeLockByte = 0x80000000LL;

struct TLockRange {
  int64_t First;
  int64_t Last;
  int64_t Length;
  int Owner;  // handle number that took the lock
};

struct THandleEntry {
  int Number;
  int64_t Position;
  // A parked handle is kept for a table that no cursor uses: it holds no lock and is either taken
  // back into use (Unpark) or dropped when the file is needed otherwise.
  bool Parked = false;
  int ParkedBy = 0;  // process that parked it (a forked child does not inherit the right to it)
  // The file was written while the handle was parked (by anyone, also without the engine).
  bool WrittenWhileParked = false;
};

class TAbstractFile : public TEngineObject {
 public:
  explicit TAbstractFile(const std::string& Name);
  virtual ~TAbstractFile();

  std::recursive_mutex Lock;
  bool Exclusive = false;
  bool ReadOnly = false;
  bool OpenedReadOnly = false;
  bool Temporary = false;
  bool WriteThrough = false;
  bool SequentialAccess = false;
  std::string FileName;
  // Name used to find the object in the list (for disk files the resolved path), and its hash,
  // which the list compares before the names.
  std::string ListKey;
  std::size_t ListHash = 0;
  void SetListKey(std::string Key) {
    ListHash = AnsiTextHash(Key);
    ListKey = std::move(Key);
  }
  int64_t Size = 0;
  // Held ranges by first byte. They never overlap, so each first byte starts at most one range, and
  // the neighbours of a new range in this order are the only ones it could overlap.
  std::map<int64_t, TLockRange> LockRanges;
  int HandleCount = 0;
  std::vector<THandleEntry> Handles;
  int ParkedCount = 0;
  // Unique within the process for the object's lifetime: a parked handle names its object by
  // address and serial, since a freed object's address may be given to a new one.
  const uint64_t Serial;

  // Handles in use (not parked).
  int ActiveHandles() const { return HandleCount - ParkedCount; }
  virtual bool IsMemoryFile() const = 0;
  // Index of the handle entry, -1 when absent.
  virtual int FindHandle(int Number);
  // Create (truncating) / open the file and make a new handle (position 0); >0 or -code.
  virtual int CreateFile() = 0;
  virtual int Open() = 0;
  // Removes the handle; 0 or -code.
  virtual int Close(int Number);
  virtual int Rename(const std::string& NewName) = 0;
  virtual int Delete() = 0;
  // Bytes read (never past the end) or -code.
  virtual int64_t Read(int Number, void* Buffer, int64_t Count) = 0;
  // Count written or -code; moves the position and raises Size. A Count of 0 writes nothing.
  virtual int64_t Write(int Number, const void* Buffer, int64_t Count) = 0;
  // Origin 0 from the start, 1 from the position, 2 back from the end (Size - Offset). New position or -code.
  virtual int64_t Seek(int Number, int64_t Offset, int Origin);
  // Cuts or extends the file to the handle's position; 0 or -code.
  virtual int Truncate(int Number) = 0;
  // Makes written data durable; 0 or -code.
  virtual int Flush() { return 0; }
  // True when the range overlaps no held range (and, for a disk file, the system lock is granted).
  virtual bool LockRange(int64_t First, int64_t Length, int Owner = 0);
  // True when a range with exactly this first byte and length is held by Owner (0 matches any owner).
  virtual bool UnlockRange(int64_t First, int64_t Length, int Owner = 0);
  // Unlocks single bytes held by Owner (the record locks of a transaction), true when every one was
  // held; a disk file releases each run of neighbouring bytes with one system call.
  bool UnlockBytes(std::vector<int64_t> Bytes, int Owner);
  // Current length of the file.
  virtual int64_t GetSize() { return Size; }
  // Parks a handle that holds no lock range; when no handle stays in use, the file is idle and
  // holds no lock at all. 0 or -code.
  int Park(int Number);
  // Takes a parked handle back into use: the first handle in use again makes the idle file check
  // that its name still leads to the same file and takes its open-mode lock again. When that fails
  // every parked handle is dropped and -code returned (the caller opens the file afresh). 1 when
  // the file was written while the handle was parked, else 0.
  int Unpark(int Number);
  // Drops parked handles: all of them, or those of other processes (inherited through fork). A
  // disk file with no handle left closes its descriptor.
  virtual void DropParked(bool OnlyForeign = false);

 protected:
  // The last handle in use was parked or closed while parked ones remain / the first comes back.
  virtual void Idle() {}
  // False when the file cannot be used again; Written tells whether it was written while idle.
  virtual bool Activate(bool& Written) {
    Written = false;
    return true;
  }
  // Activates the idle file for a handle back in use; the parked handles learn whether it was
  // written meanwhile.
  bool Wake();
  // Makes the file idle, or while idle files are held (TFileList::HoldIdleFiles) leaves it in use
  // until the hold ends.
  void GoIdle();
  // Whether the file still is the one its name leads to (a file left in use while held idle).
  virtual bool StillNamed() { return true; }
  // Idle at the end of the hold, unless a handle came back into use before.
  bool IdleDeferred = false;
  friend class TFileList;
  int NextHandleNumber = 1;
  int NewHandle();
  int64_t* PositionOf(int Number);
  std::map<int64_t, TLockRange>::iterator FindRange(int64_t First, int64_t Length, int Owner);
  // Releases the system lock of bytes First..Last, which the process holds no more.
  virtual void ReleaseRun(int64_t, int64_t) {}
  void AddRange(int64_t First, int64_t Length, int Owner);
  bool Overlaps(int64_t First, int64_t Length) const;
};

class TPhysicalFile : public TAbstractFile {
 public:
  explicit TPhysicalFile(const std::string& Name) : TAbstractFile(Name) {}
  ~TPhysicalFile() override;

  int Descriptor = -1;          // one per file per process, shared by all handles
  bool DeleteOnClose = false;   // opened as a temporary file: removed at its last close

  bool IsMemoryFile() const override { return false; }
  int CreateFile() override;
  int Open() override;
  int Close(int Number) override;
  int Rename(const std::string& NewName) override;
  int Delete() override;
  int64_t Read(int Number, void* Buffer, int64_t Count) override;
  int64_t Write(int Number, const void* Buffer, int64_t Count) override;
  int64_t Seek(int Number, int64_t Offset, int Origin) override;
  int Truncate(int Number) override;
  int Flush() override;
  bool LockRange(int64_t First, int64_t Length, int Owner = 0) override;
  bool UnlockRange(int64_t First, int64_t Length, int Owner = 0) override;
  int64_t GetSize() override;
  void DropParked(bool OnlyForeign = false) override;

 protected:
  void Idle() override;
  bool Activate(bool& Written) override;
  bool StillNamed() override;
  void ReleaseRun(int64_t First, int64_t Last) override;

 private:
  std::string OsPath;  // the name the descriptor was opened under
  // The descriptor holds the open-mode byte write-locked: no other process can open the file, so
  // byte-range locks need only the in-process table.
  bool ExclusiveDescriptor = false;
  // The identity of the file the descriptor is open on, and its size and times when it went idle.
  dev_t FDevice = 0;
  ino_t FInode = 0;
  int64_t FIdleSize = -1;
  timespec FIdleModified{}, FIdleChanged{};
  // This process wrote the file since its size and times were noted.
  bool FWrittenSinceStamp = true;
  void StampIdle(const struct stat& St);
  // A write through any handle: the parked handles learn of it too.
  void NoteWrite();
  int OpenDescriptor(bool Create);
  void CloseDescriptor();
};

class TMemoryFile : public TAbstractFile {
 public:
  explicit TMemoryFile(const std::string& Name) : TAbstractFile(Name) {}
  ~TMemoryFile() override;

  uint8_t* Contents = nullptr;
  intptr_t ContentsCapacity = 0;

  bool IsMemoryFile() const override { return true; }
  int CreateFile() override;
  int Open() override;
  int Rename(const std::string& NewName) override;
  int Delete() override;
  int64_t Read(int Number, void* Buffer, int64_t Count) override;
  int64_t Write(int Number, const void* Buffer, int64_t Count) override;
  int Truncate(int Number) override;

 private:
  // Room for End bytes: a page at least, then doubled, so that the small files of a one-row result
  // zero little memory and a big one is copied a few times only.
  void Reserve(int64_t End);
};

// ---- Faults and durability of the disk writes ----
// Every write and sync of a disk file (table files, the directory journal, directories) goes through
// these two calls, so that tests can make the N-th of them fail or end the process there, and can
// simulate a power cut.
enum class TDiskOp : uint8_t { Write, Sync };
// Returns 0 to go on or a negated errno value to fail the operation with. It may also end the process.
using TDiskFaultHook = int (*)(TDiskOp Op, const char* Path);
void SetDiskFaultHook(TDiskFaultHook Hook);
// pwrite of all Count bytes (0 or a negated errno) and fsync (0 or a negated errno).
int DiskWrite(int Fd, const void* Buffer, int64_t Count, int64_t Offset, const char* Path);
int DiskSync(int Fd, const char* Path);
// Syncs a directory, so that files created, renamed or removed in it stay so (0 or a negated errno).
int DiskSyncDirectory(const std::string& Dir);
// Whether DiskSync and DiskSyncDirectory reach the disk. On unless the environment variable
// VXDB_SYNC is "off" (test programs of other parts set it: a change is still all-or-nothing
// against a killed process, only not against a power cut). Tests of durability switch it on.
void SetDiskSyncs(bool On);
bool DiskSyncs();
// Power-cut simulation: while on, the bytes every write replaces (and the size before it) are kept
// until the file is synced; DropUnsyncedWrites puts them back, newest first, so the files hold only
// what was synced. A file created since its directory was last synced is removed too.
void KeepUnsyncedWrites(bool On);
void NoteFileCreated(const std::string& Path);
void DropUnsyncedWrites();

class TFileList : public TEngineObject {
 public:
  TFileList() = default;
  ~TFileList();

  int FileCreate(const std::string& Name, bool InMemory, bool Temporary, TAbstractFile*& FileObject);
  int FileOpen(const std::string& Name, bool InMemory, bool SequentialAccess, bool WriteThrough, bool Temporary,
               bool Exclusive, bool& OpenedReadOnly, TAbstractFile*& FileObject);
  int FileClose(TAbstractFile* FileObject, bool InMemory, int Handle);
  int FileRename(const std::string& Name, bool InMemory, const std::string& NewName);
  int FileDelete(const std::string& Name, bool InMemory);
  bool FileExists(const std::string& Name, bool InMemory);
  int FileCopyTo(TAbstractFile* FileObject, int Handle, const std::string& DestName, bool InMemory);
  int FileCopyFrom(TAbstractFile* FileObject, int Handle, const std::string& SourceName, bool InMemory);
  // Parking (see TAbstractFile::Park): the object is named by address and serial, since another
  // user may have deleted it meanwhile. 0 or -code; a closed parked handle of a gone object is 0.
  int FilePark(TAbstractFile* FileObject, int Handle);
  int FileUnpark(TAbstractFile* FileObject, uint64_t Serial, int Handle);
  int FileCloseParked(TAbstractFile* FileObject, uint64_t Serial, int Handle);
  // Number of listed objects (for tests and diagnostics).
  int Count();
  // While held (holds nest), a file whose last handle in use is parked or closed keeps its locks
  // until the last hold ends: a statement that closes a table and the next one that opens it again
  // do not give up the open-mode lock and take it again in between. Taking such a file back checks
  // only that its name still leads to it.
  void HoldIdleFiles();
  void ReleaseIdleFiles();
  // A file going idle: false when no hold keeps it from it, else it waits for the hold's end.
  bool DeferIdle(TAbstractFile* F);

 private:
  std::recursive_mutex FLock;
  std::vector<TAbstractFile*> FFiles;
  int FIdleHolds = 0;
  std::mutex FDeferredLock;
  std::vector<std::pair<TAbstractFile*, uint64_t>> FDeferred;  // object and serial
  int IndexOf(const std::string& Name, bool InMemory);
  TAbstractFile* Listed(TAbstractFile* FileObject, uint64_t Serial);
  // Before a use that needs the file to itself: parked handles give way when none is in use.
  static void YieldParked(TAbstractFile* F);
};

// The process-wide file list.
TFileList& EngineFileList();

// Holds idle files for its lifetime (see TFileList::HoldIdleFiles).
class TIdleFilesHold {
 public:
  TIdleFilesHold() { EngineFileList().HoldIdleFiles(); }
  ~TIdleFilesHold() { EngineFileList().ReleaseIdleFiles(); }
  TIdleFilesHold(const TIdleFilesHold&) = delete;
  TIdleFilesHold& operator=(const TIdleFilesHold&) = delete;
};

class TFileHandler;

// Told before a handler changes its file other than through the directory journal (see journal.h):
// writes made while not gathering, creating, copying over, deleting and renaming the file.
class TUnloggedChangeGuard {
 public:
  virtual ~TUnloggedChangeGuard() = default;
  virtual void BeforeUnloggedChange(TFileHandler& File) = 0;
};

// Base of the three table file classes: a named file opened through the file list, whole-buffer
// reads and writes that raise engine errors, and byte-range locks.
class TFileHandler : public TEngineObject {
 public:
  TFileHandler() = default;
  explicit TFileHandler(const std::string& Name, bool InMemory = false) : InMemory(InMemory), FileName(Name) {}
  TFileHandler(const TFileHandler&) = delete;
  TFileHandler& operator=(const TFileHandler&) = delete;
  virtual ~TFileHandler();

  bool InMemory = false;
  TAbstractFile* FileObject = nullptr;
  std::string FileName;
  int Handle = 0;
  bool Exclusive = false;
  bool ReadOnly = false;
  bool OpenedReadOnly = false;
  bool Opened = false;
  bool Temporary = false;
  bool WriteThrough = false;
  bool SequentialAccess = false;
  // Name used in error messages; the file name when empty.
  std::string TableName;
  // The journal of the file's directory, told before the file changes outside it (none for files
  // that are not journalled). LogChecked: the journal was found not to name the file, which stays
  // so while this process holds the file exclusively and commits nothing of it.
  TUnloggedChangeGuard* Guard = nullptr;
  bool LogChecked = false;

  virtual void Open();        // 0x2B02 when missing, other codes from the list
  virtual void Close();       // also drops a parked handle
  // While parked the handler is not open: its handle stays listed without any lock until Unpark
  // takes it back (true) or finds it dropped or the file replaced (false: the handler is closed).
  bool Park();
  bool Unpark();
  bool Parked = false;
  // Set by Unpark: the file was written while the handler was parked, by anyone (also without the
  // engine), so that nothing read from it before may be trusted.
  bool WrittenWhileParked = false;
  virtual void CreateFile();  // creates (truncates) and opens
  virtual void Delete();
  virtual void Rename(const std::string& NewName);
  virtual void CopyTo(const std::string& DestName);
  virtual void CopyFrom(const std::string& SourceName);
  // Bytes read; short reads raise 0x2401 unless AllowShort.
  virtual int64_t Read(void* Buffer, int64_t Count, bool AllowShort = false);
  // Raises 0x2402 when fewer bytes are written.
  virtual void Write(const void* Buffer, int64_t Count);
  // Seek then Read / Write.
  int64_t ReadAt(int64_t Offset, void* Buffer, int64_t Count, bool AllowShort = false);
  void WriteAt(int64_t Offset, const void* Buffer, int64_t Count);
  int64_t Seek(int64_t Offset, int Origin);  // 0 without a file object
  int64_t GetSize();
  // Cuts the file at the current position (0x2402 on failure).
  void Truncate();
  virtual void Flush();
  // Lock (Lock = true) or unlock a byte range through the file object; false when refused or closed.
  bool LockBytes(int64_t First, int64_t Length, bool Lock);
  // Unlocks single bytes (see TAbstractFile::UnlockBytes); false when one was not held or closed.
  bool UnlockByteList(std::vector<int64_t> Bytes);
  bool Exists();

  // While gathering, WriteAt, Write and Truncate only collect what they would do (in order) and
  // ReadAt and GetSize see the collected changes over the file, so that a change can be journalled
  // before any byte of it reaches the file.
  struct TGathered {
    int64_t Offset;
    std::vector<uint8_t> Bytes;
    bool Truncate;  // cut (or extend) the file at Offset instead of writing
  };
  void BeginGather();
  // Forgets what was gathered and writes directly again.
  void EndGather();
  bool Gathering() const { return FGathering; }
  const std::vector<TGathered>& Gathered() const { return FGathered; }
  // Size of the file before the first gathered change.
  int64_t SizeBeforeGather() const { return FSizeBefore; }
  // Writes the gathered changes in place, in order (a failure raises the engine error). Begun
  // counts the changes begun, so that a failure can put back just those.
  void ApplyGathered(size_t& Begun);

 protected:
  [[noreturn]] void Fail(int NegatedCode);
  const std::string& ErrorName() const { return TableName.empty() ? FileName : TableName; }
  // The name errors about this file give: the table's name, except for the table's index and
  // BLOB files, which are named themselves (the file name when there is no table name).
  std::string OwnName() const;
  // Whether an error code reports the state of a file (damage, reading, writing, growing) rather
  // than the table's definition or data.
  static bool AboutTheFile(uint16_t Code);

 private:
  bool FGathering = false;
  uint64_t FParkedSerial = 0;
  std::vector<TGathered> FGathered;
  int64_t FSizeBefore = -1;
  int64_t FGatheredSize = 0;
  void Gather(int64_t Offset, const void* Buffer, int64_t Count, bool Truncate);
  int64_t GatheredRead(int64_t Offset, void* Buffer, int64_t Count);
};

// open(2) without access-time updates where the file's owner allows it (else every first read after
// a commit would write the file's inode); a plain open for files of other owners. -1 and errno on
// failure.
int OpenWithoutAtime(const std::string& Path, int Flags, unsigned Mode = 0);

// Maps an errno value to the engine's code (positive).
uint16_t EngineCodeFromErrno(int Error);
// The name as the operating system sees it: '\' becomes '/', and when the exact name does not
// exist, a case-insensitive match in its directory is taken (exact match first). CP1250 names are
// converted to the file system's UTF-8.
std::string ResolveDiskFileName(const std::string& Name);
