#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

class QLineEdit;
class QTreeWidgetItem;
class QWidget;

// Linux file names are bytes, and a name that is not UTF-8 cannot make the round trip through
// QString. So paths travel as bytes (std::string) from where they come in to where a file is
// opened, and become text only to be shown. These are the windows' only conversions.
namespace brindle::app {

// The text shown for a path or name: its UTF-8, each byte that is not UTF-8 shown as U+FFFD.
QString DisplayPath(std::string_view bytes);

// The bytes of a path that arrived as text (typed, or a dialog's answer). Nothing when the text
// holds U+FFFD: bytes were lost on the way into the text, and what is left may name another
// file.
std::optional<std::string> PathBytes(const QString& text);

// The bytes of a file or folder dialog's answer, the dialog having been opened at `offered`
// (bytes). An answer that shows as `offered` or its folder, or as a path inside either, keeps
// their bytes: a name that is not UTF-8 can be chosen as it was offered. Any other answer is
// read as PathBytes reads text.
std::optional<std::string> DialogPathBytes(const QString& chosen, const std::string& offered);

// A text box showing a path keeps the path's bytes beside its text. They stand while the box
// shows exactly their display text; once the text is edited, the text itself is read.
void ShowPath(QLineEdit* box, const std::string& bytes);
std::optional<std::string> PathInBox(const QLineEdit* box);

// A list row that stands for a file or group keeps its bytes in column 0's Qt::UserRole.
void SetItemBytes(QTreeWidgetItem* item, const std::string& bytes);
std::string ItemBytes(const QTreeWidgetItem* item);

// Says that `text` cannot be used as a path because it lost bytes.
void RefuseLostName(QWidget* window, const QString& text);

}  // namespace brindle::app
