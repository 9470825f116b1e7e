#pragma once
// The About box: the program's name, its version and what it is for.

#include <QDialog>

#include "resources/captions.h"

namespace app {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(res::Lang lang, QWidget* parent = nullptr);
};

}  // namespace app
