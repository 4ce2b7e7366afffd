#include "ui/environment.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace ui {

QIcon programIcon()
{
    QIcon icon;
    for (int size : { 16, 32, 48, 64, 128, 256 })
        icon.addFile(u":/icons/fieldwright-%1.png"_s.arg(size), QSize(size, size));
    return icon;
}

QFont buttonFont()
{
    QFont font(u"Arial"_s);
    font.setPointSizeF(11.25);
    font.setBold(true);
    return font;
}

void makeFixedDialogWindow(QWidget& window)
{
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    window.setFixedSize(window.size());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window.size());
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

} // namespace ui
