// Writes the shell completions, the manual page and the manifest's schema into a folder, all
// from the tables the program itself runs on. Run by the build; never installed.
// Usage: gendocs FOLDER

#include "catalogue/Manifest.h"
#include "commandline/ManualPage.h"
#include "commandline/ShellCompletion.h"

#include <QDir>
#include <QSaveFile>

#include <cstdio>

namespace {

bool write(const QDir &folder, const QString &name, const QByteArray &content)
{
    QSaveFile file(folder.filePath(name));
    if (file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.commit())
        return true;
    std::fprintf(stderr, "gendocs: %s: %s\n", qPrintable(file.fileName()),
                 qPrintable(file.errorString()));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: gendocs FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "gendocs: cannot make %s\n", argv[1]);
        return 1;
    }
    using Shell = ShellCompletion::Shell;
    const bool written =
        write(folder, QStringLiteral("assetsmith.bash"), ShellCompletion::script(Shell::Bash)) &&
        write(folder, QStringLiteral("_assetsmith"), ShellCompletion::script(Shell::Zsh)) &&
        write(folder, QStringLiteral("assetsmith.fish"), ShellCompletion::script(Shell::Fish)) &&
        write(folder, QStringLiteral("assetsmith.1"), ManualPage::roff()) &&
        write(folder, QStringLiteral("assetsmith.schema.json"), Manifest::schema());
    return written ? 0 : 1;
}
