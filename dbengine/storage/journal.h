// The directory journal: a redo log kept across commits, so that a change reaches the table files
// all at once or not at all and a commit costs one sync.
//
// What is logged. A commit (of a transaction over any number of tables of one directory, or of a
// single change made outside a transaction) first gathers every byte it would write: the file
// handlers of its tables collect the writes of records, index pages, BLOB blocks and headers instead
// of making them (see TFileHandler::BeginGather), and see them in their own reads. Temporary and
// in-memory tables are written directly, as before.
//
// Format of VXDB.JNL in the database directory (little-endian):
//   header  at offset 0: "VXDBLOG1", u64 epoch, u64 applied, u64 pending, u32 link, u32 CRC-32 of
//           the 36 bytes before it. Frames start at offset 512.
//   frame   "VXJFRM1" 0, u64 epoch, u32 frame length, u32 link, u32 file count F, F x (u16 length,
//           name within the directory), u32 record count, records (u8 kind: 1 write, 2 set the
//           file's size; u16 file number, u64 offset, u32 length, then the bytes of a write), u32
//           CRC-32 of the frame up to here, "VXJEND" 0 0.
// A frame holds of each gathered write only the runs of bytes that differ from what the file holds
// then (and the new size of a file that grows): replayed in order over what a checkpoint synced,
// the frames give every byte its last value, whichever of the writes in place a power cut kept.
// A journal of earlier versions (one commit, "VXJRNL1") found in its place is replayed when
// complete, like a frame, and the log starts anew behind it.
// A frame counts only when both magics, its epoch and its CRC hold and its link is the CRC of the
// frame before it (the first frame of an epoch links to the CRC of the epoch's eight bytes): a torn
// frame, or old bytes behind a shorter newer frame, never chain, so they are never replayed. The
// frames before `applied` are in place in the table files (written, not necessarily synced); a
// frame between `applied` and `pending` is a commit whose writes in place may be unfinished.
//
// A commit. With the locks of all its tables held (the header byte of each data file and the writer
// range of its index and BLOB files, so that no reader or writer of another process or session
// looks at them), the committer takes the log lock, writes its frame at `applied` and the header
// with `pending` behind it, syncs the log once (the commit is durable now), writes the gathered
// bytes in place without syncing them, sets `applied` to `pending`, and only then lets the locks go.
// Every process reads the files, which hold every commit before its locks go (one page cache on one
// machine). A failure before the log is synced cuts the frame away and leaves the tables untouched;
// a failure while writing in place (or setting `applied`) puts back the bytes it had replaced,
// syncs them and then cuts the frame away (when putting back fails, the frame stays pending and is
// replayed: the tables never keep a half commit); either way the commit reports the error.
//
// A dead writer. Whoever takes a table lock (read, write, transaction) or opens a table reads the
// log's header (one read of a descriptor kept open, no name lookup): when a commit is pending and
// its frame names one of the table's files (or cannot be read), it waits for the log lock; holding
// it, a commit still pending belongs to a dead process: the log is synced (the frame may not have
// been), the frame replayed under the locks of its tables (those this process holds excepted) and
// `applied` moved on. Committers take their table locks before the log lock and never wait for a
// table lock while holding it, except to replay a dead process's commit.
//
// Power loss and the first process. Every process that uses the log holds a read lock on a
// presence byte of it. A process that opens the log and can write-lock that byte is alone: whoever
// came before is gone, perhaps with the machine, and the table files may lack any write made since
// the last checkpoint. Under the log lock it replays every frame of the log (writing the same bytes
// again is harmless) and checkpoints before it reads anything. The first commit in a directory
// creates the log (and syncs the directory, so that its name lasts); the last process to leave,
// having checkpointed, removes it (a process that opened it meanwhile sees under the log lock that
// its name is gone and opens anew). Without a log nothing is pending.
//
// Checkpoints. A checkpoint syncs every table file the log's frames name, then writes the header
// with the next epoch and empty (`applied` = `pending` = 512), cuts the log there and syncs it. It
// runs under the log lock when a commit finds the log past its bound (before the commit writes
// anything, so a failed checkpoint fails that commit cleanly), when a process that was alone has
// replayed it, when a directory closes, and before a table file is changed outside the log
// (created, copied over, written directly by an exclusive holder, deleted, renamed) while the log
// names it: bytes of an old frame must never be written over a change the log does not hold.
//
// Network shares. One client's unsynced writes can be lost while the other clients go on, and a
// client reads another's changes only as its lock requests make it look again. On a network file
// system the committer therefore syncs its writes in place before it sets `applied`, and readers
// take a lock on the log before they read its header; the log still makes the commit atomic.
//
// Numbers handed out inside a transaction (auto-increment values, record numbers) live in the data
// file's header and records, which reach the files only with the commit that used them: a lost
// transaction leaves no row and no raised counter behind, so no later commit can adopt its rows.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "dbengine/storage/file_layer.h"

