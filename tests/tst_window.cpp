#include "AppDelegate.h"
#include "ApplicationMain.h"
#include "ImageWell.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

namespace {

// Records what the controller is told about text changes, and forwards nothing.
class RecordingDelegate : public TextFieldDelegate
{
public:
    QList<QObject *> reported;
    void controlTextDidChange(const TextChangeNotification &n) override
    {
        reported.append(n.object);
    }
};

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void launchState();
    void everyControlHasItsMnemonic_data();
    void everyControlHasItsMnemonic();
    void mnemonicReachesControl_data();
    void mnemonicReachesControl();
    void onlyUserEditsReachTheDelegate();
    void outputAndNameFieldsNeverLock();
    void newWindowChangesNothing();
    void windowIsHeldWeakly();
    void closingTheWindowQuits();

private:
    std::unique_ptr<ApplicationMain::Interface> ui;
    AppDelegate *delegate() { return ui->delegate.get(); }
    template <typename T> T *find(const QString &name) { return ui->window->findChild<T *>(name); }
};

void WindowTest::init()
{
    ui = ApplicationMain::loadInterface(*qApp);
    ui->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(ui->window.get()));
}

void WindowTest::cleanup()
{
    ui.reset();
}

void WindowTest::launchState()
{
    QCOMPARE(ui->window->windowTitle(), QString("Assetsmith"));
    QCOMPARE(delegate()->currentRatio(), 1.0);
    QVERIFY(!delegate()->currentImage());
    QVERIFY(delegate()->currentSourceUrl().isEmpty());
    QCOMPARE(delegate()->window(), ui->window.get());
    QCOMPARE(delegate()->widthField(), find<QLineEdit>("widthField"));
    QCOMPARE(delegate()->heightField(), find<QLineEdit>("heightField"));
    QCOMPARE(delegate()->filePathField(), find<QLineEdit>("filePathField"));
    QCOMPARE(delegate()->assetNameField(), find<QLineEdit>("assetNameField"));
    QCOMPARE(delegate()->imageView(), find<ImageWell>("imageView"));
    QCOMPARE(delegate()->proportionsCheckBox(), find<QCheckBox>("proportionsCheckBox"));
    QVERIFY(delegate()->proportionsCheckBox()->isChecked());
    QVERIFY(delegate()->statusLabel());
    for (QLineEdit *field : ui->window->findChildren<QLineEdit *>())
        QVERIFY2(field->text().isEmpty(), qPrintable(field->objectName()));
    QVERIFY(delegate()->applicationShouldTerminateAfterLastWindowClosed(qApp));
}

void WindowTest::everyControlHasItsMnemonic_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("accessibleName");
    QTest::newRow("choose image") << "chooseImageButton"
                                  << "&Choose Image…"
                                  << "Choose Image…";
    QTest::newRow("choose folder") << "chooseFolderButton"
                                   << "Choose Fol&der…"
                                   << "Choose Folder…";
    QTest::newRow("output folder") << "filePathLabel"
                                   << "&Output folder:"
                                   << "Output folder:";
    QTest::newRow("asset name") << "assetNameLabel"
                                << "Asset &name:"
                                << "Asset name:";
    QTest::newRow("width") << "widthLabel"
                           << "&Width:"
                           << "Width:";
    QTest::newRow("height") << "heightLabel"
                            << "&Height:"
                            << "Height:";
    QTest::newRow("keep proportions") << "proportionsCheckBox"
                                      << "&Keep proportions"
                                      << "Keep proportions";
    QTest::newRow("ios") << "iosButton"
                         << "&iOS App Icon"
                         << "iOS App Icon";
    QTest::newRow("mac") << "macButton"
                         << "&Mac App Icon"
                         << "Mac App Icon";
    QTest::newRow("image set") << "imageSetButton"
                               << "Image &Set"
                               << "Image Set";
}

