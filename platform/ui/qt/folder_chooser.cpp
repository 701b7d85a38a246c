#include "platform/ui/qt/folder_chooser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QTranslator>

namespace mm::ui::qt {

bool InstallQtTranslations() {
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    bool any = false;
    for (const char* catalogue : {"qtbase_zh_CN", "qt_zh_CN"}) {
        auto* t = new QTranslator(QCoreApplication::instance());
        if (t->load(QString::fromLatin1(catalogue), dir)) {
            QCoreApplication::installTranslator(t);
            any = true;
        } else {
            delete t;
        }
    }
    return any;
}

namespace {

QString ExistingFolderAt(const QString& start) {
    QString path = QDir::cleanPath(start);
    while (!path.isEmpty() && !QFileInfo(path).isDir()) {
        const QString up = QFileInfo(path).path();
        if (up == path) break;
        path = up;
    }
    return QFileInfo(path).isDir() ? path : QDir::homePath();
}

}  // namespace

QString ChooseFolder(QWidget* over, const QString& title, const QString& start) {
    // No parent: the dialog does not take the main window's style sheet.
    QFileDialog dialog(nullptr, title, ExistingFolderAt(start));
    dialog.setObjectName(kFolderChooserName);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.resize(720, 460);
    if (over) {
        const QRect area = over->window()->frameGeometry();
        dialog.move(area.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.first();
}

}  // namespace mm::ui::qt
