#pragma once
// The one place where text crosses between the core's GB18030 bytes and the GUI's QString.

#include <QString>
#include <string>
#include <string_view>

namespace sorvik::gui {

// GB18030 bytes to a QString.
QString FromGb(std::string_view gb);
// A QString to GB18030 bytes.
std::string ToGb(const QString& text);

}  // namespace sorvik::gui
