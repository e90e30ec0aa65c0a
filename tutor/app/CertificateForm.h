// The course certificate: an HTML template whose markers take the student's name, the date, the
// course title, the latest exercise's speed and accuracy and three phrases that follow the
// student's sex. Shown in the screen's viewer and printed through the print dialog.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxImage;
class TVxButton;
class TVxLanguage;
class THTMLViewer;
class TPrintDialog;

// The values spliced into a template, by marker (lower case, with its '#').
using TCertificateValues = std::map<std::string, std::string>;

// HTML-escapes & < > and the double quote, so that a value shows literally.
std::string EscapeHtml(const std::string& Text);
// Replaces every marker of Values in Template (case ignored) in one pass over the template: a
// value is never searched for markers itself. Values are escaped.
std::string FillCertificate(const std::string& Template, const TCertificateValues& Values);

class TCertificateForm : public TForm {
 public:
  explicit TCertificateForm(TComponent* AOwner);
  std::string ClassName() const override { return "TCertificateForm"; }

  TVxImage* VxImage1 = nullptr;
  THTMLViewer* HTMLViewer = nullptr;
  TVxButton* BtnPrint = nullptr;
  TVxButton* BtnOK = nullptr;
  TButton* EnterBtn = nullptr;
  TPrintDialog* PrintDialog = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;
  std::string TemplateName;

  // Fills the template (a path in the program folder) for the current student and shows it.
  // False when the template cannot be read: the screen says so and the return page comes back.
  bool Prepare(const std::string& ATemplateName);
  // The values of the markers for the current student (also for tests).
  TCertificateValues StudentValues() const;
  const std::string& Document() const { return FDocument; }

  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void BtnPrintClick(TObject* Sender);
  void BtnOKClick(TObject* Sender);

  // Runs the print dialog; tests replace it (the dialog's range and pages are read after it).
  static std::function<bool(TPrintDialog& Dialog)> ExecutePrintDialog;
  // Called by OK: the course runner's step is done. Set by the course screen while it exists.
  static std::function<void()> StepDone;

 private:
  std::string FDocument;
};

void RegisterCertificatePage();
