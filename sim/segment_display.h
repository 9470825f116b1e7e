#pragma once
// The face of the customer display: eight seven-segment digits with their points in LED
// red on black, and under them the four lamps with their labels.

#include <QIcon>
#include <QWidget>

#include <QString>

#include <array>

#include "sim/display_state.h"

namespace sim {

class SegmentDisplay : public QWidget {
    Q_OBJECT
public:
    explicit SegmentDisplay(QWidget* parent = nullptr);

    // What the digits show now and which lamps are lit.
    void SetFace(const Cells& cells, const std::array<bool, kLampCount>& lamps);
    // The labels under the lamps, in the order of Lamp; English unless set.
    void SetLampNames(const std::array<QString, kLampCount>& names);
    const std::array<QString, kLampCount>& LampNames() const noexcept { return m_lampNames; }
    const Cells& ShownCells() const noexcept { return m_cells; }
    const std::array<bool, kLampCount>& ShownLamps() const noexcept { return m_lamps; }

    // The virtual display's window icon: one lit digit on the display's glass, drawn for
    // each size so that it stays legible at 16 pixels.
    static QIcon Icon();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Cells m_cells{};
    std::array<bool, kLampCount> m_lamps{};
    std::array<QString, kLampCount> m_lampNames;
};

}  // namespace sim
