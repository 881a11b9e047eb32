#include "ShellCompletion.h"

#include "CommandTable.h"

#include <QColor>

namespace {

using Value = CommandTable::Value;
using Option = CommandTable::Option;

const char *const Made = "# Made by gendocs from assetsmith's command table: edit the table, not "
                         "this file.\n";

QString dashed(const QString &name)
{
    return QStringLiteral("--") + name;
}

QStringList commandNames()
{
    QStringList names;
    for (const CommandTable::Command &command : CommandTable::commands())
        names << command.name;
    return names;
}

// The commands whose words after the name are of `value`.
QStringList commandsTaking(Value value)
{
    QStringList names;
    for (const CommandTable::Command &command : CommandTable::commands()) {
        if (command.operand == value)
            names << command.name;
    }
    return names;
}

// The options that go with `command`; with none, those that go with every command, which are
// also all the line takes before a command.
QStringList optionWords(const QString &command)
{
    QStringList words;
    for (const Option *option : CommandTable::optionsOf(command))
        words << dashed(option->name);
    return words;
}

// The words an option's value may be, besides a path.
QStringList valueWords(const Option &option)
{
    return option.value == Value::Colour ? QColor::colorNames() : option.choices;
}

QString bash()
{
    QString s = QStringLiteral("# bash completion for assetsmith\n") + QLatin1String(Made);
    s += QStringLiteral(R"(
# Paths, through the bash-completion package's _filedir where it is loaded, which quotes and
# expands as the rest of the shell's completions do. $1: -d for folders only.
_assetsmith_paths()
{
    if declare -F _filedir >/dev/null; then
        _filedir "$@"
        return
    fi
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY+=($(compgen "${1:--f}" -- "$cur"))
}

_assetsmith()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= i
    COMPREPLY=()
    # --option=value: bash splits the "=" off as a word of its own.
    if [[ $cur == = ]]; then
        cur=
    elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD-2]}
    fi
    # The command is the first word that is no option: the options that may come before it,
    # those of every command, take no value.
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
            -*) ;;
            *) command=${COMP_WORDS[i]}; break ;;
        esac
    done

    case $prev in
)");
    for (const Option &option : CommandTable::options()) {
        if (option.value == Value::None)
            continue;
        s += QStringLiteral("        %1)\n").arg(dashed(option.name));
        const QStringList words = valueWords(option);
        if (!words.isEmpty())
            s += QStringLiteral("            COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))\n")
                     .arg(words.join(QLatin1Char(' ')));
        if (option.value == Value::File)
            s += QStringLiteral("            _assetsmith_paths\n");
        else if (option.value == Value::Folder)
            s += QStringLiteral("            _assetsmith_paths -d\n");
        s += QStringLiteral("            return ;;\n");
    }
    s += QStringLiteral("    esac\n\n"
                        "    if [[ $cur == -* ]]; then\n"
                        "        case $command in\n");
    for (const QString &command : commandNames())
        s += QStringLiteral("            %1) COMPREPLY=($(compgen -W \"%2\" -- \"$cur\")) ;;\n")
                 .arg(command, optionWords(command).join(QLatin1Char(' ')));
    s += QStringLiteral("            *) COMPREPLY=($(compgen -W \"%1\" -- \"$cur\")) ;;\n")
             .arg(optionWords({}).join(QLatin1Char(' ')));
    s += QStringLiteral("        esac\n"
                        "        return\n"
                        "    fi\n"
                        "    case $command in\n");
    // A lone file with no command opens the window, so the first word may be a file too.
    s += QStringLiteral("        '')\n"
                        "            COMPREPLY=($(compgen -W \"%1\" -- \"$cur\"))\n"
                        "            _assetsmith_paths ;;\n")
             .arg(commandNames().join(QLatin1Char(' ')));
    const QStringList files = commandsTaking(Value::File);
    const QStringList folders = commandsTaking(Value::Folder);
    if (!files.isEmpty())
        s += QStringLiteral("        %1) _assetsmith_paths ;;\n").arg(files.join(QLatin1Char('|')));
    if (!folders.isEmpty())
        s += QStringLiteral("        %1) _assetsmith_paths -d ;;\n")
                 .arg(folders.join(QLatin1Char('|')));
    s += QStringLiteral("    esac\n"
                        "}\n\n"
                        "complete -F _assetsmith assetsmith\n");
    return s;
}

// Within zsh's single quotes.
QString zshQuoted(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return out;
}

// An _arguments description, in brackets, within zsh's single quotes.
QString zshDescription(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('['), QLatin1String("\\["));
    out.replace(QLatin1Char(']'), QLatin1String("\\]"));
    return zshQuoted(out);
}

QString zshAction(const Option &option)
{
    const QStringList words = valueWords(option);
    switch (option.value) {
    case Value::File:
        if (words.isEmpty())
            return QStringLiteral("_files");
        return QStringLiteral("{_files; compadd -- %1}").arg(words.join(QLatin1Char(' ')));
    case Value::Folder:
        return QStringLiteral("_directories");
    case Value::Colour:
    case Value::Choice:
        return QStringLiteral("(%1)").arg(words.join(QLatin1Char(' ')));
    case Value::None:
    case Value::Number:
    case Value::Text:
        break;
    }
    return QStringLiteral(" ");
}

