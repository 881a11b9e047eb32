#pragma once

#include <QMainWindow>

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

    // The process entry of the window: runs the event loop until the application quits.
    static int run(int argc, char **argv);
};
