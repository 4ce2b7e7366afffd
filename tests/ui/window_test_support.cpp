#include "window_test_support.h"

#include "data/paradox/paradox.h"
#include "ui/settings_store.h"

#include <QAbstractButton>
#include <QDataStream>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSettings>
#include <QTest>

using namespace Qt::StringLiterals;

namespace uitest {

ModalScript::ModalScript()
{
    m_timer.setInterval(20);
    connect(&m_timer, &QTimer::timeout, this, &ModalScript::poll);
    m_timer.start();
}

void ModalScript::poll()
{
    QWidget* box = QApplication::activeModalWidget();
    // A box may reuse the memory of the one before it: mark the boxes already answered.
    if (!box || !box->isVisible() || box->property("answeredByScript").toBool())
        return;
    box->setProperty("answeredByScript", true);
    SeenBox seen { u"message"_s, box->windowTitle(), QString(), false };
    if (auto* message = qobject_cast<QMessageBox*>(box)) {
        seen.text = message->text();
        seen.hasIcon = message->icon() != QMessageBox::NoIcon;
    } else if (auto* input = qobject_cast<QInputDialog*>(box)) {
        seen.kind = u"input"_s;
        seen.text = input->labelText();
    } else if (auto* folder = qobject_cast<QFileDialog*>(box)) {
        seen.kind = u"folder"_s;
        seen.text = folder->labelText(QFileDialog::LookIn);
    }
    m_seen.push_back(seen);
    if (m_answers.empty()) {
        ++m_unexpected;
        cancel()(box);
        return;
    }
    Answer answer = std::move(m_answers.front());
    m_answers.pop_front();
    answer(box);
}

ModalScript::Answer ModalScript::pressOk()
{
    return [](QWidget* box) {
        if (auto* message = qobject_cast<QMessageBox*>(box))
            message->button(QMessageBox::Ok)->click();
        else
            QTest::keyClick(box, Qt::Key_Return);
    };
}

ModalScript::Answer ModalScript::type(const QString& text)
{
    return [text](QWidget* box) {
        auto* field = box->findChild<QLineEdit*>();
        QTest::keyClicks(field, text);
        QTest::keyClick(field, Qt::Key_Return);
    };
}

ModalScript::Answer ModalScript::cancel()
{
    return [](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); };
}

ModalScript::Answer ModalScript::chooseFolder(const QString& path)
{
    return [path](QWidget* box) {
        auto* field = box->findChild<QLineEdit*>(u"fileNameEdit"_s);
        // Typed text would open the completer's list, which takes the Return key.
        field->setText(path);
        QTest::keyClick(field, Qt::Key_Return);
    };
}

AppFolder::AppFolder(bool withSamples)
{
    QDir().mkpath(samples());
    if (withSamples) {
        const QDir source(QStringLiteral(FW_SAMPLES_DIR));
        for (const QString& name : source.entryList(QDir::Files))
            QFile::copy(source.filePath(name), samples() + u'/' + name);
    }
    QFile work(path() + u"/dbTemp.mdb"_s);
    work.open(QIODevice::WriteOnly);
}

QString AppFolder::folderWith(const QString& name, const QStringList& tables) const
{
    const QString folder = path() + u'/' + name;
    QDir().mkpath(folder);
    const QDir source(QStringLiteral(FW_SAMPLES_DIR));
    for (const QString& table : tables) {
        for (const QString& file : source.entryList({ table + u".*"_s }, QDir::Files))
            QFile::copy(source.filePath(file), folder + u'/' + file);
    }
    return folder;
}

void clearSettings()
{
    QSettings(u"Vantorel"_s, u"Fieldwright"_s).clear();
}

QString setting(const QString& key)
{
    return ui::readSetting(key, u"<missing>"_s);
}

void setSetting(const QString& key, const QString& value)
{
    ui::writeSetting(key, value);
}

void writeCursorFile(const QString& path, int hotspotX, int hotspotY)
{
    constexpr int kSide = 32;
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 pixelBytes = kSide * kSide * 4;
    const quint32 maskBytes = kSide * 4; // one bit per pixel, rows padded to 4 bytes
    // Directory: reserved, type 2 (cursor), one image.
    out << quint16(0) << quint16(2) << quint16(1);
    // Entry: size, colours, reserved, hotspot, bytes of the image, where it starts.
    out << quint8(kSide) << quint8(kSide) << quint8(0) << quint8(0) << quint16(hotspotX) << quint16(hotspotY)
        << quint32(40 + pixelBytes + maskBytes) << quint32(22);
    // The image: a bitmap header (height counts the mask too), 32-bit pixels, the mask.
    out << quint32(40) << qint32(kSide) << qint32(kSide * 2) << quint16(1) << quint16(32) << quint32(0)
        << quint32(pixelBytes + maskBytes) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int i = 0; i < kSide * kSide; ++i)
        out << quint32(0xFF204080);
    for (quint32 i = 0; i < maskBytes; ++i)
        out << quint8(0);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

QStringList entries(const QTreeWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        texts << list->topLevelItem(i)->text(0);
    return texts;
}

QString selected(const QTreeWidget* list)
{
    const auto items = list->selectedItems();
    return items.isEmpty() ? QString() : items.first()->text(0);
}

QStringList columnOf(const QString& dbPath, std::size_t column)
{
    QString error;
    const auto table = paradox::openTable(dbPath, &error);
    if (!table)
        qFatal("%s", qPrintable(error));
    QStringList values;
    paradox::Row row;
    while (table->readNext(row))
        values << paradox::valueText(row.at(column));
    return values;
}

void clickEntry(QTreeWidget* list, const QString& text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(text));
    list->scrollToItem(found.first());
    const QPoint where = list->visualItemRect(found.first()).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, where);
}

void moveMouseOver(QWidget* control)
{
    const QPointF inside(control->width() / 2.0, control->height() / 2.0);
    QMouseEvent move(
        QEvent::MouseMove, inside, control->mapToGlobal(inside), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(control, &move);
}

} // namespace uitest
