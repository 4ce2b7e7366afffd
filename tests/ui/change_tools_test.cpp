// The table and field window's tools beyond its fixed controls, driven as a person would:
// the preview of a change, the previous versions of a table and their restore, and the
// lists' tooltips.

#include "window_test_support.h"

#include "ui/list_tips.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QHelpEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>

using namespace Qt::StringLiterals;
using uitest::clickEntry;
using uitest::entries;
using uitest::ModalScript;
using uitest::Program;

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void trigger(QWidget* list, const char16_t* action)
{
    auto* found = list->findChild<QAction*>(QString::fromUtf16(action));
    QVERIFY2(found, qPrintable(QString::fromUtf16(action)));
    QVERIFY(list->actions().contains(found)); // reachable from the list's context menu
    found->trigger();
}

// The tooltip the list shows for its entry of that text.
QString tooltipOf(QTreeWidget* list, const QString& text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    if (found.isEmpty())
        return u"<no entry %1>"_s.arg(text);
    const QPoint where = list->visualItemRect(found.first()).center();
    QHelpEvent event(QEvent::ToolTip, where, list->viewport()->mapToGlobal(where));
    QApplication::sendEvent(list->viewport(), &event);
    const QString tip = QToolTip::isVisible() ? QToolTip::text() : QString();
    QToolTip::hideText();
    return tip;
}

ModalScript::Answer press(QMessageBox::StandardButton button)
{
    return [button](QWidget* box) { qobject_cast<QMessageBox*>(box)->button(button)->click(); };
}

} // namespace

class ChangeToolsTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        uitest::clearSettings();
        // Each test's sample tables start alike: an earlier test's versions of them, their folder
        // gone, would be listed as versions of a table that has moved.
        QDir(QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + u"/Vantorel/Fieldwright/backups"_s)
            .removeRecursively();
    }

    void previewOfAChangeListsEachValueAndWritesNothing()
    {
        uitest::AppFolder folder;
        uitest::setSetting(u"Database"_s, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView1"), u"ORDERS"_s);
        clickEntry(program.list(u"ListView2"), u"ShipVia"_s);
        program.combo()->setCurrentText(u"Replace All Spaces in Selected Field With..."_s);
        const QByteArray before = bytesOf(folder.samples() + u"/ORDERS.DB"_s);

        ModalScript script;
        script.then(ModalScript::type(u"_"_s));
        QStringList rows;
        QString total;
        script.then([&](QWidget* box) {
            QCOMPARE(box->objectName(), u"ChangePreview"_s);
            const auto* changes = box->findChild<QTreeWidget*>(u"Changes"_s);
            for (int i = 0; i < changes->topLevelItemCount(); ++i) {
                const QTreeWidgetItem* row = changes->topLevelItem(i);
                rows << row->text(0) + u'>' + row->text(1) + u':' + row->text(2);
            }
            total = box->findChild<QLabel*>(u"Total"_s)->text();
            qobject_cast<QDialog*>(box)->reject();
        });
        trigger(program.list(u"ListView3"), u"PreviewChange");

        QCOMPARE(script.seen().size(), 2u);
        QCOMPARE(script.seen()[0].text, u"Replace With:"_s);
        QVERIFY2(rows.filter(u"VAN·>VAN_:"_s).size() == 1, qPrintable(rows.join(u'|')));
        QVERIFY2(rows.filter(u"Pallet  Freight>Pallet__Freight:"_s).size() == 1, qPrintable(rows.join(u'|')));
        QVERIFY2(total.startsWith(u"157 of the table's 600 records would change"_s), qPrintable(total));
        QVERIFY(total.endsWith(u"Nothing has been changed yet."_s));
        QCOMPARE(bytesOf(folder.samples() + u"/ORDERS.DB"_s), before);
        QVERIFY(!QFileInfo::exists(
            QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + u"/Vantorel/Fieldwright/backups"_s));
        QCOMPARE(program.form2().findChild<QProgressBar*>(u"ProgressBar1"_s)->format(), u"Progress Bar"_s);
        QVERIFY(!program.form2().pointer().isBusy());
    }

    void previousVersionsPutTheTableBackAsItWas()
    {
        uitest::AppFolder folder;
        uitest::setSetting(u"Database"_s, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView1"), u"ORDERS"_s);
        clickEntry(program.list(u"ListView2"), u"ShipVia"_s);
        const QByteArray before = bytesOf(folder.samples() + u"/ORDERS.DB"_s);
        {
            ModalScript run;
            run.then(ModalScript::pressOk()); // "Done." and its outcome
            program.button2(u"PushButton1")->click();
            QCOMPARE(run.seen().size(), 1u);
        }
        QVERIFY(bytesOf(folder.samples() + u"/ORDERS.DB"_s) != before);
        QVERIFY(!entries(program.list(u"ListView3")).contains(u"Pallet  Freight"_s));

        // The script's answers do not nest: the restore is pressed once the answer has returned.
        ModalScript script;
        QStringList versions;
        QDialog* dialog = nullptr;
        script.then([&](QWidget* box) {
            QCOMPARE(box->objectName(), u"PreviousVersions"_s);
            dialog = qobject_cast<QDialog*>(box);
            auto* list = box->findChild<QTreeWidget*>(u"Versions"_s);
            versions << list->topLevelItem(0)->text(1) + u'|' + list->topLevelItem(0)->text(2) + u'|'
                    + list->topLevelItem(0)->text(3);
            list->setCurrentItem(list->topLevelItem(0));
            QTimer::singleShot(0, box->findChild<QPushButton*>(u"Restore"_s), &QPushButton::click);
        });
        script.then(press(QMessageBox::Yes));
        script.then([&](QWidget* box) {
            ModalScript::pressOk()(box);
            QTimer::singleShot(0, dialog, [&] {
                versions << QString::number(
                    dialog->findChild<QTreeWidget*>(u"Versions"_s)->topLevelItemCount());
                dialog->reject();
            });
        });
        trigger(program.list(u"ListView1"), u"PreviousVersions");

        QCOMPARE(versions.value(0), u"ShipVia|Remove All Spaces in Selected Field|157"_s);
        QCOMPARE(versions.value(1), u"2"_s); // the version replaced is listed in turn
        QCOMPARE(script.seen().size(), 3u);
        QVERIFY2(script.seen()[2].text.startsWith(u"The table ORDERS is back as it was"_s),
            qPrintable(script.seen()[2].text));
        QCOMPARE(script.unexpected(), 0);
        QCOMPARE(bytesOf(folder.samples() + u"/ORDERS.DB"_s), before);
        QVERIFY(entries(program.list(u"ListView3")).contains(u"Pallet  Freight"_s));
    }

    void restoringAnOlderVersionNamesTheLaterChangesItTakesBack()
    {
        uitest::AppFolder folder;
        uitest::setSetting(u"Database"_s, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView1"), u"ORDERS"_s);
        clickEntry(program.list(u"ListView2"), u"ShipVia"_s);
        const QByteArray before = bytesOf(folder.samples() + u"/ORDERS.DB"_s);
        {
            ModalScript run;
            run.then(ModalScript::pressOk());
            program.button2(u"PushButton1")->click();
            program.combo()->setCurrentText(u"Remove First x Character(s) in Selected Field"_s);
            run.then(ModalScript::type(u"1"_s));
            run.then(ModalScript::pressOk());
            program.button2(u"PushButton1")->click();
            QCOMPARE(run.seen().size(), 3u);
        }

        ModalScript script;
        QDialog* dialog = nullptr;
        script.then([&](QWidget* box) {
            dialog = qobject_cast<QDialog*>(box);
            auto* list = box->findChild<QTreeWidget*>(u"Versions"_s);
            QCOMPARE(list->topLevelItemCount(), 2);
            list->setCurrentItem(list->topLevelItem(1)); // the older: before the spaces went
            QTimer::singleShot(0, box->findChild<QPushButton*>(u"Restore"_s), &QPushButton::click);
        });
        script.then(press(QMessageBox::Yes));
        script.then([&](QWidget* box) {
            ModalScript::pressOk()(box);
            QTimer::singleShot(0, dialog, [&] { dialog->reject(); });
        });
        trigger(program.list(u"ListView1"), u"PreviousVersions");

        QCOMPARE(script.seen().size(), 3u);
        const QString question = script.seen()[1].text;
        QVERIFY2(
            question.contains(u"\r\nThis also takes back the 1 later change:\r\n- "_s), qPrintable(question));
        QVERIFY2(question.contains(u", ShipVia: Remove First x Character(s) in Selected Field (\"1\") ("_s),
            qPrintable(question));
        QVERIFY2(!question.contains(u"Remove All Spaces"_s), qPrintable(question));
        QCOMPARE(bytesOf(folder.samples() + u"/ORDERS.DB"_s), before);
    }

    void blanksAreMarkedOnlyWhereTheyAreEasilyMissed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("marked");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("spacesAtTheEnds") << u"  a b "_s << u"··a b·"_s;
        QTest::newRow("onlySpaces") << u"   "_s << u"···"_s;
        QTest::newRow("tabs") << u"\ta\tb"_s << u"→a→b"_s;
        QTest::newRow("crLfIsOneBreak") << u"a\r\nb"_s << u"a↵b"_s;
        QTest::newRow("loneCrAndLf") << u"a\rb\n"_s << u"a↵b↵"_s;
        QTest::newRow("spaceBeforeABreak") << u"a \n"_s << u"a ↵"_s;
    }

    void blanksAreMarkedOnlyWhereTheyAreEasilyMissed()
    {
        QFETCH(QString, text);
        QFETCH(QString, marked);
        QCOMPARE(ui::visibleBlanks(text), marked);
    }

    void tooltipsTellTypeFolderAndBlanks()
    {
        uitest::AppFolder folder;
        folder.folderWith(u"Samples/Archive"_s, { u"ORDERS"_s });
        uitest::setSetting(u"Database"_s, folder.samples());
        Program program(folder.path());
        program.form2().show();
        QVERIFY(QTest::qWaitForWindowExposed(&program.form2()));
        QTreeWidget* tables = program.list(u"ListView1");
        QCOMPARE(entries(tables).count(u"ORDERS"_s), 2);
        QCOMPARE(tooltipOf(tables, u"CUSTOMER"_s), QDir::toNativeSeparators(folder.samples()));
        tables->findItems(u"ORDERS"_s, Qt::MatchExactly).last()->setText(0, u"ORDERS "_s); // tell them apart
        QCOMPARE(tooltipOf(tables, u"ORDERS "_s), QDir::toNativeSeparators(folder.samples() + u"/Archive"_s));

        clickEntry(tables, u"ORDERS"_s);
        QCOMPARE(tooltipOf(program.list(u"ListView2"), u"ShipVia"_s), u"Alpha, 20 characters"_s);
        clickEntry(program.list(u"ListView2"), u"ShipVia"_s);
        QTreeWidget* preview = program.list(u"ListView3");
        QVERIFY(entries(preview).contains(u"VAN "_s));
        QCOMPARE(tooltipOf(preview, u"VAN "_s), u"VAN "_s);
        trigger(preview, u"ShowBlanks");
        QVERIFY(entries(preview).contains(u"VAN·"_s));
        QCOMPARE(tooltipOf(preview, u"VAN·"_s), u"VAN·"_s);
        trigger(preview, u"ShowBlanks");
        QVERIFY(entries(preview).contains(u"VAN "_s));
    }
};

FW_UI_TEST_MAIN(ChangeToolsTest)
#include "change_tools_test.moc"
