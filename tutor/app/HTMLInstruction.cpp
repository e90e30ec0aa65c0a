#include "tutor/app/HTMLInstruction.h"

#include <iostream>
#include <memory>

#include "controls/vxbutton.h"
#include "controls/vximage.h"
#include "htmlview/htmlview.h"
#include "platform/core/datetime.h"
#include "platform/core/fileutils.h"
#include "platform/gui/stdctrls.h"
#include "tutor/app/panel.h"
#include "tutor/fmELog.h"

namespace {

constexpr TColor kBoxColor = static_cast<TColor>(8204800);

struct TBoxLayout {
  const char* Background;
  int Width, Height;
  TRect View;
  int OkLeft, OkTop;
};

void RunBox(const std::string& Caption, const std::string& Document, const TBoxLayout& L) {
  std::unique_ptr<TForm> F(new TForm(nullptr));
  F->SetName("InstructionForm");
  F->SetBorderStyle(bsSingle);
  F->SetBorderIcons(0);
  F->SetCaption(Caption);
  F->SetColor(kBoxColor);
  F->SetClientWidth(L.Width);
  F->SetClientHeight(L.Height);
  F->SetPosition(poMainFormCenter);
  TZLBArchive* Archive = PanelForm ? PanelForm->MainArchive : nullptr;
  auto* Back = new TVxImage(F.get());
  Back->SetName("VxImage1");
  Back->SetParent(F.get());
  Back->SetArchive(Archive);
  Back->SetBounds(0, 0, L.Width, L.Height);
  Back->SetBitmapName(L.Background);
  auto* View = new THTMLViewer(F.get());
  View->SetName("HTMLViewer");
  View->SetParent(F.get());
  View->SetBounds(L.View.Left, L.View.Top, L.View.Width(), L.View.Height());
  View->SetBorderStyle(htNone);
  View->SetHistoryMaxCount(0);
  View->SetDefBackground(kBoxColor);
  View->CharSet = EASTEUROPE_CHARSET;
  auto* Ok = new TVxButton(F.get());
  Ok->SetName("BtnOK");
  Ok->SetTransparentColor(static_cast<TColor>(0x0200FF00));
  Ok->SetParent(F.get());
  Ok->SetArchive(Archive);
  Ok->SetFNameUp("BtnOK_up.bmp");
  Ok->SetFNameDown("BtnOK_down.bmp");
  Ok->SetFNameOver("BtnOK_over.bmp");
  Ok->SetLeft(L.OkLeft);
  Ok->SetTop(L.OkTop);
  Ok->SetCaption("OK");
  Ok->SetParentFont(false);
  Ok->Font()->SetStyle(fsBold);
  Ok->Font()->SetSize(10);
  Ok->Font()->SetColor(kBoxColor);
  TForm* Form = F.get();
  Ok->OnClick = [Form](TObject*) { Form->SetModalResult(mrOk); };
  auto* Enter = new TButton(F.get());
  Enter->SetName("EnterButton");
  Enter->SetParent(F.get());
  Enter->SetDefault(true);
  Enter->SetCancel(true);
  Enter->SetModalResult(mrOk);
  Enter->SetVisible(false);
  try {
    View->LoadFromFile(ProgramPath(Document));
  } catch (const std::exception& E) {
    // A missing document shows an empty box; it must not end the program.
    std::cerr << "vx: " << E.what() << "\n";
    try {
      if (ELogger) ELogger->LogException(E, nullptr, Now());
    } catch (...) {
    }
  }
  F->ShowModal();
}

}  // namespace

void ShowInstructionBox(const std::string& Caption, const std::string& Document) {
  // The tips' background: the text stays on its upper panel, clear of the strip under it.
  RunBox(Caption, Document, {"instruction_bcg.bmp", 540, 400, TRect(20, 20, 520, 290), 190, 350});
}

void ShowPopUpHelp(const std::string& Document) {
  RunBox("Pomoc", Document, {"popuphelp_bcg.bmp", 600, 450, TRect(20, 20, 580, 370), 215, 388});
}