QString zshSpec(const Option &option)
{
    if (option.value == Value::None)
        return QStringLiteral("'%1[%2]'").arg(dashed(option.name), zshDescription(option.help));
    // "=": the value may follow in the same word after "=" or as the next word, as the parser
    // takes it.
    return QStringLiteral("'%1=[%2]:%3:%4'")
        .arg(dashed(option.name), zshDescription(option.help), option.valueName.toLower(),
             zshAction(option));
}

QString zsh()
{
    QString s = QStringLiteral("#compdef assetsmith\n# zsh completion for assetsmith\n") +
                QLatin1String(Made);
    s += QStringLiteral("\n_assetsmith()\n{\n"
                        "    local curcontext=$curcontext state line ret=1\n"
                        "    typeset -A opt_args\n"
                        "    _arguments -C -S \\\n");
    for (const Option *option : CommandTable::optionsOf({}))
        s += QStringLiteral("        %1 \\\n").arg(zshSpec(*option));
    s += QStringLiteral("        '1: :->command' \\\n"
                        "        '*:: :->arguments' && ret=0\n\n"
                        "    case $state in\n"
                        "    command)\n"
                        "        local -a commands=(\n");
    for (const CommandTable::Command &command : CommandTable::commands())
        s += QStringLiteral("            '%1:%2'\n").arg(command.name, zshQuoted(command.summary));
    s += QStringLiteral("        )\n"
                        "        _describe -t commands command commands && ret=0\n"
                        "        # A lone file opens the window.\n"
                        "        _files && ret=0\n"
                        "        ;;\n"
                        "    arguments)\n"
                        "        curcontext=${curcontext%:*:*}:assetsmith-$words[1]:\n"
                        "        case $words[1] in\n");
    for (const CommandTable::Command &command : CommandTable::commands()) {
        s += QStringLiteral("        %1)\n            _arguments -S \\\n").arg(command.name);
        for (const Option *option : CommandTable::optionsOf(command.name))
            s += QStringLiteral("                %1 \\\n").arg(zshSpec(*option));
        if (command.operand == Value::File)
            s += QStringLiteral("                '*:source:_files'");
        else if (command.operand == Value::Folder)
            s += QStringLiteral("                '*:folder:_directories'");
        else
            s.chop(3); // no operand: the last option ends the call
        s += QStringLiteral(" && ret=0\n            ;;\n");
    }
    s += QStringLiteral("        esac\n"
                        "        ;;\n"
                        "    esac\n"
                        "    return ret\n"
                        "}\n\n"
                        "_assetsmith \"$@\"\n");
    return s;
}

// Within fish's single quotes.
QString fishQuoted(const QString &text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    out.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + out + QLatin1Char('\'');
}

QString fishSeen(const QStringList &commands)
{
    return QStringLiteral("-n '__fish_seen_subcommand_from %1'")
        .arg(commands.join(QLatin1Char(' ')));
}

QString fish()
{
    QString s = QStringLiteral("# fish completion for assetsmith\n") + QLatin1String(Made);
    s += QStringLiteral("\n# Paths only where the table says an argument is one.\n"
                        "complete -c assetsmith -f\n\n"
                        "# A lone file opens the window.\n"
                        "complete -c assetsmith -n __fish_use_subcommand -F\n");
    for (const CommandTable::Command &command : CommandTable::commands())
        s += QStringLiteral("complete -c assetsmith -n __fish_use_subcommand -a %1 -d %2\n")
                 .arg(command.name, fishQuoted(command.summary));
    const QStringList files = commandsTaking(Value::File);
    const QStringList folders = commandsTaking(Value::Folder);
    s += QLatin1Char('\n');
    if (!files.isEmpty())
        s += QStringLiteral("complete -c assetsmith %1 -F\n").arg(fishSeen(files));
    if (!folders.isEmpty())
        s += QStringLiteral("complete -c assetsmith %1 -a '(__fish_complete_directories)'\n")
                 .arg(fishSeen(folders));
    s += QLatin1Char('\n');
    for (const Option &option : CommandTable::options()) {
        QString line = QStringLiteral("complete -c assetsmith");
        if (!option.commands.isEmpty())
            line += QLatin1Char(' ') + fishSeen(option.commands);
        line += QStringLiteral(" -l ") + option.name;
        const QStringList words = valueWords(option);
        switch (option.value) {
        case Value::None:
            break;
        case Value::File:
            line += QStringLiteral(" -r -F");
            break;
        case Value::Folder:
            line += QStringLiteral(" -x -a '(__fish_complete_directories)'");
            break;
        case Value::Colour:
        case Value::Choice:
        case Value::Number:
        case Value::Text:
            line += QStringLiteral(" -x");
            break;
        }
        if (!words.isEmpty())
            line += QStringLiteral(" -a ") + fishQuoted(words.join(QLatin1Char(' ')));
        s += line + QStringLiteral(" -d ") + fishQuoted(option.help) + QLatin1Char('\n');
    }
    return s;
}

} // namespace

QByteArray ShellCompletion::script(Shell shell)
{
    switch (shell) {
    case Shell::Bash:
        return bash().toUtf8();
    case Shell::Zsh:
        return zsh().toUtf8();
    case Shell::Fish:
        return fish().toUtf8();
    }
    return {};
}
