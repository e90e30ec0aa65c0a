#pragma once
// Pictures of the viewer on the platform's bitmaps: loading BMP, GIF and JPEG files and streams
// (PNG is recognised but not decoded), masks from transparency, and transparent painting.

#include <memory>
#include <string>

#include "htmlview/imagecache.h"
#include "platform/gui/graphics.h"

// Conversions between the viewer's pixel pictures and platform bitmaps.
std::unique_ptr<TBitmap> BitmapFromPixels(const TPixelBuffer& Pixels);
TPixelBuffer PixelsFromBitmap(const TBitmap& Bitmap);
// A mask as a black-and-white bitmap: white = transparent.
std::unique_ptr<TBitmap> BitmapFromMask(const TMaskBuffer& Mask);

// nullptr for missing, unknown, PNG or broken files. Convert adapts the picture to the screen,
// which is true colour, so it changes nothing.
std::unique_ptr<TPixelBuffer> LoadImageFile(const std::string& FileName, bool Convert);
// With Transparency 1 (set by the caller for TRANSP) the lower-left colour becomes transparent;
// GIF and PNG files with a transparent colour set 2 and 3. Mask is left empty without transparency.
std::unique_ptr<TPixelBuffer> LoadImageAndMask(const std::string& FileName, uint8_t& Transparency,
                                               std::unique_ptr<TMaskBuffer>& Mask);
// BMP and JPEG streams of at least 20 bytes; GIF streams are read by the caller as GIFs.
std::unique_ptr<TPixelBuffer> LoadImageFromStream(TStream* Stream, uint8_t& Transparency,
                                                  std::unique_ptr<TMaskBuffer>& Mask);

// Paints Image stretched to (X, Y, Width, Height), leaving out the pixels the mask marks.
void DrawTransparentImage(TCanvas* Canvas, const TPixelBuffer& Image, const TMaskBuffer* Mask, int X, int Y,
                          int Width, int Height);
// Printing: the picture stretched to the rectangle; with a mask only a strip of rows
// (FirstRow .. FirstRow + Rows - 1), so that a picture can be split across pages.
void PrintImage(TCanvas* Canvas, int X, int Y, int Width, int Height, const TPixelBuffer& Image);
void PrintTransparentImage(TCanvas* Canvas, int X, int Y, int NewWidth, int NewHeight, const TPixelBuffer& Image,
                           const TMaskBuffer& Mask, int FirstRow, int Rows);
// Paints the GIF's current composed frame stretched to the rectangle and remembers the rectangle.
void DrawGif(TCanvas* Canvas, TGIFImage& Gif, int X, int Y, int Width, int Height);

// The viewer's cursors, registered with the screen under these ids.
constexpr int crLinkHand = 1, crLinkBusy = 2, crUpDownScroll = 3, crUpScroll = 4, crDownScroll = 5;
void InstallViewerCursors();
