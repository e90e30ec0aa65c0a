// The score pages shown after a game: the player's result and the ten best scores of all
// students from the game's score table. The bomber's page also shows the level reached.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "platform/gui/controls.h"
#include "platform/gui/stdctrls.h"

class TVxButton;
class TVxImage;
class TZLBArchive;

class TTopTenForm : public TForm {
 public:
  // Game: "bomber" or "gallery" (the score table and the help page's suffix).
  TTopTenForm(TComponent* AOwner, const std::string& Game, int FirstRowTop);
  ~TTopTenForm() override;
  std::string ClassName() const override { return "TTopTenForm"; }

  TZLBArchive* Archive = nullptr;  // owned: the pictures of the page
  TVxImage* VxImage1 = nullptr;
  TLabel* LabelTopTen = nullptr;
  TLabel* LabelYourScore = nullptr;
  TLabel* ScoreLabel = nullptr;
  std::array<TLabel*, 10> Names{};
  std::array<TLabel*, 10> Scores{};
  TVxButton* BtnOK = nullptr;
  TVxButton* BtnHelp = nullptr;
  TButton* EnterBtn = nullptr;

  // Fills the ten rows from the score table.
  void FormShow(TObject* Sender);
  void BtnOKClick(TObject* Sender);
  void HelpButtonClick(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);

 protected:
  virtual std::string PingText() const = 0;
  std::string FGame;
  TLabel* MakeLabel(const std::string& Name, const std::string& Caption, int X, int Y);
};

class TBomberTopTenForm : public TTopTenForm {
 public:
  explicit TBomberTopTenForm(TComponent* AOwner);
  std::string ClassName() const override { return "TBomberTopTenForm"; }
  TLabel* LabelLevel = nullptr;
  TLabel* LevelLabel = nullptr;
  TLabel* LabelPonits = nullptr;
  // What the scene shows after its game.
  void SetResult(int Level, int Score);

 protected:
  std::string PingText() const override;
};

class TGalleryTopTenForm : public TTopTenForm {
 public:
  explicit TGalleryTopTenForm(TComponent* AOwner);
  std::string ClassName() const override { return "TGalleryTopTenForm"; }
  TLabel* Label4 = nullptr;
  void SetResult(int Score);

 protected:
  std::string PingText() const override { return "TOP 10"; }
};
