#include <gtest/gtest.h>

#include <cstring>

#include "dx/tests/dx_test_util.h"
#include "dx/wave.h"

namespace {

std::string Bytes(TMemoryStream& S) { return std::string(reinterpret_cast<const char*>(S.Memory()), static_cast<size_t>(S.Size())); }

void LoadImage(TWave& W, const std::string& Image) {
  TStringStream s(Image);
  W.LoadFromStream(&s);
}

std::string WaveData(const TWave& W) { return std::string(reinterpret_cast<const char*>(W.Data()), static_cast<size_t>(W.Size())); }
std::string WaveFormat(const TWave& W) {
  return std::string(reinterpret_cast<const char*>(W.Format()), static_cast<size_t>(W.FormatSize()));
}

}  // namespace

// Saving writes exactly the header, the format chunk and the data chunk; loading gives it all back.
TEST(Wave, RoundTripKeepsFormatAndData) {
  struct Case {
    int Channels, Bits, Rate;
    std::string Data;
  };
  const Case cases[] = {
      {1, 8, 22050, std::string("\x80\x90\x70", 3)},  // odd size, no pad byte
      {1, 16, 22050, Pcm16({0, 1000, -1000, 32767, -32768})},
      {2, 16, 44100, Pcm16({1, 2, 3, 4})},
      {2, 8, 11025, std::string(20000, '\x42')},  // more than one allocation block
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.Channels << "ch " << c.Bits << "bit " << c.Rate);
    TWave w;
    w.SetPCMFormat(c.Channels, c.Bits, c.Rate);
    w.SetSize(static_cast<int>(c.Data.size()));
    std::memcpy(w.Data(), c.Data.data(), c.Data.size());
    TMemoryStream s;
    w.SaveToStream(&s);
    const std::string expected = RiffImage({{"fmt ", PcmFormat(c.Channels, c.Bits, c.Rate)}, {"data", c.Data}});
    EXPECT_EQ(Bytes(s), expected);
    EXPECT_EQ(s.Position(), s.Size());

    TWave back;
    s.SetPosition(0);
    back.LoadFromStream(&s);
    EXPECT_EQ(WaveFormat(back), WaveFormat(w));
    EXPECT_EQ(WaveData(back), c.Data);
    const TWaveFormatEx f = back.FormatRecord();
    EXPECT_EQ(f.FormatTag, 1);
    EXPECT_EQ(f.Channels, c.Channels);
    EXPECT_EQ(f.BitsPerSample, c.Bits);
    EXPECT_EQ(f.SamplesPerSec, static_cast<uint32_t>(c.Rate));
    EXPECT_EQ(f.BlockAlign, c.Channels * c.Bits / 8);
  }
}

TEST(Wave, ChunkRules) {
  const std::string data = Pcm16({5, 6, 7});
  struct Case {
    const char* What;
    std::vector<TChunk> Chunks;
    int FormatSize;
    std::string Data;
  };
  const Case cases[] = {
      {"odd chunk then the rest, unpadded", {{"LIST", "abc"}, {"fmt ", PcmFormat(1, 16, 22050)}, {"data", data}}, 18, data},
      {"16-byte format record", {{"fmt ", PcmFormat(1, 16, 22050, 16)}, {"data", data}}, 16, data},
      {"data before format", {{"data", data}, {"fmt ", PcmFormat(1, 16, 22050)}}, 18, data},
      {"no data chunk", {{"fmt ", PcmFormat(1, 16, 22050)}}, 18, ""},
      {"no format chunk", {{"data", data}}, 0, data},
      {"unknown chunk running past the end", {{"fmt ", PcmFormat(1, 16, 22050)}, {"data", data}, {"junk", "x", 1000}}, 18, data},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TWave w;
    ASSERT_NO_THROW(LoadImage(w, RiffImage(c.Chunks)));
    EXPECT_EQ(w.FormatSize(), c.FormatSize);
    EXPECT_EQ(WaveData(w), c.Data);
  }
}

