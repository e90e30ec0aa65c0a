#include "dx/wave.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
uint16_t GetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
bool IsId(const uint8_t* p, const char* Id) { return std::memcmp(p, Id, 4) == 0; }

void WriteIdAndLength(TStream* S, const char* Id, uint32_t Length) {
  uint8_t h[8];
  std::memcpy(h, Id, 4);
  PutU32(h + 4, Length);
  S->WriteBuffer(h, 8);
}

int ClampToInt(int64_t v) {
  return static_cast<int>(std::clamp<int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

// ---- TWaveFormatEx ------------------------------------------------------------------------------
TWaveFormatEx TWaveFormatEx::Pcm(int Channels, int BitsPerSample, int SamplesPerSec) {
  TWaveFormatEx f;
  f.FormatTag = PcmTag;
  f.Channels = static_cast<uint16_t>(Channels);
  f.SamplesPerSec = static_cast<uint32_t>(SamplesPerSec);
  f.BitsPerSample = static_cast<uint16_t>(BitsPerSample);
  f.BlockAlign = static_cast<uint16_t>(Channels * BitsPerSample / 8);
  f.AvgBytesPerSec = f.SamplesPerSec * f.BlockAlign;
  f.ExtraSize = 0;
  return f;
}

TWaveFormatEx TWaveFormatEx::FromBytes(const uint8_t* Bytes, int Size) {
  uint8_t b[RecordSize] = {};
  if (Bytes != nullptr && Size > 0) std::memcpy(b, Bytes, static_cast<size_t>(std::min(Size, RecordSize)));
  TWaveFormatEx f;
  f.FormatTag = GetU16(b);
  f.Channels = GetU16(b + 2);
  f.SamplesPerSec = GetU32(b + 4);
  f.AvgBytesPerSec = GetU32(b + 8);
  f.BlockAlign = GetU16(b + 12);
  f.BitsPerSample = GetU16(b + 14);
  f.ExtraSize = GetU16(b + 16);
  return f;
}

std::vector<uint8_t> TWaveFormatEx::ToBytes() const {
  std::vector<uint8_t> b(RecordSize);
  PutU16(&b[0], FormatTag);
  PutU16(&b[2], Channels);
  PutU32(&b[4], SamplesPerSec);
  PutU32(&b[8], AvgBytesPerSec);
  PutU16(&b[12], BlockAlign);
  PutU16(&b[14], BitsPerSample);
  PutU16(&b[16], ExtraSize);
  return b;
}

bool TWaveFormatEx::IsPlayablePcm() const {
  return FormatTag == PcmTag && (Channels == 1 || Channels == 2) && (BitsPerSample == 8 || BitsPerSample == 16) &&
         SamplesPerSec >= 100 && SamplesPerSec <= 200000;
}

// ---- TCustomWaveStream --------------------------------------------------------------------------
int64_t TCustomWaveStream::Read(void* Buffer, int64_t Count) {
  int count = ClampToInt(std::max<int64_t>(Count, 0));
  const int size = GetSize();
  if (size >= 0) {
    FPosition = std::clamp(FPosition, 0, size);
    count = std::min(count, size - FPosition);
  }
  const int n = ReadWave(Buffer, count);
  FPosition += n;
  return n;
}

int64_t TCustomWaveStream::Write(const void* Buffer, int64_t Count) {
  const int count = ClampToInt(std::max<int64_t>(Count, 0));
  const int size = GetSize();
  if (size >= 0) FPosition = std::clamp(FPosition, 0, size);
  const int n = WriteWave(Buffer, count);
  FPosition += n;
  return n;
}

int64_t TCustomWaveStream::Seek(int64_t Offset, int Origin) {
  const int size = GetSize();
  int64_t p = Offset;
  if (Origin == soFromCurrent)
    p = FPosition + Offset;
  else if (Origin == soFromEnd)
    p = static_cast<int64_t>(size) + Offset;
  p = std::max<int64_t>(p, 0);
  if (size >= 0) p = std::min<int64_t>(p, size);
  FPosition = ClampToInt(p);
  return FPosition;
}

void TCustomWaveStream::SetFormat(const uint8_t* Format, int FormatSize) {
  SetFormatSize(FormatSize);
  const int n = GetFormatSize();
  if (n > 0 && Format != nullptr) std::memcpy(const_cast<uint8_t*>(GetFormat()), Format, static_cast<size_t>(n));
}

void TCustomWaveStream2::SetFormatSize(int Value) { FFormat.assign(static_cast<size_t>(std::max(Value, 0)), 0); }

// ---- TWaveStream --------------------------------------------------------------------------------
TWaveStream::TWaveStream(TStream* AStream) : FStream(AStream), FStartPosition(AStream->Position()) {}

TWaveStream::~TWaveStream() {
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; SaveToStream closes explicitly and so sees the error.
  }
}

void TWaveStream::Open(bool WriteMode) {
  if (FOpened) throw EWaveStreamError(SDXStreamAlreadyOpen);
  if (WriteMode) {
    if (GetFormatSize() == 0) throw EWaveStreamError(SDXFormatInvalid);
    FOpened = true;
    FReadMode = false;
    WriteHeader();
  } else {
    FOpened = true;
    FReadMode = true;
    ReadHeader();
  }
}

void TWaveStream::ReadHeader() {
  FStream->SetPosition(FStartPosition);
  uint8_t riff[12] = {};
  if (FStream->Read(riff, 12) != 12 || !IsId(riff, "RIFF") || !IsId(riff + 8, "WAVE"))
    throw EWaveStreamError(SDXWaveInvalid);
  const int64_t end = FStream->Size();
  for (;;) {
    uint8_t h[8] = {};
    FStream->Read(h, 8);
    if (GetU32(h) == 0) break;
    // Lengths are unsigned and never trusted beyond the end of the stream.
    const uint32_t len = GetU32(h + 4);
    const int64_t body = FStream->Position();
    const int64_t next = body + static_cast<int64_t>(len);
    if (IsId(h, "fmt ")) {
      if (len > MaxWaveFormatSize || next > end) throw EWaveStreamError(SDXWaveInvalid);
      SetFormatSize(static_cast<int>(len));
      if (len != 0 && FStream->Read(FFormat.data(), len) != static_cast<int64_t>(len))
        throw EWaveStreamError(SDXWaveInvalid);
    } else if (IsId(h, "data")) {
      // A data chunk that claims more bytes than the stream holds is a truncated file.
      if (len > static_cast<uint32_t>(std::numeric_limits<int>::max()) || next > end)
        throw EWaveStreamError(SDXWaveInvalid);
      FDataSize = static_cast<int>(len);
      FDataPosition = body;
      FStream->SetPosition(next);
    } else {
      if (next >= end) break;
      FStream->SetPosition(next);
    }
  }
}

void TWaveStream::WriteHeader() {
  FStream->SetPosition(FStartPosition);
  const uint8_t placeholder[12] = {};
  FStream->WriteBuffer(placeholder, 12);
  WriteIdAndLength(FStream, "fmt ", static_cast<uint32_t>(GetFormatSize()));
  FStream->WriteBuffer(FFormat.data(), GetFormatSize());
  FDataHeaderPosition = FStream->Position();
  WriteIdAndLength(FStream, "data", 0);
  FDataPosition = FStream->Position();
}

void TWaveStream::Close() {
  if (!FOpened) return;
  const bool written = !FReadMode;
  if (written) {
    const int size = GetSize();
    const int64_t total = FStream->Size() - FStartPosition - 8;
    FOpened = false;  // whatever happens below, the stream is closed
    FStream->SetPosition(FStartPosition);
    WriteIdAndLength(FStream, "RIFF", static_cast<uint32_t>(total));
    FStream->WriteBuffer("WAVE", 4);
    FStream->SetPosition(FDataHeaderPosition);
    WriteIdAndLength(FStream, "data", static_cast<uint32_t>(size));
    FStream->Seek(0, soFromEnd);
  }
  FOpened = false;
}

int TWaveStream::GetSize() {
  if (!FOpened) return 0;
  if (FReadMode) return FDataSize;
  return ClampToInt(FStream->Size() - FDataPosition);
}

int TWaveStream::ReadWave(void* Buffer, int Count) {
  if (!FOpened) throw EWaveStreamError(SDXStreamNotOpened);
  FStream->SetPosition(FPosition + FDataPosition);
  return ClampToInt(FStream->Read(Buffer, Count));
}

int TWaveStream::WriteWave(const void* Buffer, int Count) {
  if (!FOpened) throw EWaveStreamError(SDXStreamNotOpened);
  if (FReadMode) Count = std::max(0, std::min(Count, FDataSize - FPosition));
  FStream->SetPosition(FPosition + FDataPosition);
  return ClampToInt(FStream->Write(Buffer, Count));
}

// ---- TWave --------------------------------------------------------------------------------------
void TWave::SetSize(int Value) {
  Value = std::max(Value, 0);
  const size_t blocks = (static_cast<size_t>(Value) + BlockSize - 1) / BlockSize;
  if (blocks * BlockSize != FData.size()) {
    std::vector<uint8_t> grown(blocks * BlockSize, 0);
    std::copy_n(FData.begin(), std::min(grown.size(), static_cast<size_t>(FSize)), grown.begin());
    FData.swap(grown);
  }
  FSize = Value;
}

void TWave::SetFormatSize(int Value) { FFormat.assign(static_cast<size_t>(std::max(Value, 0)), 0); }

void TWave::SetPCMFormat(int Channels, int BitsPerSample, int SamplesPerSec) {
  FFormat = TWaveFormatEx::Pcm(Channels, BitsPerSample, SamplesPerSec).ToBytes();
}

void TWave::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FSize = 0;
  FFormat.clear();
}

void TWave::Assign(TPersistent* Source) {
  if (Source == nullptr) {
    Clear();
    return;
  }
  if (auto* src = dynamic_cast<TWave*>(Source)) {
    if (src == this) return;
    SetSize(src->FSize);
    std::copy(src->FData.begin(), src->FData.begin() + src->FSize, FData.begin());
    FFormat = src->FFormat;
    return;
  }
  TPersistent::Assign(Source);
}

void TWave::LoadFromStream(TStream* Stream) {
  Clear();
  try {
    TWaveStream ws(Stream);
    ws.Open(false);
    SetFormatSize(ws.GetFormatSize());
    if (FormatSize() > 0) std::memcpy(FFormat.data(), ws.GetFormat(), FFormat.size());
    SetSize(ws.GetSize());
    if (FSize > 0) ws.ReadBuffer(Data(), FSize);
  } catch (...) {
    Clear();
    throw;
  }
}

void TWave::SaveToStream(TStream* Stream) const {
  if (FormatSize() < 1 || FSize < 1) return;
  TWaveStream ws(Stream);
  ws.SetFormat(Format(), FormatSize());
  ws.Open(true);
  ws.WriteBuffer(Data(), FSize);
  ws.Close();
}
