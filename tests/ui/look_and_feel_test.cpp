// Skin, colours, application title and the pointer rules of both windows.

#include "window_test_support.h"

#include "ui/look_and_feel.h"
#include "ui/skin_framework.h"
#include "ui/window_pointer.h"
#include "ui/folder_picker.h"
#include "ui/form1.h"
#include "ui/form2.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

using namespace Qt::StringLiterals;
using uitest::ModalScript;
using Shape = ui::WindowPointer::Shape;

namespace {

// Records the calls the start sequence makes, in order.
class RecordingSkin : public ui::SkinFramework
{
public:
    void loadSkin(const QString& path, const QString& scheme) override
    {
        calls << u"loadSkin(%1,%2)"_s.arg(QFileInfo(path).fileName(), scheme);
    }
    qint32 options() const override
    {
        calls << u"options"_s;
        return 4;
    }
    void setOptions(qint32 options) override { calls << u"setOptions(%1)"_s.arg(options); }
    void setFillBackground(bool fill) override { calls << u"setFillBackground(%1)"_s.arg(fill); }
    void setUniformStyle(bool uniform) override { calls << u"setUniformStyle(%1)"_s.arg(uniform); }
    void applyWindow(WId window) override { calls << u"applyWindow(%1)"_s.arg(window); }

    mutable QStringList calls;
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class LookAndFeelTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { uitest::clearSettings(); }

    void appTitle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("oneWord") << u"Fieldwright"_s << u"Fieldwright"_s;
        QTest::newRow("shortNameLosesLastWord") << u"Field Cleaner"_s << u"Field"_s;
        QTest::newRow("exactly40WithSpaces") << u"Paradox Field Cleaning Tool For Tables X1"_s.left(40)
                                             << u"Paradox Field Cleaning Tool For Tables"_s;
        QTest::newRow("61CutUntil40")
            << u"Paradox Field Cleaning Tool for the Lazy Administrator Edition"_s.left(61)
            << u"Paradox Field Cleaning Tool for the Lazy"_s;
    }

