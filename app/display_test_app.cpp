#include "app/display_test_app.h"

#include <QApplication>

#include "app/about_dlg.h"
#include "common/shutdown_signals.h"

namespace app {

CDisplayTestApp::CDisplayTestApp(panel::PanelServices services) : m_services(std::move(services))
{
}

bool CDisplayTestApp::InitInstance()
{
    m_services.runAboutBox = [](QWidget* parent, res::Lang lang) {
        CAboutDlg about(lang, parent);
        about.exec();
    };
    {
        // Asked to end by a signal: as on Escape, then whatever window is open over the
        // panel (the About box, the menu) closes too, so that its loop lets go. In place
        // before the panel opens its port, and until the panel has released it.
        common::ShutdownSignals endSignals;
        panel::CDisplayTestDlg dlg(std::move(m_services));
        QObject::connect(&endSignals, &common::ShutdownSignals::Received, &dlg, [&dlg] {
            dlg.reject();
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window != &dlg && window->isVisible())
                    window->close();
            }
        });
        dlg.exec();
    }  // the panel and its port go here
    return false;
}

}  // namespace app
