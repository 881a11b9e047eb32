#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// The program run as a build pipeline runs it, for tests of its commands.
struct CommandRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    // The --json records printed, one object a line.
    QList<QJsonObject> records() const
    {
        QList<QJsonObject> list;
        for (const QByteArray &line : out.split('\n')) {
            if (!line.isEmpty())
                list << QJsonDocument::fromJson(line).object();
        }
        return list;
    }
};

// Runs the executable as a build pipeline would: no display, and no platform chosen for it.
inline CommandRun run(const QStringList &arguments, const QString &workingDirectory = QString())
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(ASSETSMITH_BINARY), arguments);
    CommandRun result;
    if (!process.waitForFinished(240000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}
