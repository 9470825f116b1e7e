#pragma once
// Builds a dialog's widgets from its template (resources/dialog_template.h), converting
// dialog units to pixels from the metrics of the dialog font.

#include <QRect>
#include <map>
#include <vector>

#include "resources/dialog_template.h"

class QButtonGroup;
class QDialog;
class QFont;
class QWidget;

namespace panel {

// Pixels per four horizontal and per eight vertical dialog units.
struct DialogUnits {
    double baseX = 0;
    double baseY = 0;
};

// The base units of a font as the Windows dialog manager takes them: the average width of
// the Latin letters and the height of a line. The Chinese captions come from a fallback
// font that may stand taller than the dialog font, so the line height covers it too.
DialogUnits FontBaseUnits(const QFont& font);

// A rectangle in dialog units to pixels.
QRect MapDialogRect(const DialogUnits& units, int x, int y, int cx, int cy);

struct BuiltDialog {
    std::map<int, QWidget*> controls;  // by control id; IDC_STATIC ones left out
};

// The font a template names: its point size in the platform's general font, which stands
// in for the Windows "System" face.
QFont TemplateFont(const res::DialogTemplate& tpl);

// The text as a button shows it: "&S" is an access key, "&&" a literal ampersand.
QString WithoutAccessKeys(const QString& caption);

// The caption as a screen reader says it: without its access key, "(&S)" after the text
// gone whole, "&1" read as the 1 it shows, "&&" a literal ampersand; a label's closing
// colon gone too.
QString SpokenCaption(QString caption);

// Creates the template's controls as children of the dialog and gives the dialog the
// template's font, title and fixed size. Every widget is named by its control's symbol.
//
// The base units come from the font; where a caption of a control, in either language,
// would not fit the control's width at those units, the horizontal unit grows until every
// caption fits, so the layout keeps the template's proportions and cuts no text.
BuiltDialog BuildDialog(QDialog& dialog, const res::DialogTemplate& tpl);

}  // namespace panel
