// Writer of .zlb resource archives, the format the tutor's TZLBArchive reads:
//   member data (each a zlib stream or stored as is), then the directory (count entries of 532
//   bytes, stored or as one zlib stream), then a 36-byte trailer whose first field is the CRC-32
//   of every byte before it. All integers little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TZLBWriterMember {
  std::string Name;     // CP1250, at most 255 bytes
  std::string Folder;   // CP1250, at most 255 bytes; usually empty
  std::string Data;     // the member's bytes
  bool Stored = false;  // true: written as is; false: one zlib stream
};

// Returns the bytes of a complete archive. Raises std::invalid_argument for a name or folder longer
// than 255 bytes, std::runtime_error when zlib fails or the archive would exceed 4 GiB.
std::string BuildZLBArchive(const std::vector<TZLBWriterMember>& Members, bool StoreDirectory);
