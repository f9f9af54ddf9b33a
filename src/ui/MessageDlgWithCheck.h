// A message box with a check box under its text ("Do not ask again" and the like).
#pragma once

#include <QMessageBox>

namespace pelcrow::ui {

// Shows text (translated by the caller) with a check box captioned checkCaption in state
// checked, as a box of the given kind (Warning, Critical, Information or Question) with the
// given buttons; returns the pressed button (NoButton when the box was closed otherwise) and
// writes the final check state back.
QMessageBox::StandardButton MessageDlgWithCheck(const QString& text, const QString& checkCaption, bool& checked,
                                                QMessageBox::Icon type, QMessageBox::StandardButtons buttons,
                                                QWidget* parent = nullptr);

}  // namespace pelcrow::ui
