#include "ui/main_window/TMainForm1.h"

void TMainForm1::AddSourcePath(const std::string&) {}
int TMainForm1::jobCount() const { return 0; }
std::string TMainForm1::jobAt(int) const { return {}; }
void TMainForm1::CButton12Click() {}
void TMainForm1::takeArguments() {}
void TMainForm1::dragEnterEvent(QDragEnterEvent*) {}
void TMainForm1::dropEvent(QDropEvent*) {}
