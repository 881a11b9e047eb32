#include "CommandLine.h"

#include "catalogue/AssetNaming.h"
#include "catalogue/AssetPlan.h"
#include "catalogue/CatalogueChecker.h"
#include "catalogue/ImageSetDescription.h"
#include "catalogue/Manifest.h"
#include "commandline/CommandTable.h"
#include "export/AssetExporter.h"
#include "export/ManifestBuild.h"
#include "export/IconRenderer.h"
#include "export/PngEncoder.h"
#include "export/SourceFile.h"
#include "platform/FileSystem.h"
#include "export/SourceLayers.h"
#include "source/LayeredDrawing.h"
#include "source/SourceImage.h"

#include <QColor>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

#include <cstdio>
#include <cstring>
#include <tuple>
#include <utility>

namespace {

enum Exit { Success = 0, Failed = 1, Usage = 2 };

struct Output
{
    bool quiet = false;
    bool json = false;

    void line(const QString &text) const
    {
        if (!quiet && !json)
            std::fprintf(stdout, "%s\n", qPrintable(text));
    }
    void error(const QString &text) const
    {
        if (!json)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    // Warnings never fail a run; they go with the errors, where a pipeline looks.
    void warning(const QString &text) const
    {
        if (!quiet && !json)
            std::fprintf(stderr, "Warning: %s\n", qPrintable(text));
    }
    void record(const QJsonObject &object) const
    {
        if (json)
            std::fprintf(stdout, "%s\n",
                         QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    }
    // A file that could not be read or written: its record, its message, and the exit status.
    int fail(const QString &file, const QString &message) const
    {
        record({{"file", file}, {"ok", false}, {"message", message}});
        error(message);
        return Failed;
    }
};

int usageError(const QString &message)
{
    std::fprintf(stderr, "assetsmith: %s (see assetsmith --help)\n", qPrintable(message));
    return Usage;
}

int report(const ExportReport &report, const Output &out)
{
    if (!report.refusal.isEmpty())
        return out.fail(report.folder, report.refusal);
    for (const ExportReport::File &file : report.files) {
        QJsonObject record{{"file", file.path},
                           {"ok", file.ok},
                           {"message", file.ok ? QStringLiteral("written") : file.message}};
        if (file.width > 0 && file.height > 0) { // Contents.json has no pixel size
            record[QLatin1String("width")] = file.width;
            record[QLatin1String("height")] = file.height;
        }
        out.record(record);
        if (!file.ok)
            out.error(file.message);
    }
    const bool ok = report.succeeded();
    if (ok)
        out.line(report.summary());
    else
        out.error(report.summary());
    for (const ExportReport::Warning &warning : report.warnings) {
        out.record({{"warning", warning.code}, {"message", warning.message}});
        out.warning(warning.message);
    }
    return ok ? Success : Failed;
}

// The layers vision, tv and icon draw layer by layer, front first, into `images` and the
// options: each --layer file, else the kept layers of a SOURCE drawing that splits into two or
// more, unless a --back source keeps the drawing whole as the front layer. The effects that
// span a drawing's layers, which its layers laid over each other lose, are warned of. Gives
// the exit status of a failure, or -1 to go on.
int loadLayers(const QCommandLineParser &parser, const QString &command, const SourceImage &source,
               AssetExporter::AppIconOptions *options, QList<SourceImagePtr> *images,
               const Output &out)
{
    if (command != QLatin1String("vision") && command != QLatin1String("tv") &&
        command != QLatin1String("icon"))
        return -1;
    options->groups = parser.isSet(QStringLiteral("groups"));
    const QStringList files = parser.values(QStringLiteral("layer"));
    SourceLayers::Found found;
    if (!files.isEmpty()) {
        if (parser.isSet(QStringLiteral("back")))
            return usageError(QStringLiteral("--layer and --back both give the back layer: "
                                             "give the back layer as the last --layer"));
        if (files.size() < 2)
            return usageError(QStringLiteral("--layer needs two layers or more, front first"));
        found = SourceLayers::ofFiles(files);
    } else if (!parser.isSet(QStringLiteral("back"))) {
        found = SourceLayers::ofDrawing(source);
    }
    if (!found.error.isEmpty())
        return out.fail(found.failedPath, found.error);
    for (const ExportReport::Warning &warning : found.warnings()) {
        out.record({{"warning", warning.code}, {"message", warning.message}});
        out.warning(warning.message);
    }
    if (!found.layered())
        return -1; // drawn whole, as a drawing of one layer is
    *images = found.images;
    options->layerNames = found.names;
    for (const SourceImagePtr &image : std::as_const(*images))
        options->layers << image.get();
    return -1;
}

QString counted(int n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

// A workflow command's text: the runner reads "%", CR and LF as escapes, and in a property also
// ":" and ",".
QString workflowText(QString text, bool property)
{
    text.replace(QLatin1Char('%'), QLatin1String("%25"))
        .replace(QLatin1Char('\r'), QLatin1String("%0D"))
        .replace(QLatin1Char('\n'), QLatin1String("%0A"));
    if (property)
        text.replace(QLatin1Char(':'), QLatin1String("%3A"))
            .replace(QLatin1Char(','), QLatin1String("%2C"));
    return text;
}

int runCheck(const QStringList &paths, bool strict, const QString &format, const Output &out)
{
    using Level = CatalogueChecker::Level;
    for (const QString &path : paths) {
        if (!QFileInfo::exists(path))
            return usageError(QStringLiteral("no such file or folder: %1").arg(path));
        if (!QFileInfo(path).isDir())
            return usageError(QStringLiteral("not a folder: %1").arg(path));
    }
    const CatalogueChecker::Result result = CatalogueChecker::check(paths);
    for (const CatalogueChecker::Finding &finding : result.findings) {
        const QString level = CatalogueChecker::levelName(finding.level);
        out.record({{"path", finding.path},
                    {"level", level},
                    {"problem", finding.problem},
                    {"message", finding.message}});
        if (out.json || (out.quiet && finding.level != Level::Error))
            continue;
        if (format == QLatin1String("github")) {
            // A pull request annotates the files of the repository, named from its root, which
            // is where a workflow's steps run.
            const QString file =
                QDir::current().relativeFilePath(QFileInfo(finding.path).absoluteFilePath());
            const char *command = finding.level == Level::Error     ? "error"
                                  : finding.level == Level::Warning ? "warning"
                                                                    : "notice";
            std::fprintf(stdout, "::%s file=%s,title=%s::%s\n", command,
                         qPrintable(workflowText(file, true)),
                         qPrintable(workflowText(finding.problem, true)),
                         qPrintable(workflowText(finding.message, false)));
        } else {
            // As compilers and linters print theirs, so editors pick them up.
            std::fprintf(stdout, "%s: %s: %s [%s]\n", qPrintable(finding.path), qPrintable(level),
                         qPrintable(finding.message), qPrintable(finding.problem));
        }
    }
    const int errors = result.count(Level::Error);
    const int warnings = result.count(Level::Warning);
    const int notes = result.count(Level::Note);
    const int problems = int(result.findings.size());
    out.record({{"summary", QJsonObject{{"sets", result.setsChecked},
                                        {"problems", problems},
                                        {"errors", errors},
                                        {"warnings", warnings},
                                        {"notes", notes}}}});
    const QString sets = counted(result.setsChecked, "set", "sets");
    if (problems == 0) {
        out.line(QStringLiteral("No problems in %1").arg(sets));
    } else {
        QStringList levels;
        for (auto [n, one, many] : {std::tuple{errors, "error", "errors"},
                                    {warnings, "warning", "warnings"},
                                    {notes, "note", "notes"}}) {
            if (n > 0)
                levels << counted(n, one, many);
        }
        out.line(QStringLiteral("%1 in %2 (%3)")
                     .arg(counted(problems, "problem", "problems"), sets, levels.join(", ")));
    }
    return errors > 0 || (strict && problems > 0) ? Failed : Success;
}

int runBuild(const QString &path, bool check, const Output &out)
{
    const Manifest manifest = Manifest::read(path);
    if (!manifest.errors.isEmpty()) {
        for (const QString &error : manifest.errors) {
            out.record({{"file", manifest.path}, {"ok", false}, {"message", error}});
            out.error(QStringLiteral("%1: %2").arg(path, error));
        }
        return Usage;
    }
    const QList<ManifestBuild::Result> results = ManifestBuild::run(
        manifest, check ? ManifestBuild::Mode::Check : ManifestBuild::Mode::Write);
    int failed = 0, files = 0, differing = 0, stale = 0;
    for (const ManifestBuild::Result &result : results) {
        const ExportReport &report = result.report;
        if (!check) {
            failed += ::report(report, out) != Success;
            files += report.writtenCount();
            continue;
        }
        if (!report.refusal.isEmpty()) {
            failed += out.fail(report.folder, report.refusal);
            continue;
        }
        stale += !report.differences.isEmpty();
        for (const ExportReport::Difference &difference : report.differences) {
            ++differing;
            out.record({{"file", difference.path}, {"ok", false}, {"message", difference.what}});
            // A stale file is what the check is run to find: the list is its output.
            if (!out.json)
                std::fprintf(stdout, "%s: %s\n", qPrintable(difference.path),
                             qPrintable(difference.what));
        }
    }
    const QString sets = counted(int(results.size()), "set", "sets");
    QString summary;
    if (!check)
        summary = failed == 0 ? QStringLiteral("Built %1 (%2) from %3")
                                    .arg(sets, counted(files, "file", "files"), path)
                              : QStringLiteral("Built %1 of %2 from %3; %4 failed")
                                    .arg(results.size() - failed)
                                    .arg(sets, path)
                                    .arg(failed);
    else if (differing == 0 && failed == 0)
        summary = QStringLiteral("All %1 of %2 are current").arg(sets, path);
    else {
        QStringList parts;
        if (differing > 0)
            parts << QStringLiteral("%1 in %2 of %3 differ from what %4 builds")
                         .arg(counted(differing, "file", "files"))
                         .arg(stale)
                         .arg(sets, path);
        if (failed > 0)
            parts << QStringLiteral("%1 of %2 could not be checked")
                         .arg(failed)
                         .arg(differing > 0 ? sets : QStringLiteral("%1 of %2").arg(sets, path));
        summary = parts.join(QStringLiteral("; "));
    }
    out.record({{"summary", summary}, {"ok", failed == 0 && differing == 0}});
    if (failed == 0 && differing == 0)
        out.line(summary);
    else
        out.error(summary);
    return failed == 0 && differing == 0 ? Success : Failed;
}

// The catalogue under the working folder, when the user names none: folders are searched a few
// levels deep, as a repository keeps its app's catalogue, past hidden and build folders.
QStringList cataloguesUnder(const QString &folder, int depth)
{
    QStringList found;
    const QDir dir(folder);
    for (const QFileInfo &info :
         dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name)) {
        if (info.fileName().endsWith(QLatin1String(".xcassets"), Qt::CaseInsensitive))
            found << info.filePath();
        else if (depth > 0 && !info.fileName().startsWith(QLatin1Char('.')))
            found << cataloguesUnder(info.filePath(), depth - 1);
    }
    return found;
}

int runInit(QString catalogue, const QString &path, const Output &out)
{
    if (catalogue.isEmpty()) {
        const QStringList found = cataloguesUnder(QStringLiteral("."), 4);
        if (found.isEmpty())
            return usageError(QStringLiteral("no .xcassets folder here: name the CATALOGUE"));
        if (found.size() > 1)
            return usageError(QStringLiteral("several catalogues here, name one: %1")
                                  .arg(found.join(QStringLiteral(", "))));
        catalogue = QDir::cleanPath(found.first());
    } else if (!QFileInfo(catalogue).isDir()) {
        return usageError(QStringLiteral("not a folder: %1").arg(catalogue));
    }
    auto fail = [&](const QString &message) { return out.fail(path, message); };
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("%1 is there already: remove it, or name another file with "
                                   "--manifest.")
                        .arg(path));
    const Manifest::Started started = Manifest::start(QFileInfo(catalogue).absoluteFilePath(),
                                                      QFileInfo(path).absoluteFilePath());
    if (!started.refusal.isEmpty())
        return fail(started.refusal);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(started.json) != started.json.size() ||
        !file.commit())
        return fail(QStringLiteral("Could not write %1: %2.").arg(path, file.errorString()));
    out.record({{"file", path}, {"ok", true}, {"message", "written"}});
    for (const QString &place : started.toFill)
        out.record({{"fill", place}});
    for (const QString &note : started.notes) {
        out.record({{"note", note}});
        out.warning(note);
    }
    // Every set's source is to be filled in; other places (appearances, back layers) are named.
    const QStringList others =
        started.toFill.filter(QRegularExpression(QStringLiteral("\\.(?!source$)[a-z-]+$")));
    const int sets = int(started.toFill.size() - others.size());
    out.line(QStringLiteral("Wrote %1 with %2 from %3: fill in %4%5, then run assetsmith build.")
                 .arg(path, counted(sets, "set", "sets"), catalogue,
                      sets == 1 ? QStringLiteral("its \"source\"")
                                : QStringLiteral("each set's \"source\""),
                      others.isEmpty()
                          ? QString()
                          : QStringLiteral(" and %1").arg(others.join(QStringLiteral(", ")))));
    return Success;
}

// A plain picture drawn as a document of one layer: the picture fitted to the canvas, with no
// fill, shadow or translucency of its own, so that only the platform's shape and look are
// added.
IconRenderer::Document pictureAsDocument(const SourceImagePtr &picture)
{
    const QSizeF size = picture->size();
    const double scale = 1024.0 / std::max(size.width(), size.height());
    const QJsonObject layer{
        {"image-name", "picture"},
        {"name", "picture"},
        {"glass", false},
        {"position", QJsonObject{{"scale", scale}, {"translation-in-points", QJsonArray{0, 0}}}}};
    const QJsonObject group{{"layers", QJsonArray{layer}},
                            {"shadow", QJsonObject{{"kind", "none"}, {"opacity", 0}}},
                            {"translucency", QJsonObject{{"enabled", false}, {"value", 0}}}};
    const QJsonObject json{{"fill", "none"},
                           {"groups", QJsonArray{group}},
                           {"supported-platforms", QJsonObject{{"circles", QJsonArray{"watchOS"}},
                                                               {"squares", "shared"}}}};
    return {json, {{QStringLiteral("picture"), picture}}};
}

int runRender(const QString &path, int size, const QString &appearance, const QString &platform,
              const QString &file, const Output &out)
{
    using Appearance = IconRenderer::Appearance;
    using Platform = IconRenderer::Platform;
    const QStringList appearances{"default",    "dark",         "clear-light",
                                  "clear-dark", "tinted-light", "tinted-dark"};
    const QStringList platforms{"ios", "macos", "watchos"};
    const IconRenderer::Request request{
        size, Appearance(std::max(qsizetype(0), appearances.indexOf(appearance))),
        Platform(std::max(qsizetype(0), platforms.indexOf(platform))),
        IconRenderer::Mask::Platform};
    IconRenderer::Document document;
    if (const QString bundle = SourceFile::documentOf(path); !bundle.isEmpty()) {
        const IconRenderer::Loaded loaded = IconRenderer::load(bundle);
        if (!loaded.error.isEmpty())
            return out.fail(path, loaded.error);
        document = loaded.document;
    } else {
        const SourceFile::Opened loaded = SourceFile::openNamed(path);
        if (!loaded.image)
            return out.fail(path, loaded.error);
        document = pictureAsDocument(loaded.image);
    }
    const IconRenderer::Rendered rendered = IconRenderer::render(document, request);
    if (rendered.image.isNull())
        return out.fail(path, rendered.error);
    bool opaque = false;
    const QByteArray png = PngEncoder::encode(rendered.image, 0, &opaque);
    QString reason;
    if (png.isEmpty() || !FileSystem::writeFileAtomically(file, png, &reason))
        return out.fail(file, QStringLiteral("Could not write %1: %2.").arg(file, reason));
    out.record(
        {{"file", file}, {"ok", true}, {"message", "written"}, {"width", size}, {"height", size}});
    out.line(QStringLiteral("Drew %1 at %2 px into %3").arg(path).arg(size).arg(file));
    return Success;
}

int runLayers(const QString &path, const Output &out)
{
    auto fail = [&](const QString &message) { return out.fail(path, message); };
    const SourceFile::Opened opened = SourceFile::openNamed(path);
    if (!opened.image)
        return fail(opened.error);
    if (!opened.image->isVector())
        return fail(QStringLiteral("%1 is not a drawing: only an SVG has layers.").arg(path));
    LayeredDrawing drawing = LayeredDrawing::splitIsolated(opened.image->drawing());
    if (!drawing.error().isEmpty())
        return fail(
            QStringLiteral("Could not split %1 into layers: %2.").arg(path, drawing.error()));
    // Measured at the drawing's own size, within the worker's bounds, so the boxes read in its
    // units.
    const QSizeF size = opened.image->size();
    const double fit = std::min({1.0, 4096.0 / size.width(), 4096.0 / size.height()});
    const QSize target(std::clamp(int(std::ceil(size.width() * fit)), 1, 4096),
                       std::clamp(int(std::ceil(size.height() * fit)), 1, 4096));
    if (const QString problem = drawing.measure(target); !problem.isEmpty())
        return fail(QStringLiteral("Could not draw the layers of %1: %2").arg(path, problem));
    int kept = 0, number = 0;
    QStringList leftOut;
    for (const LayeredDrawing::Layer &layer : drawing.layers()) {
        const char *state = layer.state == LayeredDrawing::State::Kept     ? "kept"
                            : layer.state == LayeredDrawing::State::Hidden ? "hidden"
                                                                           : "empty";
        QJsonObject record{{"layer", ++number},
                           {"name", layer.name},
                           {"kind", layer.kind},
                           {"element", layer.element},
                           {"state", state}};
        if (!layer.why.isEmpty())
            record[QLatin1String("why")] = layer.why;
        const QRectF box(layer.bounds.x() / fit, layer.bounds.y() / fit, layer.bounds.width() / fit,
                         layer.bounds.height() / fit);
        if (layer.kept()) {
            ++kept;
            record[QLatin1String("bounds")] =
                QJsonArray{box.x(), box.y(), box.width(), box.height()};
            out.line(QStringLiteral("%1. “%2” (%3) at %4,%5 %6x%7")
                         .arg(number)
                         .arg(layer.name, layer.kind)
                         .arg(box.x(), 0, 'g', 4)
                         .arg(box.y(), 0, 'g', 4)
                         .arg(box.width(), 0, 'g', 4)
                         .arg(box.height(), 0, 'g', 4));
        } else {
            leftOut << layer.name;
            out.line(
                QStringLiteral("-  %1 (%2) left out: %3").arg(layer.name, layer.kind, layer.why));
        }
        out.record(record);
    }
    for (const QString &effect : drawing.crossLayer()) {
        out.record({{"warning", "cross-layer"}, {"message", effect}});
        out.warning(effect);
    }
    out.record({{"summary", QJsonObject{{"layers", number}, {"kept", kept}}}});
    out.line(
        QStringLiteral("%1 in %2%3")
            .arg(counted(kept, "layer", "layers"), path,
                 leftOut.isEmpty()
                     ? QString()
                     : QStringLiteral("; left out: %1").arg(leftOut.join(QStringLiteral(", ")))));
    return Success;
}

} // namespace

