#include "ExportReport.h"

#include <QDir>

#include <algorithm>

ExportReport ExportReport::refused(const QString &reason)
{
    ExportReport report;
    report.refusal = reason;
    return report;
}

bool ExportReport::succeeded() const
{
    return refusal.isEmpty() && writtenCount() == files.size();
}

int ExportReport::writtenCount() const
{
    return int(std::count_if(files.begin(), files.end(), [](const File &f) { return f.ok; }));
}

QString ExportReport::summary() const
{
    if (!refusal.isEmpty())
        return refusal;
    const QString where = QDir::cleanPath(folder);
    if (succeeded() && !note.isEmpty())
        return note;
    if (succeeded())
        return QStringLiteral("Wrote %1 files to %2").arg(files.size()).arg(where);
    const auto failed =
        std::find_if(files.begin(), files.end(), [](const File &f) { return !f.ok; });
    return QStringLiteral("%1 Wrote %2 of %3 files to %4.")
        .arg(failed->message)
        .arg(writtenCount())
        .arg(files.size())
        .arg(where);
}

QString ExportReport::summaryWithWarnings() const
{
    QStringList lines{summary()};
    for (const Warning &warning : warnings)
        lines << warning.message;
    return lines.join(QLatin1Char('\n'));
}
