// The exercise selection page: six tabs over the course lessons, the generator, poems, finger
// drills, texts and an own text file. The lists show the lesson files of the course folders
// under their titles; the generator makes words or letter groups around the weakest keys of the
// student's last exercise. Starting hands the chosen exercise to the lesson screen.
#pragma once

#include <string>
#include <vector>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxImage;
class TVxButton;
class TVxCheckbox;
class TVxSpinEdit;
class TFilenameEdit;
class THTMLViewer;
class TVxLanguage;
class TStdLessonForm;

// One lesson file of a list: its path and the header values it was listed with.
struct TItem {
  std::string FileName;  // full path
  std::string Title;
  std::string HTMLInfo;
  std::string Inst, Info, Params;
};

// An own text file is refused above this size.
constexpr std::size_t kMaxOwnTextSize = 1024 * 1024;

// The bytes of an own text file as CP1250: a valid UTF-8 text with characters above ASCII is
// converted (characters CP1250 lacks are dropped), anything else is taken as CP1250 already;
// tabs become blanks.
std::string OwnTextToCp1250(const std::string& Bytes);

// The keys of Keys each followed by a blank, Enter as "En" and the blank as "Sp".
std::string KeysToText(const std::string& Keys);

// A viewer loads a document of the program folder; a missing or broken one leaves it empty and
// is logged, it never ends the program. False when it could not be shown.
bool LoadViewerDocument(THTMLViewer* Viewer, const std::string& Document);

class TSelectForm : public TForm {
 public:
  explicit TSelectForm(TComponent* AOwner);
  ~TSelectForm() override;
  std::string ClassName() const override { return "TSelectForm"; }

  TVxImage* VxImage1 = nullptr;
  TVxButton *BtnHelp = nullptr, *BtnMenu = nullptr, *BtnStart = nullptr;
  TButton* EnterBtn = nullptr;
  TVxCheckbox* Tabs[6] = {};
  TNotebook* Notebook = nullptr;
  TListBox *ListBox1 = nullptr, *ListBox2 = nullptr, *ListBox3 = nullptr, *ListBox4 = nullptr;
  THTMLViewer *Viewer0 = nullptr, *Viewer2 = nullptr, *Viewer3 = nullptr, *Viewer4 = nullptr, *Viewer5 = nullptr;
  TLabel* LabelFileName = nullptr;
  TFilenameEdit* FilenameEdit1 = nullptr;
  TLabel* LabLetterNum = nullptr;
  TVxSpinEdit* VxSpinEdit1 = nullptr;
  TGroupBox *GroupAllow = nullptr, *GroupPrefer = nullptr, *GroupExKind = nullptr;
  TRadioButton *RadioAll = nullptr, *RadioDone = nullptr, *RadioButton5 = nullptr;
  TLabel* LabelOther = nullptr;
  TEdit* Edit1 = nullptr;
  TLabel* Keys1Label = nullptr;
  TRadioButton *RadioSuggest = nullptr, *RadioOther = nullptr, *RadioAllOld = nullptr;
  TEdit* Edit2 = nullptr;
  TLabel* Keys2Label = nullptr;
  TRadioButton *RadioWords = nullptr, *RadioRandom = nullptr;
  TVxLanguage* VxLanguage1 = nullptr;

  std::string WeakKeys, WeakKeysTop;
  // The items of ListBox1..ListBox4, in list order.
  std::vector<TItem> Items1, Items2, Items3, Items4;

  void FormCreate();
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void Button1Click(TObject* Sender);  // menu
  void Button2Click(TObject* Sender);  // start
  void HelpButtonClick(TObject* Sender);
  void JetCheckbox1Click(TObject* Sender);
  void ListBox2Click(TObject* Sender);
  void ListBox3Click(TObject* Sender);
  void VxSpinEdit1Exit(TObject* Sender);
  void ListLessonFiles(const std::string& Mask, TListBox* ListBox, std::vector<TItem>& Items);
  bool FindWeakKeys();
  // The clamped letter count of the generator.
  int LetterCount() const;
  // The page shown ("0".."5").
  std::string PageShown() const;
  void ShowTab(int Tag);

  // Shows a message of the page (an own file too large); tests replace it.
  static std::function<void(const std::string& Text)> ShowSelectMessage;

 private:
  TStdLessonForm* OpenLesson();
  void StartList(TListBox* List, const std::vector<TItem>& Items, const std::string& CaptionId, bool Course);
  void ShowInfo(TListBox* List, const std::vector<TItem>& Items, THTMLViewer* Viewer);
  std::string FOwnTextFile;
};

// Registers the exercise selection page with the host.
void RegisterSelectPage();
// The pages of exercise selection, lesson and results.
void RegisterExercisePages();
