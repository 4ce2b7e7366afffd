// The two windows driven the way a person uses them: real widgets on the offscreen
// platform, modal boxes answered by a script, settings in a private store.

#include "window_test_support.h"

#include "data/paradox/paradox.h"
#include "ui/folder_picker.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/look_and_feel.h"
#include "ui/settings_store.h"
#include "ui/skin_framework.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using uitest::ModalScript;

namespace {

const QString kDatabase = u"Database"_s;

using uitest::clickEntry;
using uitest::columnOf;
using uitest::entries;
using uitest::Program;
using uitest::selected;

} // namespace

class WindowsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { uitest::clearSettings(); }

    void firstRunShowsTheEmptySelectionWindow()
    {
        uitest::AppFolder folder;
        Program program(folder.path());
        QVERIFY(program.form1.isVisible());
        QVERIFY(!program.form1.form2());
        QCOMPARE(program.text1()->text(), QString());
        QCOMPARE(program.form1.windowTitle(), u"Fieldwright"_s);
        QCOMPARE(ui::appTitle(), u"Fieldwright"_s);
        QCOMPARE(program.form1.minimumSize(), program.form1.maximumSize());
        QVERIFY(!(program.form1.windowFlags() & Qt::WindowMaximizeButtonHint));

        // Tab order: box, "...", test, next, sample.
        QStringList order;
        QWidget* control = program.text1();
        for (int i = 0; i < 5; ++i, control = control->nextInFocusChain()) {
            while (control->focusPolicy() == Qt::NoFocus)
                control = control->nextInFocusChain();
            order << control->objectName();
        }
        QCOMPARE(order,
            (QStringList {
                u"Text1"_s, u"PushButton5"_s, u"PushButton2"_s, u"PushButton3"_s, u"PushButton1"_s }));
    }

    void typingSavesEveryChangeAndComesBackAfterARestart()
    {
        uitest::AppFolder folder;
        {
            Program program(folder.path());
            const QString typed = folder.samples();
            program.text1()->setFocus();
            for (qsizetype i = 0; i < typed.size(); ++i) {
                QTest::keyClick(program.text1(), typed.at(i).toLatin1());
                QCOMPARE(uitest::setting(kDatabase), typed.left(i + 1));
            }
            // Typing moves on to nothing by itself.
            QVERIFY(program.form1.isVisible());
        }
        Program restarted(folder.path());
        QVERIFY(restarted.form1.hasMovedOn());
        QCOMPARE(restarted.text1()->text(), folder.samples());
    }

    void rememberedFolderOpensTheTableWindowFirst()
    {
        uitest::AppFolder folder;
        uitest::setSetting(kDatabase, folder.samples());
        Program program(folder.path());

        QVERIFY(program.form1.hasMovedOn());
        QVERIFY(program.form2().isVisible());
        QTreeWidget* tables = program.list(u"ListView1");
        QTreeWidget* fields = program.list(u"ListView2");
        QTreeWidget* values = program.list(u"ListView3");
        QCOMPARE(entries(tables), (QStringList { u"CUSTOMER"_s, u"ORDERS"_s, u"PRODUCTS"_s }));
        QCOMPARE(selected(tables), u"CUSTOMER"_s);
        QCOMPARE(entries(fields).first(), u"CustNo"_s);
        QCOMPARE(entries(fields).size(), 11);
        QCOMPARE(selected(fields), u"CustNo"_s);
        // 320 customers: the preview stops after 101 values.
        QCOMPARE(values->topLevelItemCount(), 101);
        QCOMPARE(entries(values).mid(0, 3), (QStringList { u"1"_s, u"2"_s, u"3"_s }));
        QCOMPARE(tables->headerItem()->text(0), u"Table(s)"_s);
        QCOMPARE(fields->headerItem()->text(0), u"Field(s)"_s);
        QCOMPARE(values->headerItem()->text(0), u"First 100 Entries (Preview)"_s);
        QCOMPARE(tables->columnWidth(0), 447);
        // The 27 first, in their places; ours follow them.
        QCOMPARE(program.combo()->count(), 37);
        QCOMPARE(program.combo()->itemText(26), u"Remove All Text Before x Position in Field"_s);
        QCOMPARE(program.combo()->currentText(), u"Remove All Spaces in Selected Field"_s);
        QVERIFY(!program.combo()->isEditable());
    }

    void clicksListFieldsAndValuesWithNullsAsEmptyEntries()
    {
        uitest::AppFolder folder;
        uitest::setSetting(kDatabase, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView1"), u"PRODUCTS"_s);
        QCOMPARE(entries(program.list(u"ListView2")).first(), u"ProdNo"_s);
        clickEntry(program.list(u"ListView2"), u"Description"_s);
        const QStringList values = entries(program.list(u"ListView3"));
        QCOMPARE(values.size(), 101);
        QVERIFY(values.contains(QString()));
        QVERIFY(values.contains(u"Crème colour; matches the bistro set."_s));
    }

    void keyboardMovesInTheListsListAsClicksDo()
    {
        uitest::AppFolder folder;
        uitest::setSetting(kDatabase, folder.samples());
        Program program(folder.path());
        QTreeWidget* tables = program.list(u"ListView1");
        tables->setFocus();
        QTest::keyClick(tables, Qt::Key_Down);
        QCOMPARE(selected(tables), u"ORDERS"_s);
        QCOMPARE(entries(program.list(u"ListView2")).first(), u"OrderNo"_s);
        QCOMPARE(entries(program.list(u"ListView3")).first(), u"5001"_s);

        QTreeWidget* fields = program.list(u"ListView2");
        fields->setFocus();
        QTest::keyClick(fields, Qt::Key_End);
        QCOMPARE(selected(fields), u"Comment"_s);
        QVERIFY(entries(program.list(u"ListView3")).contains(u"Paid cash.."_s));
    }

    void testConnectionAnswersBothWays()
    {
        uitest::AppFolder folder;
        Program program(folder.path());
        ModalScript script;
        script.during([&] { QVERIFY(program.form1.pointer().isBusy()); });
        script.then(ModalScript::pressOk());
        program.text1()->setText(folder.samples());
        program.button1(u"PushButton2")->click();
        program.text1()->setText(folder.path() + u"/missing"_s);
        program.button1(u"PushButton2")->click();
        QCOMPARE(script.seen().size(), 2u);
        QCOMPARE(script.seen()[0].text, u"Connection successful."_s);
        QCOMPARE(script.seen()[1].text, u"Could not connect."_s);
        for (const uitest::SeenBox& box : script.seen()) {
            QCOMPARE(box.title, u"Fieldwright"_s);
            QVERIFY(!box.hasIcon);
        }
        QVERIFY(!program.form1.pointer().isBusy());
    }

    void nextAndSwitchKeepBothWindowsAsTheyWereLeft()
    {
        uitest::AppFolder folder;
        Program program(folder.path());
        program.text1()->setText(folder.path() + u"/missing"_s);
        program.button1(u"PushButton3")->click();
        QVERIFY(program.form1.isVisible());
        QVERIFY(!program.form1.form2());

        program.button1(u"PushButton1")->click(); // the sample database
        QCOMPARE(program.text1()->text(), folder.samples());
        QCOMPARE(uitest::setting(kDatabase), folder.samples());
        program.button1(u"PushButton3")->click();
        QVERIFY(program.form2().isVisible());
        QVERIFY(!program.form1.isVisible());

        clickEntry(program.list(u"ListView1"), u"ORDERS"_s);
        clickEntry(program.list(u"ListView2"), u"ShipVia"_s);
        program.combo()->setCurrentIndex(8);
        const QStringList preview = entries(program.list(u"ListView3"));

        program.button2(u"PushButton5")->click();
        QVERIFY(program.form1.isVisible());
        QVERIFY(!program.form2().isVisible());
        QCOMPARE(program.text1()->text(), folder.samples());
        program.button1(u"PushButton3")->click();
        QVERIFY(program.form2().isVisible());
        QCOMPARE(selected(program.list(u"ListView1")), u"ORDERS"_s);
        QCOMPARE(selected(program.list(u"ListView2")), u"ShipVia"_s);
        QCOMPARE(entries(program.list(u"ListView3")), preview);
        QCOMPARE(program.combo()->currentIndex(), 8);
    }

    void anotherFolderAfterSwitchListsItsOwnTables()
    {
        uitest::AppFolder folder;
        uitest::setSetting(kDatabase, folder.samples());
        Program program(folder.path());
        const QString other = folder.folderWith(u"Other"_s, { u"PRODUCTS"_s });
        program.button2(u"PushButton5")->click();
        program.text1()->setText(other);
        program.button1(u"PushButton3")->click();
        QCOMPARE(entries(program.list(u"ListView1")), QStringList { u"PRODUCTS"_s });
        QCOMPARE(entries(program.list(u"ListView2")).first(), u"ProdNo"_s);

        const QString empty = folder.folderWith(u"Empty"_s, {});
        program.button2(u"PushButton5")->click();
        program.text1()->setText(empty);
        program.button1(u"PushButton3")->click();
        QCOMPARE(program.list(u"ListView1")->topLevelItemCount(), 0);
        QCOMPARE(program.list(u"ListView2")->topLevelItemCount(), 0);
        QCOMPARE(program.list(u"ListView3")->topLevelItemCount(), 0);
    }

    void browseTakesTheChosenFolderAndCancelKeepsTheBox()
    {
        uitest::AppFolder folder;
        uitest::setSetting(u"LastFolderDot"_s, folder.path());
        Program program(folder.path());
        program.text1()->setText(u"kept"_s);
        ModalScript script;
        script.then([&](QWidget* box) {
            QCOMPARE(box->parentWidget(), &program.form1);
            QCOMPARE(qobject_cast<QFileDialog*>(box)->directory().absolutePath(), folder.path());
            ModalScript::cancel()(box);
        });
        script.then(ModalScript::chooseFolder(folder.samples()));
        program.button1(u"PushButton5")->click();
        QCOMPARE(program.text1()->text(), u"kept"_s);
        QCOMPARE(uitest::setting(kDatabase), u"kept"_s);
        program.button1(u"PushButton5")->click();
        QCOMPARE(program.text1()->text(), folder.samples());
        QCOMPARE(uitest::setting(kDatabase), folder.samples());
        QCOMPARE(script.seen().size(), 2u);
        QCOMPARE(script.seen()[0].kind, u"folder"_s);
        QCOMPARE(script.seen()[0].text, u"Please select folder:"_s);
        QCOMPARE(uitest::setting(u"LastFolderDot"_s), folder.path());
    }

    void startChangingCleansTheSampleTable()
    {
        uitest::AppFolder folder;
        uitest::setSetting(kDatabase, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView1"), u"ORDERS"_s);
        clickEntry(program.list(u"ListView2"), u"ShipVia"_s);
        QVERIFY(entries(program.list(u"ListView3")).contains(u"Pallet  Freight"_s));
        program.combo()->setCurrentText(u"Replace All Spaces in Selected Field With..."_s);

        ModalScript script;
        script.then([&](QWidget* box) {
            // The run is under way: the pointer stays busy, also over a button.
            QVERIFY(program.form2().pointer().isBusy());
            uitest::moveMouseOver(program.button2(u"PushButton1"));
            QCOMPARE(program.form2().cursor().shape(), Qt::WaitCursor);
            QCOMPARE(program.form2().findChild<QProgressBar*>(u"ProgressBar1"_s)->format(),
                u"Copied 600 records"_s);
            // Nothing is done yet: the bar is not full through the prompts.
            QCOMPARE(program.form2().findChild<QProgressBar*>(u"ProgressBar1"_s)->value(), 0);
            ModalScript::type(u"_"_s)(box);
        });
        script.then(ModalScript::pressOk());
        program.button2(u"PushButton1")->click();

        QCOMPARE(script.seen().size(), 2u);
        QCOMPARE(script.seen()[0].kind, u"input"_s);
        QCOMPARE(script.seen()[0].text, u"Replace With:"_s);
        QVERIFY2(
            script.seen()[1].text.startsWith(u"Done.\r\n157 of the table's 600 records changed. The previous "
                                             "version is kept in "_s),
            qPrintable(script.seen()[1].text));
        QCOMPARE(script.unexpected(), 0);
        const QStringList preview = entries(program.list(u"ListView3"));
        QCOMPARE(preview.size(), 101);
        QVERIFY2(!preview.join(QString()).contains(u' '), qPrintable(preview.join(u'|')));
        QCOMPARE(program.form2().findChild<QProgressBar*>(u"ProgressBar1"_s)->format(), u"Progress Bar"_s);
        QVERIFY(!program.form2().pointer().isBusy());

        // The table in the folder holds the change.
        const QStringList shipVia = columnOf(folder.samples() + u"/ORDERS.DB"_s, 4);
        QCOMPARE(shipVia.size(), 600);
        QVERIFY(shipVia.contains(u"Pallet__Freight"_s));
        QVERIFY(shipVia.contains(u"VAN_"_s));
        QVERIFY(!shipVia.join(QString()).contains(u' '));
    }

    void cancelAtThePromptLeavesTheValues()
    {
        uitest::AppFolder folder;
        uitest::setSetting(kDatabase, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView2"), u"Name"_s);
        const QStringList before = entries(program.list(u"ListView3"));
        program.combo()->setCurrentText(u"Remove First x Character(s) in Selected Field"_s);
        ModalScript script;
        script.then(ModalScript::cancel());
        script.then(ModalScript::pressOk());
        program.button2(u"PushButton1")->click();
        QCOMPARE(script.seen().size(), 2u);
        QCOMPARE(script.seen()[0].text, u"Enter Number:"_s);
        QCOMPARE(script.seen()[1].text,
            u"Done.\r\nThe operation was abandoned: no record changed, so the table was not written."_s);
        QCOMPARE(entries(program.list(u"ListView3")), before);
    }

    void unreadableTableIsReportedAndTheListsStayEmpty()
    {
        uitest::AppFolder folder;
        QFile broken(folder.samples() + u"/BROKEN.DB"_s);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("not a table");
        broken.close();
        uitest::setSetting(kDatabase, folder.samples());
        ModalScript script;
        script.then(ModalScript::pressOk());
        Program program(folder.path());
        QCOMPARE(selected(program.list(u"ListView1")), u"BROKEN"_s);
        QCOMPARE(script.seen().size(), 1u);
        QCOMPARE(script.seen()[0].title, u"Application Error"_s);
        QVERIFY(script.seen()[0].hasIcon);
        QVERIFY2(
            script.seen()[0].text.contains(u"\r\nin Tidewell2021/08/31.Form2.ListView1_Click at line 10"_s),
            qPrintable(script.seen()[0].text));
        QCOMPARE(program.list(u"ListView2")->topLevelItemCount(), 0);
        QVERIFY(!program.form2().pointer().isBusy());
    }

    void closingDuringARunLeavesTheTableAsItWas()
    {
        uitest::AppFolder folder;
        uitest::setSetting(kDatabase, folder.samples());
        Program program(folder.path());
        const QStringList before = columnOf(folder.samples() + u"/ORDERS.DB"_s, 4);
        QVERIFY(before.join(QString()).contains(u' '));
        clickEntry(program.list(u"ListView1"), u"ORDERS"_s);
        clickEntry(program.list(u"ListView2"), u"ShipVia"_s);
        program.combo()->setCurrentText(u"Replace All Spaces in Selected Field With..."_s);
        ModalScript script;
        script.then([&](QWidget* box) {
            QTimer::singleShot(0, &program.form2(), [&] { program.form2().close(); });
            ModalScript::type(u"_"_s)(box);
        });
        script.then([](QWidget* box) { qobject_cast<QMessageBox*>(box)->button(QMessageBox::Yes)->click(); });
        program.button2(u"PushButton1")->click();
        // The close asks first; the run then stops at its next yield: no "Done.", nothing
        // written back.
        QCOMPARE(script.seen().size(), 2u);
        QCOMPARE(script.seen()[1].text, u"Stop this run? Nothing has been written to the table yet."_s);
        QCOMPARE(script.unexpected(), 0);
        QVERIFY(!program.form1.isVisible());
        QVERIFY(!program.form2().isVisible());
        QCOMPARE(columnOf(folder.samples() + u"/ORDERS.DB"_s, 4), before);
    }

    void closingTheTableWindowEndsTheProgram()
    {
        uitest::AppFolder folder;
        uitest::setSetting(kDatabase, folder.samples());
        Program program(folder.path());
        QTimer::singleShot(0, &program.form2(), [&] { program.form2().close(); });
        QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!program.form1.isVisible());
    }
};

FW_UI_TEST_MAIN(WindowsTest)
#include "windows_test.moc"
