#include "shell/Zoduvov.h"

void TZForm::create_controls() {}
