#ifndef TOOLWINDOWFIXTURE_H
#define TOOLWINDOWFIXTURE_H

#include <memory>

class DescriptionDir;
class EmptyCurrentDir;
class MainWindow;
class WindowDriver;

// A shown main window started in an empty working folder, a folder for the description
// files a test writes, and a driver for the window. Destroyed in reverse order: the
// window goes before the folders its devices were loaded from.
class ToolWindowFixture
{
public:
    ToolWindowFixture();
    ~ToolWindowFixture();

    // The working folder is current and the window is exposed.
    bool isReady() const;
    MainWindow &window() const;
    WindowDriver &driver() const;
    DescriptionDir &files() const;

private:
    std::unique_ptr<EmptyCurrentDir> m_workDir;
    std::unique_ptr<DescriptionDir> m_files;
    std::unique_ptr<MainWindow> m_window;
    std::unique_ptr<WindowDriver> m_driver;
    bool m_exposed = false;
};

#endif // TOOLWINDOWFIXTURE_H
