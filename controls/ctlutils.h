// Small routines the extended controls share: integer and rectangle helpers, the built-in pictures
// and the two hand cursors, transparent and disabled-image drawing, the parent's image under a
// transparent control, text shortening, command-line style splitting of file names and file-name
// checks.
#pragma once

#include <string>

#include "platform/core/sysutils.h"
#include "platform/gui/controls.h"
#include "platform/gui/graphics.h"

VX_DECLARE_EXCEPTION(EResNotFound, Exception)

// The hand cursor shown over a slider's thumb and the closed hand of dragging.
constexpr TCursor crHand = 14000;
constexpr TCursor crDragHand = 14001;

// Registers the two hand cursors with the screen (once; later calls do nothing).
void RegisterControlCursors();

// --- integers and rectangles ----------------------------------------------------------------------
int Max(int A, int B);
int Min(int A, int B);
inline int WidthOf(const TRect& R) { return R.Right - R.Left; }
inline int HeightOf(const TRect& R) { return R.Bottom - R.Top; }
// Edges included on all four sides.
bool PointInRect(const TPoint& P, const TRect& R);
// The colour's RGB value marked palette-relative.
TColor PaletteColor(TColor Color);

// --- pictures ---------------------------------------------------------------------------------------
// Raises EResNotFound "Resource %s not found" with the name (or the number).
[[noreturn]] void ResourceNotFound(const std::string& Name);
[[noreturn]] void ResourceNotFound(int Id);
// A new bitmap with the named built-in picture (see glyphs.h); an unknown name raises
// ResourceNotFound. The caller owns the bitmap.
TBitmap* MakeModuleBitmap(const std::string& Name);

// Stretches the source rectangle of Src onto Dest, leaving out every pixel of TransparentColor.
void StretchBltTransparent(TCanvas* Dest, int X, int Y, int W, int H, TCanvas* Src, int SrcX, int SrcY, int SrcW,
                           int SrcH, TColor TransparentColor);
// Draws the SourceRect part of Bitmap stretched to X, Y, W, H. W or H below 1, or a source
// rectangle narrower or lower than 1, mean the bitmap's full size. TransparentColor clNone draws
// opaque with the canvas's copy mode; clDefault takes the bitmap's bottom-left pixel; a
// monochrome bitmap's transparent colour is white.
void DrawTransparentBitmapRect(TCanvas* Canvas, int X, int Y, int W, int H, const TRect& SourceRect, TBitmap* Bitmap,
                               TColor TransparentColor);
void DrawBitmapTransparent(TCanvas* Canvas, int X, int Y, TBitmap* Bitmap, TColor TransparentColor);
void DrawBitmapRectTransparent(TCanvas* Canvas, int X, int Y, const TRect& Rect, TBitmap* Bitmap,
                               TColor TransparentColor);

// A new bitmap of Bitmap's size in BackColor on which the pixels of Bitmap that differ from
// OutlineColor are stamped in HighlightColor one pixel down and right (when DrawHighlight) and in
// ShadowColor in place: the embossed look of a disabled picture.
TBitmap* CreateDisabledBitmapEx(TBitmap* Bitmap, TColor OutlineColor, TColor BackColor, TColor HighlightColor,
                                TColor ShadowColor, bool DrawHighlight);
// The same on the button face with the highlight and shadow colours.
TBitmap* CreateDisabledBitmap(TBitmap* Bitmap, TColor OutlineColor);

// Paints what lies beneath a window-less control (its parent's painting and the siblings drawn
// before it) into Canvas at 0, 0.
void CopyParentImage(TControl* Control, TCanvas* Canvas);

// The text height of Font (from its text metrics).
int FontTextHeight(const TFont& Font);

// Text itself when it fits into MaxWidth, else its longest prefix followed by "..." that fits
// ("..." alone when nothing else does).
std::string MinimizeText(const std::string& Text, TCanvas* Canvas, int MaxWidth);

// True when the active window belongs to this program.
bool IsForegroundTask();

// Lets the leak report at exit ask its Yes/No question in the application's message box (only
// Yes writes the report); the program calls it once at start-up.
void UseMessageBoxForCheckFree();

// --- command-line style splitting -------------------------------------------------------------------
// Reads one item from Line starting at Pos (0-based) and moves Pos behind it: blanks (below 33)
// and empty quote pairs are skipped, a double quote opens a run that may hold blanks, and the
// quotes are dropped.
std::string ReadCommandItem(const std::string& Line, size_t& Pos);
// Name: the first item; Params: the others joined by single blanks, those holding a blank quoted.
void SplitCommandLine(const std::string& Line, std::string& Name, std::string& Params);

// --- files ------------------------------------------------------------------------------------------
bool DirExists(const std::string& Name);
bool HasAny(const std::string& Text, const std::string& Chars);
// Not empty, none of < > " [ ] |, and no backslash in the name part.
bool ValidFileName(const std::string& Name);
// The long and the short form of an existing file's name; this system has one form only, so an
// existing name comes back unchanged and a missing one gives an empty text.
std::string ShortToLongFileName(const std::string& Name);
std::string LongToShortFileName(const std::string& Name);

// True when the short date format shows the year with four digits.
bool FourDigitYear();
