#include "platform/gui/graphics.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainterPath>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/gui/bmpcodec.h"
#include "platform/gui/qtbridge.h"

// ---------------------------------------------------------------------------------------------
// Colours

namespace {

// Classic Windows scheme, fixed so that screens look the same on every desktop.
constexpr TColor kSysColors[25] = {
    0xC0C0C0, 0x808000, 0x800000, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000, 0x000000,
    0xFFFFFF, 0xC0C0C0, 0xC0C0C0, 0x808080, 0x800000, 0xFFFFFF, 0xC0C0C0, 0x808080, 0x808080,
    0x000000, 0xC0C0C0, 0xFFFFFF, 0x000000, 0xC0C0C0, 0x000000, 0xE1FFFF};

struct ColorName {
  TColor value;
  const char* name;
};
constexpr ColorName kColorNames[] = {
    {clBlack, "clBlack"},       {clMaroon, "clMaroon"},
    {clGreen, "clGreen"},       {clOlive, "clOlive"},
    {clNavy, "clNavy"},         {clPurple, "clPurple"},
    {clTeal, "clTeal"},         {clGray, "clGray"},
    {clSilver, "clSilver"},     {clRed, "clRed"},
    {clLime, "clLime"},         {clYellow, "clYellow"},
    {clBlue, "clBlue"},         {clFuchsia, "clFuchsia"},
    {clAqua, "clAqua"},         {clWhite, "clWhite"},
    {clScrollBar, "clScrollBar"}, {clBackground, "clBackground"},
    {clActiveCaption, "clActiveCaption"}, {clInactiveCaption, "clInactiveCaption"},
    {clMenu, "clMenu"},         {clWindow, "clWindow"},
    {clWindowFrame, "clWindowFrame"}, {clMenuText, "clMenuText"},
    {clWindowText, "clWindowText"}, {clCaptionText, "clCaptionText"},
    {clActiveBorder, "clActiveBorder"}, {clInactiveBorder, "clInactiveBorder"},
    {clAppWorkSpace, "clAppWorkSpace"}, {clHighlight, "clHighlight"},
    {clHighlightText, "clHighlightText"}, {clBtnFace, "clBtnFace"},
    {clBtnShadow, "clBtnShadow"}, {clGrayText, "clGrayText"},
    {clBtnText, "clBtnText"},   {clInactiveCaptionText, "clInactiveCaptionText"},
    {clBtnHighlight, "clBtnHighlight"}, {cl3DDkShadow, "cl3DDkShadow"},
    {cl3DLight, "cl3DLight"},   {clInfoText, "clInfoText"},
    {clInfoBk, "clInfoBk"},     {clNone, "clNone"},
    {clDefault, "clDefault"}};

}  // namespace

TColor ColorToRGB(TColor c) {
  if (c < 0) return kSysColors[(c & 0xFF) < 25 ? (c & 0xFF) : 15];
  return c;
}

bool ColorToIdent(TColor c, std::string& ident) {
  for (const auto& e : kColorNames)
    if (e.value == c) {
      ident = e.name;
      return true;
    }
  return false;
}

bool IdentToColor(const std::string& ident, TColor& c) {
  for (const auto& e : kColorNames)
    if (SameText(ident, e.name)) {
      c = e.value;
      return true;
    }
  return false;
}

std::string ColorToString(TColor c) {
  std::string s;
  if (ColorToIdent(c, s)) return s;
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%.8X", unsigned(c));
  return buf;
}

TColor StringToColor(const std::string& s) {
  TColor c;
  if (IdentToColor(s, c)) return c;
  return TColor(StrToInt(s));
}

void GetColorValues(const std::function<void(const std::string&)>& proc) {
  for (const auto& e : kColorNames) proc(e.name);
}

QColor ToQColor(TColor c) {
  TColor v = ColorToRGB(c);
  return QColor(GetRValue(v), GetGValue(v), GetBValue(v));
}

// ---------------------------------------------------------------------------------------------
// Graphic objects

void TGraphicsObject::Changed() {
  if (OnChange) OnChange(this);
}

TFont::TFont() = default;
TFont::~TFont() = default;

void TFont::Assign(const TFont& s) {
  FName = s.FName;
  FHeight = s.FHeight;
  FStyle = s.FStyle;
  FColor = s.FColor;
  FCharset = s.FCharset;
  FPitch = s.FPitch;
  Changed();
}
void TFont::SetName(const std::string& v) {
  if (v != FName && !v.empty()) {
    FName = v;
    Changed();
  }
}
int TFont::Size() const { return FHeight < 0 ? MulDiv(-FHeight, 72, 96) : MulDiv(FHeight, 72, 96); }
void TFont::SetSize(int points) { SetHeight(-MulDiv(points, 96, 72)); }
void TFont::SetHeight(int v) {
  if (v != FHeight) {
    FHeight = v;
    Changed();
  }
}
void TFont::SetStyle(TFontStyles v) {
  if (v != FStyle) {
    FStyle = v;
    Changed();
  }
}
void TFont::SetColor(TColor v) {
  if (v != FColor) {
    FColor = v;
    Changed();
  }
}
void TFont::SetCharset(int v) {
  if (v != FCharset) {
    FCharset = v;
    Changed();
  }
}
void TFont::SetPitch(TFontPitch v) {
  if (v != FPitch) {
    FPitch = v;
    Changed();
  }
}

namespace {
struct FontSubst {
  const char* from;
  const char* to;
};
// Every target has the Polish letters. Arial, Courier New and Times New Roman map to the
// Liberation families, whose glyph widths match them, so that pages laid out for those fonts
// (the HTML viewer's documents, certificates) break their lines in the same places; the other
// Windows families map to DejaVu. Both are installed with the program's dependencies; a missing
// family falls back to DejaVu.
constexpr FontSubst kFontSubst[] = {
    {"MS Sans Serif", "DejaVu Sans"},      {"Microsoft Sans Serif", "DejaVu Sans"}, {"Arial", "Liberation Sans"},
    {"Tahoma", "DejaVu Sans"},             {"Verdana", "DejaVu Sans"},              {"System", "DejaVu Sans"},
    {"MS Shell Dlg", "DejaVu Sans"},       {"MS Shell Dlg 2", "DejaVu Sans"},       {"Helvetica", "Liberation Sans"},
    {"Courier New", "Liberation Mono"},    {"Courier", "Liberation Mono"},          {"Lucida Console", "DejaVu Sans Mono"},
    {"Fixedsys", "DejaVu Sans Mono"},      {"Terminal", "DejaVu Sans Mono"},        {"Times New Roman", "Liberation Serif"},
    {"Times", "Liberation Serif"},         {"Georgia", "DejaVu Serif"}};
}  // namespace

std::string SubstituteFontFamily(const std::string& name) {
  for (const auto& s : kFontSubst)
    if (SameText(name, s.from)) return s.to;
  return name;
}

std::string TFont::ResolvedFamily() const {
  std::string fam = SubstituteFontFamily(FName);
  EnsureQtApp();
  if (!QFontDatabase::hasFamily(ToQ(fam))) return FPitch == fpFixed ? "DejaVu Sans Mono" : "DejaVu Sans";
  return fam;
}

namespace {
// Pixel size whose cell height (ascent + descent) is h, per family.
int PixelSizeForCellHeight(const QString& family, int h) {
  static std::map<QString, double> ratio;
  auto it = ratio.find(family);
  if (it == ratio.end()) {
    QFont f(family);
    f.setPixelSize(100);
    QFontMetrics fm(f);
    it = ratio.emplace(family, fm.height() > 0 ? 100.0 / fm.height() : 0.86).first;
  }
  return std::max(1, int(std::lround(h * it->second)));
}
}  // namespace

