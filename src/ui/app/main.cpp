#include <string>
#include <vector>

#include "ui/main_window/TMainForm1.h"
#include "ui/services/application.h"
#include "ui/services/dialogs.h"
#include "ui/services/end_requests.h"

int main(int argc, char** argv) {
    qv::ui::Application app(argc, argv);
    qv::ui::EndRequests::instance().watchSignals();
    // Paths to queue, as the platform's bytes: every argument, Qt takes none.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    try {
        TMainForm1 form({}, std::move(args));
        form.show();
        app.exec();
    } catch (...) {
        qv::ui::showCurrentException();
    }
    return 0;
}
