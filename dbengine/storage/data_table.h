// The open table: one table opened by one engine session in one directory, shared by every cursor
// of that session on it. It owns the table's three files (through TTableFiles), its open mode and
// the locking protocol that lets sessions and processes share the files: reader bytes and the
// writer range on the index and BLOB files, the data file's header byte for writers and
// transactions, record bytes and the numbered lock slots. It keeps the transaction state and the
// bitmaps of the records locked through it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "dbengine/storage/engine_heap.h"
#include "dbengine/storage/file_layer.h"
#include "dbengine/storage/records_bitmap.h"

class TDataDirectory;
class TDataSession;

// Byte positions of the lock protocol (all beyond any real file data).
constexpr int64_t kHeaderLockByte = 0x7FFFFFFF;                  // .DAT: writers and transactions
constexpr int64_t kWriterRangeFirst = 0x7FFF0000;                // .IDX/.BLB writer range
constexpr int64_t kWriterRangeLength = 65535;                    // covers every reader byte
inline int64_t RecordLockByte(int64_t N) { return 0x7FFFFFFE - N; }
inline int64_t ReaderLockByte(int64_t R) { return 0x7FFFFFFF - R; }  // R = 1..65535
inline int64_t SlotLockByte(int64_t N) { return 0x7A0A1EFC - N; }    // N = 1..1024
constexpr int kMaxLockSlot = 1024;

// The table's complete definition as table creation hands it to the files.
struct TTableDefinition {
  std::vector<std::array<uint8_t, 768>> Fields;   // field descriptors, checked and with offsets
  std::vector<std::array<uint8_t, 120>> Indexes;  // index 0 the primary, then the secondary ones
  std::string Description;
  bool Encrypted = false;
  std::string Password;
  uint16_t BlobBlockSize = 512;
  uint16_t LanguageID = 0;
  uint16_t SortID = 0;
  uint16_t UserMajorVersion = 0;
  uint16_t UserMinorVersion = 0;
  bool HasBlobFields() const;
};

enum class TTableFileKind : uint8_t { Data, Index, Blob };

// The three files of a table as the open table drives them. The open table needs of them only
// what this interface states: their file handlers (for the byte-range locks), header change
// detection, dropping and writing their cached state, and the version check. The table file
// classes supply the real implementation; a table asks its factory for one at creation.
class TTableFiles : public TEngineObject {
 public:
  virtual ~TTableFiles() = default;
  // Handler of a file; the BLOB file's may be absent (nullptr or not opened).
  virtual TFileHandler* Handler(TTableFileKind Kind) = 0;
  // Gives every file its full name (directory path + table name + forced extension) and options.
  virtual void NameFiles(const std::string& BaseName, bool InMemory, bool Exclusive, bool Temporary,
                         bool SequentialAccess, bool WriteThrough, const std::string& TableName) = 0;
  virtual void OpenData() = 0;
  // Raises 0x2B02 when the index file does not exist.
  virtual void OpenIndex() = 0;
  // Makes an empty index file, writes its header, closes it and opens it again.
  virtual void RecreateIndex() = 0;
  virtual bool DefinitionHasBlobs() = 0;
  virtual void OpenBlob() = 0;
  virtual void CloseAll() = 0;
  // Creates the files from a definition (the BLOB file only when the table has BLOB fields).
  virtual void CreateFiles(const TTableDefinition& Definition) = 0;
  // True when the header on disk differs from the header copy held in memory.
  virtual bool HeaderChanged(TTableFileKind Kind) = 0;
  virtual void ReloadHeader(TTableFileKind Kind) = 0;
  // Forgets cached items (records, pages or blocks) without writing them.
  virtual void DropCache(TTableFileKind Kind) = 0;
  // Writes every cached item and the header of each file (records, pages, blocks, headers).
  virtual void WriteAll() = 0;
  // Makes everything written durable.
  virtual void SyncAll() = 0;
  virtual int Version(TTableFileKind Kind) = 0;
  virtual bool IsEncrypted() = 0;
  // The header change counters as last read (cursors keep snapshots of them).
  virtual uint32_t ChangeCount(TTableFileKind Kind) = 0;
  // Live records and the next record number of the data file.
  virtual int32_t RecordCount() = 0;
  // Keeping a table's files open while no cursor uses it: Park keeps the open files (without any
  // lock) and their cached state; false when they cannot be kept (the caller closes them then).
  // Resume takes them back after checking that they are still the table's files with the same
  // definition; false when not (the caller closes them and opens the table afresh).
  virtual bool Park() { return false; }
  virtual bool Resume() { return false; }
  // After Resume: whether any file was written while parked (by anyone).
  virtual bool WrittenWhileParked() const { return true; }
  // Back to the caches' normal size (a transaction lets them grow).
  virtual void TrimCaches() {}
  // The structure checks of an open over the headers held now (raises what an open would).
  virtual void VerifyHeaders() {}
};

