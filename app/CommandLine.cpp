#include "CommandLine.h"

#include "catalogue/AssetNaming.h"
#include "catalogue/AssetPlan.h"
#include "catalogue/CatalogueChecker.h"
#include "catalogue/ImageSetDescription.h"
#include "export/AssetExporter.h"
#include "catalogue/DigitText.h"
#include "source/SourceImage.h"

#include <QColor>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cstdio>
#include <cstring>
#include <limits>
#include <tuple>
#include <utility>

namespace {

const QStringList Commands{QStringLiteral("ios"),      QStringLiteral("mac"),
                           QStringLiteral("watch"),    QStringLiteral("vision"),
                           QStringLiteral("tv"),       QStringLiteral("icon"),
                           QStringLiteral("imageset"), QStringLiteral("check")};

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
};

int usageError(const QString &message)
{
    std::fprintf(stderr, "assetsmith: %s (see assetsmith --help)\n", qPrintable(message));
    return Usage;
}

// Decimal digits of any script, as the window's size fields take them, within 32 bits.
bool parseSize(const QString &text, int *value)
{
    if (text.isEmpty() || DigitText::keepDigits(text) != text)
        return false;
    qint64 number = 0;
    for (const char32_t c : text.toUcs4()) {
        number = number * 10 + QChar::digitValue(c);
        if (number > std::numeric_limits<std::int32_t>::max())
            return false;
    }
    *value = int(number);
    return true;
}

