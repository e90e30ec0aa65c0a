#include "tutor/app/Pages.h"

#include "tutor/app/MainForm.h"
#include "tutor/app/StuddingForm.h"
#ifdef VX_HAVE_EXERCISE_PAGES
#include "tutor/app/SelectForm.h"
#endif

void RegisterApplicationPages() {
  RegisterMenuPages();
#ifdef VX_HAVE_EXERCISE_PAGES
  RegisterExercisePages();
#endif
  // The course screens with the certificate, the statistics and the options.
  RegisterCoursePages();
}