QFont ToQFont(const TFont& f) {
  EnsureQtApp();
  QString fam = ToQ(f.ResolvedFamily());
  QFont q(fam);
  int h = f.Height();
  int px = h < 0 ? -h : (h > 0 ? PixelSizeForCellHeight(fam, h) : 11);
  q.setPixelSize(std::max(1, px));
  q.setBold(f.Style() & fsBold);
  q.setItalic(f.Style() & fsItalic);
  q.setUnderline(f.Style() & fsUnderline);
  q.setStrikeOut(f.Style() & fsStrikeOut);
  // Crisp text as the screens were designed for it; no kerning, so that the width of a string
  // is the sum of its characters' widths.
  q.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::NoSubpixelAntialias));
  q.setKerning(false);
  q.setHintingPreference(QFont::PreferFullHinting);
  return q;
}

std::vector<TFontFamilyInfo> EnumFontFamilies() {
  EnsureQtApp();
  std::vector<TFontFamilyInfo> out;
  const QStringList fams = QFontDatabase::families();
  for (const QString& f : fams) {
    TFontFamilyInfo i;
    i.Name = FromQ(f);
    if (i.Name.empty()) continue;
    i.FixedPitch = QFontDatabase::isFixedPitch(f);
    i.TrueType = QFontDatabase::isSmoothlyScalable(f);
    out.push_back(i);
  }
  for (const auto& s : kFontSubst) {
    if (std::any_of(out.begin(), out.end(), [&](const TFontFamilyInfo& i) { return SameText(i.Name, s.from); }))
      continue;
    TFontFamilyInfo i;
    i.Name = s.from;
    i.FixedPitch = QFontDatabase::isFixedPitch(QString::fromLatin1(s.to));
    out.push_back(i);
  }
  std::sort(out.begin(), out.end(), [](const TFontFamilyInfo& a, const TFontFamilyInfo& b) {
    return QString::compare(ToQ(a.Name), ToQ(b.Name), Qt::CaseInsensitive) < 0;
  });
  return out;
}

void TPen::Assign(const TPen& s) {
  FColor = s.FColor;
  FWidth = s.FWidth;
  FStyle = s.FStyle;
  FMode = s.FMode;
  Changed();
}
void TPen::SetColor(TColor v) { if (v != FColor) { FColor = v; Changed(); } }
void TPen::SetWidth(int v) { if (v != FWidth) { FWidth = v; Changed(); } }
void TPen::SetStyle(TPenStyle v) { if (v != FStyle) { FStyle = v; Changed(); } }
void TPen::SetMode(TPenMode v) { if (v != FMode) { FMode = v; Changed(); } }

TBrush::TBrush() = default;
TBrush::~TBrush() = default;
void TBrush::Assign(const TBrush& s) {
  FColor = s.FColor;
  FStyle = s.FStyle;
  FBitmap = s.FBitmap;
  Changed();
}
void TBrush::SetColor(TColor v) {
  if (v != FColor || FStyle == bsClear) {
    FColor = v;
    if (FStyle == bsClear) FStyle = bsSolid;
    Changed();
  }
}
void TBrush::SetStyle(TBrushStyle v) { if (v != FStyle) { FStyle = v; Changed(); } }
void TBrush::SetBitmap(TBitmap* b) { FBitmap = b; Changed(); }

// ---------------------------------------------------------------------------------------------
// Regions

TRegion::TRegion() : FImpl(new Impl) {}
TRegion::TRegion(const TRect& r) : FImpl(new Impl{QRegion(ToQRect(r))}) {}
TRegion::TRegion(const TRegion& o) : FImpl(new Impl{o.FImpl->r}) {}
TRegion& TRegion::operator=(const TRegion& o) {
  FImpl->r = o.FImpl->r;
  return *this;
}
TRegion::~TRegion() = default;
TRegion TRegion::FromMask(const TBitmap& bmp, TColor keyColor) {
  TRegion out;
  const uint32_t key = ToArgb(keyColor & 0xFFFFFF) & 0xFFFFFF;
  for (int y = 0; y < bmp.Height(); ++y) {
    const uint32_t* s = bmp.ScanLine(y);
    int x = 0;
    while (x < bmp.Width()) {
      while (x < bmp.Width() && (s[x] & 0xFFFFFF) == key) ++x;
      int start = x;
      while (x < bmp.Width() && (s[x] & 0xFFFFFF) != key) ++x;
      if (x > start) out.FImpl->r += QRect(start, y, x - start, 1);
    }
  }
  return out;
}
TRegion TRegion::United(const TRegion& o) const { TRegion t; t.FImpl->r = FImpl->r.united(o.FImpl->r); return t; }
TRegion TRegion::Subtracted(const TRegion& o) const { TRegion t; t.FImpl->r = FImpl->r.subtracted(o.FImpl->r); return t; }
TRegion TRegion::Intersected(const TRegion& o) const { TRegion t; t.FImpl->r = FImpl->r.intersected(o.FImpl->r); return t; }
TRegion TRegion::Translated(int dx, int dy) const { TRegion t; t.FImpl->r = FImpl->r.translated(dx, dy); return t; }
bool TRegion::Contains(int x, int y) const { return FImpl->r.contains(QPoint(x, y)); }
bool TRegion::IsEmpty() const { return FImpl->r.isEmpty(); }
TRect TRegion::BoundingRect() const { return FromQRect(FImpl->r.boundingRect()); }
std::vector<TRect> TRegion::Rects() const {
  std::vector<TRect> v;
  for (const QRect& r : FImpl->r) v.push_back(FromQRect(r));
  return v;
}

// ---------------------------------------------------------------------------------------------
// Canvas

struct TCanvas::State {
  struct Saved {
    bool hasClip;
    QRegion clip;
    int mapMode;
    QPoint winOrg, vpOrg;
    QSize winExt, vpExt;
    unsigned align;
  };
  bool hasClip = false;
  QRegion clip;  // device pixels
  int mapMode = MM_TEXT;
  QPoint winOrg, vpOrg;
  QSize winExt{1, 1}, vpExt{1, 1};
  double justify = 0;
  std::vector<Saved> saved;
};

TCanvas::TCanvas() : FFont(new TFont), FPen(new TPen), FBrush(new TBrush), FState(new State) {}
TCanvas::~TCanvas() = default;

void TCanvas::Attach(std::shared_ptr<TCanvasTarget> t) { FTarget = std::move(t); }
void TCanvas::Detach() { FTarget.reset(); }
bool TCanvas::HandleAllocated() const { return FTarget && (FTarget->painter || FTarget->Drawable()); }
void TCanvas::NotifyChanged(const TRect& r) {
  if (FTarget && FTarget->changed) FTarget->changed(ToQRect(r));
  if (OnChanged) OnChanged(r);
}

struct CanvasAccess {
  static QTransform Transform(const TCanvas* c) {
    const auto& s = *c->FState;
    QTransform t;
    QPoint o = c->FTarget ? c->FTarget->origin : QPoint();
    t.translate(o.x() + s.vpOrg.x(), o.y() + s.vpOrg.y());
    if (s.mapMode == MM_ANISOTROPIC && s.winExt.width() && s.winExt.height())
      t.scale(double(s.vpExt.width()) / s.winExt.width(), double(s.vpExt.height()) / s.winExt.height());
    t.translate(-s.winOrg.x(), -s.winOrg.y());
    return t;
  }
  static QRegion DeviceClip(const TCanvas* c) {
    QRect b = c->FTarget->Bounds();
    if (c->FState->hasClip) return c->FState->clip.intersected(b);
    return QRegion(b);
  }
  static QRect MapRect(const TCanvas* c, const TRect& r) {
    return Transform(c).mapRect(QRectF(r.Left, r.Top, r.Width(), r.Height())).toAlignedRect();
  }
  static QRect MapRectExact(const TCanvas* c, int x, int y, int w, int h) {
    QTransform t = Transform(c);
    QPointF a = t.map(QPointF(x, y)), b = t.map(QPointF(x + w, y + h));
    int x0 = int(std::lround(a.x())), y0 = int(std::lround(a.y()));
    int x1 = int(std::lround(b.x())), y1 = int(std::lround(b.y()));
    return QRect(QPoint(std::min(x0, x1), std::min(y0, y1)), QPoint(std::max(x0, x1) - 1, std::max(y0, y1) - 1));
  }
  static TCanvasTarget* T(const TCanvas* c) { return c->FTarget.get(); }
  static TCanvas::State& S(TCanvas* c) { return *c->FState; }
};

