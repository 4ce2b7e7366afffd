#include "ui/form2.h"

#include "cleaning/change_run.h"
#include "cleaning/operation_catalogue.h"
#include "core/helpers.h"
#include "core/procedure.h"
#include "data/paradox_folder.h"
#include "data/preview.h"
#include "data/table_listing.h"
#include "ui/list_tips.h"
#include "ui/look_and_feel.h"
#include "ui_form2.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHeaderView>
#include <QKeyEvent>

using namespace Qt::StringLiterals;

namespace ui {

namespace {

// Column widths of the three lists: 6700 and 3200 twips.
constexpr int kTableColumnWidth = 447;
constexpr int kFieldColumnWidth = 213;
// Yielding costs a trip through the event queue; within this many milliseconds of the
// last one, a yield point returns at once.
constexpr qint64 kYieldIntervalMs = 20;

QString context(const char16_t* handler)
{
    return u"Tidewell2021/08/31.Form2."_s + QString::fromUtf16(handler);
}

void prepareList(QTreeWidget& list)
{
    list.setColumnCount(1);
    list.setRootIsDecorated(false);
    list.setItemsExpandable(false);
    list.setUniformRowHeights(true);
    list.setAllColumnsShowFocus(true);
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    list.header()->setStretchLastSection(false);
    list.header()->setSectionsMovable(false);
}

void addColumn(QTreeWidget& list, const QString& caption)
{
    list.setHeaderLabels({ caption });
}

// A list selects its first entry when it is filled; the window relies on that.
void addEntry(QTreeWidget& list, const QString& text)
{
    auto* item = new QTreeWidgetItem(&list, QStringList { text });
    if (list.topLevelItemCount() == 1) {
        const QSignalBlocker quiet(list);
        list.setCurrentItem(item);
    }
}

QString selectedText(const QTreeWidget& list)
{
    const QList<QTreeWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text(0);
}

// The table list as the table listing fills it.
class TableListView : public data::TableList
{
public:
    explicit TableListView(QTreeWidget& list)
        : m_list(list)
    { }
    void clear() override { m_list.clear(); }
    void add(const QString& name) override { addEntry(m_list, name); }
    int count() const override { return m_list.topLevelItemCount(); }

private:
    QTreeWidget& m_list;
};

} // namespace

class Form2::Pump : public core::EventPump
{
public:
    explicit Pump(Form2& window)
        : m_window(window)
    { }
    void processEvents() override { m_window.processEvents(); }

private:
    Form2& m_window;
};

Form2::Form2(const core::FolderBox& folderBox, QWidget& selectionWindow, const Environment& environment)
    : m_ui(std::make_unique<Ui::Form2>())
    , m_folderBox(folderBox)
    , m_selectionWindow(selectionWindow)
    , m_environment(environment)
    , m_dialogs(*this)
    , m_pointer(*this)
    , m_pump(std::make_unique<Pump>(*this))
{
    m_ui->setupUi(this);
    m_ui->PushButton1->setFont(buttonFont());
    m_ui->PushButton5->setFont(buttonFont());
    for (QTreeWidget* list : { m_ui->ListView1, m_ui->ListView2, m_ui->ListView3 })
        prepareList(*list);
    m_ui->ProgressBar1->setRange(0, 100);
    makeFixedDialogWindow(*this);

    connect(m_ui->ListView1, &QTreeWidget::itemClicked, this, [this] { onListClicked(m_ui->ListView1); });
    connect(m_ui->ListView2, &QTreeWidget::itemClicked, this, [this] { onListClicked(m_ui->ListView2); });
    // Moving through a list with the keyboard selects another table or field just as a click
    // does; without a new listing the fields and values shown would belong to the entry left.
    for (QTreeWidget* list : { m_ui->ListView1, m_ui->ListView2 }) {
        list->installEventFilter(this);
        connect(list, &QTreeWidget::currentItemChanged, this, [this, list](QTreeWidgetItem* current) {
            if (current && list == m_keyboardList)
                onListClicked(list);
        });
    }
    // A click on the blank part of a list would clear its selection, and a run would then go
    // without a table or field: the entry that was selected stays so.
    for (QTreeWidget* list : { m_ui->ListView1, m_ui->ListView2 })
        connect(list, &QTreeWidget::itemSelectionChanged, this, [list] {
            if (list->selectedItems().isEmpty() && list->currentItem())
                list->currentItem()->setSelected(true);
        });
    connect(m_ui->PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(m_ui->PushButton5, &QPushButton::clicked, this, &Form2::PushButton5_Click);

    m_pointer.showHandOver({ m_ui->PushButton1, m_ui->PushButton5 });
    m_pointer.showNormalOver({ m_ui->Frame1, m_ui->ListView1, m_ui->ListView2, m_ui->ListView3 });
    setUpActions();
}

Form2::~Form2() = default;

void Form2::display()
{
    if (!m_isLoaded) {
        m_isLoaded = true;
        Form_Load();
    } else if (m_folderBox.text() != m_listedFolder) {
        refreshTables();
    }
    show();
    raise();
    activateWindow();
}

void Form2::Form_Load()
{
    core::Procedure proc(m_dialogs, context(u"Form_Load"));
    proc.step(100, [&] { ui::ApplyFormColours(*this); });
    proc.step(102, [&] { setWindowIcon(programIcon()); });
    const QString cursorFile = m_environment.applicationFolder + QString::fromUtf16(ui::kHoverCursorFile);
    if (proc.test(106, [&] { return core::FileExists(cursorFile); }))
        proc.step(108, [&] { m_pointer.setCustomCursor(ui::loadCursorFile(cursorFile)); });
    proc.step(110, [&] { setWindowTitle(QString::fromUtf16(ui::kProductName)); });
    proc.step(112, [&] { addColumn(*m_ui->ListView1, u"Table(s)"_s); });
    proc.step(114, [&] { m_ui->ListView1->setColumnWidth(0, kTableColumnWidth); });
    proc.step(116, [&] { addColumn(*m_ui->ListView2, u"Field(s)"_s); });
    proc.step(118, [&] { m_ui->ListView2->setColumnWidth(0, kFieldColumnWidth); });
    proc.step(120, [&] { addColumn(*m_ui->ListView3, u"First 100 Entries (Preview)"_s); });
    proc.step(122, [&] { m_ui->ListView3->setColumnWidth(0, kFieldColumnWidth); });
    proc.step(124, [&] { listTables(); });
    if (proc.test(126, [&] { return m_ui->ListView1->topLevelItemCount() > 0; }))
        onListClicked(m_ui->ListView1);
    int step = 126;
    for (const cleaning::Operation& operation : cleaning::operations()) {
        step += 2;
        proc.step(step, [&] { m_ui->Combo1->addItem(operation.captionText()); });
    }
    // Ours come after the 27, which keep their places and steps.
    for (const cleaning::Operation& operation : cleaning::moreOperations())
        m_ui->Combo1->addItem(operation.captionText());
    proc.step(182, [&] { m_ui->Combo1->setCurrentIndex(0); });
}

void Form2::listTables()
{
    m_listedFolder = m_folderBox.text();
    m_tableFolders.clear();
    TableListView tables(*m_ui->ListView1);
    data::AddTablesToParadoxListbox(tables, m_folderBox, m_dialogs, *m_pump);
}

void Form2::refreshTables()
{
    core::Procedure proc(m_dialogs, context(u"RefreshTables"));
    proc.step(110, [&] { m_ui->ListView2->clear(); });
    proc.step(112, [&] { m_ui->ListView3->clear(); });
    proc.step(124, [&] { listTables(); });
    if (proc.test(126, [&] { return m_ui->ListView1->topLevelItemCount() > 0; }))
        onListClicked(m_ui->ListView1);
}

void Form2::onListClicked(QTreeWidget* list)
{
    if (m_isListing) {
        m_pendingClick = list;
        return;
    }
    m_isListing = true;
    for (QTreeWidget* next = list; next; next = std::exchange(m_pendingClick, nullptr)) {
        if (next == m_ui->ListView1)
            ListView1_Click();
        else
            ListView2_Click();
    }
    m_isListing = false;
}

void Form2::ListView1_Click()
{
    core::Procedure proc(m_dialogs, context(u"ListView1_Click"));
    std::vector<paradox::Field> fields;
    // Once the table cannot be opened every later use of it would fail too: one report is enough.
    const bool isOpen = proc.step(106, [&] { data::checkParadoxFolder(m_folderBox.text()); })
        && proc.step(108, [&] { fields = data::tableFields(m_folderBox.text(), selectedTable()); });
    proc.step(110, [&] { m_ui->ListView2->clear(); });
    proc.step(112, [&] { m_ui->ListView3->clear(); });
    proc.step(114, [&] { setBusy(true); });
    if (isOpen) {
        const std::size_t count = std::min<std::size_t>(fields.size(), 32767);
        for (std::size_t i = 0; i < count; ++i) {
            proc.step(118, [&] { processEvents(); });
            proc.step(120, [&] {
                addEntry(*m_ui->ListView2, fields[i].name);
                QTreeWidgetItem* entry
                    = m_ui->ListView2->topLevelItem(m_ui->ListView2->topLevelItemCount() - 1);
                entry->setToolTip(0, fieldTip(fields[i]));
                entry->setData(0, kFieldTypeRole, static_cast<int>(fields[i].type));
            });
        }
    }
    proc.step(124, [&] { setBusy(false); });
    if (proc.test(130, [&] { return m_ui->ListView2->topLevelItemCount() > 0; }))
        ListView2_Click();
}

void Form2::ListView2_Click()
{
    core::Procedure proc(m_dialogs, context(u"ListView2_Click"));
    std::unique_ptr<core::ValueCursor> values;
    const bool isOpen = proc.step(106, [&] { data::checkParadoxFolder(m_folderBox.text()); })
        && proc.step(108,
            [&] { values = data::paradoxFieldValues(m_folderBox.text(), selectedTable(), selectedField()); });
    proc.step(110, [&] { m_ui->ListView3->clear(); });
    proc.step(112, [&] { setBusy(true); });
    if (isOpen)
        data::readPreview(proc, { 116, 118, 120, 122, 124 }, *values, *m_pump,
            [&](const QString& text, bool) { addPreviewEntry(text); });
    values.reset();
    proc.step(132, [&] { setBusy(false); });
    offerOperationsFor(m_ui->ListView2->currentItem());
}

void Form2::PushButton1_Click()
{
    // A press during the yields of a run, a preview or a count of values does nothing.
    if (m_isChanging)
        return;
    const bool wasChanging = std::exchange(m_isChanging, true);
    cleaning::PushButton1_Click(
        *this, cleaning::RunPlaces { m_folderBox, m_environment.applicationFolder, QString() });
    m_isChanging = wasChanging;
}

void Form2::PushButton5_Click()
{
    // Another folder during a run would leave the run's "Done." over the folder window.
    if (m_isChanging)
        return;
    core::Procedure proc(m_dialogs, context(u"PushButton5_Click"));
    proc.step(100, [&] { m_selectionWindow.show(); });
    proc.step(102, [&] { hide(); });
}

QString Form2::selectedTable() const
{
    return selectedText(*m_ui->ListView1);
}

QString Form2::selectedField() const
{
    return selectedText(*m_ui->ListView2);
}

int Form2::fieldListCount() const
{
    return m_ui->ListView2->topLevelItemCount();
}

QString Form2::operationText() const
{
    return m_ui->Combo1->currentText();
}

void Form2::setProgressValue(double percent)
{
    m_ui->ProgressBar1->setValue(qRound(std::clamp(percent, 0.0, 100.0)));
}

void Form2::setProgressText(const QString& text)
{
    m_ui->ProgressBar1->setFormat(text);
}

void Form2::clearPreview()
{
    m_ui->ListView3->clear();
}

void Form2::addPreviewEntry(const QString& text)
{
    addEntry(*m_ui->ListView3, text);
    QTreeWidgetItem& item = *m_ui->ListView3->topLevelItem(m_ui->ListView3->topLevelItemCount() - 1);
    item.setData(0, Qt::UserRole, text);
    if (m_showBlanks->isChecked())
        showPreviewText(item);
}

void Form2::setBusy(bool busy)
{
    m_pointer.setShape(busy ? ui::WindowPointer::Shape::Busy : ui::WindowPointer::Shape::Normal);
}

void Form2::processEvents()
{
    if (m_sinceLastYield.isValid() && m_sinceLastYield.elapsed() < kYieldIntervalMs)
        return;
    QCoreApplication::processEvents();
    m_sinceLastYield.start();
}

void Form2::pause(float seconds)
{
    struct EveryEvent : core::EventPump
    {
        void processEvents() override { QCoreApplication::processEvents(); }
    } events;
    core::Pause(seconds, events);
}

bool Form2::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress)
        m_keyboardList = qobject_cast<QTreeWidget*>(watched);
    else if (event->type() == QEvent::KeyRelease || event->type() == QEvent::FocusOut)
        m_keyboardList = nullptr;
    return QWidget::eventFilter(watched, event);
}

std::optional<QString> Form2::inputBox(const QString& prompt)
{
    if (m_isClosing)
        return std::nullopt;
    return m_dialogs.inputBox(prompt);
}

void Form2::messageBox(const QString& text)
{
    if (!m_isClosing)
        m_dialogs.messageBox(text);
}

bool Form2::askYesNo(const QString& question)
{
    return !m_isClosing && m_dialogs.askYesNo(question);
}

void Form2::showErrorReport(const QString& report)
{
    if (m_isClosing)
        qWarning("%s", qUtf8Printable(report));
    else
        m_dialogs.showErrorReport(report);
}

} // namespace ui
