#include "tutor/app/Pages.h"

#include "tutor/app/MainForm.h"
#ifdef VX_HAVE_EXERCISE_PAGES
#include "tutor/app/SelectForm.h"
#endif

void RegisterApplicationPages() {
  RegisterMenuPages();
#ifdef VX_HAVE_EXERCISE_PAGES
  RegisterExercisePages();
#endif
}