namespace {

// Opens a painter on the canvas target with its clip and mapping applied.
class Painting {
 public:
  explicit Painting(TCanvas* c) : c_(c) {
    TCanvasTarget* t = c->Target();
    if (!t) return;
    if (t->painter) {
      p_ = t->painter;
      p_->save();
      external_ = true;
    } else if (QImage* image = t->Image(); image && !image->isNull()) {
      own_.begin(image);
      p_ = &own_;
    } else {
      return;
    }
    p_->setWorldTransform(QTransform());
    p_->setClipRegion(CanvasAccess::DeviceClip(c));
    p_->setWorldTransform(CanvasAccess::Transform(c));
    p_->setRenderHint(QPainter::Antialiasing, false);
    p_->setRenderHint(QPainter::TextAntialiasing, false);
    p_->setRenderHint(QPainter::SmoothPixmapTransform, false);
  }
  ~Painting() {
    if (!p_) return;
    if (external_) p_->restore();
    else own_.end();
  }
  QPainter* operator->() { return p_; }
  QPainter* get() { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  TCanvas* c_;
  QPainter own_;
  QPainter* p_ = nullptr;
  bool external_ = false;
};

QPen MakePen(const TPen* p) {
  if (p->Style() == psClear) return QPen(Qt::NoPen);
  QPen q(ToQColor(p->Color()));
  q.setWidth(p->Width() <= 1 ? 0 : p->Width());
  switch (p->Style()) {
    case psDash: q.setStyle(Qt::DashLine); break;
    case psDot: q.setStyle(Qt::DotLine); break;
    case psDashDot: q.setStyle(Qt::DashDotLine); break;
    case psDashDotDot: q.setStyle(Qt::DashDotDotLine); break;
    default: q.setStyle(Qt::SolidLine);
  }
  return q;
}

QPainter::CompositionMode PenComposition(const TPen* p) {
  switch (p->Mode()) {
    case pmXor: return QPainter::RasterOp_SourceXorDestination;
    case pmNot: return QPainter::RasterOp_NotDestination;
    case pmMask: return QPainter::RasterOp_SourceAndDestination;
    case pmMerge: return QPainter::RasterOp_SourceOrDestination;
    case pmNotXor: return QPainter::RasterOp_NotSourceXorDestination;
    default: return QPainter::CompositionMode_SourceOver;
  }
}

QBrush MakeBrush(const TBrush* b) {
  if (b->Style() == bsClear) return QBrush(Qt::NoBrush);
  if (b->Bitmap() && !b->Bitmap()->Empty()) return QBrush(b->Bitmap()->Data()->image);
  Qt::BrushStyle st = Qt::SolidPattern;
  switch (b->Style()) {
    case bsHorizontal: st = Qt::HorPattern; break;
    case bsVertical: st = Qt::VerPattern; break;
    case bsFDiagonal: st = Qt::FDiagPattern; break;
    case bsBDiagonal: st = Qt::BDiagPattern; break;
    case bsCross: st = Qt::CrossPattern; break;
    case bsDiagCross: st = Qt::DiagCrossPattern; break;
    default: break;
  }
  return QBrush(ToQColor(b->Color()), st);
}

QRect DevRect(TCanvas* c, const QRectF& logical) {
  return CanvasAccess::Transform(c).mapRect(logical).toAlignedRect().adjusted(-1, -1, 1, 1);
}

}  // namespace

void TCanvas::FillRect(const TRect& r) {
  if (r.IsEmpty() || FBrush->Style() == bsClear) return;
  Painting p(this);
  if (!p) return;
  p->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), MakeBrush(FBrush.get()));
  NotifyChanged(FromQRect(DevRect(this, ToQRect(r))));
}

void TCanvas::FrameRect(const TRect& r) {
  if (r.IsEmpty()) return;
  Painting p(this);
  if (!p) return;
  QBrush b = MakeBrush(FBrush.get());
  QRect q = ToQRect(r);
  p->fillRect(QRect(q.left(), q.top(), q.width(), 1), b);
  p->fillRect(QRect(q.left(), q.bottom(), q.width(), 1), b);
  p->fillRect(QRect(q.left(), q.top(), 1, q.height()), b);
  p->fillRect(QRect(q.right(), q.top(), 1, q.height()), b);
  NotifyChanged(FromQRect(DevRect(this, q)));
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (x2 < x1) std::swap(x1, x2);
  if (y2 < y1) std::swap(y1, y2);
  Painting p(this);
  if (!p) return;
  QRect q(x1, y1, x2 - x1, y2 - y1);
  if (FBrush->Style() != bsClear) {
    // Without a pen the filled area is one pixel smaller on the right and bottom.
    QRect f = FPen->Style() == psClear ? q.adjusted(0, 0, -1, -1) : q;
    p->fillRect(f, MakeBrush(FBrush.get()));
  }
  if (FPen->Style() != psClear && q.width() > 0 && q.height() > 0) {
    p->setCompositionMode(PenComposition(FPen.get()));
    p->setPen(MakePen(FPen.get()));
    p->setBrush(Qt::NoBrush);
    int w = std::max(1, FPen->Width());
    if (w <= 1) p->drawRect(q.adjusted(0, 0, -1, -1));
    else p->drawRect(QRectF(q).adjusted(w / 2.0, w / 2.0, -w / 2.0, -w / 2.0));
  }
  NotifyChanged(FromQRect(DevRect(this, q)));
}

void TCanvas::RoundRect(int x1, int y1, int x2, int y2, int rx, int ry) {
  Painting p(this);
  if (!p) return;
  p->setPen(MakePen(FPen.get()));
  p->setBrush(MakeBrush(FBrush.get()));
  p->drawRoundedRect(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1), rx / 2.0, ry / 2.0);
  NotifyChanged(FromQRect(DevRect(this, QRect(x1, y1, x2 - x1, y2 - y1))));
}

void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  Painting p(this);
  if (!p) return;
  p->setPen(MakePen(FPen.get()));
  p->setBrush(MakeBrush(FBrush.get()));
  p->drawEllipse(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
  NotifyChanged(FromQRect(DevRect(this, QRect(x1, y1, x2 - x1, y2 - y1))));
}

namespace {
double RadialAngle(int x1, int y1, int x2, int y2, int px, int py) {
  double cx = (x1 + x2) / 2.0, cy = (y1 + y2) / 2.0;
  return std::atan2(-(py - cy), px - cx) * 180.0 / M_PI;
}
}  // namespace

void TCanvas::Arc(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  Painting p(this);
  if (!p) return;
  double a0 = RadialAngle(x1, y1, x2, y2, x3, y3), a1 = RadialAngle(x1, y1, x2, y2, x4, y4);
  double span = a1 - a0;
  if (span <= 0) span += 360;
  p->setPen(MakePen(FPen.get()));
  p->drawArc(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1), int(std::lround(a0 * 16)), int(std::lround(span * 16)));
  NotifyChanged(FromQRect(DevRect(this, QRect(x1, y1, x2 - x1, y2 - y1))));
}

void TCanvas::Pie(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) {
  Painting p(this);
  if (!p) return;
  double a0 = RadialAngle(x1, y1, x2, y2, x3, y3), a1 = RadialAngle(x1, y1, x2, y2, x4, y4);
  double span = a1 - a0;
  if (span <= 0) span += 360;
  p->setPen(MakePen(FPen.get()));
  p->setBrush(MakeBrush(FBrush.get()));
  p->drawPie(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1), int(std::lround(a0 * 16)), int(std::lround(span * 16)));
  NotifyChanged(FromQRect(DevRect(this, QRect(x1, y1, x2 - x1, y2 - y1))));
}

void TCanvas::Polygon(const std::vector<TPoint>& pts) {
  if (pts.empty()) return;
  Painting p(this);
  if (!p) return;
  QPolygon poly;
  for (auto& pt : pts) poly << QPoint(pt.X, pt.Y);
  p->setPen(MakePen(FPen.get()));
  p->setBrush(MakeBrush(FBrush.get()));
  p->drawPolygon(poly);
  NotifyChanged(FromQRect(DevRect(this, poly.boundingRect())));
}

