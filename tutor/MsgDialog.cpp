#include "tutor/MsgDialog.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>

#include "platform/gui/stdctrls.h"
#include "tutor/translations.h"

namespace {

constexpr std::array<TMsgDlgBtn, 11> AllButtons = {mbYes,   mbNo,    mbOK,  mbCancel,  mbAbort, mbRetry,
                                                   mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp};
constexpr std::array<const char*, 11> ButtonIds = {"Yes",    "No",  "OK",      "Cancel",   "Abort", "Retry",
                                                   "Ignore", "All", "NoToAll", "YesToAll", "Help"};
constexpr std::array<int, 11> ButtonResults = {mrYes,    mrNo,  mrOk,      mrCancel,   mrAbort, mrRetry,
                                               mrIgnore, mrAll, mrNoToAll, mrYesToAll, mrNone};
constexpr std::array<const char*, 5> CaptionIds = {"Warning", "Error", "Information", "Confirm", ""};

constexpr int IconSize = 32;

bool Has(TMsgDlgButtons Buttons, TMsgDlgBtn B) { return (Buttons & MsgDlgButton(B)) != 0; }

// The measured width of each button text: measured once and reused while the text stays the same
// (a table loaded after the first dialog gets its texts measured anew).
int ButtonTextWidth(TCanvas* Canvas, TMsgDlgBtn B, const std::string& Text) {
  static std::map<std::pair<int, std::string>, int> Measured;
  const auto Key = std::make_pair(static_cast<int>(B), Text);
  auto It = Measured.find(Key);
  if (It != Measured.end()) return It->second;
  TRect R(0, 0, 0, 0);
  Canvas->DrawText(Text, R, DT_CALCRECT | DT_LEFT | DT_SINGLELINE);
  const int W = R.Right - R.Left + 8;
  Measured.emplace(Key, W);
  return W;
}

// The system icons of the dialog types, drawn at 32x32 on a transparent key colour.
void PaintIcon(TBitmap* Bmp, TMsgDlgType DlgType) {
  constexpr TColor Key = clFuchsia;
  Bmp->SetSize(IconSize, IconSize);
  TCanvas* C = Bmp->Canvas();
  C->Brush()->SetStyle(bsSolid);
  C->Brush()->SetColor(Key);
  C->FillRect(TRect(0, 0, IconSize, IconSize));
  C->Pen()->SetWidth(1);
  auto Glyph = [C](const std::string& Text, TColor Color) {
    C->Font()->SetName("Times New Roman");
    C->Font()->SetHeight(-24);
    C->Font()->SetStyle(fsBold);
    C->Font()->SetColor(Color);
    C->Brush()->SetStyle(bsClear);
    TRect R(0, 0, IconSize, IconSize);
    C->DrawText(Text, R, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  };
  switch (DlgType) {
    case mtWarning:
      C->Pen()->SetColor(clBlack);
      C->Brush()->SetColor(clYellow);
      C->Polygon({TPoint(16, 1), TPoint(31, 29), TPoint(1, 29)});
      C->Brush()->SetColor(clBlack);
      C->FillRect(TRect(14, 10, 18, 21));
      C->FillRect(TRect(14, 23, 18, 27));
      break;
    case mtError:
      C->Pen()->SetColor(clMaroon);
      C->Brush()->SetColor(clRed);
      C->Ellipse(1, 1, 31, 31);
      C->Pen()->SetColor(clWhite);
      C->Pen()->SetWidth(4);
      C->MoveTo(10, 10);
      C->LineTo(22, 22);
      C->MoveTo(22, 10);
      C->LineTo(10, 22);
      break;
    case mtInformation:
    case mtConfirmation:
      C->Pen()->SetColor(clNavy);
      C->Brush()->SetColor(clWhite);
      C->Ellipse(1, 1, 31, 31);
      Glyph(DlgType == mtInformation ? "i" : "?", clBlue);
      break;
    case mtCustom:
      break;
  }
  Bmp->SetTransparentColor(Key);
  Bmp->SetTransparent(true);
}

}  // namespace

std::string MsgDlgButtonId(TMsgDlgBtn B) { return ButtonIds[static_cast<std::size_t>(B)]; }
int MsgDlgButtonResult(TMsgDlgBtn B) { return ButtonResults[static_cast<std::size_t>(B)]; }
std::string MsgDlgCaptionId(TMsgDlgType DlgType) { return CaptionIds[static_cast<std::size_t>(DlgType)]; }

TForm* CreateTranslatedMessageDialog(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons) {
  auto* Dlg = new TForm(Application);
  try {
    Dlg->SetBiDiMode(Application->BiDiMode());
    Dlg->SetBorderStyle(bsDialog);
    Dlg->Font()->Assign(*Screen->MessageFont());
    TCanvas* Canvas = Dlg->Canvas();
    Canvas->Font()->Assign(*Dlg->Font());
    Canvas->Font()->SetCharset(EASTEUROPE_CHARSET);

    // Average character width and text height of the message font.
    std::string Letters;
    for (char Ch = 'A'; Ch <= 'Z'; ++Ch) Letters += Ch;
    for (char Ch = 'a'; Ch <= 'z'; ++Ch) Letters += Ch;
    const TSize Extent = Canvas->TextExtent(Letters);
    const int W = Extent.cx / 52;
    const int H = Extent.cy;
    const int HorzMargin = MulDiv(8, W, 4);
    const int VertMargin = MulDiv(8, H, 8);
    const int HorzSpacing = MulDiv(10, W, 4);
    const int VertSpacing = MulDiv(10, H, 8);
    const int ButtonHeight = MulDiv(14, H, 8);
    const int ButtonSpacing = MulDiv(4, W, 4);
    int ButtonWidth = MulDiv(50, W, 4);
    int ButtonCount = 0;
    for (TMsgDlgBtn B : AllButtons) {
      if (!Has(Buttons, B)) continue;
      ++ButtonCount;
      ButtonWidth = std::max(ButtonWidth, ButtonTextWidth(Canvas, B, Translate(MsgDlgButtonId(B))));
    }

    const bool RightToLeft = Application->UseRightToLeftReading();
    TRect TextRect(0, 0, Screen->Width() / 2, 0);
    Canvas->DrawText(Msg, TextRect, DT_EXPANDTABS | DT_CALCRECT | DT_WORDBREAK | (RightToLeft ? DT_RTLREADING : 0));
    const bool WithIcon = DlgType != mtCustom;
    int IconTextWidth = TextRect.Right;
    int IconTextHeight = TextRect.Bottom;
    if (WithIcon) {
      IconTextWidth += IconSize + HorzSpacing;
      IconTextHeight = std::max(IconTextHeight, IconSize);
    }
    const int ButtonGroupWidth = ButtonCount > 0 ? ButtonWidth * ButtonCount + ButtonSpacing * (ButtonCount - 1) : 0;
    Dlg->SetClientWidth(std::max(IconTextWidth, ButtonGroupWidth) + HorzMargin * 2);
    Dlg->SetClientHeight(IconTextHeight + ButtonHeight + VertSpacing + VertMargin * 2);
    Dlg->SetLeft(Screen->Width() / 2 - Dlg->Width() / 2);
    Dlg->SetTop(Screen->Height() / 2 - Dlg->Height() / 2);
    Dlg->SetCaption(WithIcon ? Translate(MsgDlgCaptionId(DlgType)) : Application->Title());

    if (WithIcon) {
      auto* Image = new TImage(Dlg);
      Image->SetName("Image");
      Image->SetParent(Dlg);
      PaintIcon(Image->Picture()->Bitmap(), DlgType);
      Image->SetTransparent(true);
      Image->SetBounds(HorzMargin, VertMargin, IconSize, IconSize);
    }
    auto* Label = new TLabel(Dlg);
    Label->SetName("Message");
    Label->SetParent(Dlg);
    Label->SetAutoSize(false);
    Label->SetWordWrap(true);
    Label->SetCaption(Msg);
    int LabelLeft = IconTextWidth - TextRect.Right + HorzMargin;
    if (RightToLeft) {
      // Right-to-left reading mirrors the label: the text stands at the right, beside the icon.
      Label->SetAlignment(taRightJustify);
      LabelLeft = Dlg->ClientWidth() - LabelLeft - TextRect.Right;
    }
    Label->SetBounds(LabelLeft, VertMargin, TextRect.Right, TextRect.Bottom);

    const TMsgDlgBtn DefaultButton = Has(Buttons, mbOK) ? mbOK : Has(Buttons, mbYes) ? mbYes : mbRetry;
    const TMsgDlgBtn CancelButton = Has(Buttons, mbCancel) ? mbCancel : Has(Buttons, mbNo) ? mbNo : mbOK;
    int X = (Dlg->ClientWidth() - ButtonGroupWidth) / 2;
    for (TMsgDlgBtn B : AllButtons) {
      if (!Has(Buttons, B)) continue;
      auto* Button = new TButton(Dlg);
      Button->SetName(MsgDlgButtonId(B));
      Button->SetParent(Dlg);
      Button->SetCaption(Translate(MsgDlgButtonId(B)));
      Button->SetModalResult(MsgDlgButtonResult(B));
      Button->SetDefault(B == DefaultButton);
      Button->SetCancel(B == CancelButton);
      Button->SetBounds(X, IconTextHeight + VertMargin + VertSpacing, ButtonWidth, ButtonHeight);
      X += ButtonWidth + ButtonSpacing;
    }
    return Dlg;
  } catch (...) {
    delete Dlg;
    throw;
  }
}

int MessageDlgPos(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y) {
  std::unique_ptr<TForm> Dlg(CreateTranslatedMessageDialog(Msg, DlgType, Buttons));
  // There is no help file to open: the help button carries the context and leaves the dialog open.
  if (TComponent* Help = Dlg->FindComponent("Help")) Help->SetTag(HelpCtx);
  if (X >= 0) Dlg->SetLeft(X);
  if (Y >= 0) Dlg->SetTop(Y);
  if (X < 0 && Y < 0) Dlg->SetPosition(poScreenCenter);
  return Dlg->ShowModal();
}

int TranslatedMessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx) {
  return MessageDlgPos(Msg, DlgType, Buttons, HelpCtx, -1, -1);
}

void ShowMessagePos(const std::string& Msg, int X, int Y) {
  MessageDlgPos(Msg, mtCustom, MsgDlgButton(mbOK), 0, X, Y);
}

void ShowMessage(const std::string& Msg) { ShowMessagePos(Msg, -1, -1); }