    void appTitle()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QCOMPARE(ui::shortenedAppTitle(name), title);
        QVERIFY(ui::shortenedAppTitle(name).size() <= 40);
    }

    void appTitleOfALongSingleWordFailsAndKeepsTheOldTitle()
    {
        ui::SetAppTitle();
        QVERIFY_THROWS_EXCEPTION(core::Error, ui::SetAppTitle(QString(41, u'x')));
        QVERIFY_THROWS_EXCEPTION(core::Error, ui::shortenedAppTitle(QString(45, u'y') + u" tail"_s));
        QCOMPARE(ui::appTitle(), u"Fieldwright"_s);
        // The X11 platform appends a display name to every other window title, which would
        // turn "Application Error" into "Application Error — Fieldwright".
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    }

    void skinIsAppliedOnlyWithAPlainSkinFile()
    {
        uitest::AppFolder folder(false);
        RecordingSkin skin;
        ui::DialogFolderPicker picker;
        {
            ui::Form1 form1(ui::Environment { folder.path(), skin, picker });
            form1.Form_Load();
            QVERIFY(skin.calls.isEmpty());
            // A folder of that name is no skin file.
            QDir().mkpath(folder.path() + u"/x/o.cjs"_s);
            form1.Form_Load();
            QVERIFY(skin.calls.isEmpty());
        }
        QDir(folder.path() + u"/x"_s).removeRecursively();
        writeFile(folder.path() + u"/x/o.cjs"_s, "QPushButton { color: rgb(1, 2, 3); }");
        ui::Form1 form1(ui::Environment { folder.path(), skin, picker });
        form1.Form_Load();
        QVERIFY(skin.calls.contains(u"loadSkin(o.cjs,)"_s));
        QCOMPARE(skin.calls.last(), u"applyWindow(%1)"_s.arg(form1.winId()));
    }

    void skinFileStylesTheSelectionWindowOnly()
    {
        uitest::AppFolder folder;
        const QByteArray sheet = "QPushButton { color: rgb(1, 2, 3); }";
        writeFile(folder.path() + u"/x/o.cjs"_s, sheet);
        uitest::setSetting(u"Database"_s, folder.samples());
        ui::StyleSheetSkin skin;
        ui::DialogFolderPicker picker;
        ui::Form1 form1(ui::Environment { folder.path(), skin, picker });
        form1.Form_Load();
        QCOMPARE(form1.styleSheet(), QString::fromUtf8(sheet));
        QVERIFY(form1.form2()->styleSheet().isEmpty());
    }

    void unreadableSkinIsReportedAndStartUpGoesOn()
    {
        uitest::AppFolder folder;
        const QString path = folder.path() + u"/x/o.cjs"_s;
        writeFile(path, "QWidget {}");
        QFile::setPermissions(path, QFileDevice::WriteOwner);
        if (QFile(path).open(QIODevice::ReadOnly))
            QSKIP("running with rights that read any file");
        uitest::setSetting(u"Database"_s, folder.samples());
        ModalScript script;
        script.then(ModalScript::pressOk());
        ui::StyleSheetSkin skin;
        ui::DialogFolderPicker picker;
        ui::Form1 form1(ui::Environment { folder.path(), skin, picker });
        form1.Form_Load();
        QCOMPARE(script.seen().size(), 1u);
        QVERIFY(script.seen()[0].text.contains(u"in Tidewell2021/08/31.Form1.Form_Load at line 100"_s));
        QVERIFY(form1.hasMovedOn());
    }

    void hoverHandFollowsTheRulesAndKeepsItsHotspot()
    {
        uitest::AppFolder folder;
        uitest::writeCursorFile(folder.path() + u"/HAND-M.CUR"_s, 5, 7);
        ui::StyleSheetSkin skin;
        ui::DialogFolderPicker picker;
        ui::Form1 form1(ui::Environment { folder.path(), skin, picker });
        form1.Form_Load();
        form1.show();
        QVERIFY(form1.pointer().hasCustomCursor());

        auto* next = form1.findChild<QPushButton*>(u"PushButton3"_s);
        uitest::moveMouseOver(next);
        QCOMPARE(form1.pointer().shape(), Shape::Custom);
        QCOMPARE(form1.cursor().shape(), Qt::BitmapCursor);
        QCOMPARE(form1.cursor().hotSpot(), QPoint(5, 7));
        // The label has no rule: the hand stays.
        uitest::moveMouseOver(form1.findChild<QLabel*>(u"Label2"_s));
        QCOMPARE(form1.pointer().shape(), Shape::Custom);
        uitest::moveMouseOver(form1.findChild<QLineEdit*>(u"Text1"_s));
        QCOMPARE(form1.pointer().shape(), Shape::Normal);
        uitest::moveMouseOver(next);
        uitest::moveMouseOver(form1.findChild<QGroupBox*>(u"Frame1"_s));
        QCOMPARE(form1.pointer().shape(), Shape::Normal);

        // Busy wins over every rule, and covers the text box's own pointer too.
        form1.pointer().setShape(Shape::Busy);
        uitest::moveMouseOver(next);
        QCOMPARE(form1.pointer().shape(), Shape::Busy);
        QCOMPARE(form1.findChild<QLineEdit*>(u"Text1"_s)->cursor().shape(), Qt::WaitCursor);
        form1.pointer().setShape(Shape::Normal);
        QCOMPARE(form1.findChild<QLineEdit*>(u"Text1"_s)->cursor().shape(), Qt::IBeamCursor);
        uitest::moveMouseOver(next);
        QCOMPARE(form1.pointer().shape(), Shape::Custom);
    }

    void tableWindowHasTheSameRules()
    {
        uitest::AppFolder folder;
        uitest::writeCursorFile(folder.path() + u"/HAND-M.CUR"_s, 3, 1);
        uitest::setSetting(u"Database"_s, folder.samples());
        ui::StyleSheetSkin skin;
        ui::DialogFolderPicker picker;
        ui::Form1 form1(ui::Environment { folder.path(), skin, picker });
        form1.Form_Load();
        ui::Form2& form2 = *form1.form2();
        auto* start = form2.findChild<QPushButton*>(u"PushButton1"_s);
        uitest::moveMouseOver(start);
        QCOMPARE(form2.cursor().hotSpot(), QPoint(3, 1));
        uitest::moveMouseOver(form2.findChild<QComboBox*>(u"Combo1"_s));
        QCOMPARE(form2.pointer().shape(), Shape::Custom);
        auto* values = form2.findChild<QTreeWidget*>(u"ListView3"_s);
        uitest::moveMouseOver(values->viewport());
        QCOMPARE(form2.pointer().shape(), Shape::Normal);
    }

    void withoutCursorFileTheHandIsTheArrow()
    {
        uitest::AppFolder folder;
        ui::StyleSheetSkin skin;
        ui::DialogFolderPicker picker;
        ui::Form1 form1(ui::Environment { folder.path(), skin, picker });
        form1.Form_Load();
        QVERIFY(!form1.pointer().hasCustomCursor());
        QVERIFY(form1.styleSheet().isEmpty());
        uitest::moveMouseOver(form1.findChild<QPushButton*>(u"PushButton1"_s));
        QCOMPARE(form1.pointer().shape(), Shape::Custom);
        QCOMPARE(form1.cursor().shape(), Qt::ArrowCursor);
    }

    void brokenCursorFileIsReportedAtItsLine()
    {
        uitest::AppFolder folder;
        writeFile(folder.path() + u"/HAND-M.CUR"_s, "no picture");
        ModalScript script;
        script.then(ModalScript::pressOk());
        ui::StyleSheetSkin skin;
        ui::DialogFolderPicker picker;
        ui::Form1 form1(ui::Environment { folder.path(), skin, picker });
        form1.Form_Load();
        QCOMPARE(script.seen().size(), 1u);
        QVERIFY(script.seen()[0].text.contains(u"HAND-M.CUR"_s));
        QVERIFY(script.seen()[0].text.contains(u"Form1.Form_Load at line 126"_s));
        QVERIFY(!form1.pointer().hasCustomCursor());
    }
};

FW_UI_TEST_MAIN(LookAndFeelTest)
#include "look_and_feel_test.moc"
