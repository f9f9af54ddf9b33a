// Shown texts: every caption passes through TranslateText on its way to a widget.
#pragma once

#include <QString>

#include <string>
#include <string_view>

#include "localization/TranslateText.h"

namespace pelcrow::ui {

inline QString Tr(std::string_view text) { return QString::fromStdString(TranslateText(text)); }
// Paths are bytes; a name that is not UTF-8 is shown lossily but never written back from here.
inline QString PathText(const std::string& path) { return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size())); }
inline std::string PathBytes(const QString& path) { return path.toUtf8().toStdString(); }

// The property that holds a control's untranslated status-bar hint, shown while the mouse is over it.
inline constexpr const char* kStatusHintProperty = "statusHint";

}  // namespace pelcrow::ui
