#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "dbengine/storage/collation.h"
#include "dbengine/storage/engine_decimal.h"
#include "dbengine/storage/engine_keys.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> L) {
  std::vector<uint8_t> V;
  for (int X : L) V.push_back(static_cast<uint8_t>(X));
  return V;
}

template <class F, class T>
std::vector<uint8_t> Enc(F Encoder, T Value, int Size) {
  std::vector<uint8_t> V(static_cast<size_t>(Size));
  Encoder(Value, V.data());
  return V;
}

int Sign(int X) { return (X > 0) - (X < 0); }

template <class T>
int Cmp(T A, T B) { return (A > B) - (A < B); }

TEST(KeyEncoders, Vectors) {
  EXPECT_EQ(Enc(EncodeIntegerKey, -1, 4), Bytes({0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Enc(EncodeIntegerKey, 0, 4), Bytes({0x80, 0, 0, 0}));
  EXPECT_EQ(Enc(EncodeIntegerKey, INT32_MIN, 4), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(Enc(EncodeIntegerKey, 0x01020304, 4), Bytes({0x81, 0x02, 0x03, 0x04}));
  EXPECT_EQ(Enc(EncodeSmallIntKey, int16_t(1), 2), Bytes({0x80, 0x01}));
  EXPECT_EQ(Enc(EncodeSmallIntKey, int16_t(-32768), 2), Bytes({0x00, 0x00}));
  EXPECT_EQ(Enc(EncodeWordKey, uint16_t(1), 2), Bytes({0x00, 0x01}));
  EXPECT_EQ(Enc(EncodeWordKey, uint16_t(0xABCD), 2), Bytes({0xAB, 0xCD}));
  EXPECT_EQ(Enc(EncodeBCDKey, int64_t(12342), 8), Bytes({0x80, 0, 0, 0, 0, 0, 0x30, 0x36}));
  EXPECT_EQ(Enc(EncodeFloatKey, 1.0, 8), Bytes({0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(Enc(EncodeFloatKey, -1.0, 8), Bytes({0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(Enc(EncodeFloatKey, -0.0, 8), Enc(EncodeFloatKey, 0.0, 8));
  uint8_t B[3] = {0x00, 0x0F, 0xFF};
  InvertKeyBytes(B, 2);
  EXPECT_EQ(std::vector<uint8_t>(B, B + 3), Bytes({0xFF, 0xF0, 0xFF}));
}

// memcmp of two encodings must have the sign of the value comparison, for edge values and for
// random values of every type.
TEST(KeyEncoders, ByteOrderIsValueOrder) {
  std::mt19937_64 Rng(12345);
  auto Check = [](auto Encoder, auto A, auto B, int Size) {
    auto EA = Enc(Encoder, A, Size), EB = Enc(Encoder, B, Size);
    int M = Sign(memcmp(EA.data(), EB.data(), static_cast<size_t>(Size)));
    if (M != Cmp(A, B)) ADD_FAILURE() << A << " vs " << B;
  };
  std::vector<int32_t> Ints = {INT32_MIN, INT32_MIN + 1, -65536, -1, 0, 1, 255, 256, INT32_MAX - 1, INT32_MAX};
  std::vector<int16_t> Smalls = {-32768, -32767, -256, -1, 0, 1, 255, 256, 32767};
  std::vector<uint16_t> Words = {0, 1, 255, 256, 0x7FFF, 0x8000, 0xFFFF};
  std::vector<int64_t> Bcds = {INT64_MIN, INT64_MIN + 1, -12352, -1, 0, 1, 12352, INT64_MAX};
  std::vector<double> Floats = {-INFINITY, -DBL_MAX, -1e300, -1.0, -DBL_MIN, -4.9e-324, -0.0, 0.0,
                                4.9e-324, 2.2e-308, DBL_MIN, 0.1, 1.0, 1e300, DBL_MAX, INFINITY};
  for (int I = 0; I < 300; ++I) {
    uint64_t R = Rng();
    Ints.push_back(static_cast<int32_t>(R));
    Smalls.push_back(static_cast<int16_t>(R >> 32));
    Words.push_back(static_cast<uint16_t>(R >> 16));
    Bcds.push_back(static_cast<int64_t>(Rng()));
    double D;
    uint64_t Bits = Rng();
    memcpy(&D, &Bits, 8);
    if (!std::isnan(D)) Floats.push_back(D);
    Floats.push_back(std::ldexp(static_cast<double>(static_cast<int64_t>(R)) / 1e18, static_cast<int>(R % 200) - 100));
  }
  for (auto A : Ints) for (auto B : Ints) Check(EncodeIntegerKey, A, B, 4);
  for (auto A : Smalls) for (auto B : Smalls) Check(EncodeSmallIntKey, A, B, 2);
  for (auto A : Words) for (auto B : Words) Check(EncodeWordKey, A, B, 2);
  for (auto A : Bcds) for (auto B : Bcds) Check(EncodeBCDKey, A, B, 8);
  for (auto A : Floats) for (auto B : Floats) Check(EncodeFloatKey, A, B, 8);
}

struct TDescriptor {
  uint8_t Bytes[768] = {};
  TDescriptor(uint8_t Type, uint8_t DeclaredSize) {
    Bytes[kFieldDescTypeOffset] = Type;
    Bytes[kFieldDescDeclaredSizeOffset] = DeclaredSize;
    SetFieldStorageSize(Bytes);
  }
  int Size() const { return Bytes[kFieldDescDataSizeOffset]; }
};

TEST(KeyEncoders, StorageSizes) {
  struct Case { uint8_t Type, Declared; int Size; };
  const Case Cases[] = {{ftString, 40, 41}, {ftDate, 0, 4}, {ftBlob, 0, 8}, {ftBoolean, 0, 2},
                        {ftSmallInt, 0, 2}, {ftInteger, 0, 4}, {ftFloat, 0, 8}, {ftBCD, 0, 8},
                        {ftBytes, 17, 17}, {ftTime, 0, 4}, {ftTimeStamp, 0, 8}, {ftWord, 0, 2},
                        {13, 0, 4}, {14, 0, 10}, {15, 9, 9}};
  for (const Case& C : Cases) EXPECT_EQ(TDescriptor(C.Type, C.Declared).Size(), C.Size) << int(C.Type);
}

TEST(KeyEncoders, BuildIndexKeyEncodesBoundsAndInverts) {
  // A record value is little-endian; the key part is big-endian after the caller's null byte.
  TDescriptor Int(ftInteger, 0);
  int32_t V = -1;
  uint8_t Key[16];
  memset(Key, 0xAA, sizeof(Key));
  Key[2] = 1;  // null byte set by the caller
  BuildIndexKey(Int.Bytes, reinterpret_cast<uint8_t*>(&V), Key, 2, 0, 0, false, false);
  EXPECT_EQ(std::vector<uint8_t>(Key + 2, Key + 8), Bytes({1, 0x7F, 0xFF, 0xFF, 0xFF, 0xAA}));
  // Descending with language 0: null byte and value inverted, nothing after.
  BuildIndexKey(Int.Bytes, reinterpret_cast<uint8_t*>(&V), Key, 2, 0, 0, true, false);
  EXPECT_EQ(std::vector<uint8_t>(Key + 2, Key + 8), Bytes({0xFE, 0x80, 0x00, 0x00, 0x00, 0xAA}));
  // Other languages leave descending parts as they are.
  Key[2] = 1;
  BuildIndexKey(Int.Bytes, reinterpret_cast<uint8_t*>(&V), Key, 2, 0, kLanguagePolish, true, false);
  EXPECT_EQ(std::vector<uint8_t>(Key + 2, Key + 7), Bytes({1, 0x7F, 0xFF, 0xFF, 0xFF}));

  TDescriptor Str(ftString, 5);  // data size 6
  uint8_t Rec[6] = {'a', 'b', 0xB9 /* ą */, 0, 0, 0};
  uint8_t K2[10];
  memset(K2, 0x55, sizeof(K2));
  K2[0] = 1;
  BuildIndexKey(Str.Bytes, Rec, K2, 0, 0, kLanguagePolish, false, false);
  EXPECT_EQ(std::vector<uint8_t>(K2, K2 + 6), Bytes({1, 'a', 'b', 0xB9, 0x55, 0x55}));  // no terminator
  BuildIndexKey(Str.Bytes, Rec, K2, 0, 0, kLanguagePolish, false, true);
  EXPECT_EQ(std::vector<uint8_t>(K2, K2 + 6), Bytes({1, 'A', 'B', 0xA5, 0, 0x55}));  // upper-cased, terminated
  // A value without its terminating zero never writes past the part.
  uint8_t Full[8] = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h'};
  memset(K2, 0x55, sizeof(K2));
  BuildIndexKey(Str.Bytes, Full, K2, 0, 0, 0, false, true);
  EXPECT_EQ(std::vector<uint8_t>(K2 + 1, K2 + 9), Bytes({'A', 'B', 'C', 'D', 'E', 'F', 0x55, 0x55}));
  // A descending string part inverts its null byte and size - 1 value bytes.
  memset(K2, 0, sizeof(K2));
  K2[0] = 1;
  BuildIndexKey(Str.Bytes, Rec, K2, 0, 0, 0, true, false);
  EXPECT_EQ(std::vector<uint8_t>(K2, K2 + 8), Bytes({0xFE, 0x9E, 0x9D, 0x46, 0xFF, 0xFF, 0, 0}));

  TDescriptor Dbl(ftFloat, 0), Bcd(ftBCD, 0), Small(ftSmallInt, 0), Bool(ftBoolean, 0), Raw(ftBytes, 3);
  double D = 1.0;
  BuildIndexKey(Dbl.Bytes, reinterpret_cast<uint8_t*>(&D), Key, 0, 0, 0, false, false);
  EXPECT_EQ(std::vector<uint8_t>(Key + 1, Key + 9), Enc(EncodeFloatKey, 1.0, 8));
  int64_t E = -12352;
  BuildIndexKey(Bcd.Bytes, reinterpret_cast<uint8_t*>(&E), Key, 0, 0, 0, false, false);
  EXPECT_EQ(std::vector<uint8_t>(Key + 1, Key + 9), Enc(EncodeBCDKey, E, 8));
  int16_t S = 1;
  BuildIndexKey(Small.Bytes, reinterpret_cast<uint8_t*>(&S), Key, 0, 0, 0, false, false);
  EXPECT_EQ(std::vector<uint8_t>(Key + 1, Key + 3), Bytes({0x80, 0x01}));
  uint16_t T = 1;
  BuildIndexKey(Bool.Bytes, reinterpret_cast<uint8_t*>(&T), Key, 0, 0, 0, false, false);
  EXPECT_EQ(std::vector<uint8_t>(Key + 1, Key + 3), Bytes({0x00, 0x01}));
  uint8_t R3[3] = {9, 8, 7};
  BuildIndexKey(Raw.Bytes, R3, Key, 0, 0, 0, false, false);
  EXPECT_EQ(std::vector<uint8_t>(Key + 1, Key + 4), Bytes({9, 8, 7}));
}

TEST(KeyEncoders, DescendingPartsReverseTheByteOrder) {
  // Language 0 inverts descending parts, so memcmp of two keys has the opposite sign.
  std::mt19937 Rng(77);
  TDescriptor Int(ftInteger, 0), Dbl(ftFloat, 0);
  for (int I = 0; I < 2000; ++I) {
    int32_t A = static_cast<int32_t>(Rng()), B = static_cast<int32_t>(Rng());
    if (I % 10 == 0) B = A;
    uint8_t KA[5] = {1}, KB[5] = {1};
    BuildIndexKey(Int.Bytes, reinterpret_cast<uint8_t*>(&A), KA, 0, 0, 0, true, false);
    BuildIndexKey(Int.Bytes, reinterpret_cast<uint8_t*>(&B), KB, 0, 0, 0, true, false);
    ASSERT_EQ(Sign(memcmp(KA, KB, 5)), -Cmp(A, B));
    double X = std::ldexp(static_cast<double>(A), static_cast<int>(Rng() % 40) - 20), Y = -X / 3;
    uint8_t DA[9] = {1}, DB[9] = {1};
    BuildIndexKey(Dbl.Bytes, reinterpret_cast<uint8_t*>(&X), DA, 0, 0, 0, true, false);
    BuildIndexKey(Dbl.Bytes, reinterpret_cast<uint8_t*>(&Y), DB, 0, 0, 0, true, false);
    ASSERT_EQ(Sign(memcmp(DA, DB, 9)), -Cmp(X, Y));
  }
}

TEST(EngineDecimal, Vectors) {
  struct Case { int Decimals; double Value; int64_t Encoded; };
  const Case ToBcd[] = {{2, 12.346, 12352}, {2, -12.346, -12352}, {0, 7, 70}, {2, 12.34, 12342},
                        {0, -5, -50}, {3, 0.5, 5003}, {2, 0.125, 122}, {2, 0.0, 2}, {2, -0.001, 2},
                        {0, 2.5, 30}, {0, -2.5, -30}, {4, 1234567.8912, 123456789124}};
  for (const Case& C : ToBcd) EXPECT_EQ(FloatToEngineBCD(C.Decimals, C.Value), C.Encoded) << C.Value;
  struct Back { int64_t Encoded; double Value; };
  const Back FromBcd[] = {{12352, 12.35}, {5003, 0.5}, {-12352, -12.35}, {70, 7}, {-50, -5},
                          {122, 0.12}, {2, 0}, {13, 0.001}, {0, 0}, {9, 0}};
  for (const Back& B : FromBcd) EXPECT_DOUBLE_EQ(EngineBCDToFloat(B.Encoded), B.Value) << B.Encoded;
  // A round trip through the engine form keeps the rounded value.
  for (double X : {0.01, 99.99, -1234.56, 123456.78}) EXPECT_DOUBLE_EQ(EngineBCDToFloat(FloatToEngineBCD(2, X)), X);
}

TEST(EngineDecimal, RoundingAndCurrency) {
  EXPECT_DOUBLE_EQ(RoundToDecimals(2, 0.125), 0.12);  // divides by the double 0.1^2
  EXPECT_DOUBLE_EQ(RoundToDecimals(0, 2.5), 3);
  EXPECT_DOUBLE_EQ(RoundToDecimals(0, -2.5), -3);
  EXPECT_DOUBLE_EQ(RoundToDecimals(1, 0.25), 0.3);
  EXPECT_EQ(RoundToDecimals(3, 0), 0);
  // Currency values in units of 1/10,000.
  struct Case { int Decimals; int64_t In, Out; };
  const Case Rounds[] = {{0, 25000, 30000}, {0, -25000, -30000}, {0, 24999, 20000}, {2, 123450, 123500},
                         {2, -123450, -123500}, {4, 123456, 123456}, {7, 123456, 123456}};
  for (const Case& C : Rounds) EXPECT_EQ(RoundCurrToDecimals(C.Decimals, C.In), C.Out) << C.In;
  EXPECT_EQ(CurrToEngineBCD(2, 123456), 12352);   // 12.3456 -> 12.35
  EXPECT_EQ(CurrToEngineBCD(2, -123456), -12352);
  EXPECT_EQ(CurrToEngineBCD(6, 15000), 15000006);  // 1.5 with 6 decimals
  EXPECT_EQ(EngineBCDToCurr(12352), 123500);
  EXPECT_EQ(EngineBCDToCurr(-50), -50000);
  EXPECT_EQ(EngineBCDToCurr(15000006), 15000);
  EXPECT_EQ(EngineBCDToCurr(12345676), 12346);  // 1.234567 -> 1.2346
}

}  // namespace
