// What the three table files (.DAT, .IDX, .BLB) need from the open table that owns them, and the
// retrying byte-range locks they share. The open table implements TTableFileOwner; a file without an
// owner behaves as if outside a transaction, with strict change detection and no repair log.
#pragma once

#include <cstdint>
#include <string>

#include "dbengine/storage/file_layer.h"

class TDataCursor;

class TTableFileOwner {
 public:
  virtual ~TTableFileOwner() = default;
  // Inside a transaction nothing is flushed and caches grow instead.
  virtual bool InTransaction() const { return false; }
  // A file's cached state or header changed (the table must be written at the end of the operation).
  virtual void MarkChanged() {}
  // With strict change detection off, the cursor's read-lock-and-resync step runs before a file read;
  // true when it found that another holder changed the table (the read is then abandoned).
  virtual bool ChangedBeforeRead(TDataCursor* /*Cursor*/) { return false; }
  // The cursor repairs BLOB chains instead of failing, and where its texts go.
  virtual bool Repairing(TDataCursor* /*Cursor*/) const { return false; }
  virtual void RepairLog(TDataCursor* /*Cursor*/, const std::string& /*Text*/) {}
};

// Lock bytes shared by the index and BLOB files: the writer range covers every reader byte.
constexpr int64_t kWriterLockFirst = 0x7FFF0000;
constexpr int64_t kWriterLockLength = 65535;
constexpr int64_t kReaderLockTop = 0x7FFFFFFF;
// Tries of the header, reader and writer locks, 3 ms apart.
constexpr int kFileLockTries = 8193;
constexpr int kFileLockSleepMs = 3;

// Locks a range, retrying kFileLockTries times; false when never granted.
bool LockBytesWithRetry(TFileHandler& File, int64_t First, int64_t Length);
// Takes a reader byte 0x7FFFFFFF - r with a random r in 1..65,534 drawn anew for every try; the
// byte number r is returned for the unlock. False when never granted.
bool LockReaderByte(TFileHandler& File, uint16_t& Reader);
bool UnlockReaderByte(TFileHandler& File, uint16_t Reader);
bool LockWriterRange(TFileHandler& File);
bool UnlockWriterRange(TFileHandler& File);

// Little-endian field access shared by the table files.
inline uint16_t LoadU16(const uint8_t* P) { return static_cast<uint16_t>(P[0] | (P[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | (static_cast<uint32_t>(P[1]) << 8) | (static_cast<uint32_t>(P[2]) << 16) |
         (static_cast<uint32_t>(P[3]) << 24);
}
inline void StoreU16(uint8_t* P, uint16_t V) {
  P[0] = static_cast<uint8_t>(V);
  P[1] = static_cast<uint8_t>(V >> 8);
}
inline void StoreU32(uint8_t* P, uint32_t V) {
  for (int I = 0; I < 4; ++I) P[I] = static_cast<uint8_t>(V >> (8 * I));
}
// A short string field (length byte, then up to MaxLength characters).
std::string LoadShortString(const uint8_t* P, int MaxLength);
void StoreShortString(uint8_t* P, int MaxLength, const std::string& S);
