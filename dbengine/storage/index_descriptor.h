// Offsets in a 120-byte index descriptor, the same in memory and on disk: shared by the index file
// and the definition checks above it.
#pragma once

constexpr int kIndexDescNameOffset = 0;              // string[30]
constexpr int kIndexDescKeyLengthOffset = 31;        // u16
constexpr int kIndexDescDescendingOffset = 33;
constexpr int kIndexDescCaseInsensitiveOffset = 34;
constexpr int kIndexDescUniqueOffset = 35;
constexpr int kIndexDescCompressionOffset = 36;
constexpr int kIndexDescFieldCountOffset = 37;
constexpr int kIndexDescFieldDescendingOffset = 38;  // 16 bytes
constexpr int kIndexDescFieldNumbersOffset = 54;     // 16 x u16
constexpr int kIndexDescRootPageOffset = 86;         // u32
constexpr int kIndexDescFreePageOffset = 90;         // u32
// The root and free page words, cleared by the definition checks.
constexpr int kIndexDescReservedOffset = kIndexDescRootPageOffset;
