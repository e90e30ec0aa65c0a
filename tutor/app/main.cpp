#include "tutor/app/Program.h"

int main() { return VxProgramMain(); }
