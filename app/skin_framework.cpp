#include "app/skin_framework.h"

#include "app/error_report.h"

#include <QFile>
#include <QRegularExpression>
#include <QStyleFactory>

using namespace Qt::StringLiterals;

namespace app {

namespace {

// A section of a skin file starts with a comment line such as "/* [Dark] */" and runs to
// the next such line.
QString sectionOf(const QString& sheet, const QString& variant)
{
    static const QRegularExpression header(
        uR"(^\s*/\*\s*\[([^\]]*)\]\s*\*/\s*$)"_s, QRegularExpression::MultilineOption);
    QString section;
    bool inside = false;
    for (const QString& line : sheet.split(u'\n')) {
        const QRegularExpressionMatch match = header.match(line);
        if (match.hasMatch()) {
            inside = match.captured(1).trimmed() == variant;
            continue;
        }
        if (inside)
            section += line + u'\n';
    }
    return section;
}

} // namespace

void StyleSheetSkin::loadSkin(const QString& path, const QString& variant)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(u"%1: the skin file cannot be read: %2"_s.arg(path, file.errorString()));
    const QString sheet = QString::fromUtf8(file.readAll());
    if (variant.isEmpty()) {
        m_styleSheet = sheet;
        return;
    }
    m_styleSheet = sectionOf(sheet, variant);
    if (m_styleSheet.isEmpty())
        throw Error(u"%1: the skin file has no section [%2]"_s.arg(path, variant));
}

void StyleSheetSkin::applyWindow(WId window)
{
    QWidget* widget = QWidget::find(window);
    if (!widget)
        throw Error(u"The skin cannot be applied: no window has the handle %1"_s.arg(window));
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

} // namespace app
