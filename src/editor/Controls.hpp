#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace qrv {

// Plain controls of the window models. Setting one from core code raises no event.
struct Slider {
    int max = 100;
    int position = 0;
    bool horizontal = false;
};

struct TextBox {
    std::string text;
    std::string toolTip;
};

struct CheckBox {
    int value = 0; // 1 ticked, 0 clear
    std::string caption;
};

struct ListBox {
    std::vector<std::string> items;
    int index = -1; // -1: nothing selected
    std::string toolTip;
};

struct Label {
    std::string caption;
    bool visible = true;
};

struct CommandButton {
    std::string caption;
    std::string toolTip;
    bool visible = true;
    int left = 0, top = 0, width = 0, height = 0; // twips
};

struct GroupFrame {
    std::string caption;
    bool visible = true;
};

struct Timer {
    bool enabled = false;
    int interval = 0; // ms
};

struct Colour {
    uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Colour&) const = default;
};

struct Shape {
    Colour colour;
};

struct ProgressBar {
    bool visible = false;
    int value = 0;
    int max = 100;
};

// A control array: the element number is the control's index.
template <class T> using ControlArray = std::map<int, T>;

} // namespace qrv
