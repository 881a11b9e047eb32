#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <memory>

class AppDelegate;
class QApplication;

// Starts the application the way the window expects: builds the window from its interface
// description, creates the one controller, connects the outlets through their setters and the
// actions to the controller, makes it the application's delegate and delivers the launch.
class ApplicationMain
{
public:
    // The window and its controller. The controller goes first, the window after it, so the
    // controller never outlives its controls.
    struct Interface
    {
        std::unique_ptr<QMainWindow> window;
        std::unique_ptr<AppDelegate> delegate;
        ~Interface();
    };

    // Loads the interface into a running application object and delivers the launch step.
    static std::unique_ptr<Interface> loadInterface(QApplication &application);

    // The file the program was given, if it was given one, opened as a pick through the image
    // dialog opens it; a relative path is taken from the working folder. Returns whether there
    // was one; why it gives no image goes to the status line and to stderr.
    static bool openFileArgument(Interface &interface, const QStringList &arguments);

    // The process entry of the window: runs the event loop until the application quits.
    static int run(int argc, char **argv);
};