void TCanvas::Polyline(const std::vector<TPoint>& pts) {
  if (pts.empty()) return;
  Painting p(this);
  if (!p) return;
  QPolygon poly;
  for (auto& pt : pts) poly << QPoint(pt.X, pt.Y);
  p->setCompositionMode(PenComposition(FPen.get()));
  p->setPen(MakePen(FPen.get()));
  p->drawPolyline(poly);
  FPenPos = pts.back();
  NotifyChanged(FromQRect(DevRect(this, poly.boundingRect())));
}

void TCanvas::MoveTo(int x, int y) { FPenPos = TPoint(x, y); }

void TCanvas::LineTo(int x, int y) {
  Painting p(this);
  TPoint from = FPenPos;
  FPenPos = TPoint(x, y);
  if (!p || FPen->Style() == psClear) return;
  p->setCompositionMode(PenComposition(FPen.get()));
  p->setPen(MakePen(FPen.get()));
  // The end point itself is not drawn, as with the Windows line.
  QLineF line(from.X, from.Y, x, y);
  if (from.X == x && from.Y == y) return;
  double len = line.length();
  if (len > 1) {
    QPointF d = (line.p2() - line.p1()) / len;
    QPointF end = line.p2() - d;
    p->drawLine(QPointF(from.X, from.Y), QPointF(std::round(end.x()), std::round(end.y())));
  } else {
    p->drawPoint(from.X, from.Y);
  }
  NotifyChanged(FromQRect(DevRect(this, QRect(QPoint(std::min(from.X, x), std::min(from.Y, y)),
                                                 QPoint(std::max(from.X, x), std::max(from.Y, y))))));
}

void TCanvas::DrawFocusRect(const TRect& r) {
  // Dotted frame inverting every other pixel, so that drawing it twice removes it.
  TCanvasTarget* t = FTarget.get();
  if (!t || !t->Image() || r.IsEmpty()) return;
  QRect d = CanvasAccess::MapRectExact(this, r.Left, r.Top, r.Width(), r.Height());
  QRegion clip = CanvasAccess::DeviceClip(this);
  auto inv = [&](int x, int y) {
    if (!clip.contains(QPoint(x, y))) return;
    QRgb* px = reinterpret_cast<QRgb*>(t->image->scanLine(y)) + x;
    *px = (*px ^ 0x00FFFFFFu) | 0xFF000000u;
  };
  for (int x = d.left(); x <= d.right(); ++x) {
    if (((x - d.left()) & 1) == 0) {
      inv(x, d.top());
      if (d.bottom() != d.top()) inv(x, d.bottom());
    }
  }
  for (int y = d.top() + 1; y < d.bottom(); ++y) {
    if (((y - d.top()) & 1) == 0) {
      inv(d.left(), y);
      if (d.right() != d.left()) inv(d.right(), y);
    }
  }
  NotifyChanged(FromQRect(d));
}

void TCanvas::Frame3D(TRect& r, TColor topColor, TColor bottomColor, int width) {
  Painting p(this);
  if (!p) return;
  QRect start = ToQRect(r);
  for (int i = 0; i < width; ++i) {
    QRect q = ToQRect(r);
    if (q.width() <= 0 || q.height() <= 0) break;
    QColor tc = ToQColor(topColor), bc = ToQColor(bottomColor);
    p->fillRect(QRect(q.left(), q.top(), q.width() - 1, 1), tc);
    p->fillRect(QRect(q.left(), q.top(), 1, q.height() - 1), tc);
    p->fillRect(QRect(q.right(), q.top(), 1, q.height()), bc);
    p->fillRect(QRect(q.left(), q.bottom(), q.width(), 1), bc);
    r = InflateRect(r, -1, -1);
  }
  NotifyChanged(FromQRect(DevRect(this, start)));
}

void Frame3D(TCanvas* c, TRect& r, TColor topColor, TColor bottomColor, int width) {
  c->Frame3D(r, topColor, bottomColor, width);
}

void TCanvas::FloodFillRect(const TRect& r, TColor c) {
  TColor old = FBrush->Color();
  TBrushStyle st = FBrush->Style();
  FBrush->SetColor(c);
  FillRect(r);
  FBrush->SetColor(old);
  FBrush->SetStyle(st);
}

// --- text -------------------------------------------------------------------------------------

namespace {
// A font as the canvas draws and measures with it. Building one (the family lookup in the font
// database, the metrics of a new font) costs far more than measuring a string, and layout code
// measures thousands of strings in a handful of fonts, so fonts are kept by what the QFont is
// built from: name, height, style, pitch and the word spacing of justified text. A changed font
// simply has another key, so no notification is needed.
struct CanvasFontKey {
  std::string name;
  int height = 0;
  TFontStyles style = 0;
  TFontPitch pitch = fpDefault;
  double wordSpacing = 0;
  bool operator==(const CanvasFontKey&) const = default;
};

struct CanvasFontKeyHash {
  size_t operator()(const CanvasFontKey& k) const {
    size_t h = std::hash<std::string>()(k.name);
    for (size_t v : {size_t(k.height), size_t(k.style), size_t(k.pitch), std::hash<double>()(k.wordSpacing)})
      h = h * 1000003u ^ v;
    return h;
  }
};

struct CanvasFontEntry {
  explicit CanvasFontEntry(const QFont& f) : font(f), metrics(f), fixedPitch(QFontInfo(f).fixedPitch()) {}
  QFont font;
  QFontMetrics metrics;
  bool fixedPitch;
};

std::shared_ptr<const CanvasFontEntry> CanvasFont(TCanvas* c, double wordSpacing = 0) {
  const TFont& tf = *c->Font();
  CanvasFontKey key{tf.Name(), tf.Height(), tf.Style(), tf.Pitch(), wordSpacing};
  // Never freed: fonts must not outlive the toolkit at exit. Bounded: a program uses few fonts,
  // and the cache starts over should something keep making new ones.
  static auto* cache =
      new std::unordered_map<CanvasFontKey, std::shared_ptr<const CanvasFontEntry>, CanvasFontKeyHash>();
  static std::mutex lock;
  std::lock_guard<std::mutex> guard(lock);
  auto it = cache->find(key);
  if (it != cache->end()) return it->second;
  QFont f = ToQFont(tf);
  if (wordSpacing) f.setWordSpacing(wordSpacing);
  if (cache->size() >= 256) cache->clear();
  auto entry = std::make_shared<const CanvasFontEntry>(f);
  cache->emplace(std::move(key), entry);
  return entry;
}
}  // namespace

void TCanvas::SetTextJustification(int extra, int breakCount) {
  FState->justify = (breakCount > 0) ? double(extra) / breakCount : 0;
}

void TCanvas::TextOut(int x, int y, const std::string& text) {
  QString s = ToQ(text);
  const auto cf = CanvasFont(this, FState->justify);
  const QFont& f = cf->font;
  const QFontMetrics& fm = cf->metrics;
  int w = fm.horizontalAdvance(s);
  FPenPos = TPoint(x + w, y);
  Painting p(this);
  if (!p) return;
  int left = x;
  if ((FTextAlign & TA_CENTER) == TA_CENTER) left = x - w / 2;
  else if (FTextAlign & TA_RIGHT) left = x - w;
  int top = y;
  if ((FTextAlign & TA_BASELINE) == TA_BASELINE) top = y - fm.ascent();
  else if (FTextAlign & TA_BOTTOM) top = y - fm.height();
  QRect cell(left, top, w, fm.height());
  if (FBrush->Style() != bsClear) p->fillRect(cell, ToQColor(FBrush->Color()));
  p->setFont(f);
  p->setPen(ToQColor(FFont->Color()));
  p->drawText(QPoint(left, top + fm.ascent()), s);
  NotifyChanged(FromQRect(DevRect(this, cell)));
}

void TCanvas::TextRect(const TRect& r, int x, int y, const std::string& text) {
  int saved = SaveDC();
  IntersectClipRect(r);
  if (FBrush->Style() != bsClear) FillRect(r);
  TBrushStyle st = FBrush->Style();
  FBrush->SetStyle(bsClear);
  TextOut(x, y, text);
  FBrush->SetStyle(st);
  RestoreDC(saved);
}

