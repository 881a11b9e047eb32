#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Every command and option of the command line in one table. The parser takes its options and
// the rules of which option goes with which command from it; the shell completions, the manual
// page and the keys a manifest's set may hold are made from it, so none of them is a second copy
// to keep in step.
class CommandTable
{
public:
    // What an argument is: how a shell completes it and how the manual names it.
    enum class Value { None, File, Folder, Colour, Number, Choice, Text };

    struct Option
    {
        QString name;      // "background", given as --background
        QString valueName; // "COLOR"; empty for a switch
        Value value = Value::None;
        QStringList choices; // the words a Choice takes ("26", "15"); a File may take them too
        QString help;
        QStringList commands; // the commands it goes with; empty: every command
        bool inManifest = false;
        // An option given once for each value (--layer A --layer B): the manifest key that holds
        // its values as an array. Empty for any other option, which a manifest names as it is.
        QString manifestList = {};

        QString manifestKey() const { return manifestList.isEmpty() ? name : manifestList; }
    };

    struct Command
    {
        QString name;                // "ios"
        QString synopsis;            // what follows the name in a usage line
        QString summary;             // one sentence
        Value operand = Value::None; // what its words after the name are
        bool isSet = false;          // writes a set: a kind a manifest's set may be
    };

    static const QList<Command> &commands();
    static const QList<Option> &options();
    static const Command *command(const QString &name);
    static const Option *option(const QString &name);
    // The option a manifest's set holds under `key`, or null.
    static const Option *manifestOption(const QString &key);
    static bool applies(const Option &option, const QString &command);
    // The options of one command, in the table's order.
    static QList<const Option *> optionsOf(const QString &command);

    // Why `text` is no value for `option` of `command`, as the end of a sentence that names the
    // option before it ("“x” is not a colour name or #rrggbb"); empty when it is one.
    static QString valueProblem(const Option &option, const QString &command, const QString &text);

    // Decimal digits of any script, as the window's size fields take them, within 32 bits.
    static bool wholeNumber(const QString &text, int *value);

    // What the program is, for the usage text and the manual.
    static QString description();
};
