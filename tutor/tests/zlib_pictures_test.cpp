#include <gtest/gtest.h>

#include "platform/gui/graphics.h"
#include "tutor/ZLibPictures.h"
#include "tutor/tests/test_archive.h"

namespace {

std::string SmallBitmapBytes() {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) B.ScanLine(y)[x] = 0xFF000000u | static_cast<uint32_t>(x * 0x40 + y * 0x4000);
  const std::vector<uint8_t> Bytes = B.SaveToBytes();
  return std::string(Bytes.begin(), Bytes.end());
}

class ZLibPicturesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Archive.OpenArchive(Dir.Write("pics.zlb", MakeArchive({{"key.bmp", SmallBitmapBytes()},
                                                                       {"broken.bmp", "BM not really"},
                                                                       {"photo.jpg", "no jpeg here"},
                                                                       {"anim.gif", "GIF89a"}},
                                                                      true))));
  }
  TTempDir Dir;
  TZLBArchive Archive;
};

TEST_F(ZLibPicturesTest, BitmapMemberBecomesThePicture) {
  TPicture P;
  LoadPictureFromArchive(&P, "KEY.BMP", &Archive);
  ASSERT_NE(dynamic_cast<TBitmap*>(P.Graphic()), nullptr);
  EXPECT_EQ(P.Width(), 3);
  EXPECT_EQ(P.Height(), 2);
  EXPECT_EQ(P.Bitmap()->ScanLine(1)[2] & 0xFFFFFF, 0x4080u);
}

TEST_F(ZLibPicturesTest, FailuresPassOnAndLeaveThePictureAlone) {
  TPicture P;
  LoadPictureFromArchive(&P, "key.bmp", &Archive);
  struct TCase {
    const char* Member;
    const char* Class;
    const char* Message;  // nullptr: whatever the decoder says
  };
  for (const TCase& C :
       {TCase{"anim.gif", "EInvalidGraphic", "unknown extension"},
        TCase{"missing.bmp", "Exception", "File not found in archive"},
        TCase{"broken.bmp", "EInvalidGraphic", nullptr}, TCase{"photo.jpg", "EInvalidGraphic", nullptr}}) {
    SCOPED_TRACE(C.Member);
    try {
      LoadPictureFromArchive(&P, C.Member, &Archive);
      ADD_FAILURE() << "no exception";
    } catch (const Exception& E) {
      EXPECT_EQ(E.ClassName(), C.Class);
      if (C.Message) {
        EXPECT_EQ(E.Message(), C.Message);
      }
    }
    EXPECT_EQ(P.Width(), 3);
  }
}

}  // namespace
