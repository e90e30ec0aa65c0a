#include "tutor/app/Pages.h"

#include "tutor/app/MainForm.h"

void RegisterApplicationPages() { RegisterMenuPages(); }