int report(const ExportReport &report, const Output &out)
{
    if (!report.refusal.isEmpty()) {
        out.record({{"file", report.folder}, {"ok", false}, {"message", report.refusal}});
        out.error(report.refusal);
        return Failed;
    }
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

// A source as the window loads it, but a path that names nothing is said to be absent rather
// than unreadable.
SourceImage::Loaded loadSource(const QString &path)
{
    if (!QFileInfo::exists(path))
        return {nullptr, QStringLiteral("“%1” does not exist.").arg(path)};
    return SourceImage::fromFile(QFileInfo(path).absoluteFilePath());
}

QString counted(int n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

int runCheck(const QStringList &paths, bool strict, const Output &out)
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
        // As compilers and linters print theirs, so editors and CI annotations pick them up.
        if (!out.json && (!out.quiet || finding.level == Level::Error))
            std::fprintf(stdout, "%s: %s: %s [%s]\n", qPrintable(finding.path), qPrintable(level),
                         qPrintable(finding.message), qPrintable(finding.problem));
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

} // namespace

bool CommandLine::isCommand(int argc, char **argv)
{
    if (argc < 2)
        return false;
    const QString first = QString::fromLocal8Bit(argv[1]);
    // A lone file opens in the window; anything else is a command or a usage error.
    return argc > 2 || first.startsWith(QLatin1Char('-')) || Commands.contains(first);
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
    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("assetsmith"));
    QGuiApplication::setApplicationVersion(QStringLiteral(ASSETSMITH_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes Xcode asset catalogue folders from one source image, or checks them.\n\n"
        "  assetsmith ios SOURCE [--name NAME] [--out FOLDER] [--background COLOR]\n"
        "  assetsmith ios SOURCE --single-size [--dark SOURCE] [--tinted SOURCE|auto] [...]\n"
        "  assetsmith mac SOURCE [--style 26|15] [--name NAME] [--out FOLDER]\n"
        "  assetsmith watch SOURCE [--background COLOR] [--name NAME] [--out FOLDER]\n"
        "  assetsmith vision SOURCE --background COLOR|--back SOURCE [--name NAME] [...]\n"
        "  assetsmith tv SOURCE --background COLOR [--back SOURCE] [--name NAME] [...]\n"
        "  assetsmith icon SOURCE [--background COLOR|--back SOURCE] [--name NAME] [--out FOLDER]\n"
        "  assetsmith imageset SOURCE --width W [--height H] [--name NAME] [--out FOLDER]\n"
        "  assetsmith check PATH... [--strict] [--json]\n"
        "  assetsmith [FILE]            opens the window\n\n"
        "An app icon set already in the folder is written into: the entries of other platforms,\n"
        "idioms and appearances stay with their files, and nothing is deleted."));
    const QCommandLineOption outOption(
        QStringLiteral("out"),
        QStringLiteral("Folder to write into (default: the source's folder)."),
        QStringLiteral("FOLDER"));
    const QCommandLineOption widthOption(QStringLiteral("width"),
                                         QStringLiteral("Image set 1x width in pixels."),
                                         QStringLiteral("W"));
    const QCommandLineOption heightOption(
        QStringLiteral("height"),
        QStringLiteral("Image set 1x height (default: from the source's aspect ratio)."),
        QStringLiteral("H"));
    const QCommandLineOption nameOption(
        QStringLiteral("name"),
        QStringLiteral("imageset: the asset name (default: the source's name); the app icon "
                       "commands and icon: the set's or bundle's name (default: AppIcon; tv: "
                       "App Icon & Top Shelf Image)."),
        QStringLiteral("NAME"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("Print nothing but errors."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("Print one JSON object a line."));
    const QCommandLineOption backgroundOption(
        QStringLiteral("background"),
        QStringLiteral("ios, watch: lay every icon over this colour (a name or #rrggbb), so all "
                       "are opaque; vision, tv: the back layer's colour, and tv's top shelf "
                       "background."),
        QStringLiteral("COLOR"));
    const QCommandLineOption singleSizeOption(
        QStringLiteral("single-size"),
        QStringLiteral("ios: write one 1024 icon for every device (Xcode 14 and later)."));
    const QCommandLineOption darkOption(
        QStringLiteral("dark"), QStringLiteral("ios --single-size: the dark appearance's source."),
        QStringLiteral("SOURCE"));
    const QCommandLineOption tintedOption(
        QStringLiteral("tinted"),
        QStringLiteral("ios --single-size: the tinted appearance's source, or auto for a grey "
                       "of the main source."),
        QStringLiteral("SOURCE"));
    const QCommandLineOption styleOption(
        QStringLiteral("style"),
        QStringLiteral("mac: 26 (default) for full-bleed art that macOS 26 masks itself, or 15 "
                       "for art drawn into the rounded body macOS 15 and earlier show."),
        QStringLiteral("STYLE"));
    const QCommandLineOption backOption(
        QStringLiteral("back"),
        QStringLiteral("vision, tv: the back layer's source (over the background colour, if "
                       "any)."),
        QStringLiteral("SOURCE"));
    const QCommandLineOption strictOption(
        QStringLiteral("strict"),
        QStringLiteral("check: fail on warnings and notes too, not only on errors."));
    parser.addOptions({outOption, widthOption, heightOption, nameOption, backgroundOption,
                       singleSizeOption, darkOption, tintedOption, styleOption, backOption,
                       strictOption, quietOption, jsonOption});
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("ios, mac, watch, vision, tv, icon, imageset or check"));

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

    const Output out{parser.isSet(quietOption), parser.isSet(jsonOption)};
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usageError(QStringLiteral("a command is missing"));
    const QString command = positional.first();
    if (!Commands.contains(command))
        return usageError(QStringLiteral("unknown command “%1”").arg(command));

    QSet<QString> allowed{QStringLiteral("quiet"), QStringLiteral("json")};
    if (command != QLatin1String("check"))
        allowed << QStringLiteral("out");
    else
        allowed << QStringLiteral("strict");
    if (command != QLatin1String("check"))
        allowed << QStringLiteral("name");
    if (command == QLatin1String("imageset"))
        allowed << QStringLiteral("width") << QStringLiteral("height");
    if (command == QLatin1String("ios"))
        allowed << QStringLiteral("background") << QStringLiteral("single-size")
                << QStringLiteral("dark") << QStringLiteral("tinted");
    if (command == QLatin1String("mac"))
        allowed << QStringLiteral("style");
    if (command == QLatin1String("watch"))
        allowed << QStringLiteral("background");
    if (command == QLatin1String("vision") || command == QLatin1String("tv") ||
        command == QLatin1String("icon"))
        allowed << QStringLiteral("background") << QStringLiteral("back");
    for (const QString &name : parser.optionNames()) {
        if (!allowed.contains(name))
            return usageError(QStringLiteral("--%1 does not apply to %2").arg(name, command));
    }

    if (command == QLatin1String("check")) {
        if (positional.size() < 2)
            return usageError(QStringLiteral("check needs at least one PATH"));
        return runCheck(positional.mid(1), parser.isSet(strictOption), out);
    }
    if (positional.size() != 2)
        return usageError(positional.size() < 2
                              ? QStringLiteral("%1 needs a SOURCE image").arg(command)
                              : QStringLiteral("%1 takes one SOURCE image").arg(command));
    if (parser.isSet(nameOption)) {
        if (const QString problem = AssetPlan::nameProblem(parser.value(nameOption));
            !problem.isEmpty())
            return usageError(QStringLiteral("--name “%1” cannot name a folder: a name is not "
                                             "empty, holds no “/” or “\\” and does not start "
                                             "with “.”")
                                  .arg(parser.value(nameOption)));
    }
    int width = 0, height = 0;
    if (command == QLatin1String("imageset")) {
        if (!parser.isSet(widthOption))
            return usageError(QStringLiteral("imageset needs --width"));
        if (!parseSize(parser.value(widthOption), &width) || width < 1)
            return usageError(QStringLiteral("--width “%1” is not a whole number of pixels, "
                                             "at least 1")
                                  .arg(parser.value(widthOption)));
        if (parser.isSet(heightOption) &&
            (!parseSize(parser.value(heightOption), &height) || height < 1))
            return usageError(QStringLiteral("--height “%1” is not a whole number of pixels, "
                                             "at least 1")
                                  .arg(parser.value(heightOption)));
    }

    AssetExporter::AppIconOptions options;
    if (parser.isSet(backgroundOption)) {
        const QString colour = parser.value(backgroundOption);
        // The icon's fill may be translucent, as Icon Composer's are; everywhere else the colour
        // is there to make the icons opaque.
        const bool translucent = command == QLatin1String("icon");
        if ((colour.startsWith(QLatin1Char('#')) && colour.size() != 4 && colour.size() != 7 &&
             !(translucent && colour.size() == 9)) ||
            !QColor::isValidColorName(colour))
            return usageError(
                QStringLiteral("--background “%1” is not a colour name or #rrggbb").arg(colour));
        options.background = QColor::fromString(colour);
        if (!translucent && options.background.alpha() != 255)
            return usageError(QStringLiteral("--background “%1” is not opaque: %2 needs an "
                                             "opaque colour to lay the icons over")
                                  .arg(colour, command));
    }
    if (parser.isSet(styleOption)) {
        const QString style = parser.value(styleOption);
        if (style != QLatin1String("26") && style != QLatin1String("15"))
            return usageError(QStringLiteral("--style “%1” is not 26 or 15").arg(style));
        options.macStyle = style == QLatin1String("15") ? AssetExporter::MacStyle::Shaped
                                                        : AssetExporter::MacStyle::FullBleed;
    }
    // The back layer must be opaque, and the top shelf images lie on the background colour.
    if ((command == QLatin1String("vision") && !parser.isSet(backgroundOption) &&
         !parser.isSet(backOption)) ||
        (command == QLatin1String("tv") && !parser.isSet(backgroundOption)))
        return usageError(command == QLatin1String("tv")
                              ? QStringLiteral("tv needs --background COLOR")
                              : QStringLiteral("vision needs --background COLOR or --back SOURCE"));
    if (command == QLatin1String("icon") && parser.isSet(backgroundOption) &&
        parser.isSet(backOption))
        return usageError(QStringLiteral("icon takes --background or --back, not both"));
    options.singleSize = parser.isSet(singleSizeOption);
    for (const QCommandLineOption *appearance : {&darkOption, &tintedOption}) {
        if (parser.isSet(*appearance) && !options.singleSize)
            return usageError(
                QStringLiteral("--%1 needs --single-size").arg(appearance->names().constFirst()));
    }

    const QString source = QFileInfo(positional.at(1)).absoluteFilePath();
    const SourceImage::Loaded loaded = loadSource(positional.at(1));
    if (!loaded.image) {
        out.record({{"file", source}, {"ok", false}, {"message", loaded.error}});
        out.error(loaded.error);
        return Failed;
    }
    // The source's folder without the window's trailing "/", so the paths printed have one
    // slash where they join.
    const QString folder = parser.isSet(outOption)
                               ? parser.value(outOption)
                               : QDir::cleanPath(AssetNaming::defaultOutputFolder(source));
    // A pipeline names a folder to fill, not one it made first; the window makes one level only.
    if (parser.isSet(outOption) && !QFileInfo(folder).isDir() && !QDir().mkpath(folder)) {
        const QString message = QStringLiteral("Could not create the folder %1.").arg(folder);
        out.record({{"file", folder}, {"ok", false}, {"message", message}});
        out.error(message);
        return Failed;
    }
    if (command != QLatin1String("imageset")) {
        // The appearances' sources load as the main one does, and fail the same way.
        SourceImagePtr dark, tinted, back;
        for (auto [option, image] :
             {std::pair{&darkOption, &dark}, {&tintedOption, &tinted}, {&backOption, &back}}) {
            if (!parser.isSet(*option))
                continue;
            const QString value = parser.value(*option);
            if (option == &tintedOption && value == QLatin1String("auto")) {
                options.tintedFromSource = true;
                continue;
            }
            const SourceImage::Loaded appearance = loadSource(value);
            if (!appearance.image) {
                out.record({{"file", value}, {"ok", false}, {"message", appearance.error}});
                out.error(appearance.error);
                return Failed;
            }
            *image = appearance.image;
        }
        options.dark = dark.get();
        options.tinted = tinted.get();
        options.back = back.get();
        options.name = parser.value(nameOption);
        if (command == QLatin1String("icon"))
            return report(AssetExporter::writeIconBundle(loaded.image.get(), folder,
                                                         parser.isSet(nameOption)
                                                             ? parser.value(nameOption)
                                                             : QStringLiteral("AppIcon"),
                                                         options),
                          out);
        return report(AssetExporter::writeAppIconSet(loaded.image.get(), folder,
                                                     *AssetPlan::platformOfKey(command), options),
                      out);
    }

    if (!parser.isSet(heightOption)) {
        const QSizeF size = loaded.image->size();
        height =
            AssetNaming::heightForWidth(parser.value(widthOption), size.height() / size.width());
    }
    const QString name = parser.isSet(nameOption)
                             ? parser.value(nameOption)
                             : AssetNaming::defaultAssetName(QFileInfo(source).fileName());
    return report(AssetExporter::writeImageSet(loaded.image.get(), folder,
                                               ImageSetDescription(width, height, name)),
                  out);
}
