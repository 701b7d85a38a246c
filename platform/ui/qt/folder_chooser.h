#pragma once
// The folder chooser of the settings page: Qt's own folder dialog, in Chinese,
// in Qt's plain look (not the main window's skin), opening in the folder in use.
#include <QString>

class QWidget;

namespace mm::ui::qt {

// Loads Qt's Chinese translations (Debian's qt6-translations-l10n), so that
// Qt's dialogs speak the program's language. False when none were found.
bool InstallQtTranslations();

// The folder dialog opens in `start`, or in the nearest folder above it that
// exists, or in the home folder. Centred over `over` when given.
// Returns the chosen folder, or "" when cancelled.
QString ChooseFolder(QWidget* over, const QString& title, const QString& start);

// The dialog's object name (tests find the open dialog by it).
inline constexpr const char* kFolderChooserName = "folderChooser";

}  // namespace mm::ui::qt
