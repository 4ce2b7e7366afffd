#include "ui/form1.h"

#include "core/helpers.h"
#include "ui/look_and_feel.h"
#include "core/procedure.h"
#include "ui/settings_store.h"
#include "data/copy_db.h"
#include "files/file_listing.h"
#include "ui/form2.h"
#include "ui_form1.h"

#include <QCloseEvent>
#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace ui {

namespace {

QString context(const char16_t* handler)
{
    return u"Tidewell2021/08/31.Form1."_s + QString::fromUtf16(handler);
}

} // namespace

Form1::Form1(const Environment& environment)
    : m_ui(std::make_unique<Ui::Form1>())
    , m_environment(environment)
    , m_dialogs(*this)
    , m_pointer(*this)
{
    m_ui->setupUi(this);
    for (QWidget* button : { m_ui->PushButton1, m_ui->PushButton2, m_ui->PushButton3, m_ui->PushButton5 })
        button->setFont(buttonFont());
    makeFixedDialogWindow(*this);

    connect(m_ui->PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(m_ui->PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(m_ui->PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(m_ui->PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);
    connect(m_ui->Text1, &QLineEdit::textChanged, this, &Form1::Text1_Change);
    m_ui->Text1->installEventFilter(this);

    m_pointer.showHandOver({ m_ui->PushButton1, m_ui->PushButton2, m_ui->PushButton3, m_ui->PushButton5 });
    m_pointer.showNormalOver({ m_ui->Frame1, m_ui->Text1 });
}

Form1::~Form1() = default;

void Form1::Form_Load()
{
    core::Procedure proc(m_dialogs, context(u"Form_Load"));
    proc.step(100, [&] { ui::ApplySkin(*this, m_environment.skin, m_environment.applicationFolder); });
    proc.step(104, [&] { setWindowTitle(QString::fromUtf16(ui::kProductName)); });
    proc.step(104, [&] { setWindowIcon(programIcon()); });
    proc.step(104, [&] { ui::SetAppTitle(); });
    const QString cursorFile = m_environment.applicationFolder + QString::fromUtf16(ui::kHoverCursorFile);
    if (proc.test(124, [&] { return core::FileExists(cursorFile); }))
        proc.step(126, [&] { m_pointer.setCustomCursor(ui::loadCursorFile(cursorFile)); });
    proc.step(128, [&] { setText(ui::readSetting(QString::fromUtf16(ui::kDatabaseKey))); });
    if (proc.test(130, [&] { return core::FileExists(text()); })) {
        proc.step(132, [&] { showForm2(); });
        proc.step(134, [&] { hide(); });
    }
}

bool Form1::hasMovedOn() const
{
    return m_form2 && m_form2->isVisible() && !isVisible();
}

QString Form1::text() const
{
    return m_ui->Text1->text();
}

void Form1::setText(const QString& text)
{
    m_ui->Text1->setText(text);
}

void Form1::Text1_Change()
{
    ui::writeSetting(QString::fromUtf16(ui::kDatabaseKey), m_ui->Text1->text());
}

void Form1::CopyDB(bool isSample)
{
    data::CopyDB(isSample, *this, m_dialogs);
}

void Form1::PushButton1_Click()
{
    core::Procedure proc(m_dialogs, context(u"PushButton1_Click"));
    proc.step(100, [&] { setText(m_environment.applicationFolder + u"/Samples"_s); });
    proc.step(102, [&] { CopyDB(true); });
}

void Form1::PushButton2_Click()
{
    core::Procedure proc(m_dialogs, context(u"PushButton2_Click"));
    proc.step(102, [&] { CopyDB(false); });
    proc.step(104, [&] { m_pointer.setShape(ui::WindowPointer::Shape::Busy); });
    // A test that fails is no proof of tables: it answers "Could not connect.", never success.
    bool hasTables = false;
    proc.step(106, [&] { hasTables = files::FolderHasTables(*this); });
    if (hasTables)
        proc.step(108, [&] { m_dialogs.messageBox(u"Connection successful."_s); });
    else
        proc.step(110, [&] { m_dialogs.messageBox(u"Could not connect."_s); });
    proc.step(112, [&] { m_pointer.setShape(ui::WindowPointer::Shape::Normal); });
}

void Form1::PushButton3_Click()
{
    core::Procedure proc(m_dialogs, context(u"PushButton3_Click"));
    proc.step(100, [&] { CopyDB(false); });
    if (proc.test(102, [&] { return core::FileExists(text()); })) {
        proc.step(104, [&] { showForm2(); });
        proc.step(106, [&] { hide(); });
    }
}

void Form1::PushButton5_Click()
{
    core::Procedure proc(m_dialogs, context(u"PushButton5_Click"));
    QString chosen;
    proc.step(100, [&] {
        const QString startFolder = ui::readSetting(QString::fromUtf16(ui::kLastFolderDotKey));
        chosen = m_environment.folderPicker.browseForFolder(*this, u"Please select folder:"_s, startFolder);
    });
    if (proc.test(102, [&] { return chosen.isEmpty(); }))
        return;
    proc.step(104, [&] { setText(chosen); });
    proc.step(106, [&] { CopyDB(false); });
}

void Form1::showForm2()
{
    if (!m_form2)
        m_form2 = std::make_unique<Form2>(*this, *this, m_environment);
    m_form2->display();
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // Text1_GotFocus: typing replaces the whole folder.
    if (watched == m_ui->Text1 && event->type() == QEvent::FocusIn)
        m_ui->Text1->selectAll();
    return QWidget::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (m_form2)
        m_form2->endProgram();
    else
        QCoreApplication::quit();
}

} // namespace ui
