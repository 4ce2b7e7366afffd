#include "ui/skin_framework.h"

#include "core/error_report.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStyleFactory>

using namespace Qt::StringLiterals;

namespace ui {

void StyleSheetSkin::loadSkin(const QString& path, const QString& scheme)
{
    auto read = [](const QString& file) {
        QFile sheet(file);
        if (!sheet.open(QIODevice::ReadOnly))
            throw core::Error(u"%1: the skin file cannot be read: %2"_s.arg(file, sheet.errorString()));
        return QString::fromUtf8(sheet.readAll());
    };
    m_styleSheet = read(path);
    if (!scheme.isEmpty())
        m_styleSheet += u'\n' + read(QFileInfo(path).dir().filePath(scheme));
}

void StyleSheetSkin::applyWindow(WId window)
{
    QWidget* widget = QWidget::find(window);
    if (!widget)
        throw core::Error(u"The skin cannot be applied: no window has the handle %1"_s.arg(window));
    if (!(m_options & kSkinActive))
        return;
    if (m_uniformStyle) {
        // The style must outlive the window; the window does not take ownership of it.
        static QStyle* const uniform = QStyleFactory::create(u"Fusion"_s);
        if (uniform) {
            widget->setStyle(uniform);
            for (QWidget* child : widget->findChildren<QWidget*>())
                child->setStyle(uniform);
        }
    }
    widget->setAutoFillBackground(m_fillBackground);
    widget->setStyleSheet(m_styleSheet);
}

} // namespace ui