int TCanvas::TextWidth(const std::string& text) { return TextExtent(text).cx; }
int TCanvas::TextHeight(const std::string& text) { return TextExtent(text).cy; }
TSize TCanvas::TextExtent(const std::string& text) {
  const auto cf = CanvasFont(this, FState->justify);
  const QFontMetrics& fm = cf->metrics;
  return TSize(fm.horizontalAdvance(ToQ(text)), fm.height());
}

TSize TCanvas::GetTextExtentExPoint(const std::string& text, int maxExtent, int* fit, std::vector<int>* dx) {
  QString s = ToQ(text);
  const auto cf = CanvasFont(this, FState->justify);
  const QFontMetrics& fm = cf->metrics;
  if (dx) dx->assign(s.size(), 0);
  int count = 0;
  bool stopped = false;
  int w = 0;
  for (int i = 0; i < s.size(); ++i) {
    w = fm.horizontalAdvance(s.left(i + 1));
    if (dx) (*dx)[i] = w;
    if (!stopped && (maxExtent < 0 || w <= maxExtent)) count = i + 1;
    else stopped = true;
  }
  if (fit) *fit = count;
  return TSize(w, fm.height());
}

TTextMetric TCanvas::GetTextMetrics() {
  const auto cf = CanvasFont(this);
  const QFont& f = cf->font;
  const QFontMetrics& fm = cf->metrics;
  TTextMetric m;
  m.tmAscent = fm.ascent();
  m.tmDescent = fm.descent();
  m.tmHeight = fm.height();
  m.tmInternalLeading = std::max(0, fm.height() - f.pixelSize());
  m.tmExternalLeading = std::max(0, fm.leading());
  m.tmAveCharWidth = std::max(1, int(std::lround(fm.averageCharWidth())));
  m.tmMaxCharWidth = std::max(m.tmAveCharWidth, fm.maxWidth());
  m.tmOverhang = 0;
  m.FixedPitch = cf->fixedPitch;
  return m;
}

namespace {
struct TextLine {
  QString text;
  int underline = -1;  // index of the accelerator character in text
};

// Removes '&' prefixes ("&&" stays one '&'); returns the underlined index or -1.
int StripPrefix(QString& s) {
  QString out;
  int ul = -1;
  for (int i = 0; i < s.size(); ++i) {
    if (s[i] == QLatin1Char('&') && i + 1 < s.size()) {
      ++i;
      if (s[i] != QLatin1Char('&') && ul < 0) ul = out.size();
    }
    out += s[i];
  }
  s = out;
  return ul;
}

std::vector<TextLine> BreakText(const QString& text, const QFontMetrics& fm, int width, unsigned flags) {
  std::vector<TextLine> lines;
  QStringList paras;
  if (flags & DT_SINGLELINE) {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    paras << t;
  } else {
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    paras = t.split(QLatin1Char('\n'));
  }
  for (QString para : paras) {
    if (flags & DT_EXPANDTABS) para.replace(QLatin1Char('\t'), QLatin1String("        "));
    int ul = (flags & DT_NOPREFIX) ? -1 : StripPrefix(para);
    if (!(flags & DT_WORDBREAK) || (flags & DT_SINGLELINE) || fm.horizontalAdvance(para) <= width) {
      lines.push_back({para, ul});
      continue;
    }
    // Greedy breaking at blanks; a word wider than the line stays whole.
    int start = 0;
    while (start < para.size()) {
      int lastBreak = -1;
      int i = start;
      for (; i < para.size(); ++i) {
        if (para[i] == QLatin1Char(' ')) lastBreak = i;
        if (fm.horizontalAdvance(para.mid(start, i - start + 1)) > width && i > start) break;
      }
      int end;
      int next;
      if (i >= para.size()) {
        end = para.size();
        next = end;
      } else if (lastBreak > start) {
        end = lastBreak;
        next = lastBreak + 1;
      } else {
        // no blank: run to the next blank
        int b = para.indexOf(QLatin1Char(' '), i);
        end = b < 0 ? para.size() : b;
        next = b < 0 ? end : b + 1;
      }
      TextLine l{para.mid(start, end - start), -1};
      if (ul >= start && ul < end) l.underline = ul - start;
      lines.push_back(l);
      start = next;
      while (start < para.size() && para[start] == QLatin1Char(' ') && start != end) {
        if (start < para.size() && para[start] == QLatin1Char(' ')) ++start;
        else break;
      }
    }
  }
  return lines;
}
}  // namespace

int TCanvas::DrawText(const std::string& text, TRect& r, unsigned flags) {
  const auto cf = CanvasFont(this);
  const QFont& f = cf->font;
  const QFontMetrics& fm = cf->metrics;
  auto lines = BreakText(ToQ(text), fm, r.Width(), flags);
  const int lh = fm.height();
  int height = int(lines.size()) * lh;
  int maxw = 0;
  for (auto& l : lines) maxw = std::max(maxw, fm.horizontalAdvance(l.text));
  if (flags & DT_CALCRECT) {
    r.Right = r.Left + maxw;
    r.Bottom = r.Top + height;
    return height;
  }
  Painting p(this);
  if (!p) return height;
  if (!(flags & DT_NOCLIP)) p->setClipRect(ToQRect(r), Qt::IntersectClip);
  int y = r.Top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_VCENTER) y = r.Top + (r.Height() - lh) / 2;
    else if (flags & DT_BOTTOM) y = r.Bottom - lh;
  }
  p->setFont(f);
  QColor fg = ToQColor(FFont->Color());
  for (auto& l : lines) {
    int w = fm.horizontalAdvance(l.text);
    int x = r.Left;
    if (flags & DT_CENTER) x = r.Left + (r.Width() - w) / 2;
    else if (flags & DT_RIGHT) x = r.Right - w;
    QRect cell(x, y, w, lh);
    if (FBrush->Style() != bsClear) p->fillRect(cell, ToQColor(FBrush->Color()));
    p->setPen(fg);
    int qflags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
    if (flags & DT_RTLREADING) qflags |= Qt::TextForceRightToLeft;
    p->drawText(cell, qflags, l.text);
    if (l.underline >= 0 && !(flags & DT_RTLREADING)) {
      int ux = x + fm.horizontalAdvance(l.text.left(l.underline));
      int uw = fm.horizontalAdvance(l.text.mid(l.underline, 1));
      p->fillRect(QRect(ux, y + fm.ascent() + 1, uw, 1), fg);
    }
    y += lh;
  }
  NotifyChanged(FromQRect(DevRect(this, ToQRect(r))));
  return height;
}

// --- pictures ---------------------------------------------------------------------------------

void TCanvas::Draw(int x, int y, TGraphic* g) {
  if (!g || g->Empty()) return;
  g->Draw(this, Bounds(x, y, g->Width(), g->Height()));
}

void TCanvas::StretchDraw(const TRect& r, TGraphic* g) {
  if (!g || g->Empty()) return;
  g->Draw(this, r);
}

void TCanvas::CopyRect(const TRect& d, TCanvas* src, const TRect& s) {
  StretchBlt(this, d.Left, d.Top, d.Width(), d.Height(), src, s.Left, s.Top, s.Width(), s.Height(), FCopyMode);
}

void TCanvas::BrushCopy(const TRect& dest, TBitmap* bmp, const TRect& srcRect, TColor key) {
  if (!bmp || bmp->Empty()) return;
  TBitmap tmp;
  tmp.SetSize(srcRect.Width(), srcRect.Height());
  const uint32_t k = ToArgb(key) & 0xFFFFFF;
  const uint32_t repl = ToArgb(FBrush->Color());
  for (int y = 0; y < tmp.Height(); ++y) {
    uint32_t* d = tmp.ScanLine(y);
    int sy = srcRect.Top + y;
    for (int x = 0; x < tmp.Width(); ++x) {
      int sx = srcRect.Left + x;
      uint32_t px = (sy >= 0 && sy < bmp->Height() && sx >= 0 && sx < bmp->Width()) ? bmp->ScanLine(sy)[sx] : 0xFF000000u;
      d[x] = ((px & 0xFFFFFF) == k) ? repl : (px | 0xFF000000u);
    }
  }
  StretchBlt(this, dest.Left, dest.Top, dest.Width(), dest.Height(), tmp.Canvas(), 0, 0, tmp.Width(), tmp.Height(),
             SRCCOPY);
}

