#pragma once

#include "AppDelegate.h"
#include "ApplicationMain.h"
#include "TestFiles.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

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

// Chooses a file through "Choose Image…", which must leave the window usable.
inline void pick(const ApplicationMain::Interface &ui, const QString &path)
{
    QFileDialog *dialog = openDialog(ui, "chooseImageButton");
    QVERIFY(dialog);
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
    dialog->selectFile(path);
    static_cast<QDialog *>(dialog)->accept(); // as the OK button does
}

inline void closeDialogs()
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QFileDialog *>(w))
            delete w;
    }
}
