#include "toolwindowfixture.h"

#include "descriptiondir.h"
#include "emptycurrentdir.h"
#include "mainwindow.h"
#include "windowdriver.h"

#include <QTest>

ToolWindowFixture::ToolWindowFixture()
    : m_workDir(std::make_unique<EmptyCurrentDir>())
    , m_files(std::make_unique<DescriptionDir>())
    , m_window(std::make_unique<MainWindow>())
    , m_driver(std::make_unique<WindowDriver>(*m_window))
{
    m_window->show();
    m_exposed = QTest::qWaitForWindowExposed(m_window.get());
}

ToolWindowFixture::~ToolWindowFixture() = default;

bool ToolWindowFixture::isReady() const
{
    return m_workDir->isCurrent() && m_exposed;
}

MainWindow &ToolWindowFixture::window() const
{
    return *m_window;
}

WindowDriver &ToolWindowFixture::driver() const
{
    return *m_driver;
}

DescriptionDir &ToolWindowFixture::files() const
{
    return *m_files;
}
