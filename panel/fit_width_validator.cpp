#include "panel/fit_width_validator.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>

namespace panel {
namespace {

// QLineEdit keeps this many pixels free on either side of its text.
constexpr int kLineEditMargin = 2;
// Room for the cursor behind the last character.
constexpr int kCursorWidth = 1;

}  // namespace

FitWidthValidator::FitWidthValidator(QLineEdit* edit) : QValidator(edit), m_edit(edit)
{
}

int FitWidthValidator::VisibleTextWidth() const
{
    QStyleOptionFrame option;
    option.initFrom(m_edit);
    option.rect = m_edit->rect();
    option.lineWidth =
        m_edit->hasFrame() ? m_edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, m_edit) : 0;
    QRect contents = m_edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, m_edit);
    contents = contents.marginsRemoved(m_edit->textMargins());
    // The edit also keeps room for glyphs that reach beyond their advance.
    const QFontMetrics fm(m_edit->font());
    const int bearings = std::max(0, -fm.minLeftBearing()) + std::max(0, -fm.minRightBearing());
    return contents.width() - 2 * kLineEditMargin - kCursorWidth - bearings;
}

QValidator::State FitWidthValidator::validate(QString& input, int& pos) const
{
    // A control character would reach the display as a command (ESC begins one, CR ends
    // a text): what the user types or pastes here is only ever text.
    for (int i = static_cast<int>(input.size()) - 1; i >= 0; --i) {
        if (input[i].category() == QChar::Other_Control) {
            input.remove(i, 1);
            if (pos > i)
                --pos;
        }
    }
    const QFontMetrics fm(m_edit->font());
    const int room = VisibleTextWidth();
    while (fm.horizontalAdvance(input) > room && !input.isEmpty()) {
        int cut = pos > 0 ? pos - 1 : static_cast<int>(input.size()) - 1;
        int count = 1;
        if (cut > 0 && input[cut].isLowSurrogate() && input[cut - 1].isHighSurrogate()) {
            --cut;
            count = 2;
        }
        input.remove(cut, count);
        if (pos > cut)
            pos = cut;
    }
    return Acceptable;
}

}  // namespace panel
