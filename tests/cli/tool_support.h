#pragma once
// The command-line tool run as a user runs it: a copy in a program folder of the test's own
// (it finds its settings and its encoder beside itself), no display, a home of its own.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>

#include "support/program_folder.h"

namespace qvtest {

// Records every call as one line of fields separated by 0x1f, then acts on the result's name:
//   bad*   says why in the report and fails     pair*  waits a while for another pair* call
//   wait*  waits for the file "go"              anything else writes "new".
// A thumbnail call of the window writes nothing.
inline const QByteArray kToolStandIn = R"SH(#!/bin/sh
dir=$(dirname "$0")
# One write per call: the window's thumbnail call runs beside a conversion.
us=$(printf '\037')
line=
for a; do line="$line$a$us"; done
printf '%s\n' "$line" >> "$dir/calls.log"
for last; do :; done
name=${last##*/}
case "$name" in
  _thumb.jpg) exit 0 ;;
  bad*) printf 'x' > "$last"; printf 'ソースが壊れています\n' > "$QUORVANE_REPORT"; exit 1 ;;
  pair*)
    : > "$dir/started_$name"
    i=0
    while [ $i -lt 250 ]; do
      [ "$(ls "$dir" | grep -c '^started_pair')" -ge 2 ] && { printf 'together' > "$last"; exit 0; }
      sleep 0.02; i=$((i+1))
    done
    printf 'alone' > "$last"; exit 0 ;;
  wait*)
    echo $$ > "$dir/waiting"
    while [ ! -e "$dir/go" ]; do sleep 0.02; done
    printf 'new' > "$last"; exit 0 ;;
esac
printf 'new' > "$last"
)SH";

struct ToolRun {
    int exitCode = -1;
    QByteArray out, err;
    QString errText() const { return QString::fromUtf8(err); }
    // stdout as JSON objects, one per line; an unreadable line fails the caller's check.
    QList<QJsonObject> events(bool* allValid = nullptr) const {
        QList<QJsonObject> list;
        bool valid = true;
        for (const QByteArray& line : out.split('\n')) {
            if (line.isEmpty()) continue;
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
            valid = valid && error.error == QJsonParseError::NoError && doc.isObject();
            list << doc.object();
        }
        if (allValid) *allValid = valid;
        return list;
    }
};

class ToolFolder {
  public:
    ToolFolder() {
        const QString built =
            qEnvironmentVariable("QV_PROGRAM_DIR") + QStringLiteral("/quorvane-convert");
        valid_ = program_.isValid() && home_.isValid() &&
                 QFile::copy(built, program_.filePath(QStringLiteral("quorvane-convert"))) &&
                 QFile::setPermissions(program_.filePath(QStringLiteral("quorvane-convert")),
                                       QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
                 program_.writeStandIn(kToolStandIn);
    }
    bool isValid() const { return valid_; }
    const ProgramFolder& program() const { return program_; }
    QString home() const { return home_.path(); }
    QString tool() const { return program_.filePath(QStringLiteral("quorvane-convert")); }

    // The settings file, as the window would have written it (code page 932 is ASCII here).
    bool writeSettings(const QByteArray& ini) const {
        return writeFile(program_.filePath(QStringLiteral("Quorvane_R.ini")), ini);
    }

    // Every encoder call so far, each as its arguments.
    QList<QStringList> calls() const {
        QList<QStringList> out;
        for (const QByteArray& line :
             readFile(program_.filePath(QStringLiteral("calls.log"))).split('\n')) {
            if (line.isEmpty()) continue;
            QStringList args = QString::fromUtf8(line).split(QChar(0x1f));
            args.removeLast();  // after the last separator
            out << args;
        }
        return out;
    }

    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CONFIG_HOME", "XDG_STATE_HOME",
                                 "XDG_CACHE_HOME", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("HOME"), home_.path());
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        return env;
    }

    // Starts the tool; the caller waits.
    void start(QProcess& p, const QStringList& args, const QString& workingFolder = {}) const {
        p.setProcessEnvironment(environment());
        p.setStandardInputFile(QProcess::nullDevice());
        if (!workingFolder.isEmpty()) p.setWorkingDirectory(workingFolder);
        p.start(tool(), args);
    }

    ToolRun run(const QStringList& args, const QString& workingFolder = {}) const {
        QProcess p;
        start(p, args, workingFolder);
        ToolRun r;
        if (!p.waitForFinished(120000)) {
            p.kill();
            p.waitForFinished();
        } else if (p.exitStatus() == QProcess::NormalExit) {
            r.exitCode = p.exitCode();
        }
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }

  private:
    ProgramFolder program_;
    QTemporaryDir home_;
    bool valid_ = false;
};

}  // namespace qvtest
