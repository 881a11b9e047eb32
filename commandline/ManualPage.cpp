#include "ManualPage.h"

#include "CommandTable.h"
#include "catalogue/Manifest.h"

#include <QRegularExpression>

namespace {

using Option = CommandTable::Option;

// Text as roff prints it: a backslash is roff's escape, and typographic quotes and dashes have
// names every formatter knows, where a UTF-8 byte may not survive one that reads Latin-1.
QString escaped(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\e");
            break;
        case 0x201C:
            out += QLatin1String("\\(lq");
            break;
        case 0x201D:
            out += QLatin1String("\\(rq");
            break;
        case 0x2018:
            out += QLatin1String("\\(oq");
            break;
        case 0x2019:
            out += QLatin1String("\\(cq");
            break;
        case 0x2013:
            out += QLatin1String("\\(en");
            break;
        case 0x2014:
            out += QLatin1String("\\(em");
            break;
        default:
            if (c.unicode() < 0x80)
                out += c;
            else
                out += QStringLiteral("\\[u%1]").arg(
                    QString::number(c.unicode(), 16).toUpper().rightJustified(4, '0'));
        }
    }
    return out;
}

// Prose with options in it: an option's dashes are minus signs, so that a search for "--out"
// finds it and a copy pastes it; a word's hyphen stays a hyphen.
QString prose(const QString &text)
{
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--?[A-Za-z0-9][\\w-]*"));
    QString out;
    qsizetype at = 0;
    for (const QRegularExpressionMatch &match : option.globalMatch(text)) {
        out += escaped(text.mid(at, match.capturedStart() - at));
        out += escaped(match.captured()).replace(QLatin1Char('-'), QLatin1String("\\-"));
        at = match.capturedEnd();
    }
    return out + escaped(text.mid(at));
}

// Lines of text, none read as a request however it starts.
QString textLine(const QString &roff)
{
    QString out;
    for (const QString &line : roff.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\'')))
            out += QStringLiteral("\\&");
        out += line + QLatin1Char('\n');
    }
    return out;
}

// A usage fragment: options bold, the words to put in their place italic, the rest as it is.
QString usage(const QString &text)
{
    static const QRegularExpression token(
        QStringLiteral("(?<![\\w-])(--?[a-z0-9][a-z0-9-]*)|\\b([A-Z]+)\\b"));
    QString out;
    qsizetype at = 0;
    for (const QRegularExpressionMatch &match : token.globalMatch(text)) {
        out += escaped(text.mid(at, match.capturedStart() - at));
        if (match.hasCaptured(1))
            out += QStringLiteral("\\fB%1\\fR").arg(prose(match.captured(1)));
        else
            out += QStringLiteral("\\fI%1\\fR").arg(escaped(match.captured(2)));
        at = match.capturedEnd();
    }
    return out + escaped(text.mid(at));
}

QString optionTerm(const Option &option)
{
    QString term = QStringLiteral("\\fB\\-\\-%1\\fR")
                       .arg(escaped(option.name).replace(QLatin1Char('-'), QLatin1String("\\-")));
    if (!option.valueName.isEmpty())
        term += QStringLiteral(" \\fI%1\\fR").arg(escaped(option.valueName));
    return term;
}

QString commandList(const QStringList &names)
{
    QStringList bold;
    for (const QString &name : names)
        bold << QStringLiteral("\\fB%1\\fR").arg(escaped(name));
    return bold.join(QStringLiteral(", "));
}

} // namespace

