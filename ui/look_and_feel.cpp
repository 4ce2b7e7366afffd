#include "ui/look_and_feel.h"

#include "core/error_report.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace ui {

namespace {

constexpr qsizetype kMaxTitleLength = 40;

void paintButtonFace(QWidget& widget, const QColor& colour)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

} // namespace

void ApplySkin(QWidget& form1, SkinFramework& skin, const QString& applicationFolder)
{
    const QString path = applicationFolder + QString::fromUtf16(kSkinFile);
    const QFileInfo file(path);
    if (!file.isFile() || file.isHidden())
        return;
    ApplyFormColours(form1);
    skin.loadSkin(path, QString());
    skin.setOptions(skin.options() | SkinFramework::kSkinActive);
    skin.setFillBackground(true);
    skin.setUniformStyle(true);
    skin.applyWindow(form1.winId());
}

void ApplyFormColours(QWidget& window)
{
    const QColor buttonFace = QGuiApplication::palette().color(QPalette::Button);
    paintButtonFace(window, buttonFace);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child)
            || qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child))
            paintButtonFace(*child, buttonFace);
    }
}

QString shortenedAppTitle(const QString& productName)
{
    QString title = productName;
    do {
        const qsizetype space = title.lastIndexOf(u' ');
        if (space < 0) {
            if (title.size() <= kMaxTitleLength)
                return title;
            throw core::Error(
                u"The application title cannot be shortened to %1 characters: \"%2\" has no space left to cut at."_s
                    .arg(kMaxTitleLength)
                    .arg(title));
        }
        title.truncate(space);
    } while (title.size() > kMaxTitleLength);
    return title;
}

namespace {

// Kept here, not as Qt's application display name: the X11 platform appends the display
// name to the title of every window whose title differs from it, so the error box would
// read "Application Error — Fieldwright" instead of "Application Error".
QString& storedAppTitle()
{
    static QString title;
    return title;
}

} // namespace

void SetAppTitle(const QString& productName)
{
    storedAppTitle() = shortenedAppTitle(productName);
}

QString appTitle()
{
    return storedAppTitle();
}

} // namespace ui
