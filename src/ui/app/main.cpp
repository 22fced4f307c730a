#include <QTimer>
#include <string>
#include <vector>

#include "base/file_places.h"
#include "run/run_journal.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/progress/recovery_notice.h"
#include "ui/services/application.h"
#include "ui/services/dialogs.h"
#include "ui/services/end_requests.h"

int main(int argc, char** argv) {
    qv::ui::Application app(argc, argv);
    qv::ui::EndRequests::instance().watchSignals();
    // Paths to queue, as the platform's bytes: every argument, Qt takes none.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    // What a program killed during a run left hidden comes back before anything is queued.
    qv::Recovery recovery = qv::recoverAbandonedResults(qv::userStateFolder());
    const QString recovered = qv::ui::recoveryNotice(recovery);
    try {
        TMainForm1 form({}, std::move(args));
        form.show();
        // After the first activation has applied the settings and queued the arguments: what
        // could not be put back, then the batches left to do.
        QTimer::singleShot(0, &form, [&] {
            if (!recovered.isEmpty()) qv::ui::showMessage(recovered);
            form.resumeAbandonedBatches(recovery.batches);
        });
        app.exec();
    } catch (...) {
        qv::ui::showCurrentException();
    }
    return 0;
}
