#include "ui/window_pointer.h"

#include "core/error_report.h"

#include <QAbstractScrollArea>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QTreeView>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace ui {

namespace {

// ICONDIR: reserved (2 bytes), type (2 bytes: 1 icon, 2 cursor), count (2 bytes); then the
// first ICONDIRENTRY, whose planes and bit count fields (offsets 10 and 12 of the file)
// hold the hotspot's x and y in a cursor file.
constexpr qsizetype kCursorHeaderSize = 22;

quint16 readLittle16(const QByteArray& bytes, qsizetype offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

} // namespace

QCursor loadCursorFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw core::Error(u"%1: the cursor file cannot be read: %2"_s.arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    const bool isCursor = bytes.size() >= kCursorHeaderSize && readLittle16(bytes, 0) == 0
        && readLittle16(bytes, 2) == 2 && readLittle16(bytes, 4) >= 1;

    // Qt's reader takes a cursor file for an icon only when told so.
    QByteArray asIcon = bytes;
    if (isCursor)
        asIcon[2] = 1;
    const QImage image = QImage::fromData(asIcon, "ICO");
    if (image.isNull())
        throw core::Error(u"%1: the file is not a cursor or icon picture"_s.arg(path));
    const QPixmap pixmap = QPixmap::fromImage(image);
    if (!isCursor)
        return QCursor(pixmap);
    const int x = std::min<int>(readLittle16(bytes, 10), image.width() - 1);
    const int y = std::min<int>(readLittle16(bytes, 12), image.height() - 1);
    return QCursor(pixmap, x, y);
}

WindowPointer::WindowPointer(QWidget& window)
    : QObject(&window)
    , m_window(window)
{
    addRule(&window, Shape::Normal);
}

void WindowPointer::setCustomCursor(const QCursor& cursor)
{
    m_custom = cursor;
    m_hasCustom = true;
    if (m_shape == Shape::Custom)
        m_window.setCursor(m_custom);
}

void WindowPointer::setShape(Shape shape)
{
    if (shape == Shape::Busy && m_shape == Shape::Busy)
        return;
    if (shape != Shape::Busy && m_shape == Shape::Busy)
        releaseChildCursors();
    m_shape = shape;
    switch (shape) {
    case Shape::Normal:
        m_window.unsetCursor();
        break;
    case Shape::Custom:
        if (m_hasCustom)
            m_window.setCursor(m_custom);
        else
            m_window.unsetCursor();
        break;
    case Shape::Busy:
        m_window.setCursor(Qt::WaitCursor);
        holdChildCursors();
        break;
    }
}

void WindowPointer::showHandOver(std::initializer_list<QWidget*> controls)
{
    for (QWidget* control : controls)
        addRule(control, Shape::Custom);
}

void WindowPointer::showNormalOver(std::initializer_list<QWidget*> controls)
{
    for (QWidget* control : controls)
        addRule(control, Shape::Normal);
}

void WindowPointer::addRule(QWidget* control, Shape shape)
{
    // A list's rows, its header and the space around them are parts of the one control.
    std::vector<QWidget*> parts { control };
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control))
        parts.push_back(area->viewport());
    if (auto* tree = qobject_cast<QTreeView*>(control)) {
        parts.push_back(tree->header());
        parts.push_back(tree->header()->viewport());
    }
    for (QWidget* part : parts) {
        m_rules.insert(part, shape);
        part->setMouseTracking(true);
        part->installEventFilter(this);
    }
}

bool WindowPointer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseMove || isBusy())
        return false;
    // A move that a control without a rule ignores travels on to its parent; only the
    // control right under the pointer decides.
    auto* widget = static_cast<QWidget*>(watched);
    const QPoint position = static_cast<QMouseEvent*>(event)->position().toPoint();
    QWidget* under = widget->childAt(position);
    if (!under)
        under = widget;
    const auto rule = m_rules.constFind(under);
    if (rule != m_rules.constEnd() && *rule != m_shape)
        setShape(*rule);
    return false;
}

void WindowPointer::holdChildCursors()
{
    for (QWidget* child : m_window.findChildren<QWidget*>()) {
        if (!child->testAttribute(Qt::WA_SetCursor))
            continue;
        m_heldCursors.emplace_back(child, child->cursor());
        child->setCursor(Qt::WaitCursor);
    }
}

void WindowPointer::releaseChildCursors()
{
    for (auto& [child, cursor] : m_heldCursors) {
        if (child)
            child->setCursor(cursor);
    }
    m_heldCursors.clear();
}

} // namespace ui