QByteArray ManualPage::roff()
{
    QString s;
    s += QStringLiteral(".\\\" Made by gendocs from assetsmith's command table: edit the table, "
                        "not this page.\n");
    s += QStringLiteral(".TH ASSETSMITH 1 \"\" \"assetsmith %1\" \"User Commands\"\n")
             .arg(QStringLiteral(ASSETSMITH_VERSION));
    s += QStringLiteral(".SH NAME\n"
                        "assetsmith \\- write Xcode asset catalogue folders from one source "
                        "image, or check them\n");

    s += QStringLiteral(".SH SYNOPSIS\n");
    for (const CommandTable::Command &command : CommandTable::commands()) {
        s += QStringLiteral(".SY assetsmith\n");
        s += textLine(
            QStringLiteral("\\fB%1\\fR %2").arg(escaped(command.name), usage(command.synopsis)));
        s += QStringLiteral(".YS\n");
    }
    s += QStringLiteral(".SY assetsmith\n");
    s += textLine(usage(QStringLiteral("[FILE]")));
    s += QStringLiteral(".YS\n");

    s += QStringLiteral(".SH DESCRIPTION\n");
    s += textLine(prose(CommandTable::description()));
    s += QStringLiteral(".PP\n");
    s += textLine(prose(QStringLiteral("With a single FILE and no command, it opens its window on "
                                       "that source image.")));

    s += QStringLiteral(".SH COMMANDS\n");
    for (const CommandTable::Command &command : CommandTable::commands()) {
        s += QStringLiteral(".TP\n");
        s += textLine(QStringLiteral("\\fB%1\\fR").arg(escaped(command.name)));
        s += textLine(prose(command.summary));
        bool first = true;
        for (const Option &option : CommandTable::options()) {
            // The options of every command are told of once, under OPTIONS.
            if (!option.commands.contains(command.name))
                continue;
            s += first ? QStringLiteral(".RS\n.TP\n") : QStringLiteral(".TP\n");
            first = false;
            s += textLine(optionTerm(option));
            s += textLine(prose(option.help));
        }
        if (!first)
            s += QStringLiteral(".RE\n");
    }

    s += QStringLiteral(".SH OPTIONS\n");
    s += textLine(prose(QStringLiteral("An option's value follows it as the next argument or "
                                       "after \"=\" (--out=FOLDER).")));
    for (const Option &option : CommandTable::options()) {
        s += QStringLiteral(".TP\n");
        s += textLine(optionTerm(option));
        s += textLine(prose(option.help));
        s += QStringLiteral(".br\n");
        s += textLine(option.commands.isEmpty()
                          ? QStringLiteral("With any command, or none.")
                          : QStringLiteral("With %1.").arg(commandList(option.commands)));
    }

    s += QStringLiteral(".SH \"EXIT STATUS\"\n"
                        ".TP\n.B 0\n"
                        "Success: everything was written, or nothing was wrong.\n"
                        ".TP\n.B 1\n");
    s += textLine(prose(QStringLiteral(
        "Failure: a source could not be read or a set not written; check found errors (with "
        "--strict, also warnings or notes); build --check found files that differ from what "
        "build would write; a manifest has mistakes.")));
    s += QStringLiteral(".TP\n.B 2\n");
    s += textLine(prose(QStringLiteral(
        "A usage error: no or an unknown command, an unknown option or one that does not go "
        "with the command, or a value the option does not take. Nothing is written.")));

    s += QStringLiteral(".SH FILES\n.TP\n");
    s += textLine(QStringLiteral("\\fI%1\\fR").arg(escaped(QLatin1String(Manifest::FileName))));
    QStringList lists;
    for (const CommandTable::Option &option : CommandTable::options()) {
        if (option.inManifest && !option.manifestList.isEmpty())
            lists << QStringLiteral("%1 for --%2").arg(option.manifestList, option.name);
    }
    s += textLine(prose(
        QStringLiteral("The manifest that build reads and init starts: the catalogue and every set "
                       "written into it, each with its kind, source and options under the "
                       "command's own option names (an option given once for each value as an "
                       "array: %1). It is looked for in the working folder unless --manifest "
                       "names another.")
            .arg(lists.join(QStringLiteral(", ")))));
    s += QStringLiteral(".TP\n");
    s += textLine(QStringLiteral("\\fI/usr/share/assetsmith/assetsmith.schema.json\\fR"));
    s += textLine(QStringLiteral("A JSON Schema of the manifest, for editors."));

    s += QStringLiteral(".SH EXAMPLES\n");
    const QList<std::pair<const char *, const char *>> examples{
        {"An iOS app icon set from a drawing, with every icon opaque over white:",
         "assetsmith ios icon.svg --background white --out Assets.xcassets"},
        {"A Mac app icon set for macOS 15 and earlier:",
         "assetsmith mac icon.png --style 15 --out Assets.xcassets"},
        {"An image set 120 pixels wide at 1x, named Logo:",
         "assetsmith imageset logo.svg --width 120 --name Logo --out Assets.xcassets"},
        {"Check a catalogue in a pull request's workflow, failing on warnings too:",
         "assetsmith check Assets.xcassets --strict --format github"},
        {"Start a manifest from a catalogue, then, once its sources are filled in, see whether "
         "the catalogue is current:",
         "assetsmith init Assets.xcassets\nassetsmith build --check"},
    };
    for (const auto &[what, lines] : examples) {
        s += QStringLiteral(".PP\n");
        s += textLine(prose(QString::fromUtf8(what)));
        s += QStringLiteral(".PP\n.RS\n.EX\n");
        for (const QString &line : QString::fromUtf8(lines).split(QLatin1Char('\n')))
            s += textLine(prose(line));
        s += QStringLiteral(".EE\n.RE\n");
    }

    return s.toUtf8();
}
