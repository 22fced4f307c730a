#pragma once
// Ends that come from outside the program: SIGTERM, SIGHUP and SIGINT (a logout, a
// shutdown, kill, Ctrl+C), and the loss of the display connection, on which Qt ends the
// process itself with exit(). Either way the program must close as its close button does,
// and a run must stop as "stop the whole batch" stops it, so that nothing of the user's is
// left hidden and the settings are kept.
#include <QObject>
#include <functional>

class QSocketNotifier;

namespace qv::ui {

class EndRequests : public QObject {
    Q_OBJECT
  public:
    static EndRequests& instance();

    // Catches SIGTERM, SIGHUP and SIGINT; one that was ignored when the program started
    // (nohup) stays ignored. The handler only writes into a pipe: the event loop reads it
    // and calls request().
    void watchSignals();
    // Asks for the end: from here on no box waits for an answer (the open ones are closed,
    // later ones go to standard error), then endRequested() tells the windows.
    void request();
    bool ending() const { return ending_; }

  signals:
    void endRequested();

  private:
    EndRequests() = default;
    QSocketNotifier* notifier_ = nullptr;
    bool ending_ = false;
};

// Work to be done should the process end without its windows being closed: Qt calls exit()
// from inside the event loop when the display connection is lost. The work then runs inside
// exit(), on that thread, the newest first, with no box shown. It is registered for as long
// as the object lives. By then the thread's own (thread_local) objects are gone, and so are
// statics made after the object: the work must need neither.
class AtForcedExit {
  public:
    explicit AtForcedExit(std::function<void()> work);
    ~AtForcedExit();
    AtForcedExit(const AtForcedExit&) = delete;
    AtForcedExit& operator=(const AtForcedExit&) = delete;

  private:
    int id_;
};

}  // namespace qv::ui
