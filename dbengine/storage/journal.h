// The directory journal: how a change reaches the table files all at once or not at all.
//
// What is journalled. A commit (of a transaction over any number of tables of one directory, or of a
// single change made outside a transaction) first gathers every byte it would write: the file
// handlers of its tables collect the writes of records, index pages, BLOB blocks and headers instead
// of making them (see TFileHandler::BeginGather), and see them in their own reads. Temporary and
// in-memory tables are written directly, as before.
//
// Format of VXDB.JNL in the database directory (little-endian):
//   header   "VXJRNL1" 0, u32 header length H, u32 file count F, F x (u16 length, name within the
//            directory), u32 CRC-32 of the header's first H-4 bytes;
//   records  u8 kind (1 write, 2 set the file's size), u16 file number, u64 offset, u32 length,
//            then the bytes of a write;
//   trailer  u8 0xFF, u32 record count, u64 length of the records, u32 CRC-32 of the records,
//            "VXJEND" 0 0.
// A journal is complete when its trailer is present and both checksums hold; anything else is an
// incomplete journal, which never reached any table file and is discarded.
//
// When it is written, replayed and retired. With the locks of all its tables held (the header byte
// of each data file and the writer range of its index and BLOB files, so that no reader or writer of
// another process or session looks at them), the committer takes the journal lock, writes the whole
// journal, syncs it and the directory, writes the gathered bytes in place, syncs each changed table
// file (all at once), then removes the journal before any lock goes. The removal is not synced: a
// journal brought back by a power cut holds bytes already in place, and the next commit's directory
// sync makes the removal durable before that commit writes anything in place. A failure before the
// journal is synced leaves the tables untouched; a failure while writing in place puts back the bytes
// it had replaced and removes the journal (when even that fails, the journal stays and is replayed,
// so the tables never keep a half commit); either way the commit reports the error.
//
// Locks. The journal lock is an open-file-description lock on the journal file itself, checked after
// locking against the name (a waiter may hold a file another process already removed). A process
// that dies drops its locks but leaves its journal. Whoever takes a table lock (read, write,
// transaction) or opens a table looks for a journal that names one of the table's files: if there
// is one, or one whose header cannot be read yet, it waits for the journal lock; once it holds it, a
// journal still there belongs to a dead process and is replayed under the locks of its tables (those
// this process already holds are not taken again), or discarded when incomplete; then the journal is
// removed and the directory synced. Committers take their table locks before the journal lock and
// never wait for a table lock while holding it, except to replay a dead process's journal.
//
// Numbers handed out inside a transaction (auto-increment values, record numbers) live in the data
// file's header and records, which reach the files only with the commit that used them: a lost
// transaction leaves no row and no raised counter behind, so no later commit can adopt its rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dbengine/storage/file_layer.h"

inline constexpr const char* kJournalName = "VXDB.JNL";

// The journal's path in a directory given with its trailing separator.
std::string JournalPath(const std::string& Dir);

// Makes the gathered changes of Files durable in place, through the journal of Dir. Held names the
// table files whose locks the caller holds (not taken again to replay a dead process's journal).
// Raises an engine error on failure; the files are then as before the commit.
void JournalCommit(const std::string& Dir, const std::vector<TFileHandler*>& Files,
                   const std::vector<std::string>& Held);

// True when a journal in Dir names one of the files (names within the directory) or its header
// cannot be read yet: the caller must let it settle before it trusts the files.
bool JournalConcerns(const std::string& Dir, const std::vector<std::string>& FileNames);

// Waits for the journal lock, then replays a journal left complete by a dead process or discards an
// incomplete one. Returns the names of the files it replayed.
std::vector<std::string> SettleJournal(const std::string& Dir, const std::vector<std::string>& Held);

// What a journal holds, for the check tool.
struct TJournalInfo {
  bool Exists = false;
  bool Complete = false;
  std::vector<std::string> Files;
  uint32_t Records = 0;
};
TJournalInfo InspectJournal(const std::string& Dir);

// The file's name within its directory.
std::string JournalFileName(const std::string& Path);
