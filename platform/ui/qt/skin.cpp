#include "platform/ui/qt/skin.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QStyleFactory>

namespace mm::ui::qt::skin {

void Apply(QApplication& app) {
    app.setStyle(QStyleFactory::create("Fusion"));
    QFont font = app.font();
    // Chinese captions need a font with CJK glyphs; the platform default may have none.
    for (const QString& family :
         {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")}) {
        if (QFontDatabase::families().contains(family)) {
            font.setFamily(family);
            break;
        }
    }
    font.setPixelSize(13);
    app.setFont(font);

    QPalette pal = app.palette();
    pal.setColor(QPalette::Window, QColor(0xF7, 0xF8, 0xFA));
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::AlternateBase, QColor(0xFA, 0xFB, 0xFC));
    pal.setColor(QPalette::Text, kText);
    pal.setColor(QPalette::WindowText, kText);
    pal.setColor(QPalette::ButtonText, kText);
    pal.setColor(QPalette::Button, Qt::white);
    pal.setColor(QPalette::Highlight, kAccent);
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::PlaceholderText, kTextSecondary);
    pal.setColor(QPalette::Disabled, QPalette::Text, kDisabledText);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, kDisabledText);
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, kDisabledText);
    app.setPalette(pal);
    app.setStyleSheet(StyleSheet());
}

QString StyleSheet() {
    return QStringLiteral(R"(
QWidget#sidebar { background: #1F2129; }
QLabel#brand { color: white; font-size: 18px; font-weight: bold; padding: 18px 16px 22px 16px; }
QToolButton#toolEntry {
    color: #C9CDD6; background: transparent; border: none; border-radius: 8px;
    padding: 9px 12px; text-align: left; font-size: 14px;
}
QToolButton#toolEntry:hover { background: #2A2D37; color: white; }
QToolButton#toolEntry[current="true"] { background: #E8465B; color: white; }
QWidget#content, QStackedWidget#pages { background: #F7F8FA; }
QLabel#pageTitle { font-size: 20px; font-weight: bold; color: #2B2F36; }
QLabel#sectionTitle { font-size: 14px; font-weight: bold; color: #2B2F36; }
QLabel#hint { color: #8A8F99; }
QLabel#counter {
    background: #FDECEE; color: #E8465B; border-radius: 10px; padding: 1px 9px; font-weight: bold;
}
QLabel#pathLabel {
    background: white; border: 1px solid #E6E8EC; border-radius: 6px; padding: 5px 10px; color: #4A4F5A;
}
QLineEdit, QPlainTextEdit {
    background: white; border: 1px solid #E1E3E8; border-radius: 17px; padding: 6px 14px;
    selection-background-color: #E8465B; color: #2B2F36;
}
QPlainTextEdit { border-radius: 8px; padding: 4px 8px; }
QLineEdit:focus, QPlainTextEdit:focus { border: 1px solid #E8465B; }
QLineEdit:disabled { background: #F1F2F4; color: #A0A4AD; }
QPushButton {
    background: white; border: 1px solid #DADDE3; border-radius: 16px; padding: 6px 18px; color: #2B2F36;
}
QPushButton:hover { border-color: #E8465B; color: #E8465B; }
QPushButton:pressed { background: #FDECEE; }
QPushButton:disabled { color: #B4B8C0; border-color: #E6E8EC; background: #F7F8FA; }
QPushButton#accent { background: #E8465B; border: none; color: white; font-weight: bold; }
QPushButton#accent:hover { background: #D63A4F; color: white; }
QPushButton#accent:disabled { background: #F2A9B3; color: white; }
QPushButton#tierButton { text-align: left; padding: 9px 16px; border-radius: 8px; }
QPushButton#iconButton, QPushButton#iconButton:hover, QPushButton#iconButton:pressed {
    background: transparent; border: none; padding: 0;
}
QPushButton#closeButton {
    background: transparent; border: none; color: #8A8F99; font-size: 16px; padding: 0 6px;
}
QPushButton#closeButton:hover { color: #E8465B; }
QComboBox {
    background: white; border: 1px solid #E1E3E8; border-radius: 17px; padding: 4px 12px; color: #2B2F36;
}
QComboBox:hover { border-color: #E8465B; }
QComboBox::drop-down { border: none; width: 24px; }
QComboBox QAbstractItemView {
    background: white; border: 1px solid #E6E8EC; selection-background-color: #FDECEE;
    selection-color: #2B2F36; outline: none;
}
QFrame#card { background: white; border: 1px solid #ECEEF1; border-radius: 12px; }
QFrame#panel { background: white; border: 1px solid #E1E3E8; border-radius: 14px; }
QLabel#panelTitle { font-size: 16px; font-weight: bold; }
QLabel#loadingText { color: #8A8F99; font-size: 13px; }
QTableView {
    background: white; border: 1px solid #ECEEF1; border-radius: 12px; gridline-color: transparent;
    selection-background-color: #FDECEE; selection-color: #2B2F36; outline: none;
}
QHeaderView::section {
    background: white; color: #8A8F99; border: none; border-bottom: 1px solid #ECEEF1;
    padding: 8px 8px; font-weight: normal;
}
QScrollBar:vertical { background: transparent; width: 10px; margin: 4px 2px; }
QScrollBar::handle:vertical { background: #D5D8DE; border-radius: 3px; min-height: 30px; }
QScrollBar::handle:vertical:hover { background: #B9BDC6; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }
QWidget#playerBar { background: white; border-top: 1px solid #E6E8EC; }
QLabel#playerTitle { font-size: 14px; font-weight: bold; color: #2B2F36; }
QLabel#playerTime { color: #8A8F99; font-family: monospace; }
QSlider::groove:horizontal { height: 4px; background: #ECEEF1; border-radius: 2px; }
QSlider::sub-page:horizontal { background: #E8465B; border-radius: 2px; }
QSlider::handle:horizontal {
    background: white; border: 2px solid #E8465B; width: 10px; height: 10px; margin: -5px 0; border-radius: 7px;
}
QRadioButton, QCheckBox { spacing: 8px; color: #2B2F36; padding: 3px 0; }
QMenu { background: white; border: 1px solid #E1E3E8; padding: 4px 0; }
QMenu::item { padding: 10px 30px 10px 52px; min-height: 20px; }
QFrame#tip { background: #FFF7EF; border: 1px solid #F3DCC6; border-radius: 8px; }
QFrame#tip QLabel { color: #2B2F36; }
QDialog#messageBox { background: white; }
QLabel#messageTitle { font-size: 15px; font-weight: bold; }
QLabel#messageText { color: #4A4F5A; }
)");
}

}  // namespace mm::ui::qt::skin
