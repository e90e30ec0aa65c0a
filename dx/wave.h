// WAVE sounds: a format record plus sample bytes, read from and written to the RIFF WAVE layout
// through a stream that exposes the sample data of a WAVE image held in another stream.
//
// Layout (little-endian): "RIFF", u32 total length - 8, "WAVE", then chunks of an 8-byte header
// (4-byte identifier, u32 length) and that many bytes, not padded. "fmt " holds the format record,
// "data" the samples; other chunks are skipped. All offsets are relative to where the image starts
// in its stream, so an image in the middle of a larger stream (an archive member) reads as well.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/classes.h"
#include "dx/dxconsts.h"
#include "platform/core/classes.h"

// The fields of a format record as stored in the file (18 bytes; the common 16-byte PCM record
// lacks ExtraSize). Fields a shorter record does not hold read as 0.
struct TWaveFormatEx {
  uint16_t FormatTag = 0;  // 1 = PCM
  uint16_t Channels = 0;
  uint32_t SamplesPerSec = 0;
  uint32_t AvgBytesPerSec = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;
  uint16_t ExtraSize = 0;

  static constexpr int RecordSize = 18;
  static constexpr uint16_t PcmTag = 1;
  // A PCM record for the given layout.
  static TWaveFormatEx Pcm(int Channels, int BitsPerSample, int SamplesPerSec);
  static TWaveFormatEx FromBytes(const uint8_t* Bytes, int Size);
  std::vector<uint8_t> ToBytes() const;  // 18 bytes
  // PCM with 8 or 16 bits and 1 or 2 channels at a sane rate: what the sound buffers can play.
  bool IsPlayablePcm() const;
};

// The largest "fmt " chunk accepted when reading.
constexpr uint32_t MaxWaveFormatSize = 1024;

// ---- Wave streams -------------------------------------------------------------------------------
class TCustomWaveStream : public TStream {
 public:
  std::string ClassName() const override { return "TCustomWaveStream"; }
  int64_t Read(void* Buffer, int64_t Count) override;
  int64_t Write(const void* Buffer, int64_t Count) override;
  // Clamped to 0..size.
  int64_t Seek(int64_t Offset, int Origin) override;
  int64_t Size() override { return GetSize(); }

  virtual int GetFilledSize() { return -1; }
  virtual const uint8_t* GetFormat() { return nullptr; }
  virtual int GetFormatSize() { return 0; }
  virtual int GetSize() { return -1; }
  virtual int ReadWave(void* Buffer, int Count) {
    (void)Buffer;
    (void)Count;
    return 0;
  }
  virtual void SetFormatSize(int Value) { (void)Value; }
  virtual int WriteWave(const void* Buffer, int Count) {
    (void)Buffer;
    (void)Count;
    return 0;
  }
  // Convenience: copies a whole format record in (size and bytes).
  void SetFormat(const uint8_t* Format, int FormatSize);

 protected:
  int FPosition = 0;
};

// Owns the format record and its size.
class TCustomWaveStream2 : public TCustomWaveStream {
 public:
  std::string ClassName() const override { return "TCustomWaveStream2"; }
  const uint8_t* GetFormat() override { return FFormat.empty() ? nullptr : FFormat.data(); }
  uint8_t* FormatBytes() { return FFormat.empty() ? nullptr : FFormat.data(); }
  int GetFormatSize() override { return static_cast<int>(FFormat.size()); }
  void SetFormatSize(int Value) override;  // negative is taken as 0

 protected:
  std::vector<uint8_t> FFormat;
};

// The sample data of a WAVE image in another stream (not owned).
class TWaveStream : public TCustomWaveStream2 {
 public:
  explicit TWaveStream(TStream* AStream);
  // Completes the header of a written stream (errors are swallowed here; call Close to see them).
  ~TWaveStream() override;
  std::string ClassName() const override { return "TWaveStream"; }

  // Reading: checks the RIFF/WAVE header and walks the chunks. Writing: needs a format and writes
  // the header with an empty "data" chunk. EWaveStreamError on failure.
  void Open(bool WriteMode);
  // Completes the header of a stream opened for writing; afterwards the stream is closed.
  void Close();

  int GetSize() override;
  int ReadWave(void* Buffer, int Count) override;
  int WriteWave(const void* Buffer, int Count) override;

  TStream* Stream() const { return FStream; }
  int64_t StartPosition() const { return FStartPosition; }
  bool Opened() const { return FOpened; }
  bool ReadMode() const { return FReadMode; }
  int64_t DataPosition() const { return FDataPosition; }
  int64_t DataHeaderPosition() const { return FDataHeaderPosition; }
  int DataSize() const { return FDataSize; }

 private:
  void ReadHeader();
  void WriteHeader();

  TStream* FStream;
  int64_t FStartPosition;
  bool FOpened = false;
  bool FReadMode = false;
  int64_t FDataPosition = 0;
  int64_t FDataHeaderPosition = 0;
  int FDataSize = 0;
};

// ---- TWave --------------------------------------------------------------------------------------
class TWave : public TPersistent {
 public:
  TWave() = default;
  std::string ClassName() const override { return "TWave"; }

  // Sample bytes (Size valid ones) and the format record (FormatSize bytes).
  uint8_t* Data() { return FData.empty() ? nullptr : FData.data(); }
  const uint8_t* Data() const { return FData.empty() ? nullptr : FData.data(); }
  int Size() const { return FSize; }
  // Negative is taken as 0. The storage grows in blocks of 8096 bytes and is reallocated only when
  // the number of blocks changes.
  void SetSize(int Value);
  int Capacity() const { return static_cast<int>(FData.size()); }
  static constexpr int BlockSize = 8096;

  uint8_t* Format() { return FFormat.empty() ? nullptr : FFormat.data(); }
  const uint8_t* Format() const { return FFormat.empty() ? nullptr : FFormat.data(); }
  int FormatSize() const { return static_cast<int>(FFormat.size()); }
  void SetFormatSize(int Value);  // negative is taken as 0; exactly that many bytes
  TWaveFormatEx FormatRecord() const { return TWaveFormatEx::FromBytes(Format(), FormatSize()); }
  // Makes the wave a PCM sound of the given layout (format only; the data is kept).
  void SetPCMFormat(int Channels, int BitsPerSample, int SamplesPerSec);

  void Clear();
  void Assign(TPersistent* Source) override;
  void LoadFromStream(TStream* Stream);
  // Writes nothing unless there is a format and at least one sample byte.
  void SaveToStream(TStream* Stream) const;

 private:
  std::vector<uint8_t> FData;
  int FSize = 0;
  std::vector<uint8_t> FFormat;
};