TColor TCanvas::Pixel(int x, int y) {
  TCanvasTarget* t = FTarget.get();
  if (!t || !t->Image()) return -1;
  QPoint d = CanvasAccess::Transform(this).map(QPoint(x, y));
  if (!CanvasAccess::DeviceClip(this).contains(d)) return -1;
  return FromArgb(t->image->pixel(d));
}

void TCanvas::SetPixel(int x, int y, TColor c) {
  TCanvasTarget* t = FTarget.get();
  if (!t || !t->Image()) return;
  QPoint d = CanvasAccess::Transform(this).map(QPoint(x, y));
  if (!CanvasAccess::DeviceClip(this).contains(d)) return;
  t->image->setPixel(d, ToArgb(c));
  NotifyChanged(TRect(d.x(), d.y(), d.x() + 1, d.y() + 1));
}

// --- clip and mapping -------------------------------------------------------------------------

void TCanvas::IntersectClipRect(const TRect& r) {
  if (!FTarget) return;
  QRect d = CanvasAccess::MapRectExact(this, r.Left, r.Top, r.Width(), r.Height());
  QRegion base = FState->hasClip ? FState->clip : QRegion(FTarget->Bounds());
  FState->clip = base.intersected(d);
  FState->hasClip = true;
}

void TCanvas::ExcludeClipRect(const TRect& r) {
  if (!FTarget) return;
  QRect d = CanvasAccess::MapRectExact(this, r.Left, r.Top, r.Width(), r.Height());
  QRegion base = FState->hasClip ? FState->clip : QRegion(FTarget->Bounds());
  FState->clip = base.subtracted(d);
  FState->hasClip = true;
}

void TCanvas::SelectClipRegion(const TRegion* rgn) {
  if (!rgn) {
    FState->hasClip = false;
    FState->clip = QRegion();
    return;
  }
  QPoint o = FTarget ? FTarget->origin : QPoint();
  FState->clip = rgn->impl()->r.translated(o);
  FState->hasClip = true;
}

TRect TCanvas::ClipRect() {
  if (!FTarget) return TRect();
  QRect d = CanvasAccess::DeviceClip(this).boundingRect();
  bool ok = false;
  QTransform inv = CanvasAccess::Transform(this).inverted(&ok);
  return FromQRect(inv.mapRect(QRectF(d)).toAlignedRect());
}

int TCanvas::SaveDC() {
  auto& s = *FState;
  s.saved.push_back({s.hasClip, s.clip, s.mapMode, s.winOrg, s.vpOrg, s.winExt, s.vpExt, FTextAlign});
  return int(s.saved.size());
}

void TCanvas::RestoreDC(int id) {
  auto& s = *FState;
  if (s.saved.empty()) return;
  size_t idx = id < 0 ? s.saved.size() - 1 : size_t(id - 1);
  if (idx >= s.saved.size()) return;
  const auto& v = s.saved[idx];
  s.hasClip = v.hasClip;
  s.clip = v.clip;
  s.mapMode = v.mapMode;
  s.winOrg = v.winOrg;
  s.vpOrg = v.vpOrg;
  s.winExt = v.winExt;
  s.vpExt = v.vpExt;
  FTextAlign = v.align;
  s.saved.resize(idx);
}

void TCanvas::SetMapMode(int mode) { FState->mapMode = mode; }
void TCanvas::SetWindowExt(int cx, int cy) { FState->winExt = QSize(cx, cy); }
void TCanvas::SetViewportExt(int cx, int cy) { FState->vpExt = QSize(cx, cy); }
void TCanvas::SetWindowOrg(int x, int y) { FState->winOrg = QPoint(x, y); }
void TCanvas::SetViewportOrg(int x, int y) { FState->vpOrg = QPoint(x, y); }
TPoint TCanvas::WindowOrg() const { return TPoint(FState->winOrg.x(), FState->winOrg.y()); }
TPoint TCanvas::ViewportOrg() const { return TPoint(FState->vpOrg.x(), FState->vpOrg.y()); }
TPoint TCanvas::LogicalToDevice(TPoint p) const {
  QPointF d = CanvasAccess::Transform(this).map(QPointF(p.X, p.Y));
  QPoint o = FTarget ? FTarget->origin : QPoint();
  return TPoint(int(std::lround(d.x())) - o.x(), int(std::lround(d.y())) - o.y());
}

void TCanvas::ScrollRect(int dx, int dy, const TRect& r, const TRect& clip) {
  TCanvasTarget* t = FTarget.get();
  if (!t || !t->Image()) return;
  QRect src = CanvasAccess::MapRectExact(this, r.Left, r.Top, r.Width(), r.Height()).intersected(t->Bounds());
  QRegion limit = CanvasAccess::DeviceClip(this);
  if (!clip.IsEmpty()) limit = limit.intersected(CanvasAccess::MapRectExact(this, clip.Left, clip.Top, clip.Width(), clip.Height()));
  QImage part = t->image->copy(src);
  QPainter p(t->image);
  p.setClipRegion(limit);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(src.topLeft() + QPoint(dx, dy), part);
  p.end();
  NotifyChanged(FromQRect(src.united(src.translated(dx, dy))));
}

// --- raster operations ------------------------------------------------------------------------

namespace {
inline uint32_t ApplyRop(uint32_t rop, uint32_t s, uint32_t d) {
  switch (rop) {
    case SRCCOPY: return s;
    case SRCPAINT: return s | d;
    case SRCAND: return s & d;
    case SRCINVERT: return s ^ d;
    case SRCERASE: return s & ~d;
    case NOTSRCCOPY: return ~s;
    case NOTSRCERASE: return ~(s | d);
    case MERGEPAINT: return ~s | d;
    case DSTINVERT: return ~d;
    case BLACKNESS: return 0;
    case WHITENESS: return 0xFFFFFF;
    case DSna: return d & ~s;
    default: return s;
  }
}
bool IsMonochrome(TCanvasTarget* t) { return t->monochrome; }
}  // namespace

namespace {
// The common case of a blit: an unscaled colour copy. Row by row without the per-pixel scaling
// and raster-operation work of the general path; pixels outside the source come out black, as
// they do there.
void CopyPixels(TCanvas* dest, const QImage& source, QRect srect, const QRect& drect) {
  TCanvasTarget* dt = dest->Target();
  QImage own;
  const QImage* from = &source;
  if (&source == dt->image) {  // source and destination may overlap
    own = source.copy(srect);
    from = &own;
    srect.moveTo(0, 0);
  }
  const QRegion clip = CanvasAccess::DeviceClip(dest).intersected(drect);
  for (const QRect& part : clip) {
    const int dx0 = part.left(), dx1 = part.right() + 1;
    const int shiftX = srect.left() - drect.left();
    // The columns of this part that the source covers.
    const int in0 = std::clamp(-shiftX, dx0, dx1), in1 = std::clamp(from->width() - shiftX, in0, dx1);
    for (int yy = part.top(); yy <= part.bottom(); ++yy) {
      QRgb* row = reinterpret_cast<QRgb*>(dt->image->scanLine(yy));
      const int syy = srect.top() + (yy - drect.top());
      if (syy < 0 || syy >= from->height()) {
        std::fill(row + dx0, row + dx1, 0xFF000000u);
        continue;
      }
      const QRgb* srow = reinterpret_cast<const QRgb*>(from->constScanLine(syy)) + shiftX;
      std::fill(row + dx0, row + in0, 0xFF000000u);
      for (int xx = in0; xx < in1; ++xx) row[xx] = 0xFF000000u | srow[xx];
      std::fill(row + in1, row + dx1, 0xFF000000u);
    }
  }
  dest->NotifyChanged(FromQRect(drect));
}
}  // namespace

