// Order-preserving index key encodings: comparing two encoded keys byte by byte (unsigned, as
// memcmp does) gives the order of the values they encode.
#pragma once

#include <cstdint>

// Field type codes stored in field descriptors.
constexpr uint8_t ftString = 1;
constexpr uint8_t ftDate = 2;
constexpr uint8_t ftBlob = 3;
constexpr uint8_t ftBoolean = 4;
constexpr uint8_t ftSmallInt = 5;
constexpr uint8_t ftInteger = 6;
constexpr uint8_t ftFloat = 7;
constexpr uint8_t ftBCD = 8;
constexpr uint8_t ftBytes = 9;
constexpr uint8_t ftTime = 10;
constexpr uint8_t ftTimeStamp = 11;
constexpr uint8_t ftWord = 12;

// Offsets in the 768-byte field descriptor that the key builder reads.
constexpr int kFieldDescTypeOffset = 84;
constexpr int kFieldDescDeclaredSizeOffset = 86;
constexpr int kFieldDescDeclaredScaleOffset = 87;
constexpr int kFieldDescDataSizeOffset = 88;
constexpr int kFieldDescDataScaleOffset = 89;

// Signed 32-bit (date, integer, time): 4 bytes big-endian, top bit inverted.
void EncodeIntegerKey(int32_t Value, uint8_t* Dest);
// Signed 16-bit: 2 bytes big-endian, top bit inverted.
void EncodeSmallIntKey(int16_t Value, uint8_t* Dest);
// Unsigned 16-bit (boolean, word): 2 bytes big-endian.
void EncodeWordKey(uint16_t Value, uint8_t* Dest);
// Engine decimal (signed 64-bit): 8 bytes big-endian, top bit inverted.
void EncodeBCDKey(int64_t Value, uint8_t* Dest);
// Double (float, timestamp): 8 bytes big-endian; >= 0 (also -0.0) top bit set, < 0 every bit inverted.
void EncodeFloatKey(double Value, uint8_t* Dest);
// Inverts Count bytes (1..255) for descending key parts.
void InvertKeyBytes(uint8_t* Dest, int Count);

// Writes one field's part of a key: the encoded value at Key[KeyPosition + 1] (Key[KeyPosition] is
// the null indicator that the caller sets). Value points at the field's bytes in a record
// (little-endian; a zero-terminated string for string fields). The type and data size are read from
// FieldDescriptor. String parts never write more than the field's data size. When Descending and
// Language is 0 the whole part (null byte and value) is inverted afterwards.
void BuildIndexKey(const uint8_t* FieldDescriptor, const uint8_t* Value, uint8_t* Key, int KeyPosition,
                   uint16_t Sort, uint16_t Language, bool Descending, bool CaseInsensitive);

// Sets a field descriptor's physical data size and scale from its type, declared size and scale.
void SetFieldStorageSize(uint8_t* FieldDescriptor);
// Physical data size of a field of the given type and declared size.
int FieldStorageSize(uint8_t FieldType, int DeclaredSize);
