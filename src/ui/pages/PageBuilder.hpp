#pragma once

#include "editor/Editor.hpp"

#include <QString>

#include <span>
#include <vector>

class QGroupBox;
class QLineEdit;
class QSlider;
class QWidget;

namespace qrv::ui {

class Binder;

// Builds the effect pages from the catalogue: a column per slider (value box, slider,
// label), the page's check boxes, its PEQ bands and its pass-filter lists, each widget
// named as its control and bound to the editor's handlers. The bindings hold the editor,
// not the builder, which may go once the pages are built.
class PageBuilder {
public:
    PageBuilder(Editor& editor, Binder& binder) : editor_(editor), binder_(binder) {}

    QGroupBox* build(const PageInfo& page);

private:
    // A slider column is as wide as its label's longest word and its widest value; the
    // labels of a page share one height.
    int columnWidth(const PageParameter& parameter) const;
    int labelHeight(const PageInfo& page) const;
    // Names the slider and its value box for screen readers, from the catalogue.
    void describe(QSlider* slider, QLineEdit* box, const PageParameter& parameter, bool vertical);
    QWidget* sliderColumn(const PageInfo& page, const PageParameter& parameter, int labelHeight);
    QWidget* semitones(const PageInfo& page, const PageParameter& parameter);
    QWidget* checkControl(const PageInfo& page, const PageParameter& parameter);
    // The rotor switch: a red button-style check box between "Slow" and "Fast".
    QWidget* rotorSwitch(const PageInfo& page, const PageParameter& parameter);
    QWidget* tapBox();
    QGroupBox* band(const BandRef& band);
    QGroupBox* passFilters(std::span<const PassFilterRef> lists);
    void bindTypedBox(QLineEdit* box, const PageInfo& page, const PageParameter& parameter);
    void bindPageSlider(QSlider* slider, const PageInfo& page, const PageParameter& parameter);

    // Takes the next place in the page's Tab order.
    template <class W> W* inOrder(W* widget)
    {
        tabOrder_.push_back(widget);
        return widget;
    }

    Editor& editor_;
    Binder& binder_;
    // The page's controls in reading order, each slider followed by its value box.
    std::vector<QWidget*> tabOrder_;
};

// The object name of element `index` of a control array.
QString elementName(const char* array, int index);

} // namespace qrv::ui
