#include "ApplicationMain.h"

#include "AppDelegate.h"
#include "CheckDialog.h"
#include "ImageWell.h"
#include "PreviewStrip.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>

#include <cstdio>

ApplicationMain::Interface::~Interface()
{
    delegate.reset();
    window.reset();
}

std::unique_ptr<ApplicationMain::Interface>
ApplicationMain::loadInterface(QApplication &application)
{
    auto interface = std::make_unique<Interface>();
    interface->window = std::make_unique<QMainWindow>();
    Ui::MainWindow ui;
    ui.setupUi(interface->window.get());
    // The first size holds every control unsqueezed and the preview's smallest tiles, whatever
    // the font; the window can still be made smaller.
    QMainWindow *window = interface->window.get();
    window->resize(window->size().expandedTo(window->minimumSizeHint()));

    interface->delegate = std::make_unique<AppDelegate>();
    AppDelegate *delegate = interface->delegate.get();
    delegate->setWindow(interface->window.get());
    delegate->setWidthField(ui.widthField);
    delegate->setHeightField(ui.heightField);
    delegate->setFilePathField(ui.filePathField);
    delegate->setAssetNameField(ui.assetNameField);
    delegate->setImageView(ui.imageView);
    delegate->setProportionsCheckBox(ui.proportionsCheckBox);
    delegate->setStatusLabel(ui.statusLabel);
    delegate->setBackgroundButton(ui.backgroundButton);
    delegate->setBackgroundClearButton(ui.backgroundClearButton);
    delegate->setSingleSizeCheckBox(ui.singleSizeCheckBox);
    delegate->setDarkCombo(ui.darkCombo);
    delegate->setTintedCombo(ui.tintedCombo);
    delegate->setBackCombo(ui.backCombo);
    delegate->setMacStyleCombo(ui.macStyleCombo);
    delegate->setPlatformCombo(ui.platformCombo);
    delegate->setIconSetNameField(ui.iconSetNameField);
    delegate->setPreviewSetCombo(ui.previewSetCombo);
    delegate->setPreviewStrip(ui.previewStrip);
    delegate->setLayersLabel(ui.layersLabel);
    delegate->setStopAction(ui.actionStopReading);
    delegate->setExportControls({ui.imageView, ui.chooseImageButton, ui.chooseFolderButton,
                                 ui.filePathField, ui.assetNameField, ui.widthField, ui.heightField,
                                 ui.proportionsCheckBox, ui.optionsGroup, ui.iosButton,
                                 ui.macButton, ui.imageSetButton, ui.iconSetNameField,
                                 ui.platformCombo, ui.platformButton});
    ui.imageView->setLoader(delegate->loader());

    auto action = [delegate](QObject *sender, void (AppDelegate::*operation)(QObject *)) {
        return [delegate, sender, operation] { (delegate->*operation)(sender); };
    };
    QPushButton *chooseImage = ui.chooseImageButton;
    QObject::connect(chooseImage, &QPushButton::clicked, delegate,
                     action(chooseImage, &AppDelegate::chooseImageFile));
    QObject::connect(ui.chooseFolderButton, &QPushButton::clicked, delegate,
                     action(ui.chooseFolderButton, &AppDelegate::chooseOutputFolder));
    QObject::connect(ui.imageView, &ImageWell::imageChanged, delegate,
                     action(ui.imageView, &AppDelegate::imageViewChanged));
    QObject::connect(ui.iosButton, &QPushButton::clicked, delegate,
                     action(ui.iosButton, &AppDelegate::generateIcons));
    QObject::connect(ui.macButton, &QPushButton::clicked, delegate,
                     action(ui.macButton, &AppDelegate::generateMacIcons));
    QObject::connect(ui.imageSetButton, &QPushButton::clicked, delegate,
                     action(ui.imageSetButton, &AppDelegate::generateSizes));
    QObject::connect(ui.actionNewWindow, &QAction::triggered, delegate,
                     action(ui.actionNewWindow, &AppDelegate::makeNewWindow));
    QObject::connect(ui.actionQuit, &QAction::triggered, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(ui.actionStopReading, &QAction::triggered, delegate,
                     action(ui.actionStopReading, &AppDelegate::stopReading));
    QObject::connect(ui.actionCheckCatalogue, &QAction::triggered, delegate,
                     action(ui.actionCheckCatalogue, &AppDelegate::checkCatalogue));
    QObject::connect(ui.imageView, &ImageWell::imageRefused, delegate, &AppDelegate::showStatus);

    // The app icon options and the preview's own controls.
    QObject::connect(ui.backgroundButton, &QPushButton::clicked, delegate,
                     action(ui.backgroundButton, &AppDelegate::chooseBackgroundColour));
    QObject::connect(ui.backgroundClearButton, &QPushButton::clicked, delegate,
                     [delegate] { delegate->setBackgroundColour(QColor()); });
    QObject::connect(ui.singleSizeCheckBox, &QCheckBox::toggled, delegate,
                     &AppDelegate::optionsChanged);
    QObject::connect(ui.darkCombo, &QComboBox::activated, delegate, [delegate](int index) {
        delegate->appearanceChosen(AppDelegate::Appearance::Dark, index);
    });
    QObject::connect(ui.tintedCombo, &QComboBox::activated, delegate, [delegate](int index) {
        delegate->appearanceChosen(AppDelegate::Appearance::Tinted, index);
    });
    QObject::connect(ui.backCombo, &QComboBox::activated, delegate, [delegate](int index) {
        delegate->appearanceChosen(AppDelegate::Appearance::Back, index);
    });
    QObject::connect(ui.macStyleCombo, &QComboBox::currentIndexChanged, delegate,
                     &AppDelegate::optionsChanged);
    QObject::connect(ui.platformCombo, &QComboBox::activated, delegate,
                     &AppDelegate::platformChosen);
    QObject::connect(ui.platformButton, &QPushButton::clicked, delegate,
                     action(ui.platformButton, &AppDelegate::generatePlatformIcons));
    QObject::connect(ui.previewSetCombo, &QComboBox::currentIndexChanged, delegate,
                     &AppDelegate::schedulePreview);
    QObject::connect(ui.assetNameField, &QLineEdit::textChanged, delegate,
                     &AppDelegate::imageSetFieldsChanged);
    QObject::connect(ui.maskCheckBox, &QCheckBox::toggled, ui.previewStrip,
                     &PreviewStrip::setMaskShown);

    // The delegate decides whether closing the last window quits.
    application.setQuitOnLastWindowClosed(false);
    QObject::connect(
        &application, &QGuiApplication::lastWindowClosed, delegate, [delegate, &application] {
            if (delegate->applicationShouldTerminateAfterLastWindowClosed(&application))
                QCoreApplication::quit();
        });
    QObject::connect(
        &application, &QCoreApplication::aboutToQuit, delegate,
        [delegate, &application] { delegate->applicationWillTerminate(&application); });

    delegate->applicationDidFinishLaunching(&application);
    return interface;
}

bool ApplicationMain::openFileArgument(Interface &interface, const QStringList &arguments)
{
    if (arguments.size() != 2)
        return false;
    const QString path = QFileInfo(arguments.at(1)).absoluteFilePath();
    // Started from a terminal, a file that gives no image says why there too.
    QObject::connect(
        interface.delegate.get(), &AppDelegate::sourceLoadFinished, interface.delegate.get(),
        [](const QString &problem) {
            if (!problem.isEmpty())
                std::fprintf(stderr, "assetsmith: %s\n", qPrintable(problem));
        },
        Qt::SingleShotConnection);
    interface.delegate->openImageFile(QUrl::fromLocalFile(path));
    return true;
}

int ApplicationMain::run(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Without a display Qt aborts with advice to reinstall; the commands need none.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        std::fprintf(stderr, "assetsmith: there is no display to open the window on; without "
                             "one, use a command: ios, mac, watch, vision, tv, icon, imageset or "
                             "check (see assetsmith --help)\n");
        return 2;
    }
#endif
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Assetsmith"));
    QApplication::setApplicationVersion(QStringLiteral(ASSETSMITH_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(ASSETSMITH_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(ASSETSMITH_APP_ID)));
    const std::unique_ptr<Interface> interface = loadInterface(application);
    interface->window->show();
    openFileArgument(*interface, QApplication::arguments());
    return application.exec();
}
