#pragma once

#include "ExportReport.h"
#include "catalogue/Manifest.h"

#include <QList>
#include <QString>

// Carries out a manifest: each of its sets as the command of its kind would write it, or, for a
// check, what such a write would change. Each source file is decoded once however many sets use
// it, and the sets are drawn together on the shared pool within the thread budget; the results
// come back in the manifest's order, whatever the thread count.
class ManifestBuild
{
public:
    enum class Mode { Write, Check };

    struct Result
    {
        Manifest::Set set;
        ExportReport report; // Check: its refusal, or the differences
    };

    static QList<Result> run(const Manifest &manifest, Mode mode, int threads = 0);
};
