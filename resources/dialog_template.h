#pragma once
// Dialog templates: the controls of a dialog, with positions in dialog units, as the
// window is built from them. Plain data; panel/ turns a template into widgets.

#include <optional>
#include <span>
#include <string_view>

#include "resources/captions.h"

namespace res {

enum class ControlKind {
    DropListCombo,  // combo box whose list is the only way to choose
    AutoRadio,      // radio button that checks itself when clicked
    Edit,
    PushButton,
    Static,  // static text
    GroupBox,
    IconStatic,  // static showing an icon
};

// Style bits of a control.
enum Style : unsigned {
    kGroup = 1u << 0,  // starts a group (radio buttons exclude each other within it)
    kTabStop = 1u << 1,
    kReadOnly = 1u << 2,
    kNoBorder = 1u << 3,
    kCentre = 1u << 4,         // centred text
    kAutoHScroll = 1u << 5,    // the edit scrolls its text sideways
    kVScroll = 1u << 6,        // the combo box list scrolls
    kRealSizeImage = 1u << 7,  // the icon keeps its own size
};

struct DialogControl {
    int id;  // IDC_... of resource_ids.h; IDC_STATIC for none
    ControlKind kind;
    int x, y, cx, cy;  // dialog units; for a combo box cy is the height of the open list
    std::optional<Text> caption;
    int icon;  // IDR_/IDI_ id of an icon static; 0 for none
    unsigned style;
    std::span<const std::string_view> initialItems;  // of a combo box
};

struct DialogTemplate {
    int id;
    Text caption;
    int cx, cy;  // client area, dialog units
    int pointSize;
    std::string_view fontFace;
    std::span<const DialogControl> controls;  // in template order: creation and tab order
};

// Template IDD_TEST_PANEL, the test panel.
const DialogTemplate& TestPanelTemplate();

}  // namespace res
