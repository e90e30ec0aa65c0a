#include "dbengine/storage/engine_keys.h"

#include <cstring>

#include "dbengine/storage/collation.h"

namespace {

void PutBigEndian(uint64_t V, int Bytes, uint8_t* Dest) {
  for (int I = Bytes - 1; I >= 0; --I) {
    Dest[I] = static_cast<uint8_t>(V & 0xFF);
    V >>= 8;
  }
}

template <class T>
T ReadLE(const uint8_t* P) {
  T V;
  memcpy(&V, P, sizeof(V));  // record images are little-endian, like the machine
  return V;
}

}  // namespace

void EncodeIntegerKey(int32_t Value, uint8_t* Dest) {
  PutBigEndian(static_cast<uint32_t>(Value) ^ 0x80000000u, 4, Dest);
}

void EncodeSmallIntKey(int16_t Value, uint8_t* Dest) {
  PutBigEndian(static_cast<uint16_t>(Value) ^ 0x8000u, 2, Dest);
}

void EncodeWordKey(uint16_t Value, uint8_t* Dest) { PutBigEndian(Value, 2, Dest); }

void EncodeBCDKey(int64_t Value, uint8_t* Dest) {
  PutBigEndian(static_cast<uint64_t>(Value) ^ 0x8000000000000000ull, 8, Dest);
}

void EncodeFloatKey(double Value, uint8_t* Dest) {
  uint64_t Bits;
  memcpy(&Bits, &Value, sizeof(Bits));
  if (Value >= 0)  // also -0.0, which then encodes like +0.0
    Bits = (Bits & 0x7FFFFFFFFFFFFFFFull) | 0x8000000000000000ull;
  else
    Bits = ~Bits;
  PutBigEndian(Bits, 8, Dest);
}

void InvertKeyBytes(uint8_t* Dest, int Count) {
  for (int I = 0; I < Count; ++I) Dest[I] = static_cast<uint8_t>(~Dest[I]);
}

void BuildIndexKey(const uint8_t* FieldDescriptor, const uint8_t* Value, uint8_t* Key, int KeyPosition,
                   uint16_t Sort, uint16_t Language, bool Descending, bool CaseInsensitive) {
  const uint8_t Type = FieldDescriptor[kFieldDescTypeOffset];
  const int Size = FieldDescriptor[kFieldDescDataSizeOffset];
  uint8_t* Part = Key + KeyPosition;
  uint8_t* Dest = Part + 1;
  int Inverted = Size + 1;
  switch (Type) {
    case ftDate:
    case ftInteger:
    case ftTime:
      EncodeIntegerKey(ReadLE<int32_t>(Value), Dest);
      break;
    case ftSmallInt:
      EncodeSmallIntKey(ReadLE<int16_t>(Value), Dest);
      break;
    case ftBoolean:
    case ftWord:
      EncodeWordKey(ReadLE<uint16_t>(Value), Dest);
      break;
    case ftBCD:
      EncodeBCDKey(ReadLE<int64_t>(Value), Dest);
      break;
    case ftFloat:
    case ftTimeStamp:
      EncodeFloatKey(ReadLE<double>(Value), Dest);
      break;
    case ftString: {
      // The value area of a string part is the field's data size; nothing is written beyond it
      // even when the record's string lacks its terminating zero.
      const size_t Len = strnlen(reinterpret_cast<const char*>(Value), static_cast<size_t>(Size));
      if (CaseInsensitive) {
        char Buf[256];
        memcpy(Buf, Value, Len);
        Buf[Len] = 0;
        LocaleUpperCase(Language, Sort, Buf, Buf);
        memcpy(Dest, Buf, Len < static_cast<size_t>(Size) ? Len + 1 : Len);
      } else {
        memcpy(Dest, Value, Len);
      }
      Inverted = Size;
      break;
    }
    default:
      memcpy(Dest, Value, static_cast<size_t>(Size));
      break;
  }
  if (Descending && Language == 0) InvertKeyBytes(Part, Inverted);
}

int FieldStorageSize(uint8_t FieldType, int DeclaredSize) {
  switch (FieldType) {
    case ftString: return DeclaredSize + 1;
    case ftDate:
    case ftInteger:
    case ftTime:
    case 13: return 4;
    case ftBlob:
    case ftFloat:
    case ftBCD:
    case ftTimeStamp: return 8;
    case ftBoolean:
    case ftSmallInt:
    case ftWord: return 2;
    case 14: return 10;
    default: return DeclaredSize;
  }
}

void SetFieldStorageSize(uint8_t* FieldDescriptor) {
  int Size = FieldStorageSize(FieldDescriptor[kFieldDescTypeOffset], FieldDescriptor[kFieldDescDeclaredSizeOffset]);
  FieldDescriptor[kFieldDescDataSizeOffset] = static_cast<uint8_t>(Size > 255 ? 255 : Size);
  FieldDescriptor[kFieldDescDataScaleOffset] = FieldDescriptor[kFieldDescDeclaredScaleOffset];
}
