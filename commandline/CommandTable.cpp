#include "CommandTable.h"

#include "catalogue/AssetPlan.h"
#include "catalogue/DigitText.h"

#include <QColor>

#include <cstdint>
#include <limits>

namespace {

using Value = CommandTable::Value;

const QStringList Writers{QStringLiteral("ios"),     QStringLiteral("mac"), QStringLiteral("watch"),
                          QStringLiteral("vision"),  QStringLiteral("tv"),  QStringLiteral("icon"),
                          QStringLiteral("imageset")};

QString quoted(const QString &text)
{
    return QStringLiteral("“%1”").arg(text);
}

// "a, b or c"
QString either(const QStringList &words)
{
    if (words.size() < 2)
        return words.join(QString());
    return QStringLiteral("%1 or %2")
        .arg(words.mid(0, words.size() - 1).join(QStringLiteral(", ")), words.constLast());
}

} // namespace

const QList<CommandTable::Command> &CommandTable::commands()
{
    static const QList<Command> table{
        {QStringLiteral("ios"),
         QStringLiteral("SOURCE [--single-size [--dark SOURCE] [--tinted SOURCE|auto]] "
                        "[--background COLOR] [--name NAME] [--out FOLDER]"),
         QStringLiteral("Writes an iOS app icon set: every iPhone, iPad and App Store size, or "
                        "one 1024 px icon for every device."),
         Value::File, true},
        {QStringLiteral("mac"),
         QStringLiteral("SOURCE [--style 26|15] [--name NAME] [--out FOLDER]"),
         QStringLiteral("Writes a Mac app icon set: 16 to 512 points at 1x and 2x."), Value::File,
         true},
        {QStringLiteral("watch"),
         QStringLiteral("SOURCE [--background COLOR] [--name NAME] [--out FOLDER]"),
         QStringLiteral("Writes a watchOS app icon set: one 1024 px icon."), Value::File, true},
        {QStringLiteral("vision"),
         QStringLiteral("SOURCE --background COLOR|--back SOURCE [--layer FILE...] [--name NAME] "
                        "[--out FOLDER]"),
         QStringLiteral("Writes a visionOS app icon: an image stack of front, middle and back "
                        "layers."),
         Value::File, true},
        {QStringLiteral("tv"),
         QStringLiteral("SOURCE --background COLOR [--back SOURCE|--layer FILE...] [--name NAME] "
                        "[--out FOLDER]"),
         QStringLiteral("Writes tvOS brand assets: the App Store and home screen image stacks and "
                        "the top shelf images."),
         Value::File, true},
        {QStringLiteral("icon"),
         QStringLiteral("SOURCE [--background COLOR|--back SOURCE|--layer FILE...] [--groups] "
                        "[--name NAME] [--out FOLDER]"),
         QStringLiteral("Writes an Icon Composer document NAME.icon."), Value::File, true},
        {QStringLiteral("imageset"),
         QStringLiteral("SOURCE --width W [--height H] [--name NAME] [--out FOLDER]"),
         QStringLiteral("Writes an image set: the image at 1x, 2x and 3x of the width and height "
                        "given."),
         Value::File, true},
        {QStringLiteral("check"), QStringLiteral("PATH... [--strict] [--format text|json|github]"),
         QStringLiteral("Checks asset catalogues, sets and Icon Composer documents for what Xcode "
                        "would reject or warn of."),
         Value::Folder, false},
        {QStringLiteral("build"), QStringLiteral("[--manifest FILE] [--check]"),
         QStringLiteral("Writes every set the manifest names, or with --check writes nothing "
                        "and lists each file that differs from what it would write."),
         Value::None, false},
        {QStringLiteral("render"),
         QStringLiteral("SOURCE --size N [--appearance default|dark|clear-light|clear-dark|"
                        "tinted-light|tinted-dark] [--platform ios|macos|watchos] --out FILE.png"),
         QStringLiteral("Draws a source, an Icon Composer document above all, as the icon the "
                        "platform shows: one PNG of N pixels in one appearance, cut to the "
                        "platform's shape."),
         Value::File, false},
        {QStringLiteral("layers"), QStringLiteral("FILE [--json]"),
         QStringLiteral("Lists the layers a layered drawing splits into, front first: each "
                        "one's name, kind and bounding box, and those left out and why."),
         Value::File, false},
        {QStringLiteral("init"), QStringLiteral("[CATALOGUE] [--manifest FILE]"),
         QStringLiteral("Starts a manifest from the sets a catalogue holds, their sources left "
                        "to fill in."),
         Value::Folder, false},
    };
    return table;
}