void StretchBlt(TCanvas* dest, int x, int y, int w, int h, TCanvas* src, int sx, int sy, int sw, int sh,
                uint32_t rop) {
  if (!dest || !dest->Target() || w == 0 || h == 0) return;
  TCanvasTarget* dt = dest->Target();
  const bool needsSource = !(rop == BLACKNESS || rop == WHITENESS || rop == DSTINVERT);
  TCanvasTarget* st = src ? src->Target() : nullptr;
  if (needsSource && (!st || !st->Image() || sw == 0 || sh == 0)) return;
  dt->Image();  // a pending back buffer is made before it is drawn into
  QRect drect = CanvasAccess::MapRectExact(dest, x, y, w, h);
  QRect srect = needsSource ? CanvasAccess::MapRectExact(src, sx, sy, sw, sh) : QRect();
  const bool flipX = (w < 0) != (sw < 0), flipY = (h < 0) != (sh < 0);

  if (!dt->image) {
    // Printer pages: only copying is possible; every operation draws the source picture.
    if (!needsSource || !dt->painter) return;
    Painting p(dest);
    QImage part = st->image->copy(srect).convertToFormat(QImage::Format_RGB32);
    p->setWorldTransform(QTransform());
    p->drawImage(drect, part.mirrored(flipX, flipY));
    return;
  }
  const bool srcMono = needsSource && IsMonochrome(st);
  const bool dstMono = IsMonochrome(dt);
  if (rop == SRCCOPY && !srcMono && !dstMono && !flipX && !flipY && srect.size() == drect.size()) {
    CopyPixels(dest, *st->image, srect, drect);
    return;
  }
  QImage srcCopy;
  if (needsSource) srcCopy = st->image->copy(srect);  // separate copy: source and destination may overlap
  const uint32_t srcBk = needsSource ? (ToArgb(src->Brush()->Color()) & 0xFFFFFF) : 0;
  const uint32_t dstBk = ToArgb(dest->Brush()->Color()) & 0xFFFFFF;
  const uint32_t dstFg = ToArgb(dest->Font()->Color()) & 0xFFFFFF;
  QRegion clip = CanvasAccess::DeviceClip(dest).intersected(drect);
  const int dw = drect.width(), dh = drect.height();
  for (const QRect& part : clip) {
    for (int yy = part.top(); yy <= part.bottom(); ++yy) {
      QRgb* row = reinterpret_cast<QRgb*>(dt->image->scanLine(yy));
      int ry = yy - drect.top();
      if (flipY) ry = dh - 1 - ry;
      int syy = needsSource ? int((long long)ry * srcCopy.height() / dh) : 0;
      const QRgb* srow = needsSource && syy < srcCopy.height() ? reinterpret_cast<const QRgb*>(srcCopy.constScanLine(syy)) : nullptr;
      for (int xx = part.left(); xx <= part.right(); ++xx) {
        uint32_t s = 0;
        if (needsSource) {
          if (!srow) continue;
          int rx = xx - drect.left();
          if (flipX) rx = dw - 1 - rx;
          int sxx = int((long long)rx * srcCopy.width() / dw);
          if (sxx >= srcCopy.width()) continue;
          s = srow[sxx] & 0xFFFFFF;
          if (dstMono && !srcMono) s = (s == srcBk) ? 0xFFFFFF : 0;
          else if (srcMono && !dstMono) s = (s == 0xFFFFFF) ? dstBk : dstFg;
        }
        uint32_t d = row[xx] & 0xFFFFFF;
        uint32_t v = ApplyRop(rop, s, d) & 0xFFFFFF;
        if (dstMono) v = (v == 0xFFFFFF) ? 0xFFFFFF : 0;
        row[xx] = 0xFF000000u | v;
      }
    }
  }
  dest->NotifyChanged(FromQRect(drect));
}

void BitBlt(TCanvas* dest, int x, int y, int w, int h, TCanvas* src, int sx, int sy, uint32_t rop) {
  StretchBlt(dest, x, y, w, h, src, sx, sy, w, h, rop);
}

// ---------------------------------------------------------------------------------------------
// Pictures

void TGraphic::SetTransparent(bool v) {
  if (v != FTransparent) {
    FTransparent = v;
    Changed();
  }
}
void TGraphic::Changed() {
  if (OnChange) OnChange(this);
}

TBitmap::TBitmap() : FData(new TBitmapData) {
  FData->target = std::make_shared<TCanvasTarget>();
  FData->target->image = &FData->image;
}
TBitmap::~TBitmap() = default;

namespace {
void SetMonoTarget(TCanvasTarget* t, bool v) { t->monochrome = v; }
}  // namespace

void TBitmap::Reallocate(int w, int h) {
  w = std::max(0, w);
  h = std::max(0, h);
  if (w == FData->image.width() && h == FData->image.height()) return;
  QImage n;
  if (w && h) {
    n = QImage(w, h, QImage::Format_ARGB32);
    n.fill(0xFFFFFFFF);
    if (!FData->image.isNull()) {
      QPainter p(&n);
      p.setCompositionMode(QPainter::CompositionMode_Source);
      p.drawImage(0, 0, FData->image);
    }
  }
  FData->image = n;
  Changed();
}

int TBitmap::Width() const { return FData->image.width(); }
int TBitmap::Height() const { return FData->image.height(); }
void TBitmap::SetWidth(int w) { Reallocate(w, Height()); }
void TBitmap::SetHeight(int h) { Reallocate(Width(), h); }
void TBitmap::SetSize(int w, int h) { Reallocate(w, h); }

TCanvas* TBitmap::Canvas() {
  if (!FCanvas) {
    FCanvas.reset(new TCanvas);
    FCanvas->Attach(FData->target);
  }
  return FCanvas.get();
}

void TBitmap::SetPixelFormat(TPixelFormat pf) {
  if (pf == FPixelFormat) return;
  FPixelFormat = pf;
  SetMonoTarget(FData->target.get(), pf == pf1bit);
  if (pf == pf1bit) {
    for (int y = 0; y < Height(); ++y) {
      uint32_t* s = ScanLine(y);
      for (int x = 0; x < Width(); ++x) s[x] = ((s[x] & 0xFFFFFF) == 0xFFFFFF) ? 0xFFFFFFFFu : 0xFF000000u;
    }
  }
  Changed();
}

void TBitmap::SetMonochrome(bool v) {
  if (v) SetPixelFormat(pf1bit);
  else if (FPixelFormat == pf1bit) SetPixelFormat(pfDevice);
}

TColor TBitmap::TransparentColor() const {
  if (FTransparentMode == tmFixed) return FTransparentColor;
  if (Empty()) return clDefault;
  return FromArgb(FData->image.pixel(0, Height() - 1)) | clPaletteFlag;
}
void TBitmap::SetTransparentColor(TColor c) {
  FTransparentColor = c;
  FTransparentMode = c == clDefault ? tmAuto : tmFixed;
  Changed();
}
void TBitmap::SetTransparentMode(TTransparentMode m) {
  FTransparentMode = m;
  if (m == tmAuto) FTransparentColor = clDefault;
  Changed();
}

void TBitmap::Mask(TColor c) {
  const uint32_t k = ToArgb(c) & 0xFFFFFF;
  for (int y = 0; y < Height(); ++y) {
    uint32_t* s = ScanLine(y);
    for (int x = 0; x < Width(); ++x) s[x] = ((s[x] & 0xFFFFFF) == k) ? 0xFFFFFFFFu : 0xFF000000u;
  }
  FPixelFormat = pf1bit;
  SetMonoTarget(FData->target.get(), true);
  Changed();
}

uint32_t* TBitmap::ScanLine(int y) {
  if (y < 0 || y >= Height()) throw EInvalidGraphicOperation("Scan line index out of range");
  return reinterpret_cast<uint32_t*>(FData->image.scanLine(y));
}
const uint32_t* TBitmap::ScanLine(int y) const {
  if (y < 0 || y >= Height()) throw EInvalidGraphicOperation("Scan line index out of range");
  return reinterpret_cast<const uint32_t*>(FData->image.constScanLine(y));
}
TColor TBitmap::PixelColor(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) return -1;
  return FromArgb(FData->image.pixel(x, y));
}

