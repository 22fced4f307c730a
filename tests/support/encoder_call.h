#pragma once
// One call of the program folder's encoder, started the way the batch run starts it.
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <string>
#include <vector>

#include "run/encoder_process.h"

namespace qvtest {

// The call's exit code; -2 when it could not be started (the reason is warned), -1 when it
// did not end within two minutes (it is stopped). `environment`: variables set for it.
inline int runEncoderCall(const QString& encoder, const std::vector<std::string>& args,
                          const QMap<QString, QString>& environment = {}) {
    qv::EnvironmentChanges changes;
    for (auto it = environment.begin(); it != environment.end(); ++it)
        changes.emplace_back(QFile::encodeName(it.key()).toStdString(),
                             QFile::encodeName(it.value()).toStdString());
    qv::EncoderProcess p;
    std::string error;
    if (!p.start(QFile::encodeName(encoder).toStdString(), args, &error, changes)) {
        qWarning("%s", error.c_str());
        return -2;
    }
    if (!p.waitFor(120000)) {
        p.stop();
        return -1;
    }
    return p.exitCode();
}

inline int runEncoderCall(const QString& encoder, const QStringList& args,
                          const QMap<QString, QString>& environment = {}) {
    std::vector<std::string> bytes;
    for (const QString& a : args) bytes.push_back(QFile::encodeName(a).toStdString());
    return runEncoderCall(encoder, bytes, environment);
}

}  // namespace qvtest
