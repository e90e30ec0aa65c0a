// A small custom-painted chart: bar, line, area and pie series with value marks, paging of
// the points and callbacks for axis labels and after drawing.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gui/controls.h"

enum TChartSeriesKind { skBar, skLine, skArea, skPie };

struct TChartPoint {
  double Value = 0;
  std::string Label;
  TColor Color = clDefault;  // clDefault: the series colour (pie: a colour of its own)
};

class TChart;

class TChartSeries : public TObject {
 public:
  TChartSeries(TChart* chart, TChartSeriesKind kind);
  TChartSeriesKind Kind() const { return FKind; }
  void SetKind(TChartSeriesKind k);
  std::string Title;
  TColor SeriesColor = clRed;
  bool MarksVisible = false;
  // FormatFloat mask of the value marks.
  std::string MarksFormat = "#,##0.";
  void Add(double value, const std::string& label = "", TColor color = clDefault);
  void Clear();
  int Count() const { return int(FPoints.size()); }
  const TChartPoint& Point(int i) const { return FPoints.at(size_t(i)); }
  TChart* Chart() const { return FChart; }

 private:
  TChart* FChart;
  TChartSeriesKind FKind;
  std::vector<TChartPoint> FPoints;
};

using TAxisLabelEvent = std::function<void(TObject* Sender, TChartSeries* Series, int ValueIndex, std::string& LabelText)>;

class TChart : public TCustomControl {
 public:
  explicit TChart(TComponent* AOwner);
  ~TChart() override;
  TChartSeries* AddSeries(TChartSeriesKind kind);
  int SeriesCount() const { return int(FSeries.size()); }
  TChartSeries* Series(int i) const { return FSeries.at(size_t(i)).get(); }
  void RemoveAllSeries();
  std::string Title;
  // Points shown per page (0: all); pages are numbered from 1.
  int MaxPointsPerPage() const { return FPerPage; }
  void SetMaxPointsPerPage(int n);
  int Page() const { return FPage; }
  void SetPage(int p);
  int NumPages() const;
  TColor BackColor = clWhite;
  TAxisLabelEvent OnGetAxisLabel;
  TNotifyEvent OnAfterDraw;
  // Plot rectangle of the last paint (client coordinates).
  TRect ChartRect() const { return FChartRect; }
  // Lines of axis labels of the last paint: 2 when neighbouring labels were too wide to share one.
  int LabelRows() const { return FLabelRows; }
  // Rectangle of the bar of point i (index on the current page) of series s.
  TRect BarRect(int s, int i) const;
  void Paint() override;
  void Changed() { Invalidate(); }

 private:
  std::vector<std::unique_ptr<TChartSeries>> FSeries;
  int FPerPage = 0;
  int FPage = 1;
  TRect FChartRect;
  int FLabelRows = 1;
  std::vector<std::vector<TRect>> FBars;
};