const QList<CommandTable::Option> &CommandTable::options()
{
    const QStringList appIcons{QStringLiteral("ios"), QStringLiteral("watch"),
                               QStringLiteral("vision"), QStringLiteral("tv"),
                               QStringLiteral("icon")};
    static const QList<Option> table{
        {QStringLiteral("out"),
         QStringLiteral("FOLDER"),
         Value::Folder,
         {},
         QStringLiteral("The folder to write into (default: the source's folder; in a "
                        "manifest, its catalogue); render: the PNG file to write."),
         Writers + QStringList{QStringLiteral("render")},
         true},
        {QStringLiteral("name"),
         QStringLiteral("NAME"),
         Value::Text,
         {},
         QStringLiteral("imageset: the asset name (default: the source's name); the app icon "
                        "commands and icon: the set's or document's name (default: AppIcon; tv: "
                        "App Icon & Top Shelf Image)."),
         Writers,
         true},
        {QStringLiteral("width"),
         QStringLiteral("W"),
         Value::Number,
         {},
         QStringLiteral("imageset: the 1x width in pixels."),
         {QStringLiteral("imageset")},
         true},
        {QStringLiteral("height"),
         QStringLiteral("H"),
         Value::Number,
         {},
         QStringLiteral("imageset: the 1x height (default: from the source's aspect ratio)."),
         {QStringLiteral("imageset")},
         true},
        {QStringLiteral("background"),
         QStringLiteral("COLOR"),
         Value::Colour,
         {},
         QStringLiteral("ios, watch: lay every icon over this colour (a name or #rrggbb), so all "
                        "are opaque; vision, tv: the back layer's colour, and tv's top shelf "
                        "background; icon: the document's fill (#aarrggbb allowed)."),
         appIcons,
         true},
        {QStringLiteral("single-size"),
         {},
         Value::None,
         {},
         QStringLiteral("ios: write one 1024 px icon for every device (Xcode 14 and later)."),
         {QStringLiteral("ios")},
         true},
        {QStringLiteral("dark"),
         QStringLiteral("SOURCE"),
         Value::File,
         {},
         QStringLiteral("ios --single-size: the dark appearance's source."),
         {QStringLiteral("ios")},
         true},
        {QStringLiteral("tinted"),
         QStringLiteral("SOURCE"),
         Value::File,
         {QStringLiteral("auto")},
         QStringLiteral("ios --single-size: the tinted appearance's source, or auto for a grey "
                        "of the main source."),
         {QStringLiteral("ios")},
         true},
        {QStringLiteral("style"),
         QStringLiteral("STYLE"),
         Value::Choice,
         {QStringLiteral("26"), QStringLiteral("15")},
         QStringLiteral("mac: 26 (default) for full-bleed art that macOS 26 masks itself, or 15 "
                        "for art drawn into the rounded body macOS 15 and earlier show."),
         {QStringLiteral("mac")},
         true},
        {QStringLiteral("back"),
         QStringLiteral("SOURCE"),
         Value::File,
         {},
         QStringLiteral("vision, tv, icon: the back layer's source (over the background colour, "
                        "if any)."),
         {QStringLiteral("vision"), QStringLiteral("tv"), QStringLiteral("icon")},
         true},
        {QStringLiteral("layer"),
         QStringLiteral("FILE"),
         Value::File,
         {},
         QStringLiteral("vision, tv, icon: a layer, front first, once for each and at least two "
                        "(each over the whole canvas), instead of the layers of a layered SOURCE "
                        "drawing; in a manifest, \"layers\": the files as an array."),
         {QStringLiteral("vision"), QStringLiteral("tv"), QStringLiteral("icon")},
         true,
         QStringLiteral("layers")},
        {QStringLiteral("groups"),
         {},
         Value::None,
         {},
         QStringLiteral("icon: all layers in one group rather than a group each."),
         {QStringLiteral("icon")},
         true},
        {QStringLiteral("size"),
         QStringLiteral("N"),
         Value::Number,
         {},
         QStringLiteral("render: the picture's width and height in pixels (at most 4096)."),
         {QStringLiteral("render")},
         false},
        {QStringLiteral("appearance"),
         QStringLiteral("APPEARANCE"),
         Value::Choice,
         {QStringLiteral("default"), QStringLiteral("dark"), QStringLiteral("clear-light"),
          QStringLiteral("clear-dark"), QStringLiteral("tinted-light"),
          QStringLiteral("tinted-dark")},
         QStringLiteral("render: which of an Icon Composer document's looks (default: "
                        "default)."),
         {QStringLiteral("render")},
         false},
        {QStringLiteral("platform"),
         QStringLiteral("PLATFORM"),
         Value::Choice,
         {QStringLiteral("ios"), QStringLiteral("macos"), QStringLiteral("watchos")},
         QStringLiteral("render: whose shape and idiom: the iOS rounded square (default), the "
                        "macOS icon or the watch circle."),
         {QStringLiteral("render")},
         false},
        {QStringLiteral("strict"),
         {},
         Value::None,
         {},
         QStringLiteral("check: fail on warnings and notes too, not only on errors."),
         {QStringLiteral("check")},
         false},
        {QStringLiteral("format"),
         QStringLiteral("FORMAT"),
         Value::Choice,
         {QStringLiteral("text"), QStringLiteral("json"), QStringLiteral("github")},
         QStringLiteral("check: text (default) prints PATH: level: message [code]; json one "
                        "object a line, as --json; github the workflow commands that make "
                        "annotations of a pull request's files."),
         {QStringLiteral("check")},
         false},
        {QStringLiteral("manifest"),
         QStringLiteral("FILE"),
         Value::File,
         {},
         QStringLiteral("build, init: the manifest (default: assetsmith.json in the working "
                        "folder)."),
         {QStringLiteral("build"), QStringLiteral("init")},
         false},
        {QStringLiteral("check"),
         {},
         Value::None,
         {},
         QStringLiteral("build: write nothing; exit 1 and list every file that differs from "
                        "what build would write, 0 when all are current."),
         {QStringLiteral("build")},
         false},
        {QStringLiteral("quiet"),
         {},
         Value::None,
         {},
         QStringLiteral("Print nothing but errors."),
         {},
         false},
        {QStringLiteral("json"),
         {},
         Value::None,
         {},
         QStringLiteral("Print one JSON object a line."),
         {},
         false},
        {QStringLiteral("help"),
         {},
         Value::None,
         {},
         QStringLiteral("Show the usage and exit."),
         {},
         false},
        {QStringLiteral("version"),
         {},
         Value::None,
         {},
         QStringLiteral("Show the version and exit."),
         {},
         false},
    };
    return table;
}

