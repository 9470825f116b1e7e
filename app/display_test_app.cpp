#include "app/display_test_app.h"

#include "app/about_dlg.h"

namespace app {

CDisplayTestApp::CDisplayTestApp(panel::PanelServices services)
    : m_services(std::move(services))
{
}

bool CDisplayTestApp::InitInstance()
{
    m_services.runAboutBox = [](QWidget* parent, res::Lang lang) {
        CAboutDlg about(lang, parent);
        about.exec();
    };
    {
        panel::CDisplayTestDlg dlg(std::move(m_services));
        dlg.exec();
    }  // the panel and its port go here
    return false;
}

}  // namespace app
