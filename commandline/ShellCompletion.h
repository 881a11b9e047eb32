#pragma once

#include <QByteArray>
#include <QString>

// Completion scripts for bash, zsh and fish, made from the command table: commands, each
// command's options, file and folder arguments, the choices of an option, colour names.
class ShellCompletion
{
public:
    enum class Shell { Bash, Zsh, Fish };
    static QByteArray script(Shell shell);
};
