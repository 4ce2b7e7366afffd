// How long the table and field window takes to list the fields of a table of a million
// rows and preview its first values: the click on a table, and the click on a field.
// Target: well under 100 ms each, so the user sees no wait.
//
//     table_window_bench [ROWS]

#include "data/paradox/paradox.h"
#include "ui/folder_picker.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/skin_framework.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr double kTargetMs = 100.0;

void writeBigTable(const QString& folder, int rows)
{
    paradox::NewTable table;
    table.folder = folder;
    table.name = u"BIG"_s;
    table.fileVersion = 0x0C; // 7.x: large blocks, so a million rows fit in 65535 blocks
    table.blockSizeKb = 32;
    table.fields = { { u"Id"_s, paradox::FieldType::Long, 4 }, { u"Name"_s, paradox::FieldType::Alpha, 30 },
        { u"City"_s, paradox::FieldType::Alpha, 20 }, { u"Amount"_s, paradox::FieldType::Number, 8 } };
    QString error;
    auto writer = paradox::createTable(table, &error);
    if (!writer)
        qFatal("%s", qPrintable(error));
    const QString cities[] = { u"New York"_s, u" Lyon"_s, u"Malmö "_s, u"Den  Haag"_s };
    for (int i = 0; i < rows; ++i) {
        const paradox::Row row { std::int32_t(i), u"Customer %1"_s.arg(i), cities[i % 4], i * 0.25 };
        if (!writer->append(row, &error))
            qFatal("%s", qPrintable(error));
    }
    if (!writer->commit(QString(), &error))
        qFatal("%s", qPrintable(error));
}

void report(const char* what, double ms)
{
    std::printf(
        "%-44s %8.1f ms  (target < %.0f ms) %s\n", what, ms, kTargetMs, ms < kTargetMs ? "ok" : "SLOW");
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1'000'000;

    QTemporaryDir appFolder;
    const QString folder = appFolder.path() + u"/Paradox"_s;
    QDir().mkpath(folder);
    QElapsedTimer timer;
    timer.start();
    writeBigTable(folder, rows);
    std::printf("wrote BIG.DB, %d rows, %.1f MB, in %.1f s\n", rows,
        double(QFile(folder + u"/BIG.DB"_s).size()) / 1e6, double(timer.elapsed()) / 1000.0);

    QSettings(u"Vantorel"_s, u"Fieldwright"_s).setValue(u"Fieldwright/Database"_s, folder);
    ui::StyleSheetSkin skin;
    ui::DialogFolderPicker picker;
    ui::Form1 form1(ui::Environment { appFolder.path(), skin, picker });

    timer.restart();
    form1.Form_Load();
    report("start-up until the table window shows", double(timer.nsecsElapsed()) / 1e6);

    ui::Form2& form2 = *form1.form2();
    auto* values = form2.findChild<QTreeWidget*>(u"ListView3"_s);
    for (int round = 1; round <= 3; ++round) {
        timer.restart();
        form2.ListView1_Click();
        report("click on the table: fields and preview", double(timer.nsecsElapsed()) / 1e6);
        timer.restart();
        form2.ListView2_Click();
        report("click on a field: preview", double(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("preview entries: %d\n", values->topLevelItemCount());
    return 0;
}
