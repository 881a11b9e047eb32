#include "ApplicationMain.h"

#include "AppDelegate.h"
#include "ImageWell.h"
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
    QObject::connect(ui.imageView, &ImageWell::imageRefused, ui.statusLabel,
                     [label = ui.statusLabel](const QString &why) {
                         label->setText(why);
                         label->setAccessibleName(why);
                     });

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

QString ApplicationMain::openFileArgument(Interface &interface, const QStringList &arguments)
{
    if (arguments.size() != 2)
        return {};
    const QString path = QFileInfo(arguments.at(1)).absoluteFilePath();
    return interface.delegate->openImageFile(QUrl::fromLocalFile(path));
}

int ApplicationMain::run(int argc, char **argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Assetsmith"));
    QApplication::setApplicationVersion(QStringLiteral(ASSETSMITH_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral(ASSETSMITH_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(ASSETSMITH_APP_ID)));
    const std::unique_ptr<Interface> interface = loadInterface(application);
    interface->window->show();
    const QString problem = openFileArgument(*interface, QApplication::arguments());
    // Started from a terminal, the reason shows there too.
    if (!problem.isEmpty())
        std::fprintf(stderr, "assetsmith: %s\n", qPrintable(problem));
    return application.exec();
}
