#include "ui/main_window/TMainForm1.h"

void TMainForm1::CButton10Click() {}
void TMainForm1::CButton13Click() {}
void TMainForm1::CButton14Click() {}
