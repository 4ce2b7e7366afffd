// A change run in the table and field window against the same run on the command line, on
// twin tables of 200,000 records whose cleaned field holds 500 distinct values. The window
// may take 1.5 times the command line's run plus its pauses (0.1 s per 500 distinct values):
// its yields must cost the window next to nothing.
//
//     xvfb-run -a -s "-screen 0 1280x1024x24" window_run_bench [ROWS [DISTINCT [ROUNDS]]]
//
// Without a display it runs offscreen. Each round runs both on fresh copies; the best wall
// time of each counts (the processor times are printed too: on a shared machine the wall
// time measures the neighbours as well).

#include "bench/processor_time.h"
#include "data/paradox/paradox.h"
#include "ui/folder_picker.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/skin_framework.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <cmath>
#include <cstdio>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

void writeTable(const QString& folder, int rows, int distinct)
{
    paradox::NewTable table;
    table.folder = folder;
    table.name = u"RUN"_s;
    table.fileVersion = 0x0C;
    table.blockSizeKb = 32;
    table.fields = { { u"Id"_s, paradox::FieldType::Long, 4 }, { u"Name"_s, paradox::FieldType::Alpha, 30 },
        { u"City"_s, paradox::FieldType::Alpha, 20 }, { u"Amount"_s, paradox::FieldType::Number, 8 } };
    QString error;
    auto writer = paradox::createTable(table, &error);
    if (!writer)
        qFatal("%s", qPrintable(error));
    for (int i = 0; i < rows; ++i) {
        // Every other value holds a space that "Remove All Spaces" takes out.
        const int value = i % distinct;
        const QString name = (value % 2 ? u"Name %1"_s : u"Name%1"_s).arg(value);
        const paradox::Row row { std::int32_t(i), name, u"City %1"_s.arg(i % 40), i * 0.5 };
        if (!writer->append(row, &error))
            qFatal("%s", qPrintable(error));
    }
    if (!writer->commit(QString(), &error))
        qFatal("%s", qPrintable(error));
}

void copyFolder(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    for (const QString& name : QDir(from).entryList(QDir::Files))
        QFile::copy(from + u'/' + name, to + u'/' + name);
}

double childProcessorSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double commandLineSeconds(const QString& folder)
{
    QElapsedTimer timer;
    timer.start();
    QProcess cli;
    cli.start(QStringLiteral(FW_CLI_PATH), { u"clean"_s, folder, u"RUN"_s, u"Name"_s, u"1"_s });
    if (!cli.waitForFinished(600'000) || cli.exitCode() != 0)
        qFatal("the command line failed: %s", cli.readAllStandardError().constData());
    return double(timer.nsecsElapsed()) / 1e9;
}

// From the press of "Start Changing" to "Done." on screen.
double windowSeconds(ui::Form2& window)
{
    QElapsedTimer timer;
    double seconds = 0;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || seconds > 0)
            return;
        seconds = double(timer.nsecsElapsed()) / 1e9;
        if (!box->text().startsWith(u"Done."_s))
            qFatal("the window's run ended with: %s", qPrintable(box->text()));
        box->button(QMessageBox::Ok)->click();
    });
    poll.start();
    timer.start();
    window.findChild<QPushButton*>(u"PushButton1"_s)->click();
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + u"/config"_s).toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + u"/data"_s).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 200'000;
    const int distinct = argc > 2 ? std::atoi(argv[2]) : 500;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;

    QTemporaryDir work;
    const QString original = work.path() + u"/original"_s;
    QDir().mkpath(original);
    writeTable(original, rows, distinct);
    QFile(work.path() + u"/dbTemp.mdb"_s).open(QIODevice::WriteOnly);

    const QString windowFolder = work.path() + u"/window"_s;
    copyFolder(original, windowFolder);
    QSettings(u"Vantorel"_s, u"Fieldwright"_s).setValue(u"Fieldwright/Database"_s, windowFolder);
    ui::StyleSheetSkin skin;
    ui::DialogFolderPicker picker;
    ui::Form1 form1(ui::Environment { work.path(), skin, picker });
    form1.Form_Load();
    ui::Form2& form2 = *form1.form2();
    auto* fields = form2.findChild<QTreeWidget*>(u"ListView2"_s);
    fields->setCurrentItem(fields->findItems(u"Name"_s, Qt::MatchExactly).value(0));
    form2.ListView2_Click();
    form2.findChild<QComboBox*>(u"Combo1"_s)->setCurrentIndex(0);

    double bestCli = 1e300;
    double bestWindow = 1e300;
    double bestCliProcessor = 1e300;
    double bestWindowProcessor = 1e300;
    for (int round = 1; round <= rounds; ++round) {
        const QString cliFolder = work.path() + u"/cli%1"_s.arg(round);
        copyFolder(original, cliFolder);
        const double cliProcessorBefore = childProcessorSeconds();
        const double cli = commandLineSeconds(cliFolder);
        const double cliProcessor = childProcessorSeconds() - cliProcessorBefore;
        QDir(windowFolder).removeRecursively();
        copyFolder(original, windowFolder);
        const double windowProcessorBefore = bench::processorSeconds();
        const double window = windowSeconds(form2);
        const double windowProcessor = bench::processorSeconds() - windowProcessorBefore;
        std::printf("round %d: command line %.2f s (processor %.2f s), window %.2f s (processor %.2f s)\n",
            round, cli, cliProcessor, window, windowProcessor);
        bestCli = std::min(bestCli, cli);
        bestCliProcessor = std::min(bestCliProcessor, cliProcessor);
        bestWindowProcessor = std::min(bestWindowProcessor, windowProcessor);
        bestWindow = std::min(bestWindow, window);
    }
    const double pauses = 0.1 * std::ceil(double(distinct) / 500.0);
    const double limit = 1.5 * bestCli + pauses;
    std::printf("%d records, %d distinct values, %s: command line %.2f s, window %.2f s, limit %.2f s "
                "(1.5 x command line + %.1f s of pauses): %s\n",
        rows, distinct, qPrintable(QGuiApplication::platformName()), bestCli, bestWindow, limit, pauses,
        bestWindow <= limit ? "ok" : "SLOW");
    // The window busy-waits through its pauses, so they count as processor time too.
    std::printf("processor time: command line %.2f s, window %.2f s (limit %.2f s)\n", bestCliProcessor,
        bestWindowProcessor, 1.5 * bestCliProcessor + pauses);
    return bestWindow <= limit ? 0 : 1;
}