// Corrupt or truncated images raise a clear error and leave the wave empty.
TEST(Wave, BadImagesRaise) {
  const std::string fmt = PcmFormat(1, 16, 22050);
  const std::string good = RiffImage({{"fmt ", fmt}, {"data", Pcm16({1, 2, 3, 4})}});
  struct Case {
    const char* What;
    std::string Image;
  };
  const Case cases[] = {
      {"empty", ""},
      {"short header", "RIFF\x04\0\0\0WAV"},
      {"not RIFF", "RIFX" + good.substr(4)},
      {"not WAVE", good.substr(0, 8) + "AVI " + good.substr(12)},
      {"truncated data", good.substr(0, good.size() - 3)},
      {"data length near 4 GB", RiffImage({{"fmt ", fmt}, {"data", "abcd", 0xFFFFFFF0}})},
      {"format chunk over 1 KB", RiffImage({{"fmt ", std::string(1100, '\1')}, {"data", "ab"}})},
      {"format chunk past the end", RiffImage({{"fmt ", fmt, 40}})},
      {"header cut inside a chunk header", good.substr(0, 12 + 8 + 18 + 6)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TWave w;
    w.SetPCMFormat(1, 8, 8000);
    w.SetSize(10);
    try {
      LoadImage(w, c.Image);
      ADD_FAILURE() << "loaded";
    } catch (const EWaveStreamError& e) {
      EXPECT_EQ(e.Message(), "Wave is invalid");
    }
    EXPECT_EQ(w.Size(), 0);
    EXPECT_EQ(w.FormatSize(), 0);
  }
}

// Offsets are relative to where the image starts: an image inside a larger stream reads and writes.
TEST(Wave, ImageInTheMiddleOfAStream) {
  const std::string data = Pcm16({10, 20, 30});
  const std::string image = RiffImage({{"fmt ", PcmFormat(1, 16, 22050)}, {"data", data}});
  TStringStream s("prefix--" + image + "suffix");
  s.SetPosition(8);
  TWave w;
  w.LoadFromStream(&s);
  EXPECT_EQ(WaveData(w), data);

  TMemoryStream out;
  out.WriteString("head");
  w.SaveToStream(&out);
  EXPECT_EQ(Bytes(out), "head" + image);
}

TEST(Wave, StorageGrowsInBlocks) {
  TWave w;
  w.SetSize(8096);
  EXPECT_EQ(w.Capacity(), 8096);
  w.Data()[8095] = 7;
  const uint8_t* before = w.Data();
  w.SetSize(8000);
  EXPECT_EQ(w.Capacity(), 8096);
  EXPECT_EQ(w.Data(), before);  // same block count: no reallocation
  w.Data()[0] = 9;
  w.SetSize(8097);
  EXPECT_EQ(w.Capacity(), 16192);
  EXPECT_EQ(w.Size(), 8097);
  EXPECT_EQ(w.Data()[0], 9);  // contents kept
  w.SetSize(-5);
  EXPECT_EQ(w.Size(), 0);
  EXPECT_EQ(w.Capacity(), 0);
  w.SetFormatSize(-1);
  EXPECT_EQ(w.FormatSize(), 0);
  w.SetFormatSize(20);
  EXPECT_EQ(w.FormatSize(), 20);
}

TEST(Wave, AssignClearAndEmptySave) {
  TWave a;
  LoadImage(a, RiffImage({{"fmt ", PcmFormat(2, 16, 44100)}, {"data", Pcm16({1, 2, 3, 4})}}));
  TWave b;
  b.Assign(&a);
  EXPECT_EQ(WaveData(b), WaveData(a));
  EXPECT_EQ(WaveFormat(b), WaveFormat(a));
  b.Assign(nullptr);
  EXPECT_EQ(b.Size(), 0);
  EXPECT_EQ(b.FormatSize(), 0);
  TPersistent other;
  EXPECT_THROW(b.Assign(&other), EConvertError);

  // Nothing is written without a format or without data.
  TMemoryStream s;
  b.SaveToStream(&s);
  b.SetSize(4);
  b.SaveToStream(&s);
  b.SetSize(0);
  b.SetPCMFormat(1, 8, 8000);
  b.SaveToStream(&s);
  EXPECT_EQ(s.Size(), 0);
}

TEST(WaveStream, ReadSeekAndWriteStayInsideTheData) {
  const std::string data = "0123456789";
  TStringStream s("xx" + RiffImage({{"fmt ", PcmFormat(1, 8, 8000)}, {"data", data}, {"tail", "TAIL"}}));
  s.SetPosition(2);
  TWaveStream ws(&s);
  EXPECT_EQ(ws.GetSize(), 0);  // not open yet
  char buf[16] = {};
  EXPECT_THROW(ws.ReadWave(buf, 1), EWaveStreamError);
  ws.Open(false);
  try {
    ws.Open(false);
    ADD_FAILURE() << "opened twice";
  } catch (const EWaveStreamError& e) {
    EXPECT_EQ(e.Message(), "Stream is already open");
  }
  EXPECT_EQ(ws.GetSize(), 10);
  EXPECT_EQ(ws.Seek(100, soFromBeginning), 10);
  EXPECT_EQ(ws.Seek(-3, soFromEnd), 7);
  EXPECT_EQ(ws.Read(buf, 16), 3);
  EXPECT_EQ(std::string(buf, 3), "789");
  EXPECT_EQ(ws.Seek(-100, soFromCurrent), 0);
  // Writing in read mode overwrites samples in place and never runs into the next chunk.
  ws.Seek(8, soFromBeginning);
  EXPECT_EQ(ws.Write("ABCDEF", 6), 2);
  EXPECT_NE(s.DataString().find("01234567ABtail"), std::string::npos);
}

TEST(WaveStream, WritingNeedsAFormatAndCompletesTheHeader) {
  TMemoryStream s;
  {
    TWaveStream ws(&s);
    try {
      ws.Open(true);
      ADD_FAILURE() << "opened without a format";
    } catch (const EWaveStreamError& e) {
      EXPECT_EQ(e.Message(), "Format is invalid");
    }
  }
  const std::string fmt = PcmFormat(1, 8, 8000);
  {
    TWaveStream ws(&s);
    ws.SetFormat(reinterpret_cast<const uint8_t*>(fmt.data()), static_cast<int>(fmt.size()));
    ws.Open(true);
    ws.WriteBuffer("abc", 3);
    ws.WriteBuffer("de", 2);
    EXPECT_EQ(ws.GetSize(), 5);
  }  // freeing completes the header
  EXPECT_EQ(Bytes(s), RiffImage({{"fmt ", fmt}, {"data", "abcde"}}));
}
