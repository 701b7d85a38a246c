#include "platform/ui/qt/skin.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QStyleFactory>
#include <QWidget>

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
    pal.setColor(QPalette::ToolTipBase, kTipBackground);
    pal.setColor(QPalette::ToolTipText, kText);
    app.setPalette(pal);
    app.setProperty("mmSkinApplied", true);
}

void EnsureApplied(QApplication& app) {
    if (!app.property("mmSkinApplied").toBool()) Apply(app);
}

void ApplyTo(QWidget& window) {
    window.setStyleSheet(StyleSheet());
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
QPlainTextEdit { selection-background-color: #E8465B; }
QLineEdit:disabled { background: #F1F2F4; color: #A0A4AD; }
QPushButton {
    background: white; border: 1px solid #DADDE3; border-radius: 16px; padding: 6px 18px; color: #2B2F36;
}
QPushButton:hover { border-color: #E8465B; color: #E8465B; }
QPushButton:pressed { background: #FDECEE; }
QPushButton:focus { border: 2px solid #E8465B; padding: 5px 17px; background: #FFF5F6; }
QPushButton:disabled { color: #B4B8C0; border-color: #E6E8EC; background: #F7F8FA; }
QPushButton#accent {
    background: #E8465B; border: 2px solid #E8465B; color: white; font-weight: bold; padding: 5px 17px;
}
QPushButton#accent:hover { background: #D63A4F; border-color: #D63A4F; color: white; }
QPushButton#accent:focus { border-color: #9E2234; }
QPushButton#accent:disabled { background: #F2A9B3; border-color: #F2A9B3; color: white; }
QPushButton#tierButton { text-align: left; padding: 9px 16px; border-radius: 8px; }
QPushButton#tierButton:focus { padding: 8px 15px; }
QPushButton#iconButton, QPushButton#iconButton:hover, QPushButton#iconButton:pressed {
    background: transparent; border: none; padding: 0;
}
QPushButton#iconButton:focus { background: #FDECEE; border: 2px solid #E8465B; border-radius: 8px; padding: 0; }
QPushButton#closeButton {
    background: transparent; border: none; color: #8A8F99; font-size: 16px; padding: 0 6px;
}
QPushButton#closeButton:hover { color: #E8465B; }
QPushButton#closeButton:focus { color: #E8465B; background: #FDECEE; border: none; border-radius: 8px; padding: 0 6px; }
QComboBox {
    background: white; border: 1px solid #E1E3E8; border-radius: 17px; padding: 4px 34px 4px 12px;
    color: #2B2F36;
}
QComboBox:hover, QComboBox:focus { border-color: #E8465B; }
QComboBox:disabled { background: #F1F2F4; color: #A0A4AD; }
QComboBox::drop-down { border: none; width: 30px; }
QComboBox::down-arrow { image: none; width: 0; height: 0; }
QComboBoxPrivateContainer { background: white; border: 1px solid #E1E3E8; border-radius: 8px; }
QComboBox QAbstractItemView {
    background: white; border: none; padding: 4px;
    selection-background-color: #FDECEE; selection-color: #2B2F36; outline: none;
}
QComboBox QAbstractItemView::item { min-height: 30px; padding: 0 8px; border-radius: 6px; }
QComboBox QAbstractItemView::item:hover { background: #F3F4F6; }
QComboBox QAbstractItemView::item:selected { background: #FDECEE; color: #2B2F36; }
QFrame#card { background: white; border: 1px solid #ECEEF1; border-radius: 12px; }
QFrame#panel { background: white; border: 1px solid #E1E3E8; border-radius: 14px; }
QLabel#panelTitle { font-size: 16px; font-weight: bold; }
QLabel#loadingText { color: #8A8F99; font-size: 13px; }
QTableView {
    background: white; border: 1px solid #ECEEF1; border-radius: 12px; gridline-color: transparent;
    selection-background-color: #FDECEE; selection-color: #2B2F36; outline: none;
}
QTableView:focus { border: 1px solid #E8465B; }
QLabel#listHeading { color: #8A8F99; font-size: 12px; padding: 0 4px; }
QHeaderView::section {
    background: white; color: #8A8F99; border: none; border-bottom: 1px solid #ECEEF1;
    padding: 8px 8px; font-weight: normal;
}
QScrollBar:vertical { background: transparent; width: 10px; margin: 4px 2px; }
QScrollBar::handle:vertical { background: #D5D8DE; border-radius: 3px; min-height: 30px; }
QScrollBar::handle:vertical:hover { background: #B9BDC6; }
QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }
QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }
QScrollBar:horizontal { background: transparent; height: 10px; margin: 2px 4px; }
QScrollBar::handle:horizontal { background: #D5D8DE; border-radius: 3px; min-width: 30px; }
QScrollBar::handle:horizontal:hover { background: #B9BDC6; }
QScrollBar::add-line:horizontal, QScrollBar::sub-line:horizontal { width: 0; }
QScrollBar::add-page:horizontal, QScrollBar::sub-page:horizontal { background: transparent; }
QAbstractScrollArea::corner { background: transparent; }
QWidget#playerBar { background: white; border-top: 1px solid #E6E8EC; }
QLabel#playerTitle { font-size: 14px; font-weight: bold; color: #2B2F36; }
QLabel#playerTime { color: #8A8F99; font-family: monospace; }
QSlider::groove:horizontal { height: 4px; background: #ECEEF1; border-radius: 2px; }
QSlider::sub-page:horizontal { background: #E8465B; border-radius: 2px; }
QSlider::handle:horizontal {
    background: white; border: 2px solid #E8465B; width: 10px; height: 10px; margin: -5px 0; border-radius: 7px;
}
QSlider:focus { background: #FDECEE; border-radius: 6px; }
QRadioButton, QCheckBox { spacing: 8px; color: #2B2F36; padding: 3px 6px 3px 0; }
QRadioButton:focus, QCheckBox:focus { color: #E8465B; background: #FDECEE; border-radius: 4px; }
QMenu { background: white; border: 1px solid #E1E3E8; padding: 4px 0; }
QMenu::item { padding: 10px 30px 10px 52px; min-height: 20px; }
QFrame#tip { background: #FFF7EF; border: 1px solid #F3DCC6; border-radius: 8px; }
QFrame#tip QLabel { color: #2B2F36; }
QDialog#messageBox { background: transparent; }
QFrame#messageCard { background: white; border: 1px solid #DADDE3; border-radius: 14px; }
QToolTip {
    background: #FFF7EF; color: #2B2F36; border: 1px solid #F3DCC6; border-radius: 6px; padding: 4px 8px;
}
QLabel#navBadge {
    background: white; color: #E8465B; border-radius: 9px; padding: 0 5px; font-size: 11px; font-weight: bold;
}
QLabel#messageTitle { font-size: 15px; font-weight: bold; }
QLabel#messageText { color: #4A4F5A; }
)");
}

}  // namespace mm::ui::qt::skin
