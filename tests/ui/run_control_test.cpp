// The user's hold on a run in the table and field window: stopping it with Esc, the controls
// that must do nothing while it goes, and lists that keep their selection.
//
// FW_LARGE_RUN_RECORDS=1000000 runs the stop test on a table of that many records.

#include "window_test_support.h"

#include "data/paradox/paradox.h"
#include "data/workdb/work_database.h"

#include <QAction>
#include <QDialog>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace Qt::StringLiterals;
using uitest::clickEntry;
using uitest::ModalScript;
using uitest::Program;
using uitest::selected;

namespace {

void writeTable(const QString& folder, int rows)
{
    paradox::NewTable table;
    table.folder = folder;
    table.name = u"LARGE"_s;
    table.fileVersion = 0x0C;
    table.blockSizeKb = 32;
    table.fields = { { u"Id"_s, paradox::FieldType::Long, 4 }, { u"Name"_s, paradox::FieldType::Alpha, 24 } };
    QString error;
    auto writer = paradox::createTable(table, &error);
    QVERIFY2(writer, qPrintable(error));
    for (int i = 0; i < rows; ++i)
        QVERIFY2(writer->append({ std::int32_t(i), u"Name %1"_s.arg(i % 2000) }, &error), qPrintable(error));
    QVERIFY2(writer->commit(QString(), &error), qPrintable(error));
}

// Every file of the folder, by name, with its bytes.
QMap<QString, QByteArray> filesOf(const QString& folder)
{
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files); it.hasNext();) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly))
            files.insert(it.fileName(), file.readAll());
    }
    return files;
}

ModalScript::Answer press(QMessageBox::StandardButton button)
{
    return [button](QWidget* box) { qobject_cast<QMessageBox*>(box)->button(button)->click(); };
}

} // namespace

class RunControlTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { uitest::clearSettings(); }

    void escapeAsksAndAStoppedRunKeepsNothing()
    {
        const int rows = qEnvironmentVariableIntValue("FW_LARGE_RUN_RECORDS") > 0
            ? qEnvironmentVariableIntValue("FW_LARGE_RUN_RECORDS")
            : 60'000;
        uitest::AppFolder folder(false);
        writeTable(folder.samples(), rows);
        const QMap<QString, QByteArray> before = filesOf(folder.samples());
        uitest::setSetting(u"Database"_s, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView2"), u"Name"_s);
        program.combo()->setCurrentIndex(0); // no prompt: nothing but the run takes the Esc
        auto* bar = program.form2().findChild<QProgressBar*>(u"ProgressBar1"_s);

        QElapsedTimer sinceYes;
        ModalScript script;
        script.then(press(QMessageBox::No));
        script.then([&](QWidget* box) {
            sinceYes.start();
            press(QMessageBox::Yes)(box);
        });
        script.then(ModalScript::pressOk());

        // Once the copy is under way: the controls that would start another run or leave for
        // the folder window do nothing; then Esc, answered No and the run goes on; Esc again.
        int escapes = 0;
        QTimer during;
        during.setInterval(10);
        connect(&during, &QTimer::timeout, [&] {
            if (escapes == 2 || !bar->format().startsWith(u"Copying record"_s))
                return;
            if (escapes == 0) {
                program.button2(u"PushButton5")->click();
                program.button2(u"PushButton1")->click();
                QVERIFY(!program.form1.isVisible());
            }
            ++escapes;
            QTest::keyClick(&program.form2(), Qt::Key_Escape);
        });
        during.start();
        program.button2(u"PushButton1")->click();
        const qint64 stoppedMs = sinceYes.elapsed();
        during.stop();

        QCOMPARE(escapes, 2);
        QCOMPARE(script.seen().size(), 3u);
        QCOMPARE(script.seen()[0].text, u"Stop this run? Nothing has been written to the table yet."_s);
        QCOMPARE(script.seen()[1].text, script.seen()[0].text);
        QCOMPARE(script.seen()[2].text,
            u"Stopped.\r\nNothing was written to the table LARGE, and no previous version was kept."_s);
        QCOMPARE(script.unexpected(), 0);
        QVERIFY2(stoppedMs < 1000, qPrintable(QString::number(stoppedMs)));
        QVERIFY(filesOf(folder.samples()) == before);
        QVERIFY(!QFileInfo::exists(
            QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME")) + u"/Vantorel/Fieldwright/backups"_s));
        QVERIFY(!data::WorkDatabase(folder.path()).hasTable(u"LARGE"_s));
        QCOMPARE(bar->format(), u"Progress Bar"_s);
        QVERIFY(!program.form2().pointer().isBusy());
        QVERIFY(program.form2().isVisible());

        // Esc between runs asks nothing.
        QTest::keyClick(&program.form2(), Qt::Key_Escape);
        QCOMPARE(script.seen().size(), 3u);
    }

    void escapeInTheValuesViewStopsItsMerge()
    {
        uitest::AppFolder folder(false);
        writeTable(folder.samples(), 60'000);
        const QMap<QString, QByteArray> before = filesOf(folder.samples());
        uitest::setSetting(u"Database"_s, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView2"), u"Name"_s);
        auto* bar = program.form2().findChild<QProgressBar*>(u"ProgressBar1"_s);

        QDialog* values = nullptr;
        QTimer during;
        ModalScript script;
        script.then([&](QWidget* box) {
            values = qobject_cast<QDialog*>(box);
            auto* list = box->findChild<QTableView*>(u"ValueList"_s);
            list->selectRow(0);
            list->selectionModel()->select(
                list->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
            QTimer::singleShot(0, box->findChild<QPushButton*>(u"MergeSelected"_s), &QPushButton::click);
        });
        script.then(ModalScript::pressOk()); // the value to keep: the one proposed
        script.then(press(QMessageBox::Yes));
        script.then([&](QWidget* box) {
            ModalScript::pressOk()(box);
            connect(&during, &QTimer::timeout, [&] {
                if (QApplication::activeModalWidget() == values && values->isVisible())
                    values->reject();
            });
        });
        connect(&during, &QTimer::timeout, [&] {
            if (bar->format().startsWith(u"Copying record"_s) && script.seen().size() == 2)
                QTest::keyClick(values, Qt::Key_Escape);
        });
        during.start(10);
        program.list(u"ListView2")->findChild<QAction*>(u"Values"_s)->trigger();

        QCOMPARE(script.seen().size(), 4u);
        QCOMPARE(script.seen()[2].text, u"Stop this run? Nothing has been written to the table yet."_s);
        QVERIFY2(script.seen()[3].text.startsWith(u"Stopped.\r\n"_s), qPrintable(script.seen()[3].text));
        QCOMPARE(script.unexpected(), 0);
        QVERIFY(filesOf(folder.samples()) == before);
    }

    void aClickOnTheBlankPartOfAListKeepsItsSelection()
    {
        uitest::AppFolder folder;
        uitest::setSetting(u"Database"_s, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView1"), u"ORDERS"_s);
        clickEntry(program.list(u"ListView2"), u"ShipVia"_s);
        for (const char16_t* name : { u"ListView1", u"ListView2" }) {
            QTreeWidget* list = program.list(name);
            const QString before = selected(list);
            const QPoint blank(5, list->viewport()->height() - 3);
            QVERIFY(!list->itemAt(blank));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, blank);
            QCOMPARE(selected(list), before);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                list->visualItemRect(list->currentItem()).center());
            QCOMPARE(selected(list), before);
        }
    }
};

FW_UI_TEST_MAIN(RunControlTest)
#include "run_control_test.moc"
