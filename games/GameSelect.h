// The games page: the student chooses the bomber or the gallery, its difficulty, its town or
// picture theme and the letters to practise, and starts it. Letters are suggested from the
// student's last practice (the keys with the worst accuracy).
#pragma once

#include <functional>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxButton;
class TVxCheckbox;
class TVxImage;
class TZLBArchive;

// The gallery's part of the page, set by the gallery game: filling its level and theme lists
// (with their defaults selected) and starting it with the chosen level, theme and letters (false:
// no game started, the page stays).
extern std::function<void(TComboBox* Levels, TComboBox* Themes)> FillGalleryLists;
extern std::function<bool(int LevelIndex, int ThemeIndex, const std::string& Allowed, const std::string& Preferred)>
    StartGalleryFromPage;

// Each character as text followed by a blank: Enter as "En", space as "Sp".
std::string LettersToText(const std::string& Letters);
// The four weakest keys and all keys of the student's last practice, worst first.
void SuggestLetters(int StudentId, std::string& WeakLetters, std::string& PracticedLetters);

class TGameSelectForm : public TForm {
 public:
  explicit TGameSelectForm(TComponent* AOwner);
  std::string ClassName() const override { return "TGameSelectForm"; }

  TZLBArchive* Archive = nullptr;  // owned: the pictures of the page
  TNotebook* Notebook = nullptr;
  TVxCheckbox *VxCheckbox1 = nullptr, *VxCheckbox2 = nullptr;
  TVxButton *VxButton1 = nullptr, *VxButton2 = nullptr, *VxButton3 = nullptr;
  TButton* EnterButton = nullptr;
  TVxImage* VxImage1 = nullptr;
  TLabel* Label5 = nullptr;
  // The gallery page.
  TLabel *LabelLevel = nullptr, *LabelPicKind = nullptr, *Label1 = nullptr, *LabelOther = nullptr,
         *Label2 = nullptr, *Label7 = nullptr;
  TComboBox *ComboBox4 = nullptr, *ComboBox1 = nullptr;
  TGroupBox *GroupAllow = nullptr, *GroupPref = nullptr;
  TRadioButton *RadioAll = nullptr, *RadioDone = nullptr, *RadioButton6 = nullptr, *RadioEqual = nullptr,
               *RadioPref = nullptr, *RadioOther = nullptr;
  TEdit *Edit3 = nullptr, *Edit4 = nullptr;
  // The bomber page.
  TLabel *Label4 = nullptr, *Label23 = nullptr, *Label22 = nullptr, *Label8 = nullptr, *Label19 = nullptr;
  TComboBox *ComboBox3 = nullptr, *ComboBox2 = nullptr;
  TGroupBox *GroupBomAllow = nullptr, *GroupBomPref = nullptr;
  TRadioButton *RadioBomAll = nullptr, *RadioBomDone = nullptr, *RadioButton15 = nullptr, *RadioBomEqual = nullptr,
               *RadioBomPref = nullptr, *RadioBomOther = nullptr;
  TEdit *Edit6 = nullptr, *Edit5 = nullptr;

  std::string WeakLetters, PracticedLetters;

  void FormCreate();
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void JetCheckboxClick(TObject* Sender);
  void HelpButtonClick(TObject* Sender);
  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);
  // The letter sets of the active page: A allowed (empty: all), P preferred.
  void LetterSets(std::string& Allowed, std::string& Preferred) const;
  bool StartBomber();
  bool StartGallery();
};