// Makes the file set of a new table: the real one unless another was set (tests set stand-ins).
using TTableFilesFactory = TTableFiles* (*)();
void SetTableFilesFactory(TTableFilesFactory Factory);
TTableFilesFactory GetTableFilesFactory();

class TDataTable : public TEngineObject {
 public:
  explicit TDataTable(TDataDirectory* Directory);
  TDataTable(const TDataTable&) = delete;
  TDataTable& operator=(const TDataTable&) = delete;
  virtual ~TDataTable();

  TDataDirectory* Directory = nullptr;
  int32_t RefCount = 0;
  std::string TableName;  // without directory, ending in ".DAT"
  bool Opened = false;
  bool Exclusive = false;
  bool ReadOnly = false;
  bool FilesReadOnly = false;
  bool InMemory = false;
  bool Temporary = false;
  bool SequentialAccess = false;
  TTableFiles* Files = nullptr;
  bool IndexRecreated = false;
  TRecordsBitmap* LockedRecords = nullptr;
  TRecordsBitmap* CursorLocks = nullptr;
  TRecordsBitmap* PendingUnlocks = nullptr;
  // The locks of LockedRecords that hold no byte of the data file (see LockAppendedRecord).
  TRecordsBitmap* UnsharedLocks = nullptr;
  bool ReadLocked = false;
  bool ChangeCheckLocked = false;
  bool WriteLocked = false;
  bool HeaderLocked = false;
  bool InTransaction = false;
  // Reader bytes held: index and BLOB file for the change-check lock, then for the read lock.
  uint16_t ReaderSlots[4] = {0, 0, 0, 0};
  // Tries of the header, writer and reader locks: one try plus this many retries, 3 ms apart.
  int FileLockRetries = 8192;
  // Which cursor holds each record marked in CursorLocks, so that the same cursor may lock its
  // record again while another cursor of the session is refused.
  std::unordered_map<int32_t, const void*> CursorLockOwners;
  // Attempts the last LockRecord or LockSlot made on the file (diagnostics and tests).
  int LastLockAttempts = 0;
  // Closed by its last cursor but kept with its files open (holding no lock) for the next cursor;
  // see Close and Open.
  bool Parked = false;

  void SetTableName(const std::string& Name);
  void SetExclusive(bool B) { Exclusive = B; }
  void SetInMemory(bool B) { InMemory = B; }
  void SetTemporary(bool B) { Temporary = B; }
  void SetSequentialAccess(bool B) { SequentialAccess = B; }

  // nullptr when it opened the table, the table itself when it was already open. RefCount := 1.
  TDataTable* Open();
  void AddRef() { ++RefCount; }
  // The last close outside a transaction releases every lock; a shared disk table then keeps its
  // files parked (CanPark) instead of closing them.
  void Close(bool FlushTemporary);
  // Whether the last close may park the table.
  bool CanPark() const;
  // Closes the files of a parked table.
  void CloseParked();
  // Takes a parked table back for a cursor (RefCount 1) when it is still the same table and was
  // parked with the options now set; otherwise closes its files and answers false (the table
  // object is then given up: a fresh open starts from a new one).
  bool Resume();
  void CreateFiles(const TTableDefinition& Definition);
  void DeleteFiles();
  // 0 or a negated engine code. Renames across file systems copy the files.
  int RenameFiles(const std::string& NewName, bool Backup);
  void CheckVersion();
  bool IsEncrypted();
  // Writes everything cached, then copies the index file to the table's name with ".IBK".
  void BackupIndexFile();
  // Unless Skip, copies the ".IBK" file back over the index file and forgets the index state held
  // in memory; with DeleteBackup the ".IBK" file is deleted when present.
  void RestoreIndexFile(bool Skip, bool DeleteBackup);

