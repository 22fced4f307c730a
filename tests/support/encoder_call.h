#pragma once
// One call of the program folder's encoder, started the way the batch run starts it.
#include <QString>
#include <QtGlobal>
#include <string>
#include <vector>

#include "run/encoder_process.h"

namespace qvtest {

// The call's exit code; -2 when it could not be started (the reason is warned), -1 when it
// did not end within two minutes (it is stopped).
inline int runEncoderCall(const QString& encoder, const std::vector<std::string>& args) {
    qv::EncoderProcess p;
    std::string error;
    if (!p.start(encoder.toStdString(), args, &error)) {
        qWarning("%s", error.c_str());
        return -2;
    }
    if (!p.waitFor(120000)) {
        p.stop();
        return -1;
    }
    return p.exitCode();
}

}  // namespace qvtest
