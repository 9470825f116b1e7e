#pragma once
// Keeps a line edit's text within what its visible width shows, for typed and pasted text
// alike: characters that would run past the right edge are refused, and control
// characters are taken out.

#include <QValidator>

class QLineEdit;

namespace panel {

class FitWidthValidator : public QValidator {
    Q_OBJECT
public:
    explicit FitWidthValidator(QLineEdit* edit);

    // Takes out control characters, then drops the characters just before the cursor (the
    // ones typed or pasted last) until the text fits; the text in front of them and behind
    // the cursor stays.
    State validate(QString& input, int& pos) const override;

    // The width in pixels that the edit shows text in.
    int VisibleTextWidth() const;

private:
    QLineEdit* m_edit;
};

}  // namespace panel
