#include "tools/svg2bmp/picturetools.h"

#include <gtest/gtest.h>

#include "platform/gui/svgrender.h"

namespace {

// A rounded button drawn through the real renderer, then made a skin.
bmp::Image RenderSkin(const std::string& Body, uint32_t Matte = 0x2a64a3) {
  bmp::Image img = svg::Render("<svg xmlns='http://www.w3.org/2000/svg' width='40' height='20'>" + Body + "</svg>");
  pictures::MakeSkin(img, Matte);
  return img;
}

uint32_t At(const bmp::Image& Img, int X, int Y) { return Img.pixels[static_cast<size_t>(Y) * Img.width + X]; }

TEST(SkinPicture, UncoveredPixelsBecomeTheKeyAndOnlyThey) {
  const bmp::Image img = RenderSkin("<rect x='2' y='2' width='36' height='16' rx='6' fill='#00ff00'/>"
                                    "<rect x='10' y='6' width='20' height='8' fill='#ffffff'/>");
  EXPECT_EQ(At(img, 0, 19), pictures::kKeyGreen);  // the corner the controls take the key from
  EXPECT_EQ(At(img, 39, 0), pictures::kKeyGreen);
  EXPECT_EQ(At(img, 20, 10), 0xFFFFFFFFu);
  // Drawn pure green would be punched out of the button: it is moved off the key.
  EXPECT_EQ(At(img, 5, 10), 0xFF00FE00u);
  // Round trip through our own BMP codec keeps the key pixel exact.
  const std::vector<uint8_t> file = bmp::Encode(img, 24);
  ASSERT_GE(file.size(), 54u);
  EXPECT_EQ(file[14], 40);  // info header size
  EXPECT_EQ(bmp::Decode(file.data(), file.size()).pixels[19 * 40] & 0xFFFFFF, 0x00FF00u);
}

TEST(SkinPicture, ACoveredCornerIsRefused) {
  EXPECT_THROW(RenderSkin("<rect width='40' height='20' fill='#123456'/>"), bmp::Error);
}

TEST(SkinPicture, HalfCoveredEdgesBlendOverTheMatteOrDrop) {
  bmp::Image img;
  img.width = 3;
  img.height = 1;
  img.pixels = {0x40FFFFFF, 0x80FFFFFF, 0xFFFF0000};
  pictures::MakeSkin(img, 0x000000);
  EXPECT_EQ(img.pixels[0], pictures::kKeyGreen);
  EXPECT_EQ(img.pixels[1], 0xFF808080u);
  EXPECT_EQ(img.pixels[2], 0xFFFF0000u);
}

TEST(SvgRender, UnreadableDocumentsAreErrors) {
  for (const char* doc : {"", "<svg", "<svg xmlns='http://www.w3.org/2000/svg'></svg>", "not svg at all"})
    EXPECT_THROW(svg::Render(doc), bmp::Error) << doc;
}

}  // namespace
