#pragma once
// Every file and archive member the program reads, in one table. The code names resources
// through these constants, and the installation's content check walks the table, so a member
// the code asks for can never be missing from what the build ships.
//
// Paths are relative to the program folder and written with '/'; the file layer maps them.
// Member names are bare names (archive members are stored with an empty folder).

#include <cstddef>

namespace vx::res {

// What the content check verifies about a resource.
enum class Kind {
  Text,     // any text member (message table, ini, word list, script)
  Bitmap,   // BMP with the 12- or 40-byte header
  Skin,     // BMP of a skinned control: bottom-left pixel pure green (the transparent colour)
  Wave,     // WAVE sound
  Dxg,      // picture collection
  Html,     // HTML document beside the program
  Archive,  // an archive file beside the program
};

struct Resource {
  const char* Archive;  // archive path relative to the program folder; nullptr for a plain file
  const char* Name;     // member name, or the file path relative to the program folder
  Kind What;
};

// Archives beside the program.
inline constexpr const char* kInterfaceArchive = "interface.zlb";
inline constexpr const char* kVxArchive = "vx.zlb";
inline constexpr const char* kKeyboardsArchive = "keyboards.zlb";
inline constexpr const char* kScenarioArchive = "scenario.zlb";
inline constexpr const char* kSoundsArchive = "sounds.zlb";
inline constexpr const char* kHintsArchive = "hints.zlb";
inline constexpr const char* kBomberArchive = "bomber/bomber.zlb";
inline constexpr const char* kBomberInterfaceArchive = "bomber/interface.zlb";
inline constexpr const char* kBomberSoundArchive = "bomber/sound.zlb";
inline constexpr const char* kGalleryInterfaceArchive = "gallery/interface.zlb";
inline constexpr const char* kGalleryXml = "gallery/gallery.xml";

// Text members.
inline constexpr const char* kMessagesMember = "messages.txt";
inline constexpr const char* kTranslationMember = "translation.txt";
inline constexpr const char* kWordsMember = "words.txt";
inline constexpr const char* kLevelsMember = "levels.txt";
inline constexpr const char* kKeyboardsMember = "keyboards.txt";
inline constexpr const char* kBomberConfigMember = "config.ini";
inline constexpr const char* kBomberLevelsMember = "levels.ini";

// Menu hint pictures: "MainHint%d.bmp" for the button tags 0..9, and the base picture.
inline constexpr const char* kMainHintFormat = "MainHint%d.bmp";
inline constexpr int kMainHintCount = 10;
inline constexpr const char* kMainHintBase = "MainHintX.bmp";

// Lesson sounds: the wave's name and the machine type's digit (1 mechanical, 2 electronic);
// the metronome has only type 1.
inline constexpr const char* kMetronomeSound = "metronom1.wav";
inline constexpr const char* kErrorSoundFormat = "error%d.wav";
inline constexpr const char* kEnterSoundFormat = "enter%d.wav";
inline constexpr const char* kKeySoundFormat = "key%d.wav";

// Course scripts: scenario.zlb holds exactly INDEX_01.SCN, INDEX_02.SCN, ... (copies lie beside
// the program for the certificate).
inline constexpr const char* kCourseScriptFormat = "INDEX_%0.2d.SCN";

// Documents opened from the program folder.
inline constexpr const char* kHelpIndex = "help/index.htm";
inline constexpr const char* kAboutPage = "help/about.htm";

// The whole table. Append entries as code starts reading new resources.
inline constexpr Resource kResources[] = {
    // Archives the program opens at start-up or on its pages.
    {nullptr, kInterfaceArchive, Kind::Archive},
    {nullptr, kVxArchive, Kind::Archive},
    {nullptr, kKeyboardsArchive, Kind::Archive},
    {nullptr, kScenarioArchive, Kind::Archive},
    {nullptr, kSoundsArchive, Kind::Archive},
    {nullptr, kHintsArchive, Kind::Archive},
    {nullptr, kBomberArchive, Kind::Archive},
    {nullptr, kBomberSoundArchive, Kind::Archive},

    {kInterfaceArchive, kMessagesMember, Kind::Text},
    {kInterfaceArchive, kTranslationMember, Kind::Text},
    {kInterfaceArchive, kWordsMember, Kind::Text},
    {kVxArchive, kLevelsMember, Kind::Text},
    {kVxArchive, kWordsMember, Kind::Text},
    {kKeyboardsArchive, kKeyboardsMember, Kind::Text},
    {kBomberArchive, kBomberConfigMember, Kind::Text},
    {kBomberArchive, kBomberLevelsMember, Kind::Text},

    {kSoundsArchive, kMetronomeSound, Kind::Wave},
    {kSoundsArchive, "error1.wav", Kind::Wave},
    {kSoundsArchive, "error2.wav", Kind::Wave},
    {kSoundsArchive, "enter1.wav", Kind::Wave},
    {kSoundsArchive, "enter2.wav", Kind::Wave},
    {kSoundsArchive, "key1.wav", Kind::Wave},
    {kSoundsArchive, "key2.wav", Kind::Wave},
    {kBomberSoundArchive, "exp0.wav", Kind::Wave},
    {kBomberSoundArchive, "exp1.wav", Kind::Wave},
    {kBomberSoundArchive, "exp2.wav", Kind::Wave},
    {kBomberSoundArchive, "error0.wav", Kind::Wave},

    {kScenarioArchive, "INDEX_01.SCN", Kind::Text},
    {nullptr, "INDEX_01.SCN", Kind::Text},

    // Pictures of the pages, dialogs and skinned controls.
    // Main menu: five large buttons (Btl) and five standard ones (Btn) beside the hint picture.
    {kInterfaceArchive, "main_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "BtlCourse_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlCourse_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlCourse_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlCourse_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlExercises_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlExercises_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlExercises_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlExercises_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlGames_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlGames_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlGames_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlGames_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlResults_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlResults_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlResults_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlResults_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlOptions_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlOptions_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlOptions_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtlOptions_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnStudents_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnStudents_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnStudents_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnStudents_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnHelp_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnHelp_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnHelp_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnHelp_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnAbout_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnAbout_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnAbout_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnAbout_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnSite_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnSite_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnSite_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnSite_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnExit_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnExit_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnExit_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnExit_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "MainHint0.bmp", Kind::Bitmap},
    {kInterfaceArchive, "MainHint1.bmp", Kind::Bitmap},
    {kInterfaceArchive, "MainHint2.bmp", Kind::Bitmap},
    {kInterfaceArchive, "MainHint3.bmp", Kind::Bitmap},
    {kInterfaceArchive, "MainHint4.bmp", Kind::Bitmap},
    {kInterfaceArchive, "MainHint5.bmp", Kind::Bitmap},
    {kInterfaceArchive, "MainHint6.bmp", Kind::Bitmap},
    {kInterfaceArchive, "MainHint7.bmp", Kind::Bitmap},
    {kInterfaceArchive, "MainHint8.bmp", Kind::Bitmap},
    {kInterfaceArchive, "MainHint9.bmp", Kind::Bitmap},
    {kInterfaceArchive, "MainHintX.bmp", Kind::Bitmap},
    // Buttons shared by many pages.
    {kInterfaceArchive, "BtnOK_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnOK_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnOK_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnOK_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnCancel_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnCancel_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnCancel_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnCancel_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnMenu_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnMenu_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnMenu_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnMenu_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnStart_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnStart_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnStart_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnStart_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnPrint_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnPrint_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnPrint_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnPrint_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnCourses_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnCourses_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnCourses_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnCourses_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnLeft_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnLeft_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnLeft_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnLeft_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnRight_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnRight_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnRight_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtnRight_disabled.bmp", Kind::Skin},
    // Dialogs: tips, instruction box and about box; logon; pop-up help.
    {kInterfaceArchive, "instruction_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "students_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "popuphelp_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "NewStudentBtn_up.bmp", Kind::Skin},
    {kInterfaceArchive, "NewStudentBtn_down.bmp", Kind::Skin},
    {kInterfaceArchive, "NewStudentBtn_over.bmp", Kind::Skin},
    {kInterfaceArchive, "NewStudentBtn_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "DeleteStudentBtn_up.bmp", Kind::Skin},
    {kInterfaceArchive, "DeleteStudentBtn_down.bmp", Kind::Skin},
    {kInterfaceArchive, "DeleteStudentBtn_over.bmp", Kind::Skin},
    {kInterfaceArchive, "DeleteStudentBtn_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "HelpStudentBtn_up.bmp", Kind::Skin},
    {kInterfaceArchive, "HelpStudentBtn_down.bmp", Kind::Skin},
    {kInterfaceArchive, "HelpStudentBtn_over.bmp", Kind::Skin},
    {kInterfaceArchive, "HelpStudentBtn_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "OKStudentBtn_up.bmp", Kind::Skin},
    {kInterfaceArchive, "OKStudentBtn_down.bmp", Kind::Skin},
    {kInterfaceArchive, "OKStudentBtn_over.bmp", Kind::Skin},
    {kInterfaceArchive, "OKStudentBtn_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "CancelStudentBtn_up.bmp", Kind::Skin},
    {kInterfaceArchive, "CancelStudentBtn_down.bmp", Kind::Skin},
    {kInterfaceArchive, "CancelStudentBtn_over.bmp", Kind::Skin},
    {kInterfaceArchive, "CancelStudentBtn_disabled.bmp", Kind::Skin},
    // Help page, HTML lesson page.
    {kInterfaceArchive, "help_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "lessonhtml_bcg.bmp", Kind::Bitmap},
    // Options page and its tabs.
    {kInterfaceArchive, "options_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "BtpExerop_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpExerop_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpExerop_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpExerop_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpKeyb_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpKeyb_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpKeyb_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpKeyb_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpScreen_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpScreen_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpScreen_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpScreen_overcheck.bmp", Kind::Skin},
    // Exercise selection and its six tabs.
    {kInterfaceArchive, "exercises_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "BtpDril_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpDril_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpDril_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpDril_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpGen_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpGen_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpGen_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpGen_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpMank_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpMank_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpMank_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpMank_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpFing_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpFing_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpFing_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpFing_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpTxt_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpTxt_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpTxt_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpTxt_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpTextOwn_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpTextOwn_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpTextOwn_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpTextOwn_overcheck.bmp", Kind::Skin},
    // Lesson screen.
    {kInterfaceArchive, "stdlesson_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "BtsTips_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsTips_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsTips_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsTips_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsHelp_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsHelp_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsHelp_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsHelp_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsExit_up.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsExit_down.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsExit_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsExit_disabled.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsPause_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsPause_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsPause_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtsPause_overcheck.bmp", Kind::Skin},
    // Results, certificate, statistics.
    {kInterfaceArchive, "results_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "certificate_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "stat_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "BtpStSum_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStSum_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStSum_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStSum_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStCpm_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStCpm_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStCpm_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStCpm_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStAcc_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStAcc_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStAcc_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpStAcc_overcheck.bmp", Kind::Skin},
    // Course screen and course choice.
    {kInterfaceArchive, "studing_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "scenario_bcg.bmp", Kind::Bitmap},
    // Game choice and the top-ten pages.
    {kInterfaceArchive, "games_bcg.bmp", Kind::Bitmap},
    {kInterfaceArchive, "BtpBomb_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpBomb_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpBomb_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpBomb_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpGal_out.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpGal_check.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpGal_over.bmp", Kind::Skin},
    {kInterfaceArchive, "BtpGal_overcheck.bmp", Kind::Skin},
    {kInterfaceArchive, "topten_bcg.bmp", Kind::Bitmap},

    // Fixed documents of the help folder.
    {nullptr, "help/index.htm", Kind::Html},
    {nullptr, "help/about.htm", Kind::Html},
    {nullptr, "help/help_logon.htm", Kind::Html},
    {nullptr, "help/help_options_0.htm", Kind::Html},
    {nullptr, "help/help_options_1.htm", Kind::Html},
    {nullptr, "help/help_options_2.htm", Kind::Html},
    {nullptr, "help/exerc_tab.htm", Kind::Html},
    {nullptr, "help/fingers_tab.htm", Kind::Html},
    {nullptr, "help/text_tab.htm", Kind::Html},
    {nullptr, "help/help_exerc_0.htm", Kind::Html},
    {nullptr, "help/help_exerc_1.htm", Kind::Html},
    {nullptr, "help/help_exerc_2.htm", Kind::Html},
    {nullptr, "help/help_exerc_3.htm", Kind::Html},
    {nullptr, "help/help_exerc_4.htm", Kind::Html},
    {nullptr, "help/help_exerc_5.htm", Kind::Html},
    {nullptr, "help/help_lesson.htm", Kind::Html},
    {nullptr, "help/help_stat_0.htm", Kind::Html},
    {nullptr, "help/help_stat_1.htm", Kind::Html},
    {nullptr, "help/help_stat_2.htm", Kind::Html},
    {nullptr, "help/help_stat_3.htm", Kind::Html},
    {nullptr, "help/help_course.htm", Kind::Html},
    {nullptr, "help/help_scenario.htm", Kind::Html},
    {nullptr, "help/help_games_0.htm", Kind::Html},
    {nullptr, "help/help_games_1.htm", Kind::Html},
    {nullptr, "help/help_topten_bom.htm", Kind::Html},
    {nullptr, "help/help_topten_gal.htm", Kind::Html},
};

inline constexpr std::size_t kResourceCount = sizeof(kResources) / sizeof(kResources[0]);

// What the games read: their archives come with the games' content.
inline constexpr Resource kGameResources[] = {
    {nullptr, kBomberInterfaceArchive, Kind::Archive},
    {nullptr, kGalleryInterfaceArchive, Kind::Archive},
    {nullptr, kGalleryXml, Kind::Text},
    {kBomberArchive, "BIGEXPLOSION.DXG", Kind::Dxg},
    {kBomberArchive, "MIDEXPLOSION.DXG", Kind::Dxg},
    {kBomberArchive, "BOMBEXPLOSION.DXG", Kind::Dxg},
    {kBomberArchive, "BOMBS.DXG", Kind::Dxg},
    {kBomberInterfaceArchive, "panel.bmp", Kind::Bitmap},
    {kBomberInterfaceArchive, "button-pauza-zga.bmp", Kind::Bitmap},
    {kBomberInterfaceArchive, "button-pauza-zap.bmp", Kind::Bitmap},
    {kBomberInterfaceArchive, "button-pauza-zap-in.bmp", Kind::Bitmap},
    {kBomberInterfaceArchive, "button-koniec-zga.bmp", Kind::Bitmap},
    {kBomberInterfaceArchive, "button-koniec-zap.bmp", Kind::Bitmap},
    {kBomberInterfaceArchive, "button-koniec-zap-in.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "obrazytlo.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "bar.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-pauza-zga.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-pauza-zap.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-pauza-zap-in.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-koniec-zga.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-koniec-zap.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-koniec-zap-in.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-nowy-zga.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-nowy-zap.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-nowy-zap-in.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-powtorz-zga.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-powtorz-zap.bmp", Kind::Bitmap},
    {kGalleryInterfaceArchive, "button-powtorz-zap-in.bmp", Kind::Bitmap},
    // The gallery's picture themes (gallery.xml names the folder and the default one).
    {nullptr, "gallery/themes/zwierzeta.zlb", Kind::Archive},
    {nullptr, "gallery/themes/krajobrazy.zlb", Kind::Archive},
    {nullptr, "gallery/themes/kosmos.zlb", Kind::Archive},
    {"gallery/themes/zwierzeta.zlb", "titles.txt", Kind::Text},
    {"gallery/themes/krajobrazy.zlb", "titles.txt", Kind::Text},
    {"gallery/themes/kosmos.zlb", "titles.txt", Kind::Text},
    // The bomber's towns (config.ini names the folder and the default one).
    {nullptr, "bomber/towns/wioska.zlb", Kind::Archive},
    {nullptr, "bomber/towns/miasto.zlb", Kind::Archive},
    {nullptr, "bomber/towns/port.zlb", Kind::Archive},
};

inline constexpr std::size_t kGameResourceCount = sizeof(kGameResources) / sizeof(kGameResources[0]);

}  // namespace vx::res
