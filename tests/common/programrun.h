#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// One run of a program the tests start, its output and errors apart (testnamespace.h merges
// them): input on its standard input, killed when it outlives timeoutMs.
struct ProgramRun
{
    bool timedOut = false;
    bool finished = false; // ended on its own, not by a signal
    int exitCode = -1;
    QByteArray out;
    QString err;
};

inline ProgramRun RunProgramWithInput(const QString &program, const QStringList &args,
                                      const QProcessEnvironment &environment, int timeoutMs,
                                      const QByteArray &input = QByteArray())
{
    ProgramRun run;
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, args);
    if (process.waitForStarted(10000)) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.timedOut = true;
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }
    run.finished = process.exitStatus() == QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
