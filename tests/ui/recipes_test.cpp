// Recipes in the window: one operation over fields of several tables, and the history's
// steps saved as a recipe.

#include "window_test_support.h"

#include "ui/history_dialog.h"
#include "ui/several_fields_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QStandardItemModel>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using uitest::clickEntry;
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
    QVERIFY(list->actions().contains(found));
    found->trigger();
}

} // namespace

class RecipesTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { uitest::clearSettings(); }

    void theFieldsTypeDecidesWhichOperationsAreOffered()
    {
        uitest::AppFolder folder;
        uitest::setSetting(u"Database"_s, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView1"), u"CUSTOMER"_s);
        const auto isOffered = [&](int row) {
            const auto* model = qobject_cast<QStandardItemModel*>(program.combo()->model());
            return model->item(row)->isEnabled();
        };
        clickEntry(program.list(u"ListView2"), u"Balance"_s); // a Number field
        QVERIFY(!isOffered(0)); // "Remove All Spaces in Selected Field"
        QVERIFY(isOffered(17)); // "Remove User-Defined Character(s) in Selected Field"
        QVERIFY(!isOffered(27)); // UPPER CASE
        clickEntry(program.list(u"ListView2"), u"Name"_s);
        for (int row = 0; row < program.combo()->count(); ++row)
            QVERIFY(isOffered(row));
    }

    void oneOperationOverSeveralTablesAsksOnceAndTheHistoryGivesTheRecipeBack()
    {
        uitest::AppFolder folder;
        uitest::setSetting(u"Database"_s, folder.samples());
        Program program(folder.path());
        clickEntry(program.list(u"ListView1"), u"ORDERS"_s);
        clickEntry(program.list(u"ListView2"), u"ShipVia"_s);
        program.combo()->setCurrentText(u"Replace All Spaces in Selected Field With..."_s);
        const QByteArray orders = bytesOf(folder.samples() + u"/ORDERS.DB"_s);
        const QByteArray products = bytesOf(folder.samples() + u"/PRODUCTS.DB"_s);
        const QByteArray customers = bytesOf(folder.samples() + u"/CUSTOMER.DB"_s);

        ModalScript script;
        script.then([](QWidget* box) {
            auto* dialog = dynamic_cast<ui::SeveralFieldsDialog*>(box);
            QVERIFY(dialog);
            dialog->setTicked(u"PRODUCTS"_s, u"Category"_s, true);
            dialog->accept();
        });
        script.then(ModalScript::type(u"_"_s));
        script.then(ModalScript::pressOk());
        trigger(program.list(u"ListView2"), u"ApplyToSeveralFields");

        QCOMPARE(script.seen().size(), 3u); // the fields, the one prompt, then the outcome
        QCOMPARE(script.seen()[1].text, u"Replace With:"_s);
        const QString outcome = script.seen()[2].text;
        QVERIFY2(outcome.startsWith(u"Done."_s), qPrintable(outcome));
        QVERIFY2(outcome.contains(u"ORDERS: written"_s) && outcome.contains(u"PRODUCTS: written"_s),
            qPrintable(outcome));
        QVERIFY(bytesOf(folder.samples() + u"/ORDERS.DB"_s) != orders);
        QVERIFY(bytesOf(folder.samples() + u"/PRODUCTS.DB"_s) != products);
        QCOMPARE(bytesOf(folder.samples() + u"/CUSTOMER.DB"_s), customers);

        // The steps ticked in the history are the recipe a person would write by hand.
        ui::HistoryDialog history(&program.form2(), folder.samples(), u"ORDERS"_s);
        auto* runs = history.findChild<QTreeWidget*>(u"Runs"_s);
        QCOMPARE(runs->topLevelItemCount(), 1);
        history.findChild<QCheckBox*>(u"WholeFolder"_s)->setChecked(true);
        QCOMPARE(runs->topLevelItemCount(), 2);
        for (int i = 0; i < runs->topLevelItemCount(); ++i)
            runs->topLevelItem(i)->setCheckState(0, Qt::Checked);
        const auto byHand = cleaning::recipes::parseRecipe(R"({"recipe": 1, "steps": [
            {"table": "ORDERS", "field": "ShipVia", "operation": {"number": 2}, "answers": ["_"]},
            {"table": "PRODUCTS", "field": "Category", "operation": {"number": 2}, "answers": ["_"]}]})");
        QVERIFY(byHand.problem.isEmpty());
        QCOMPARE(cleaning::recipes::recipeJson(history.tickedRecipe()),
            cleaning::recipes::recipeJson(byHand.recipe));
    }
};

FW_UI_TEST_MAIN(RecipesTest)
#include "recipes_test.moc"
