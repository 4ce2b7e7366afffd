#pragma once

#include <QCursor>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <vector>

namespace ui {

// Reads a Windows cursor file (.cur) and keeps its hotspot, which Qt's image reader drops.
// An icon file (.ico) gives a cursor with its hotspot in the middle. Throws core::Error when
// the file cannot be read as a picture.
QCursor loadCursorFile(const QString& path);

// The one pointer setting of a window, shown over the window and all its controls, and the
// hover rules that switch it as the mouse moves. The busy pointer wins over everything: no
// mouse move changes it, and controls with a pointer of their own (a text box's I-beam)
// show it as well while it is set.
class WindowPointer : public QObject
{
public:
    enum class Shape { Normal, Busy, Custom };

    explicit WindowPointer(QWidget& window);

    // The custom pointer (the hover hand). Without one, Custom shows the ordinary arrow.
    void setCustomCursor(const QCursor& cursor);
    bool hasCustomCursor() const { return m_hasCustom; }

    Shape shape() const { return m_shape; }
    void setShape(Shape shape);
    bool isBusy() const { return m_shape == Shape::Busy; }

    // Hover rules: a mouse move over one of these controls sets the pointer to Custom
    // (showHandOver) or Normal (showNormalOver), unless it is busy. A control without a
    // rule leaves the pointer as it is.
    void showHandOver(std::initializer_list<QWidget*> controls);
    void showNormalOver(std::initializer_list<QWidget*> controls);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addRule(QWidget* control, Shape shape);
    void holdChildCursors();
    void releaseChildCursors();

    QWidget& m_window;
    Shape m_shape = Shape::Normal;
    QCursor m_custom;
    bool m_hasCustom = false;
    QHash<QObject*, Shape> m_rules;
    // Controls whose own pointer the busy pointer covers, with the pointer to give back.
    std::vector<std::pair<QPointer<QWidget>, QCursor>> m_heldCursors;
};

} // namespace ui
