#include "tutor/EFrm.h"

#include <exception>
#include <memory>

TErrorForm* ErrorForm = nullptr;

namespace {
TLabel* AddLabel(TErrorForm* Form, TWinControl* Parent, const std::string& Caption, int Left, int Top) {
  auto* L = new TLabel(Form);
  L->SetParent(Parent);
  L->SetCaption(Caption);
  L->SetLeft(Left);
  L->SetTop(Top);
  return L;
}
}  // namespace

TErrorForm::TErrorForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("ErrorForm");
  SetCaption("Internal Application Error");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(420);
  SetClientHeight(290);

  PageControl = new TPageControl(this);
  PageControl->SetName("PageControl");
  PageControl->SetParent(this);
  PageControl->SetBounds(8, 8, 404, 274);

  UserSheet = new TTabSheet(this);
  UserSheet->SetName("UserSheet");
  UserSheet->SetCaption("User");
  UserSheet->SetPageControl(PageControl);
  ErrorSheet = new TTabSheet(this);
  ErrorSheet->SetName("ErrorSheet");
  ErrorSheet->SetCaption("Error");
  ErrorSheet->SetPageControl(PageControl);

  AddLabel(this, UserSheet, "An Internal Application Error has occurred.", 8, 8);
  AddLabel(this, UserSheet, "In order to assist us in finding the cause of the error, please enter", 8, 32);
  AddLabel(this, UserSheet, "in the space below what you were doing at the time the error", 8, 48);
  AddLabel(this, UserSheet, "occurred.", 8, 64);
  UserMemo = new TMemo(this);
  UserMemo->SetName("UserMemo");
  UserMemo->SetParent(UserSheet);
  UserMemo->SetBounds(8, 86, 380, 110);
  UserMemo->SetScrollBars(ssVertical);
  OKBtn = new TButton(this);
  OKBtn->SetName("OKBtn");
  OKBtn->SetParent(UserSheet);
  OKBtn->SetCaption("&OK");
  OKBtn->SetDefault(true);
  OKBtn->SetModalResult(mrOk);
  OKBtn->SetBounds(156, 204, 80, 25);

  AddLabel(this, ErrorSheet, "Error Class:", 8, 8);
  ErrClassLabel = AddLabel(this, ErrorSheet, "", 16, 26);
  ErrClassLabel->SetName("ErrClassLabel");
  AddLabel(this, ErrorSheet, "Error Message:", 8, 52);
  ErrMsgLabel = AddLabel(this, ErrorSheet, "", 16, 70);
  ErrMsgLabel->SetName("ErrMsgLabel");
  ErrMsgLabel->SetAutoSize(false);
  ErrMsgLabel->SetWordWrap(true);
  ErrMsgLabel->SetBounds(16, 70, 372, 96);
  LogFileTitle = AddLabel(this, ErrorSheet, "Log File:", 8, 176);
  LogFileTitle->SetName("LogFileTitle");
  LogFileLabel = AddLabel(this, ErrorSheet, "", 16, 194);
  LogFileLabel->SetName("LogFileLabel");
  LogFileLabel->SetAutoSize(false);
  LogFileLabel->SetWordWrap(true);
  LogFileLabel->SetShowAccelChar(false);
  LogFileLabel->SetBounds(16, 194, 372, 44);
  LogFileTitle->SetVisible(false);
  LogFileLabel->SetVisible(false);

  PageControl->SetActivePage(UserSheet);
  OnShow = [this](TObject* Sender) { FormShow(Sender); };
}

void TErrorForm::FormShow(TObject*) {
  PageControl->SetActivePage(UserSheet);
  UserMemo->Clear();
  SetActiveControl(UserMemo);
}

void InstallErrorLog(TfmELogger* Logger) {
  if (!Logger || !Application) return;
  Logger->ShowErrorWindow = [Logger](const std::string& ClassText, const std::string& Message,
                                     const std::string& LogFile, TStrings* Notes) {
    // A window that cannot be shown must not cost the report: it is then written without notes.
    try {
      std::unique_ptr<TErrorForm> Form(new TErrorForm(nullptr));
      Form->ErrClassLabel->SetCaption(ClassText);
      Form->ErrMsgLabel->SetCaption(Message);
      // Say where the report goes when the program's folder cannot take it.
      const bool Elsewhere = !LogFile.empty() && LogFile != Logger->LogPath();
      Form->LogFileLabel->SetCaption(LogFile);
      Form->LogFileTitle->SetVisible(Elsewhere);
      Form->LogFileLabel->SetVisible(Elsewhere);
      Form->ShowModal();
      Notes->Assign(Form->UserMemo->Lines());
    } catch (const std::exception&) {
      Notes->Clear();
    }
  };
  Logger->OnTerminate = [] {
    if (Application) Application->Terminate();
  };
  Application->OnException = [Logger](TObject* Sender, Exception* E) {
    // The handler runs inside the application's catch block: the exception in flight is the
    // original one, so an exception of another kind is reported under its own class name.
    if (std::exception_ptr Current = std::current_exception()) {
      try {
        std::rethrow_exception(Current);
      } catch (const std::exception& Original) {
        Logger->HandleException(Sender, Original);
        return;
      } catch (...) {
      }
    }
    if (E) Logger->HandleException(Sender, *E);
  };
}
