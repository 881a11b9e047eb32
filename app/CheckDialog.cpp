#include "CheckDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

CheckDialog::CheckDialog(QWidget *parent)
    : QDialog(parent)
    , m_summary(new QLabel(this))
    , m_list(new QTreeWidget(this))
{
    setWindowTitle(tr("Check Catalogue"));
    resize(820, 420);
    m_summary->setWordWrap(true);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_list->setHeaderLabels({tr("Level"), tr("Problem"), tr("File"), tr("What to do")});
    m_list->setRootIsDecorated(false);
    m_list->setAlternatingRowColors(true);
    m_list->setWordWrap(true);
    m_list->setAccessibleName(tr("Findings"));
    m_list->header()->setStretchLastSection(true);
    connect(m_list, &QTreeWidget::itemActivated, this, [](QTreeWidgetItem *item) {
        const QFileInfo file(item->data(2, Qt::UserRole).toString());
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(file.isDir() ? file.filePath() : file.path()));
    });
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_summary);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);
}

void CheckDialog::showChecking(const QString &folder)
{
    m_list->clear();
    m_summary->setText(tr("Checking %1…").arg(QDir::toNativeSeparators(folder)));
}

void CheckDialog::showResult(const QString &folder, const CatalogueChecker::Result &result)
{
    using Level = CatalogueChecker::Level;
    const int errors = result.count(Level::Error);
    const int warnings = result.count(Level::Warning);
    const int notes = result.count(Level::Note);
    auto count = [](int n, const QString &one, const QString &many) {
        return QStringLiteral("%1 %2").arg(n).arg(n == 1 ? one : many);
    };
    const QString where = QDir::toNativeSeparators(folder);
    const QString summary =
        result.setsChecked == 0
            ? tr("%1 holds no asset folder Xcode knows.").arg(where)
            : tr("Checked %1 in %2: %3, %4, %5.")
                  .arg(count(result.setsChecked, tr("asset folder"), tr("asset folders")), where,
                       count(errors, tr("error"), tr("errors")),
                       count(warnings, tr("warning"), tr("warnings")),
                       count(notes, tr("note"), tr("notes")));
    m_summary->setText(summary);
    m_list->setAccessibleDescription(summary);

    QList<CatalogueChecker::Finding> findings = result.findings;
    std::stable_sort(findings.begin(), findings.end(),
                     [](const auto &a, const auto &b) { return a.level < b.level; });
    m_list->clear();
    const QDir base(folder);
    for (const CatalogueChecker::Finding &finding : std::as_const(findings)) {
        auto *item = new QTreeWidgetItem(
            m_list,
            {CatalogueChecker::levelName(finding.level), finding.problem,
             QDir::toNativeSeparators(base.relativeFilePath(finding.path)), finding.message});
        item->setData(2, Qt::UserRole, finding.path);
        item->setToolTip(3, finding.message);
    }
    for (int column = 0; column < 3; ++column)
        m_list->resizeColumnToContents(column);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    m_list->setFocus();
}
