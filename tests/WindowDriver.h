#pragma once

#include "AppDelegate.h"
#include "ApplicationMain.h"
#include "TestFiles.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

// The window driven as a user drives it.

// The window shown and active, as a user finds it.
inline std::unique_ptr<ApplicationMain::Interface> openWindow()
{
    auto ui = ApplicationMain::loadInterface(*qApp);
    ui->window->show();
    ui->window->activateWindow();
    if (!QTest::qWaitForWindowActive(ui->window.get()))
        qWarning("the window did not become active");
    return ui;
}

inline void press(const ApplicationMain::Interface &ui, const char *button)
{
    QTest::mouseClick(ui.window->findChild<QPushButton *>(button), Qt::LeftButton);
}

// Replaces a field's text by typing it, one code point at a time; keyClicks knows ASCII only, so
// every character arrives as typed text, as an input method sends it.
inline void typeInto(QLineEdit *field, const QString &text)
{
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    for (char32_t u : text.toUcs4())
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString::fromUcs4(&u, 1),
                            Qt::NoModifier);
}

// The file dialog a button opens, found among the top-level widgets.
inline QFileDialog *openDialog(const ApplicationMain::Interface &ui, const char *button)
{
    const QList<QWidget *> before = QApplication::topLevelWidgets();
    press(ui, button);
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QFileDialog *>(w);
        if (dialog && !before.contains(w) && dialog->isVisible())
            return dialog;
    }
    return nullptr;
}

// Accepts a file dialog as its OK button does; the window is active again, as a window manager
// makes it.
inline void accept(const ApplicationMain::Interface &ui, QFileDialog *dialog, const QString &path)
{
    dialog->selectFile(path);
    static_cast<QDialog *>(dialog)->accept();
    ui.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(ui.window.get()));
}

// Accepts a file dialog and waits until the file it gave is read.
inline void acceptAndWait(const ApplicationMain::Interface &ui, QFileDialog *dialog,
                          const QString &path)
{
    QSignalSpy loaded(ui.delegate.get(), &AppDelegate::sourceLoadFinished);
    accept(ui, dialog, path);
    QVERIFY(loaded.wait(20000));
}

// Chooses a file through "Choose Image…", which must leave the window usable.
inline void pick(const ApplicationMain::Interface &ui, const QString &path)
{
    QFileDialog *dialog = openDialog(ui, "chooseImageButton");
    QVERIFY(dialog);
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
    acceptAndWait(ui, dialog, path);
}

// Presses an export button and waits for the export to end.
inline void exportWith(const ApplicationMain::Interface &ui, const char *button)
{
    QSignalSpy finished(ui.delegate.get(), &AppDelegate::exportFinished);
    press(ui, button);
    QVERIFY(finished.wait(60000));
}

inline void closeDialogs()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QFileDialog *>(w))
            delete w;
    }
}