bool CommandLine::isCommand(int argc, char **argv)
{
    if (argc < 2)
        return false;
    const QString first = QString::fromLocal8Bit(argv[1]);
    // A lone file opens in the window; anything else is a command or a usage error.
    return argc > 2 || first.startsWith(QLatin1Char('-')) ||
           CommandTable::command(first) != nullptr;
}

int CommandLine::run(int argc, char **argv)
{
    // Commands never need a screen, wherever they run.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own notices (an unset runtime folder, font lookups) are not the command's output, and
    // pipelines read the error stream for failures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    // The arguments as given: Qt takes some words for itself (--style among them) out of argv.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    // Qt is given none of them: it would read "--platform macos" as its own window system.
    int qtArgc = 1;
    char *qtArgv[] = {argv[0], nullptr};
    QGuiApplication application(qtArgc, qtArgv);
    QGuiApplication::setApplicationName(QStringLiteral("assetsmith"));
    QGuiApplication::setApplicationVersion(QStringLiteral(ASSETSMITH_VERSION));

    QCommandLineParser parser;
    QString usage = CommandTable::description() + QStringLiteral("\n\n");
    for (const CommandTable::Command &command : CommandTable::commands())
        usage += QStringLiteral("  assetsmith %1 %2\n").arg(command.name, command.synopsis);
    usage += QStringLiteral("  assetsmith [FILE]  opens the window");
    parser.setApplicationDescription(usage);
    QCommandLineOption helpOption(QStringLiteral("help")), versionOption(QStringLiteral("version"));
    for (const CommandTable::Option &option : CommandTable::options()) {
        if (option.name == QLatin1String("help"))
            helpOption = parser.addHelpOption();
        else if (option.name == QLatin1String("version"))
            versionOption = parser.addVersionOption();
        else
            parser.addOption(QCommandLineOption(option.name, option.help, option.valueName));
    }
    QStringList names;
    for (const CommandTable::Command &command : CommandTable::commands())
        names << command.name;
    parser.addPositionalArgument(QStringLiteral("command"), names.join(QStringLiteral(", ")));

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fprintf(stdout, "%s", qPrintable(parser.helpText()));
        return Success;
    }
    if (parser.isSet(versionOption)) {
        std::fprintf(stdout, "assetsmith %s\n", ASSETSMITH_VERSION);
        return Success;
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("a command is missing"));
    const QString command = positional.first();
    if (!CommandTable::command(command))
        return usageError(QStringLiteral("unknown command “%1”").arg(command));
    for (const QString &name : parser.optionNames()) {
        const CommandTable::Option *option = CommandTable::option(name);
        if (!option || !CommandTable::applies(*option, command))
            return usageError(QStringLiteral("--%1 does not apply to %2").arg(name, command));
        if (const QString problem =
                CommandTable::valueProblem(*option, command, parser.value(name));
            !problem.isEmpty())
            return usageError(QStringLiteral("--%1 %2").arg(name, problem));
    }
    auto isSet = [&](const char *name) { return parser.isSet(QLatin1String(name)); };
    auto value = [&](const char *name) { return parser.value(QLatin1String(name)); };
    QString format = isSet("json") ? QStringLiteral("json") : QStringLiteral("text");
    if (isSet("format")) {
        if (isSet("json") && value("format") != QLatin1String("json"))
            return usageError(
                QStringLiteral("--json and --format %1 ask for two formats").arg(value("format")));
        format = value("format");
    }
    const Output out{isSet("quiet"), format == QLatin1String("json")};

    if (command == QLatin1String("check")) {
        if (positional.size() < 2)
            return usageError(QStringLiteral("check needs at least one PATH"));
        return runCheck(positional.mid(1), isSet("strict"), format, out);
    }
    if (command == QLatin1String("build")) {
        if (positional.size() > 1)
            return usageError(QStringLiteral("build takes no %1: name the manifest with "
                                             "--manifest")
                                  .arg(positional.at(1)));
        return runBuild(isSet("manifest") ? value("manifest")
                                          : QString::fromLatin1(Manifest::FileName),
                        isSet("check"), out);
    }
    if (command == QLatin1String("init")) {
        if (positional.size() > 2)
            return usageError(QStringLiteral("init takes one CATALOGUE"));
        return runInit(
            positional.value(1),
            isSet("manifest") ? value("manifest") : QString::fromLatin1(Manifest::FileName), out);
    }
    if (command == QLatin1String("layers")) {
        if (positional.size() != 2)
            return usageError(QStringLiteral("layers takes one FILE"));
        return runLayers(positional.at(1), out);
    }
    if (command == QLatin1String("render")) {
        if (positional.size() != 2)
            return usageError(QStringLiteral("render takes one SOURCE"));
        if (!isSet("size") || !isSet("out"))
            return usageError(QStringLiteral("render needs --size N and --out FILE.png"));
        int size = 0;
        CommandTable::wholeNumber(value("size"), &size);
        if (size > IconRenderer::MaxPixels)
            return usageError(QStringLiteral("--size %1 is more than %2 pixels")
                                  .arg(value("size"))
                                  .arg(IconRenderer::MaxPixels));
        return runRender(positional.at(1), size, value("appearance"), value("platform"),
                         value("out"), out);
    }
    if (positional.size() != 2)
        return usageError(positional.size() < 2
                              ? QStringLiteral("%1 needs a SOURCE image").arg(command)
                              : QStringLiteral("%1 takes one SOURCE image").arg(command));
    if (command == QLatin1String("imageset") && !isSet("width"))
        return usageError(QStringLiteral("imageset needs --width"));
    // The back layer must be opaque, and the top shelf images lie on the background colour.
    if ((command == QLatin1String("vision") && !isSet("background") && !isSet("back")) ||
        (command == QLatin1String("tv") && !isSet("background")))
        return usageError(command == QLatin1String("tv")
                              ? QStringLiteral("tv needs --background COLOR")
                              : QStringLiteral("vision needs --background COLOR or --back SOURCE"));
    if (command == QLatin1String("icon") && isSet("background") && isSet("back"))
        return usageError(QStringLiteral("icon takes --background or --back, not both"));
    for (const char *appearance : {"dark", "tinted"}) {
        if (isSet(appearance) && !isSet("single-size"))
            return usageError(
                QStringLiteral("--%1 needs --single-size").arg(QLatin1String(appearance)));
    }

    AssetExporter::AppIconOptions options;
    if (isSet("background"))
        options.background = QColor::fromString(value("background"));
    options.macStyle = value("style") == QLatin1String("15") ? AssetExporter::MacStyle::Shaped
                                                             : AssetExporter::MacStyle::FullBleed;
    options.singleSize = isSet("single-size");
    options.name = value("name");

    // A document named by its icon.json is named, and written beside, as its bundle.
    QString source = QFileInfo(positional.at(1)).absoluteFilePath();
    if (const QString bundle = SourceFile::documentOf(source); !bundle.isEmpty())
        source = QDir::cleanPath(bundle);
    // A document's other looks are drawn only for the sets that take them.
    const bool looks = command == QLatin1String("watch") ||
                       (options.singleSize && !(isSet("dark") && isSet("tinted")));
    const SourceFile::Opened loaded = SourceFile::openNamed(
        positional.at(1), looks ? SourceFile::Looks::All : SourceFile::Looks::Default);
    if (!loaded.image)
        return out.fail(source, loaded.error);
    // The source's folder without the window's trailing "/", so the paths printed have one
    // slash where they join.
    const QString folder =
        isSet("out") ? value("out") : QDir::cleanPath(AssetNaming::defaultOutputFolder(source));
    // A pipeline names a folder to fill, not one it made first; the window makes one level only.
    if (isSet("out") && !QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        return out.fail(folder, QStringLiteral("Could not create the folder %1.").arg(folder));
    }
    if (command != QLatin1String("imageset")) {
        // The appearances' sources load as the main one does, and fail the same way.
        SourceImagePtr dark, tinted, back;
        for (auto [name, image] :
             {std::pair{"dark", &dark}, {"tinted", &tinted}, {"back", &back}}) {
            if (!isSet(name))
                continue;
            const QString path = value(name);
            if (qstrcmp(name, "tinted") == 0 && path == QLatin1String("auto")) {
                options.tintedFromSource = true;
                continue;
            }
            const SourceFile::Opened appearance = SourceFile::openNamed(path);
            if (!appearance.image)
                return out.fail(path, appearance.error);
            *image = appearance.image;
        }
        // An Icon Composer document gives its own appearances, and its watch idiom to the watch.
        if (options.singleSize && !isSet("dark"))
            dark = loaded.dark;
        if (options.singleSize && !isSet("tinted"))
            tinted = loaded.tinted;
        const SourceImagePtr main =
            command == QLatin1String("watch") && loaded.watch ? loaded.watch : loaded.image;
        options.dark = dark.get();
        options.tinted = tinted.get();
        options.back = back.get();
        QList<SourceImagePtr> layers;
        if (const int failed = loadLayers(parser, command, *main, &options, &layers, out);
            failed >= 0)
            return failed;
        if (command == QLatin1String("icon"))
            return report(AssetExporter::writeIconBundle(
                              main.get(), folder,
                              isSet("name") ? value("name") : QStringLiteral("AppIcon"), options),
                          out);
        return report(AssetExporter::writeAppIconSet(main.get(), folder,
                                                     *AssetPlan::platformOfKey(command), options),
                      out);
    }

    int width = 0, height = 0;
    CommandTable::wholeNumber(value("width"), &width);
    CommandTable::wholeNumber(value("height"), &height);
    if (!isSet("height")) {
        const QSizeF size = loaded.image->size();
        height = AssetNaming::heightForWidth(value("width"), size.height() / size.width());
    }
    const QString name =
        isSet("name") ? value("name") : AssetNaming::defaultAssetName(QFileInfo(source).fileName());
    return report(AssetExporter::writeImageSet(loaded.image.get(), folder,
                                               ImageSetDescription(width, height, name)),
                  out);
}
