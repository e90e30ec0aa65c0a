// Turning a rendered SVG picture into the BMP the program loads.
//
// Pages and other plain pictures are made opaque over a matte colour. Pictures of skinned buttons
// and check boxes take their transparent colour from their bottom-left pixel, so for them every
// pixel the drawing leaves (nearly) uncovered becomes pure green, the bottom-left pixel must be
// one of them, and a drawn pixel that happens to be pure green is moved off it by one step so it
// is not punched out of the button.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/gui/bmpcodec.h"

namespace pictures {

constexpr uint32_t kKeyGreen = 0xFF00FF00;  // 0xAARRGGBB

// Opaque picture: every pixel blended over Matte (0xRRGGBB).
void Flatten(bmp::Image& Img, uint32_t Matte);

// Skinned-control picture: pixels below half coverage become the key green; the rest are blended
// over Matte. Raises bmp::Error when the bottom-left pixel is covered by the drawing.
void MakeSkin(bmp::Image& Img, uint32_t Matte);

// Draws Top over Base at (X, Y): pixels of Top equal to Key (when Key is not 0) are left out, the
// others are blended by their alpha. Parts outside Base are clipped.
void Composite(bmp::Image& Base, const bmp::Image& Top, int X, int Y, uint32_t Key = 0);

// "#rrggbb" or "rrggbb" as 0xRRGGBB; raises bmp::Error on anything else.
uint32_t ParseColour(const std::string& Text);

std::string ReadFile(const std::string& Path);
void WriteFile(const std::string& Path, const std::vector<uint8_t>& Bytes);

}  // namespace pictures
