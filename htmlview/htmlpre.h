#pragma once
// Preformatted text that never wraps, horizontal rules and forced page breaks.

#include "htmlview/htmlsection.h"

class TPreFormated : public TSection {
 public:
  using TSection::TSection;
  TSectionBase* CloneFor(TSectionList* ADocument) const override { return new TPreFormated(ADocument, *this); }
  bool Preformatted() const override { return true; }
  void Complete() override;
  void WidthRange(TCanvas* Canvas, int& Min, int& Max) override;
  int Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
              int& Curs) override;

 private:
  TPreFormated(TSectionList* ADocument, const TPreFormated& Source) : TSection(ADocument, Source) {}
};

class THorzLine : public TSectionBase {
 public:
  static constexpr int32_t NoColor = 0x1FFFFFFF;
  // ASize: SIZE (1..20, else 2); AAlign: "left", "right", anything else centres.
  THorzLine(TSectionList* ADocument, int ASize = 0, const std::string& AAlign = "", bool ANoShade = false,
            int32_t AColor = NoColor);
  int32_t RuleHeight = 2;
  int32_t Color = NoColor;
  uint8_t Align = 2;
  bool NoShade = false;
  int32_t Width = 0;
  int32_t RuleX = 0;
  TSectionBase* CloneFor(TSectionList* ADocument) const override;
  int Arrange(TCanvas* Canvas, int X, int Y, int AWidth, int AHeight, IndentManager* IMgr, int& MaxWidth,
              int& Curs) override;
  int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) override;
};

// A forced page break (PAGE). Named apart from the notebook page of the GUI layer, with which it
// would otherwise share its global name.
class TPageBreak : public TSectionBase {
 public:
  using TSectionBase::TSectionBase;
  TSectionBase* CloneFor(TSectionList* ADocument) const override {
    auto* P = new TPageBreak(ADocument);
    P->FlowHeight = FlowHeight;
    return P;
  }
  // Printing: the page ends here (unless the break stands within 5 pixels of the page's top).
  int Paint(TCanvas* Canvas, const TRect& ARect, IndentManager* IMgr, int X, int XRef, int YRef) override;
};
