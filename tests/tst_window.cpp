#include "TestFiles.h"
#include "ImageWell.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QSignalSpy>
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
    void init() { ui = openWindow(); }
    void cleanup() { ui.reset(); }
    void launchState();
    void everyControlHasItsMnemonic_data();
    void everyControlHasItsMnemonic();
    void onlyUserEditsReachTheDelegate();
    void windowIsHeldWeakly();
    void closingTheWindowQuits();

private:
    std::unique_ptr<ApplicationMain::Interface> ui;
    AppDelegate *delegate() { return ui->delegate.get(); }
    template <typename T> T *find(const QString &name) { return ui->window->findChild<T *>(name); }
};

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

    QMenu *file = ui->window->menuBar()->findChild<QMenu *>("menuFile");
    QCOMPARE(file->title(), QString("&File"));
    QStringList commands;
    for (QAction *action : file->actions()) {
        if (!action->isSeparator())
            commands << action->text() + " " + action->shortcut().toString();
    }
    QCOMPARE(commands, (QStringList{"&New Window Ctrl+N", "&Quit Ctrl+Q"}));

    // The folder and name fields take any text; before any image the ratio is 1, so the other
    // size field copies the typed number.
    QTest::keyClicks(delegate()->filePathField(), "/tmp/a1b2");
    QTest::keyClicks(delegate()->assetNameField(), "logo 2x");
    QCOMPARE(delegate()->filePathField()->text(), QString("/tmp/a1b2"));
    QCOMPARE(delegate()->assetNameField()->text(), QString("logo 2x"));
    QVERIFY(delegate()->heightField()->text().isEmpty());
    QTest::keyClicks(delegate()->widthField(), "64");
    QCOMPARE(delegate()->heightField()->text(), QString("64"));
}

void WindowTest::everyControlHasItsMnemonic_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key"); // 0: pressing it opens a dialog or exports; not tried here
    struct Row
    {
        const char *object, *text;
        int key;
    };
    const Row rows[] = {
        {"chooseImageButton", "&Choose Image…", 0},
        {"chooseFolderButton", "Choose Fol&der…", 0},
        {"filePathLabel", "&Output folder:", Qt::Key_O},
        {"assetNameLabel", "Asset &name:", Qt::Key_N},
        {"widthLabel", "&Width:", Qt::Key_W},
        {"heightLabel", "&Height:", Qt::Key_H},
        {"proportionsCheckBox", "&Keep proportions", Qt::Key_K},
        {"iosButton", "&iOS App Icon", 0},
        {"macButton", "&Mac App Icon", 0},
        {"imageSetButton", "Image &Set", 0},
    };
    for (const Row &row : rows)
        QTest::newRow(row.object) << row.object << QString::fromUtf8(row.text) << row.key;
}

void WindowTest::everyControlHasItsMnemonic()
{
    QFETCH(QString, object);
    QFETCH(QString, text);
    QFETCH(int, key);
    QWidget *widget = find<QWidget>(object);
    QVERIFY(widget);
    const QString accessibleName = QString(text).remove('&');
    auto *label = qobject_cast<QLabel *>(widget);
    QWidget *control = label ? label->buddy() : widget;
    QVERIFY(control);
    QCOMPARE(label ? label->text() : qobject_cast<QAbstractButton *>(widget)->text(), text);
    QCOMPARE(control->accessibleName(), accessibleName);
    if (!key)
        return;
    QTest::keyClick(ui->window.get(), Qt::Key(key), Qt::AltModifier);
    if (label)
        QTRY_COMPARE(QApplication::focusWidget(), control);
    else
        QTRY_VERIFY(!qobject_cast<QCheckBox *>(control)->isChecked());
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
