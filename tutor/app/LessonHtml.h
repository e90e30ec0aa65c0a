// The HTML lesson page of a course: one document of the program folder under a title, and a
// button that goes on with the course.
#pragma once

#include <functional>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxImage;
class TVxButton;
class THTMLViewer;
class TVxLanguage;

class TLessonHtmlForm : public TForm {
 public:
  explicit TLessonHtmlForm(TComponent* AOwner);
  std::string ClassName() const override { return "TLessonHtmlForm"; }

  TVxImage* VxImage1 = nullptr;
  TLabel* TitleLabel = nullptr;
  THTMLViewer* HTMLViewer = nullptr;
  TVxButton* BtnOK = nullptr;
  TButton* EnterBtn = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;

  // Shows FileName (relative to the program folder) under the title Text1 + " " + Text2 and
  // reports the two texts as the activity. A missing document shows an empty page (logged).
  void ShowHtmlLesson(const std::string& FileName, const std::string& Text1, const std::string& Text2);
  void BtnOKClick(TObject* Sender);

  // The course runner's next step after OK; empty outside a course.
  static std::function<void()> NextStep;
};

void RegisterLessonHtmlPage();
