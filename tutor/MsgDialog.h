// The program's own message dialog: error and question boxes whose caption and button texts come
// from the message table ("Warning", "Error", "Information", "Confirm"; "Yes", "No", "OK", ...).
#pragma once

#include <string>

#include "platform/gui/controls.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll, mbHelp };

// A set of buttons: one bit per TMsgDlgBtn.
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons MsgDlgButton(TMsgDlgBtn B) { return 1u << static_cast<unsigned>(B); }
constexpr TMsgDlgButtons mbYesNoCancel = MsgDlgButton(mbYes) | MsgDlgButton(mbNo) | MsgDlgButton(mbCancel);
constexpr TMsgDlgButtons mbYesNo = MsgDlgButton(mbYes) | MsgDlgButton(mbNo);
constexpr TMsgDlgButtons mbOKCancel = MsgDlgButton(mbOK) | MsgDlgButton(mbCancel);
constexpr TMsgDlgButtons mbAbortRetryIgnore = MsgDlgButton(mbAbort) | MsgDlgButton(mbRetry) | MsgDlgButton(mbIgnore);

// Message-table id of a button (also the button's component name) and the modal result it gives.
std::string MsgDlgButtonId(TMsgDlgBtn B);
int MsgDlgButtonResult(TMsgDlgBtn B);
// Message-table id of a dialog type's caption; empty for mtCustom (which shows the application title).
std::string MsgDlgCaptionId(TMsgDlgType DlgType);

// The dialog form for Msg, sized and centred on the screen but not shown; owned by the
// application. The message label is named "Message", the icon "Image", each button by its id.
TForm* CreateTranslatedMessageDialog(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons);

// Shows the dialog modally, centred on the screen, and returns the modal result of the button
// pressed (mrCancel when the application is ending).
int TranslatedMessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
// The same placed at X, Y; a negative coordinate keeps the centred position on that axis.
int MessageDlgPos(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx, int X, int Y);
// A dialog with the application title as caption, no icon and one OK button.
void ShowMessage(const std::string& Msg);
void ShowMessagePos(const std::string& Msg, int X, int Y);
