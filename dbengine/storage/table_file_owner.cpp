#include "dbengine/storage/table_file_owner.h"

#include <algorithm>
#include <cstring>

#include "dbengine/storage/engine_common.h"

bool LockBytesWithRetry(TFileHandler& File, int64_t First, int64_t Length) {
  for (int Try = 0; Try < kFileLockTries; ++Try) {
    if (File.LockBytes(First, Length, true)) return true;
    if (!File.FileObject) return false;
    EngineSleep(kFileLockSleepMs);
  }
  return false;
}

bool LockReaderByte(TFileHandler& File, uint16_t& Reader) {
  for (int Try = 0; Try < kFileLockTries; ++Try) {
    int R = EngineRandom(65535);
    if (R == 0) R = 1;
    if (File.LockBytes(kReaderLockTop - R, 1, true)) {
      Reader = static_cast<uint16_t>(R);
      return true;
    }
    if (!File.FileObject) return false;
    EngineSleep(kFileLockSleepMs);
  }
  return false;
}

bool UnlockReaderByte(TFileHandler& File, uint16_t Reader) {
  return File.LockBytes(kReaderLockTop - Reader, 1, false);
}

bool LockWriterRange(TFileHandler& File) { return LockBytesWithRetry(File, kWriterLockFirst, kWriterLockLength); }

bool UnlockWriterRange(TFileHandler& File) { return File.LockBytes(kWriterLockFirst, kWriterLockLength, false); }

std::string LoadShortString(const uint8_t* P, int MaxLength) {
  int N = std::min<int>(P[0], MaxLength);
  return std::string(reinterpret_cast<const char*>(P + 1), static_cast<size_t>(N));
}

void StoreShortString(uint8_t* P, int MaxLength, const std::string& S) {
  int N = std::min<int>(static_cast<int>(S.size()), MaxLength);
  memset(P, 0, static_cast<size_t>(MaxLength) + 1);
  P[0] = static_cast<uint8_t>(N);
  memcpy(P + 1, S.data(), static_cast<size_t>(N));
}
