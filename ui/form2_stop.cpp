// Stopping a run of the table and field window: Esc and closing the window ask first, while
// the run can still be stopped; closing ends the program.

#include "ui/form2.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>

using namespace Qt::StringLiterals;

namespace ui {

// Esc reaches the window from any of its controls that has no use for it.
void Form2::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && m_isStoppable) {
        askToStop();
        return;
    }
    QWidget::keyPressEvent(event);
}

void Form2::closeEvent(QCloseEvent* event)
{
    if (m_isStoppable && !askToStop()) {
        event->ignore();
        return;
    }
    event->accept();
    endProgram();
}

bool Form2::askToStop()
{
    if (m_isStopRequested)
        return true;
    if (!m_isStoppable || m_isAskingToStop)
        return false;
    // The run waits in the yield that showed the question, so its answer still comes before
    // the write-back.
    m_isAskingToStop = true;
    if (m_dialogs.askYesNo(u"Stop this run? Nothing has been written to the table yet."_s))
        m_isStopRequested = true;
    m_isAskingToStop = false;
    return m_isStopRequested;
}

void Form2::setStoppable(bool isStoppable)
{
    m_isStoppable = isStoppable;
    if (isStoppable)
        m_isStopRequested = false;
}

void Form2::endProgram()
{
    if (m_isChanging) {
        m_isClosing = true;
        m_isStopRequested = m_isStoppable;
        hide();
        m_selectionWindow.hide();
    }
    QCoreApplication::quit();
}

} // namespace ui
