#include "ui/main_window/TMainForm1.h"

void TMainForm1::applySettingsFile() {}
void TMainForm1::FormClose() {}
