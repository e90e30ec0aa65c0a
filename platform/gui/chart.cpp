#include "platform/gui/chart.h"

#include <algorithm>
#include <cmath>

TChartSeries::TChartSeries(TChart* chart, TChartSeriesKind kind) : FChart(chart), FKind(kind) {}
void TChartSeries::SetKind(TChartSeriesKind k) {
  FKind = k;
  FChart->Changed();
}
void TChartSeries::Add(double value, const std::string& label, TColor color) {
  FPoints.push_back({value, label, color});
  FChart->Changed();
}
void TChartSeries::Clear() {
  FPoints.clear();
  FChart->Changed();
}

TChart::TChart(TComponent* AOwner) : TCustomControl(AOwner) {
  SetTabStop(false);
  SetBounds(0, 0, 400, 250);
}
TChart::~TChart() = default;

TChartSeries* TChart::AddSeries(TChartSeriesKind kind) {
  FSeries.push_back(std::make_unique<TChartSeries>(this, kind));
  Invalidate();
  return FSeries.back().get();
}
void TChart::RemoveAllSeries() {
  FSeries.clear();
  Invalidate();
}
void TChart::SetMaxPointsPerPage(int n) {
  FPerPage = std::max(0, n);
  FPage = std::clamp(FPage, 1, NumPages());
  Invalidate();
}
int TChart::NumPages() const {
  int n = 0;
  for (auto& s : FSeries) n = std::max(n, s->Count());
  if (FPerPage <= 0 || n == 0) return 1;
  return (n + FPerPage - 1) / FPerPage;
}
void TChart::SetPage(int p) {
  p = std::clamp(p, 1, NumPages());
  if (p == FPage) return;
  FPage = p;
  Invalidate();
}
TRect TChart::BarRect(int s, int i) const {
  if (s < 0 || size_t(s) >= FBars.size() || i < 0 || size_t(i) >= FBars[size_t(s)].size()) return TRect();
  return FBars[size_t(s)][size_t(i)];
}

namespace {
const TColor kPieColors[] = {clRed, clGreen, clYellow, clBlue, clWhite, clGray, clFuchsia, clTeal, clNavy, clMaroon,
                             clLime, clOlive, clPurple, clSilver, clAqua, clBlack};
}

