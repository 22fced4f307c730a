#pragma once
// What a batch run needs of the window that starts it, and nothing more.
#include <QString>
#include <string>

#include "run/encoder_process.h"
#include "settings/conversion_settings.h"

class QWidget;

// The run's record of the pass in progress, kept by the window that starts it.
// Paths are kept as the platform's bytes.
struct TRunRecord {
    std::string SourcePath, DestPath, QuotedDestPath;
    bool PreviewMode = false;
    qv::EncoderProcess ProcessInfo;  // the encoder of the current pass
};

class TBatchHost {
  public:
    virtual ~TBatchHost() = default;

    // The window that owns the run: disabled, and kept from closing, until it ends.
    virtual QWidget& batchWindow() = 0;
    // Read once when the run begins.
    virtual qv::ConversionSettings settingsSnapshot() const = 0;
    virtual int jobCount() const = 0;
    virtual std::string jobAt(int index) const = 0;
    virtual std::string programFolder() const = 0;  // the platform's bytes
    // Written while the run goes on.
    virtual void showStatus(const QString& text) = 0;
    virtual TRunRecord& runRecord() = 0;
    // Conversions at once, at least 1.
    virtual int parallelJobs() const { return 1; }
};

namespace qv::ui {

// Converts every job (a preview when the record's PreviewMode is set). A call
// while a run is going on, or with no jobs, does nothing.
void runBatch(TBatchHost& host);
bool batchRunning();

}  // namespace qv::ui
