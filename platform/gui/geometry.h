// Points, sizes and rectangles of the drawing layer (right and bottom edges exclusive).
#pragma once

#include <algorithm>

struct TPoint {
  int X = 0;
  int Y = 0;
  constexpr TPoint() = default;
  constexpr TPoint(int x, int y) : X(x), Y(y) {}
  bool operator==(const TPoint&) const = default;
};

struct TSize {
  int cx = 0;
  int cy = 0;
  constexpr TSize() = default;
  constexpr TSize(int w, int h) : cx(w), cy(h) {}
  bool operator==(const TSize&) const = default;
};

struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  constexpr TRect() = default;
  constexpr TRect(int l, int t, int r, int b) : Left(l), Top(t), Right(r), Bottom(b) {}
  constexpr int Width() const { return Right - Left; }
  constexpr int Height() const { return Bottom - Top; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  constexpr bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  constexpr TPoint TopLeft() const { return {Left, Top}; }
  constexpr TPoint BottomRight() const { return {Right, Bottom}; }
  bool operator==(const TRect&) const = default;
};

inline constexpr TRect Rect(int l, int t, int r, int b) { return TRect(l, t, r, b); }
inline constexpr TRect Bounds(int l, int t, int w, int h) { return TRect(l, t, l + w, t + h); }
inline constexpr TPoint Point(int x, int y) { return TPoint(x, y); }

inline TRect IntersectRect(const TRect& a, const TRect& b) {
  TRect r(std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom));
  if (r.IsEmpty()) return TRect();
  return r;
}
inline TRect UnionRect(const TRect& a, const TRect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return TRect(std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom));
}
inline TRect OffsetRect(const TRect& r, int dx, int dy) { return TRect(r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy); }
inline TRect InflateRect(const TRect& r, int dx, int dy) { return TRect(r.Left - dx, r.Top - dy, r.Right + dx, r.Bottom + dy); }
