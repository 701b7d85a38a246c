#pragma once
// The window's look: colours, fonts and the style sheet.
#include <QColor>
#include <QString>

class QApplication;
class QWidget;

namespace mm::ui::qt::skin {

inline const QColor kAccent{0xE8, 0x46, 0x5B};
inline const QColor kText{0x2B, 0x2F, 0x36};
inline const QColor kTextSecondary{0x8A, 0x8F, 0x99};
inline const QColor kDisabledText{0xB4, 0xB8, 0xC0};
inline const QColor kHover{0xF3, 0xF4, 0xF6};
inline const QColor kSelection{0xFD, 0xEC, 0xEE};
inline const QColor kBorder{0xE6, 0xE8, 0xEC};
inline const QColor kTrack{0xEC, 0xEE, 0xF1};
inline const QColor kTipBackground{0xFF, 0xF7, 0xEF};
inline const QColor kFocus{0xE8, 0x46, 0x5B};

// Fusion style, palette (tool tips included) and the Chinese-capable font for
// the whole application. The style sheet is the main window's own (ApplyTo),
// so that Qt's dialogs opened without it, such as the folder chooser, keep
// Qt's plain look.
void Apply(QApplication& app);
// Apply(), once per application.
void EnsureApplied(QApplication& app);
// The style sheet on the main window; its menus, panels, tips and message
// boxes take it from there.
void ApplyTo(QWidget& window);

QString StyleSheet();

}  // namespace mm::ui::qt::skin
