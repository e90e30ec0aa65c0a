// Rasterising SVG pictures and writing PNG files, for the build tools that make the interface's
// pictures. The result is a plain bmp::Image, so callers never see the toolkit.
#pragma once

#include <string>

#include "platform/gui/bmpcodec.h"

namespace svg {

// Renders an SVG document (UTF-8 bytes) at its own width and height, or at Width x Height when
// both are positive. Pixels are 0xAARRGGBB, not premultiplied; what the drawing leaves uncovered
// has alpha 0. Raises bmp::Error with a message when the document cannot be parsed or has no size.
bmp::Image Render(const std::string& Document, int Width = 0, int Height = 0);

// Writes Img as a PNG file (alpha kept). Raises bmp::Error when the file cannot be written.
void SavePng(const bmp::Image& Img, const std::string& Path);

// Reads a PNG or BMP file through the toolkit (used only to look at results).
bmp::Image LoadImageFile(const std::string& Path);

}  // namespace svg