inline constexpr const char* kJournalName = "VXDB.JNL";

// The journal's path in a directory given with its trailing separator.
std::string JournalPath(const std::string& Dir);
// The file's name within its directory.
std::string JournalFileName(const std::string& Path);

// One directory's log as one user (an engine session's directory) holds it: its descriptor with
// the presence lock. Raises engine errors.
class TDirectoryLog : public TEngineObject, public TUnloggedChangeGuard {
 public:
  explicit TDirectoryLog(std::string Dir);
  // Checkpoints a log that holds commits (errors are not raised here) and lets the log go; the last
  // process to leave the directory removes the empty log.
  ~TDirectoryLog() override;
  TDirectoryLog(const TDirectoryLog&) = delete;
  TDirectoryLog& operator=(const TDirectoryLog&) = delete;

  // Makes the gathered changes of Files durable and puts them in place. Held names the table files
  // whose locks the caller holds (not taken again to replay a dead process's commit).
  void Commit(const std::vector<TFileHandler*>& Files, const std::vector<std::string>& Held);
  // True when a commit whose writes in place may be unfinished names one of the files (names within
  // the directory) or cannot be read: the caller must let it settle before it trusts the files.
  bool Concerns(const std::vector<std::string>& FileNames);
  // Waits for the log lock and completes a dead process's commit. Returns the names of the files
  // it wrote.
  std::vector<std::string> Settle(const std::vector<std::string>& Held);
  // Syncs the files the log names and empties it.
  void Checkpoint();
  void BeforeUnloggedChange(TFileHandler& File) override;
  void BeforeUnloggedChange(const std::string& FileName);

  // Treat the directory as a network share (otherwise the file system decides), and the size past
  // which a commit checkpoints first (8 MiB otherwise); for tests.
  static void SetNetworkShareForTests(bool On);
  static void SetBoundForTests(uint64_t Bytes);

 private:
  struct THeader {
    uint64_t Epoch = 0, Applied = 0, Pending = 0;
    uint32_t Link = 0;
  };
  std::string FDir, FPath;
  int FFd = -1;
  int FOwner = 0;  // the fork generation that opened FFd (a forked child opens its own)
  bool FNetwork = false;
  // What BeforeUnloggedChange learnt: the files named by the frames of FScanEpoch up to FScanEnd.
  uint64_t FScanEpoch = 0, FScanEnd = 0;
  std::set<std::string> FScanNames;

  // Opens the log (creating it only for a commit) and takes the presence lock.
  void Attach(bool Create = false);
  void Lock();
  void Unlock();
  bool ReadHeader(THeader& H);
  void WriteHeader(const THeader& H);
  // Under the log lock: the header made consistent, every pending frame replayed; Replayed gets the
  // names of the files written. All replays every frame (the first process after a power loss).
  THeader SettleLocked(const std::vector<std::string>& Held, bool All, std::vector<std::string>* Replayed);
  void CheckpointLocked(THeader& H);
  // Cuts a frame that did not become a commit away again (best effort).
  void Abandon(const THeader& H);
};

// What a directory's log holds, for the check tool.
struct TJournalInfo {
  bool Exists = false;
  bool Sound = false;    // a log header that holds (or an empty file)
  bool Pending = false;  // a commit whose writes in place may be unfinished (replayed on the next open)
  uint32_t Frames = 0;   // commits since the last checkpoint
  std::vector<std::string> Files;  // the files they name
};
TJournalInfo InspectJournal(const std::string& Dir);