void TBitmap::Assign(const TBitmap* src) {
  if (src == this) return;
  if (!src) {
    FData->image = QImage();
    Changed();
    return;
  }
  FData->image = src->FData->image.copy();
  FData->palette = src->FData->palette;
  FData->hasAlpha = src->FData->hasAlpha;
  FPixelFormat = src->FPixelFormat;
  SetMonoTarget(FData->target.get(), FPixelFormat == pf1bit);
  FTransparentMode = src->FTransparentMode;
  FTransparentColor = src->FTransparentColor;
  FTransparent = src->FTransparent;
  Changed();
}

void TBitmap::Assign(const TGraphic* src) {
  if (auto b = dynamic_cast<const TBitmap*>(src)) return Assign(b);
  if (auto j = dynamic_cast<const TJPEGImage*>(src)) {
    Assign(j->Bitmap());
    FPixelFormat = pf24bit;
    return;
  }
  Assign(static_cast<const TBitmap*>(nullptr));
}

void TBitmap::LoadFromBytes(const uint8_t* data, size_t size) {
  bmp::Image img;
  try {
    img = bmp::Decode(data, size);
  } catch (const bmp::Error& e) {
    throw EInvalidGraphic(e.message);
  }
  QImage q(img.width, img.height, QImage::Format_ARGB32);
  for (int y = 0; y < img.height; ++y)
    std::memcpy(q.scanLine(y), &img.pixels[size_t(y) * img.width], size_t(img.width) * 4);
  FData->image = q;
  FData->palette = img.palette;
  FData->hasAlpha = img.hasAlpha;
  switch (img.bitsPerPixel) {
    case 1: FPixelFormat = pf1bit; break;
    case 4: FPixelFormat = pf4bit; break;
    case 8: FPixelFormat = pf8bit; break;
    case 16: FPixelFormat = pf16bit; break;
    case 24: FPixelFormat = pf24bit; break;
    default: FPixelFormat = pf32bit;
  }
  // A 1-bit picture is only a monochrome mask when its palette is black and white.
  bool bw = img.bitsPerPixel == 1 && img.palette.size() >= 2 &&
            std::all_of(img.palette.begin(), img.palette.begin() + 2,
                        [](uint32_t c) { return (c & 0xFFFFFF) == 0 || (c & 0xFFFFFF) == 0xFFFFFF; });
  if (img.bitsPerPixel == 1 && !bw) FPixelFormat = pf4bit;
  SetMonoTarget(FData->target.get(), FPixelFormat == pf1bit);
  Changed();
}

std::vector<uint8_t> TBitmap::SaveToBytes() const {
  bmp::Image img;
  img.width = Width();
  img.height = Height();
  img.palette = FData->palette;
  img.hasAlpha = FData->hasAlpha;
  img.pixels.resize(size_t(img.width) * img.height);
  for (int y = 0; y < img.height; ++y)
    std::memcpy(&img.pixels[size_t(y) * img.width], FData->image.constScanLine(y), size_t(img.width) * 4);
  int depth = 24;
  switch (FPixelFormat) {
    case pf1bit: depth = 1; break;
    case pf4bit: depth = 4; break;
    case pf8bit: depth = 8; break;
    case pf15bit: depth = 15; break;
    case pf16bit: depth = 16; break;
    case pf32bit: depth = 32; break;
    default: depth = 24;
  }
  try {
    return bmp::Encode(img, depth);
  } catch (const bmp::Error& e) {
    throw EInvalidGraphic(e.message);
  }
}

void TBitmap::Draw(TCanvas* c, const TRect& r) {
  if (Empty() || !c->Target()) return;
  Painting p(c);
  if (!p) return;
  QImage src;
  if (FTransparent) {
    src = FData->image.copy();
    const uint32_t key = ToArgb(TransparentColor() & 0xFFFFFF) & 0xFFFFFF;
    for (int y = 0; y < src.height(); ++y) {
      QRgb* s = reinterpret_cast<QRgb*>(src.scanLine(y));
      for (int x = 0; x < src.width(); ++x) s[x] = ((s[x] & 0xFFFFFF) == key) ? 0 : (s[x] | 0xFF000000u);
    }
  } else {
    // Pictures are opaque whatever their fourth byte holds.
    src = QImage(FData->image.constBits(), Width(), Height(), FData->image.bytesPerLine(), QImage::Format_RGB32);
  }
  p->drawImage(ToQRect(r), src);
  c->NotifyChanged(FromQRect(DevRect(c, ToQRect(r))));
}

namespace {
std::vector<uint8_t> ReadStreamRest(TStream* s) {
  int64_t n = s->Size() - s->Position();
  std::vector<uint8_t> buf(n > 0 ? size_t(n) : 0);
  if (!buf.empty()) buf.resize(size_t(s->Read(buf.data(), int64_t(buf.size()))));
  return buf;
}
}  // namespace

void TBitmap::LoadFromStream(TStream* s) {
  // Honour the size in the file header so that several pictures can follow each other.
  int64_t start = s->Position();
  uint8_t head[14];
  int64_t got = s->Read(head, 14);
  s->SetPosition(start);
  size_t claimed = got == 14 ? bmp::ClaimedFileSize(head, 14) : 0;
  int64_t avail = s->Size() - start;
  std::vector<uint8_t> buf;
  if (claimed >= 26 && int64_t(claimed) <= avail) {
    buf.resize(claimed);
    buf.resize(size_t(s->Read(buf.data(), int64_t(claimed))));
  } else {
    buf = ReadStreamRest(s);
  }
  LoadFromBytes(buf.data(), buf.size());
}

void TBitmap::SaveToStream(TStream* s) {
  auto bytes = SaveToBytes();
  s->Write(bytes.data(), int64_t(bytes.size()));
}

void TGraphic::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  LoadFromStream(&f);
}

void TGraphic::SaveToFile(const std::string& fileName) {
  TFileStream f(fileName, fmCreate);
  SaveToStream(&f);
}

// --- TPicture ---------------------------------------------------------------------------------

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::Changed() {
  if (OnChange) OnChange(this);
}

void TPicture::SetGraphic(TGraphic* g) {
  if (!g) {
    FGraphic.reset();
  } else if (auto b = dynamic_cast<TBitmap*>(g)) {
    auto n = std::make_unique<TBitmap>();
    n->Assign(b);
    FGraphic = std::move(n);
  } else if (auto j = dynamic_cast<TJPEGImage*>(g)) {
    auto n = std::make_unique<TBitmap>();
    n->Assign(j);
    FGraphic = std::move(n);
  }
  if (FGraphic) FGraphic->OnChange = [this](TObject*) { Changed(); };
  Changed();
}

TBitmap* TPicture::Bitmap() {
  auto b = dynamic_cast<TBitmap*>(FGraphic.get());
  if (!b) {
    FGraphic = std::make_unique<TBitmap>();
    FGraphic->OnChange = [this](TObject*) { Changed(); };
    b = static_cast<TBitmap*>(FGraphic.get());
  }
  return b;
}

void TPicture::Assign(const TPicture* src) { SetGraphic(src ? src->Graphic() : nullptr); }

namespace {
std::string UpperExt(const std::string& fileName) {
  auto dot = fileName.find_last_of('.');
  auto slash = fileName.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string e = fileName.substr(dot + 1);
  for (auto& ch : e) ch = char(std::toupper(static_cast<unsigned char>(ch)));
  return e;
}
}  // namespace

void TPicture::LoadFromFile(const std::string& fileName) {
  std::string ext = UpperExt(fileName);
  std::unique_ptr<TGraphic> g;
  if (ext == "BMP") g = std::make_unique<TBitmap>();
  else if (ext == "JPG" || ext == "JPEG") g = std::make_unique<TJPEGImage>();
  else throw EInvalidGraphic("unknown extension");
  g->LoadFromFile(fileName);
  FGraphic = std::move(g);
  FGraphic->OnChange = [this](TObject*) { Changed(); };
  Changed();
}

void TPicture::SaveToFile(const std::string& fileName) {
  if (FGraphic) FGraphic->SaveToFile(fileName);
}
