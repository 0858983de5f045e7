#pragma once

#include <QString>
#include <string>

namespace glowmere::gui {

// The logic's UTF-8 text as Qt text.
inline QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace glowmere::gui