void TChart::Paint() {
  TCanvas* c = Canvas();
  c->Brush()->SetColor(BackColor);
  c->FillRect(ClientRect());
  c->Font()->Assign(*Font());
  const int th = c->TextHeight("0");
  int top = 4 + (Title.empty() ? 0 : th + 4);
  if (!Title.empty()) {
    TRect tr(0, 4, Width(), 4 + th);
    c->Brush()->SetStyle(bsClear);
    c->DrawText(Title, tr, DT_CENTER | DT_SINGLELINE);
  }
  const int first = FPerPage > 0 ? (FPage - 1) * FPerPage : 0;
  int shown = 0;
  for (auto& s : FSeries) shown = std::max(shown, std::min(s->Count() - first, FPerPage > 0 ? FPerPage : s->Count()));
  shown = std::max(0, shown);
  // Value range over the shown points (zero always included).
  double maxV = 0, minV = 0;
  for (auto& s : FSeries)
    for (int i = first; i < std::min(s->Count(), first + shown); ++i) {
      maxV = std::max(maxV, s->Point(i).Value);
      minV = std::min(minV, s->Point(i).Value);
    }
  if (maxV == minV) maxV = minV + 1;
  std::string maxLabel = FormatFloat("#,##0.", maxV);
  int left = 8 + c->TextWidth(maxLabel);
  bool pieOnly = !FSeries.empty() && std::all_of(FSeries.begin(), FSeries.end(),
                                                 [](auto& s) { return s->Kind() == skPie; });
  // Labels under the axis, from the first series that has the point. When two neighbours would
  // run into each other, every second label goes one line lower.
  std::vector<std::string> labels;
  if (!pieOnly && !FSeries.empty())
    for (int k = 0; k < shown; ++k) {
      TChartSeries* s = nullptr;
      for (auto& ss : FSeries)
        if (first + k < ss->Count()) {
          s = ss.get();
          break;
        }
      labels.emplace_back(s ? s->Point(first + k).Label : std::string());
      if (s && OnGetAxisLabel) OnGetAxisLabel(this, s, first + k, labels.back());
    }
  const double labelSlot = shown > 0 ? double(Width() - 10 - left) / shown : 0;
  FLabelRows = 1;
  for (size_t k = 1; k < labels.size(); ++k)
    if ((c->TextWidth(labels[k - 1]) + c->TextWidth(labels[k])) / 2 + 4 > labelSlot) FLabelRows = 2;
  FChartRect = TRect(left, top + th, Width() - 10, Height() - FLabelRows * th - 8);
  FBars.assign(FSeries.size(), {});
  const TRect& pr = FChartRect;
  if (pr.Width() <= 0 || pr.Height() <= 0) return;
  if (!pieOnly) {
    c->Pen()->SetColor(clBlack);
    c->MoveTo(pr.Left, pr.Top);
    c->LineTo(pr.Left, pr.Bottom);
    c->LineTo(pr.Right, pr.Bottom);
    c->Brush()->SetStyle(bsClear);
    c->TextOut(2, pr.Top - th / 2, maxLabel);
  }
  auto yOf = [&](double v) { return pr.Bottom - int(std::lround((v - minV) / (maxV - minV) * (pr.Height() - 1))); };
  const int barSeries = int(std::count_if(FSeries.begin(), FSeries.end(), [](auto& s) { return s->Kind() == skBar; }));
  const double slot = shown > 0 ? double(pr.Width()) / shown : 0;
  int barNo = 0;
  for (size_t si = 0; si < FSeries.size(); ++si) {
    TChartSeries* s = FSeries[si].get();
    int n = std::max(0, std::min(s->Count() - first, shown));
    if (s->Kind() == skPie) {
      double total = 0;
      for (int i = first; i < first + n; ++i) total += std::max(0.0, s->Point(i).Value);
      if (total <= 0) continue;
      int d = std::min(pr.Width(), pr.Height());
      TRect box = Bounds(pr.Left + (pr.Width() - d) / 2, pr.Top + (pr.Height() - d) / 2, d, d);
      double a = 0;
      c->Pen()->SetColor(clBlack);
      for (int i = first; i < first + n; ++i) {
        double v = std::max(0.0, s->Point(i).Value);
        if (v <= 0) continue;
        double a2 = a + v / total * 2 * M_PI;
        int cx = (box.Left + box.Right) / 2, cy = (box.Top + box.Bottom) / 2;
        TColor col = s->Point(i).Color != clDefault ? s->Point(i).Color : kPieColors[(i - first) % 16];
        c->Brush()->SetColor(col);
        if (n == 1 || v >= total) c->Ellipse(box);
        else
          c->Pie(box.Left, box.Top, box.Right, box.Bottom, cx + int(1000 * std::cos(a)), cy - int(1000 * std::sin(a)),
                 cx + int(1000 * std::cos(a2)), cy - int(1000 * std::sin(a2)));
        a = a2;
      }
      continue;
    }
    std::vector<TPoint> pts;
    for (int k = 0; k < n; ++k) {
      const TChartPoint& p = s->Point(first + k);
      int x0 = pr.Left + int(k * slot);
      int x1 = pr.Left + int((k + 1) * slot);
      int y = yOf(p.Value), y0 = yOf(0);
      TColor col = p.Color != clDefault ? p.Color : s->SeriesColor;
      if (s->Kind() == skBar) {
        int w = std::max(1, (x1 - x0) * 7 / 10 / std::max(1, barSeries));
        int bx = x0 + (x1 - x0) * 15 / 100 + barNo * w;
        TRect r(bx, std::min(y, y0), bx + w, std::max(y, y0) + 1);
        c->Brush()->SetColor(col);
        c->Pen()->SetColor(clBlack);
        c->Rectangle(r);
        FBars[si].push_back(r);
        if (s->MarksVisible) {
          std::string m = FormatFloat(s->MarksFormat, p.Value);
          c->Brush()->SetStyle(bsClear);
          c->Font()->SetColor(Font()->Color());
          c->TextOut(bx + (w - c->TextWidth(m)) / 2, std::min(y, y0) - th - 1, m);
        }
      } else {
        pts.push_back(TPoint((x0 + x1) / 2, y));
      }
    }
    if (s->Kind() == skBar) ++barNo;
    if (s->Kind() == skArea && !pts.empty()) {
      std::vector<TPoint> poly = pts;
      poly.push_back(TPoint(pts.back().X, yOf(0)));
      poly.push_back(TPoint(pts.front().X, yOf(0)));
      c->Brush()->SetColor(s->SeriesColor);
      c->Pen()->SetColor(s->SeriesColor);
      c->Polygon(poly);
    }
    if (s->Kind() == skLine && !pts.empty()) {
      c->Pen()->SetColor(s->SeriesColor);
      c->Pen()->SetWidth(2);
      c->Polyline(pts);
      c->Pen()->SetWidth(1);
    }
  }
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(Font()->Color());
  for (int k = 0; k < int(labels.size()); ++k) {
    int x0 = pr.Left + int(k * slot), x1 = pr.Left + int((k + 1) * slot);
    c->TextOut((x0 + x1 - c->TextWidth(labels[size_t(k)])) / 2, pr.Bottom + 3 + (FLabelRows == 2 && k % 2 ? th : 0),
               labels[size_t(k)]);
  }
  if (OnAfterDraw) OnAfterDraw(this);
}
