// The values view and the variants view, driven as a person would: the values of a field with
// their records, searching them, finding variants and merging them in a change run. And the
// values view's list on a million values.

#include "window_test_support.h"

#include "ui/values_model.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>

using namespace Qt::StringLiterals;
using cleaning::values::ValueCount;
using uitest::clickEntry;
using uitest::ModalScript;
using uitest::Program;

class ValuesViewsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { uitest::clearSettings(); }

    void aMillionValuesAreHandedToTheListABatchAtATime()
    {
        std::vector<ValueCount> values;
        values.reserve(1'000'000);
        values.push_back({ std::nullopt, 5 });
        values.push_back({ QString(), 3 });
        for (int i = 0; i < 999'998; ++i)
            values.push_back({ u"value %1"_s.arg(i), 1 });
        ui::ValuesModel model;
        model.setValues(std::move(values));
        QCOMPARE(model.rowCount(), ui::ValuesModel::kBatch);
        QCOMPARE(model.valueCount(), 1'000'000);
        QVERIFY(model.canFetchMore({}));
        model.fetchMore({});
        QCOMPARE(model.rowCount(), 2 * ui::ValuesModel::kBatch);

        model.sort(ui::ValuesModel::ValueColumn, Qt::AscendingOrder);
        QCOMPARE(model.rowCount(), ui::ValuesModel::kBatch);
        QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(), u"(null)"_s);
        QCOMPARE(model.data(model.index(1, 0), Qt::DisplayRole).toString(), u"(empty)"_s);
        model.setMatch(
            cleaning::values::ValueMatch(u"^value 99999[0-9]$"_s, cleaning::values::MatchKind::Pattern));
        QCOMPARE(model.matchCount(), 8);
        QCOMPARE(model.rowCount(), 8);
        QVERIFY(!model.canFetchMore({}));
    }

    void variantsFoundInTheValuesAreMergedByAChangeRun()
    {
        uitest::AppFolder folder;
        uitest::setSetting(u"Database"_s, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView1"), u"ORDERS"_s);
        clickEntry(program.list(u"ListView2"), u"ShipVia"_s);

        ModalScript script;
        QDialog* valuesDialog = nullptr;
        QStringList seen;
        QTimer closeValues;
        script.then([&](QWidget* box) {
            valuesDialog = qobject_cast<QDialog*>(box);
            QCOMPARE(box->objectName(), u"Values"_s);
            auto& model = *box->findChild<QTableView*>(u"ValueList"_s)->model();
            seen << model.index(0, 0).data().toString() + u'|' + model.index(0, 1).data().toString();
            box->findChild<QComboBox*>(u"MatchKind"_s)->setCurrentIndex(2);
            box->findChild<QLineEdit*>(u"Search"_s)->setText(u"^[cC]o"_s);
            QTest::qWait(300);
            seen << QString::number(model.rowCount());
            box->findChild<QLineEdit*>(u"Search"_s)->clear();
            QTest::qWait(300); // the search is applied a moment after typing stops
            QTimer::singleShot(0, box->findChild<QPushButton*>(u"FindVariants"_s), &QPushButton::click);
        });
        script.then([&](QWidget* box) {
            QCOMPARE(box->objectName(), u"Variants"_s);
            auto* clusters = box->findChild<QTreeWidget*>(u"Clusters"_s);
            seen << QString::number(clusters->topLevelItemCount());
            QTreeWidgetItem* vans = clusters->topLevelItem(0);
            seen << vans->text(0) + u'|' + vans->text(1);
            vans->setCheckState(0, Qt::Checked);
            QTimer::singleShot(0, box->findChild<QPushButton*>(u"MergeTicked"_s), &QPushButton::click);
        });
        script.then([&](QWidget* box) {
            ModalScript::pressOk()(box);
            // Once the variants view has closed, the values view lists the field anew.
            connect(&closeValues, &QTimer::timeout, [&] {
                if (QApplication::activeModalWidget() != valuesDialog)
                    return;
                closeValues.stop();
                auto& model = *valuesDialog->findChild<QTableView*>(u"ValueList"_s)->model();
                seen << QString::number(model.rowCount()) + u'|' + model.index(0, 0).data().toString() + u'|'
                        + model.index(0, 1).data().toString();
                valuesDialog->reject();
            });
            closeValues.start(20);
        });
        auto* action = program.list(u"ListView2")->findChild<QAction*>(u"Values"_s);
        QVERIFY(action && program.list(u"ListView2")->actions().contains(action));
        action->trigger();

        QCOMPARE(seen, QStringList({ u"Van|97"_s, u"3"_s, u"2"_s, u"Van|193"_s, u"6|Van|193"_s }));
        QCOMPARE(script.seen().size(), 3u);
        QVERIFY2(script.seen()[2].text.startsWith(u"Done.\r\n96 of the table's 600 records changed."_s),
            qPrintable(script.seen()[2].text));
        QCOMPARE(script.unexpected(), 0);
        const QStringList shipVia = uitest::columnOf(folder.samples() + u"/ORDERS.DB"_s, 4);
        QCOMPARE(shipVia.count(u"Van"_s), 193);
        QVERIFY(!shipVia.contains(u"VAN "_s));
    }
};

FW_UI_TEST_MAIN(ValuesViewsTest)
#include "values_views_test.moc"