const CommandTable::Command *CommandTable::command(const QString &name)
{
    for (const Command &command : commands()) {
        if (command.name == name)
            return &command;
    }
    return nullptr;
}

const CommandTable::Option *CommandTable::option(const QString &name)
{
    for (const Option &option : options()) {
        if (option.name == name)
            return &option;
    }
    return nullptr;
}

const CommandTable::Option *CommandTable::manifestOption(const QString &key)
{
    for (const Option &option : options()) {
        if (option.inManifest && option.manifestKey() == key)
            return &option;
    }
    return nullptr;
}

bool CommandTable::applies(const Option &option, const QString &command)
{
    return option.commands.isEmpty() || option.commands.contains(command);
}

QList<const CommandTable::Option *> CommandTable::optionsOf(const QString &command)
{
    QList<const Option *> list;
    for (const Option &option : options()) {
        if (applies(option, command))
            list.append(&option);
    }
    return list;
}

QString CommandTable::valueProblem(const Option &option, const QString &command,
                                   const QString &text)
{
    switch (option.value) {
    case Value::None:
        return {};
    case Value::File:
        return text.isEmpty() ? QStringLiteral("is empty: it names no file") : QString();
    case Value::Folder:
        return text.isEmpty() ? QStringLiteral("is empty: it names no folder") : QString();
    case Value::Text:
        if (AssetPlan::nameProblem(text).isEmpty())
            return {};
        return QStringLiteral("%1 cannot name a folder: a name is not empty, holds no “/” or "
                              "“\\” and does not start with “.”")
            .arg(quoted(text));
    case Value::Choice:
        if (option.choices.contains(text))
            return {};
        return QStringLiteral("%1 is not %2").arg(quoted(text), either(option.choices));
    case Value::Number: {
        int number = 0;
        if (wholeNumber(text, &number) && number >= 1)
            return {};
        return QStringLiteral("%1 is not a whole number of pixels, at least 1").arg(quoted(text));
    }
    case Value::Colour: {
        // The icon's fill may be translucent, as Icon Composer's are; everywhere else the colour
        // is there to make the icons opaque.
        const bool translucent = command == QLatin1String("icon");
        if ((text.startsWith(QLatin1Char('#')) && text.size() != 4 && text.size() != 7 &&
             !(translucent && text.size() == 9)) ||
            !QColor::isValidColorName(text))
            return QStringLiteral("%1 is not a colour name or #rrggbb").arg(quoted(text));
        if (!translucent && QColor::fromString(text).alpha() != 255)
            return QStringLiteral("%1 is not opaque: %2 needs an opaque colour to lay the icons "
                                  "over")
                .arg(quoted(text), command);
        return {};
    }
    }
    return {};
}

bool CommandTable::wholeNumber(const QString &text, int *value)
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

QString CommandTable::description()
{
    return QStringLiteral(
        "Writes the folders of Xcode asset catalogues from one source image or drawing: app "
        "icon sets for iOS, macOS, watchOS, visionOS and tvOS, image sets and Icon Composer "
        "documents, or checks existing catalogues. An app icon set already in the folder is "
        "written into: the entries of other platforms, idioms and appearances stay with their "
        "files, and nothing is deleted.");
}