void WindowTest::everyControlHasItsMnemonic()
{
    QFETCH(QString, object);
    QFETCH(QString, text);
    QFETCH(QString, accessibleName);
    QWidget *widget = find<QWidget>(object);
    QVERIFY(widget);
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QCOMPARE(label->text(), text);
        QVERIFY(label->buddy());
        QCOMPARE(label->buddy()->accessibleName(), accessibleName);
    } else {
        QCOMPARE(qobject_cast<QAbstractButton *>(widget)->text(), text);
        QCOMPARE(widget->accessibleName(), accessibleName);
    }
}

void WindowTest::mnemonicReachesControl_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("field");
    QTest::newRow("Alt+O") << int(Qt::Key_O) << "filePathField";
    QTest::newRow("Alt+N") << int(Qt::Key_N) << "assetNameField";
    QTest::newRow("Alt+W") << int(Qt::Key_W) << "widthField";
    QTest::newRow("Alt+H") << int(Qt::Key_H) << "heightField";
}

void WindowTest::mnemonicReachesControl()
{
    QFETCH(int, key);
    QFETCH(QString, field);
    QTest::keyClick(ui->window.get(), Qt::Key(key), Qt::AltModifier);
    QTRY_COMPARE(QApplication::focusWidget(), find<QWidget>(field));

    // The check box toggles from the keyboard too, and the File menu has its two commands.
    QTest::keyClick(ui->window.get(), Qt::Key_K, Qt::AltModifier);
    QTRY_VERIFY(!find<QCheckBox>("proportionsCheckBox")->isChecked());
    QMenu *file = ui->window->menuBar()->findChild<QMenu *>("menuFile");
    QCOMPARE(file->title(), QString("&File"));
    QStringList commands;
    for (QAction *action : file->actions()) {
        if (!action->isSeparator())
            commands << action->text() + " " + action->shortcut().toString();
    }
    QCOMPARE(commands, (QStringList{"&New Window Ctrl+N", "&Quit Ctrl+Q"}));
}

void WindowTest::onlyUserEditsReachTheDelegate()
{
    RecordingDelegate recorder;
    QLineEdit *width = delegate()->widthField();
    TextFieldDelegate::setDelegate(width, &recorder);
    width->setText("123");
    QVERIFY(recorder.reported.isEmpty());
    QTest::keyClicks(width, "45");
    QCOMPARE(recorder.reported, (QList<QObject *>{width, width}));
    TextFieldDelegate::setDelegate(width, nullptr);
    QTest::keyClicks(width, "6");
    QCOMPARE(recorder.reported.size(), 2);
}

void WindowTest::outputAndNameFieldsNeverLock()
{
    QTest::keyClicks(delegate()->filePathField(), "/tmp/a1b2");
    QTest::keyClicks(delegate()->assetNameField(), "logo 2x");
    QCOMPARE(delegate()->filePathField()->text(), QString("/tmp/a1b2"));
    QCOMPARE(delegate()->assetNameField()->text(), QString("logo 2x"));
    QVERIFY(delegate()->widthField()->text().isEmpty());
    QVERIFY(delegate()->heightField()->text().isEmpty());

    // Before any image the ratio is 1: the other field copies the typed number.
    QTest::keyClicks(delegate()->widthField(), "64");
    QCOMPARE(delegate()->heightField()->text(), QString("64"));
}

void WindowTest::newWindowChangesNothing()
{
    const int windows = QApplication::topLevelWidgets().size();
    QTest::keyClick(ui->window.get(), Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(QApplication::topLevelWidgets().size(), windows);
    QCOMPARE(delegate()->currentRatio(), 1.0);
}

void WindowTest::windowIsHeldWeakly()
{
    QVERIFY(delegate()->window());
    ui->window.reset();
    QVERIFY(!delegate()->window());
    QVERIFY(!delegate()->widthField()); // nothing dangles either
    delegate()->updateFields();
    delegate()->generateIcons(nullptr);
}

void WindowTest::closingTheWindowQuits()
{
    QSignalSpy aboutToQuit(qApp, &QCoreApplication::aboutToQuit);
    QTimer::singleShot(0, ui->window.get(), &QWidget::close);
    // A watchdog only, in case closing did not quit; nothing is measured.
    QTimer::singleShot(20000, qApp, [] { QCoreApplication::exit(7); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(aboutToQuit.size(), 1);
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
