#pragma once

#include "catalogue/CatalogueChecker.h"

#include <QDialog>

class QLabel;
class QTreeWidget;

// What a catalogue check found, as a list: errors first, then warnings, then notes, each with the
// file it concerns and what to do. Opens a file's folder on a double click or Enter.
class CheckDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CheckDialog(QWidget *parent = nullptr);

    void showChecking(const QString &folder);
    void showResult(const QString &folder, const CatalogueChecker::Result &result);

    QTreeWidget *list() const { return m_list; }
    QLabel *summary() const { return m_summary; }

private:
    QLabel *m_summary;
    QTreeWidget *m_list;
};