  // Session settings (defaults when the table has no directory).
  int LockRetryCount() const;
  int LockWaitTime() const;
  bool ForceBufferFlush() const;
  bool StrictChangeDetection() const;

  bool ReadLock();
  void ReadUnlock();
  bool WriteLock();
  void WriteUnlock();
  // The write lock a commit writes under: always the files' own locks.
  void WriteLockForCommit();
  bool LockRecord(int32_t N);
  // The lock of a record an insert appends inside a transaction that holds the header byte: no
  // other process can know its number before the commit (nobody else appends meanwhile), and the
  // commit gives the lock back. It is taken here and handed to the transaction at once (as an
  // insert does with its record's lock) without a byte of the file. False when the table is in no
  // such transaction or the record is held in this process; the insert then locks it as usual. A
  // lock taken again on such a record (it may then outlive the commit) takes its byte.
  bool LockAppendedRecord(int32_t N);
  void UnlockRecord(int32_t N);
  void UnlockAllRecords(bool OnlyPending);
  bool IsRecordLocked(int32_t N) const;
  void MarkCursorLock(int32_t N, const void* Cursor = nullptr);
  void UnmarkCursorLock(int32_t N);
  bool IsCursorLocked(int32_t N) const;
  const void* CursorLockOwner(int32_t N) const;
  bool TestRecordLock(int32_t N);
  bool LockSlot(int N);
  bool UnlockSlot(int N);

  void StartTransaction();
  void Rollback();
  void Commit(bool EndTransaction);
  // Commits the tables of one transaction together: every change of all of them reaches the files,
  // or none does (then the changes are dropped and the error raised).
  static void CommitTables(const std::vector<TDataTable*>& Tables, bool EndTransaction);

  // A change outside a transaction (a post, a delete, a header change) is gathered from the start of
  // its write bracket and committed through the directory journal when it is flushed; EndPost
  // commits what is still gathered. Brackets nest.
  void BeginPost();
  void CommitPost();
  void EndPost();
  // Whether changes of this table go through the journal (disk tables that are not temporary).
  bool Journalled() const;
  // Replays or discards a journal that a dead process left over this table's files.
  void SettleJournal();
  // After a failed change outside a transaction: forget every modified cached record, page and
  // block and re-read the three headers, so that nothing half-written reaches the files.
  void AbandonChanges();

  bool HasBlobFile();
  TFileHandler* DataHandler() { return Files->Handler(TTableFileKind::Data); }
  TFileHandler* IndexHandler() { return Files->Handler(TTableFileKind::Index); }
  TFileHandler* BlobHandler();

 protected:
  [[noreturn]] void Fail(uint16_t Code) const;
  bool LocksSkipped() const { return Exclusive || FilesReadOnly; }
  // One try plus FileLockRetries retries, 3 ms apart.
  bool LockWithRetries(TFileHandler* File, int64_t First, int64_t Length);
  bool TakeReaderBytes(uint16_t& IndexSlot, uint16_t& BlobSlot);
  void ReleaseReaderBytes(uint16_t& IndexSlot, uint16_t& BlobSlot);
  bool CheckChanges();
  // Grows the lock bitmaps to hold records 1..N at least.
  void GrowBitmaps(int32_t N);
  // The record's byte of the data file, with the session's retries.
  void LockRecordByte(int32_t N);
  void ReleaseHeaderLock();
  std::string BaseName() const;
  int PostDepth = 0;
  // Records marked in LockedRecords.
  int32_t FLockedCount = 0;
  // The options the parked files were opened with.
  bool FParkedSequential = false, FParkedWriteThrough = false;
  bool FNoPark = false;
  // The write bracket of a transaction that holds the header byte takes no file lock.
  bool FWriteDeferred = false;
  bool FVerifyChanges = false;
  bool TakeWriteLock();
  // The table's file names within the directory, and whether a journal names one of them.
  std::vector<std::string> FileNames();
  bool JournalPending();
  // Tells the files of a journalled table to let the journal know before they change outside it.
  void GuardFiles();
  std::vector<TFileHandler*> OpenHandlers();
  void GatherAll(bool On);
};
