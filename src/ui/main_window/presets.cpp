#include "ui/main_window/TMainForm1.h"

void TMainForm1::loadPresets() {}
void TMainForm1::C2_00Change() {}
void TMainForm1::CButton11Click() {}
