// What the host window offers the pages and the games: page switching and the return page, the
// display, sprite engine and sound of the one window, the activity report and the current
// student. The host window (the application) implements it and installs itself; code below the
// application reaches the host only through PageHost(), so no layer includes the pages.
#pragma once

#include <functional>
#include <string>

class TForm;
class TDXDraw;
class TDXSound;
class TDXSpriteEngine;
class TDXWaveList;

// Every page the host can show.
enum class TPageId {
  Main,
  Select,
  GameSelect,
  BomberTopTen,
  GalleryTopTen,
  StdLesson,
  Options,
  Help,
  Stat,
  Results,
  Scenario,
  Studding,
  LessonHtml,
  Certificate,
};

class TPageHost {
 public:
  virtual ~TPageHost() = default;

  // Makes the page visible, creating it on first use; the previous page is hidden, not freed.
  virtual void ShowPage(TPageId Page) = 0;
  // The page's only instance, or nullptr when it does not exist (yet, or any more).
  virtual TForm* FindPage(TPageId Page) const = 0;
  // Remembers the page to go back to after a shared page (a lesson, a game's top ten) is done.
  virtual void SetReturnPage(TForm* Page) = 0;
  // Shows the remembered page; nothing when none is remembered or it has been freed since.
  virtual void ShowReturnPage() = 0;
  virtual TForm* ReturnPage() const = 0;

  // The host window itself (the parent of game scenes).
  virtual TForm* HostForm() = 0;
  virtual TDXDraw* Display() = 0;
  virtual TDXSpriteEngine* SpriteEngine() = 0;
  virtual TDXSound* Sound() = 0;
  virtual TDXWaveList* WaveList() = 0;

  // The activity report of this copy's session row (Info1 names what the student does now).
  virtual void Ping(const std::string& Info1, const std::string& Info2 = "", const std::string& Info3 = "") = 0;
  // The logged-on student and group; -1 while nobody is logged on.
  virtual int CurrentStudent() const = 0;
  virtual int CurrentGroup() const = 0;

  // Full-screen switching for the options screen.
  virtual bool InFullScreen() const = 0;
  virtual void EnterFullScreenIfNot() = 0;
  virtual void LeaveFullScreenIfSet() = 0;
};

// How a page is made (with no owner; the host sizes and shows it). Every page registers its
// factory before the host first shows it; a page without one is not shown.
using TPageFactory = std::function<TForm*()>;
void RegisterPageFactory(TPageId Page, TPageFactory Factory);
// The registered factory, or nullptr.
const TPageFactory* FindPageFactory(TPageId Page);
// The page's class name, for messages ("TMainForm", ...).
const char* PageClassName(TPageId Page);

// The installed host; nullptr before the host window exists and after it is gone.
TPageHost* PageHost();
void SetPageHost(TPageHost* Host);
