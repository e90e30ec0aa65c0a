// The skinned two-state switch (tab-like page selectors, the lesson's pause switch): five pictures
// read by name from a resource archive (unchecked, checked, over-unchecked, over-checked,
// disabled), painted like the skinned button with its transparent colour left out. A click
// toggles only what is shown; the Checked property keeps the value the program last assigned.
#pragma once

#include <memory>
#include <string>

#include "controls/skincontrol.h"

class TVxCheckbox : public TSkinControl {
 public:
  explicit TVxCheckbox(TComponent* AOwner);
  ~TVxCheckbox() override;
  std::string ClassName() const override { return "TVxCheckbox"; }

  using TSkinControl::Archive;
  using TSkinControl::SetArchive;
  // Stores the value and shows the checked or unchecked picture; fires no click.
  bool Checked() const { return FChecked; }
  void SetChecked(bool Value);
  // A disabled box shows its disabled picture but still takes the mouse, and enabling it shows
  // the unchecked picture whatever Checked holds.
  void SetEnabled(bool Value) override;

  enum TPictureIndex { piUnchecked, piChecked, piOverUnchecked, piOverChecked, piDisabled, piCount };
  TBitmap* Picture(TPictureIndex I) const { return FPictures[I].get(); }
  const std::string& FNameUnchecked() const { return FNames[piUnchecked]; }
  const std::string& FNameChecked() const { return FNames[piChecked]; }
  const std::string& FNameOverUnchecked() const { return FNames[piOverUnchecked]; }
  const std::string& FNameOverChecked() const { return FNames[piOverChecked]; }
  const std::string& FNameDisabled() const { return FNames[piDisabled]; }
  void SetFNameUnchecked(const std::string& V) { SetName(piUnchecked, V); }
  void SetFNameChecked(const std::string& V) { SetName(piChecked, V); }
  void SetFNameOverUnchecked(const std::string& V) { SetName(piOverUnchecked, V); }
  void SetFNameOverChecked(const std::string& V) { SetName(piOverChecked, V); }
  void SetFNameDisabled(const std::string& V) { SetName(piDisabled, V); }

  // What is shown (State).
  enum { csUnchecked = 0, csChecked = 1, csDisabledState = 2 };

  void Paint() override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  // The check box has no enter and leave events.
  void MouseLeave() override;

 protected:
  TBitmap* NormalPicture() const override { return FPictures[piUnchecked].get(); }
  TBitmap* OverPicture() const override { return FPictures[piOverUnchecked].get(); }
  void LoadAll() override;

 private:
  void SetName(TPictureIndex I, const std::string& V) { SetPictureName(FNames[I], V, FPictures[I].get()); }

  std::unique_ptr<TBitmap> FPictures[piCount];
  std::string FNames[piCount];
  bool FChecked = false;
};
