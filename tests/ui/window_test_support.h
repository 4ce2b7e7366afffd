#pragma once

// Helpers for driving the real windows: answering modal boxes the way a person would,
// a private settings store, and application folders with the sample tables in them.

#include "ui/folder_picker.h"
#include "ui/form1.h"
#include "ui/form2.h"
#include "ui/skin_framework.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <deque>
#include <functional>

namespace uitest {

// What a modal box showed before it was answered.
struct SeenBox
{
    QString kind; // "message", "input", "folder"
    QString title;
    QString text; // message text, input prompt, or folder prompt
    bool hasIcon = false;
};

// Answers the modal boxes that the next actions open, in order. Each answer runs once its
// box is on screen. A box that shows with no answer left is cancelled and noted, so that a
// test never hangs on it.
class ModalScript : public QObject
{
public:
    using Answer = std::function<void(QWidget* box)>;

    ModalScript();
    void then(Answer answer) { m_answers.push_back(std::move(answer)); }

    // Ready-made answers.
    static Answer pressOk();
    static Answer type(const QString& text); // input box: type, then Return
    static Answer cancel(); // Escape
    static Answer chooseFolder(const QString& path);

    // Called from inside an answer: inspect the world while the box is open.
    void during(std::function<void()> check)
    {
        m_answers.push_back([check](QWidget* box) {
            check();
            pressOk()(box);
        });
    }

    const std::vector<SeenBox>& seen() const { return m_seen; }
    int unexpected() const { return m_unexpected; }

private:
    void poll();

    QTimer m_timer;
    std::deque<Answer> m_answers;
    std::vector<SeenBox> m_seen;
    int m_unexpected = 0;
};

// An application folder for one test: Samples/ holds the sample tables (when withSamples),
// and the empty work database lies beside them.
class AppFolder
{
public:
    explicit AppFolder(bool withSamples = true);
    QString path() const { return m_dir.path(); }
    QString samples() const { return m_dir.path() + QStringLiteral("/Samples"); }
    // A further folder holding copies of the given sample tables.
    QString folderWith(const QString& name, const QStringList& tables) const;

private:
    QTemporaryDir m_dir;
};

// Empties the private settings store (the test's main points it at a temporary folder).
void clearSettings();
QString setting(const QString& key);
void setSetting(const QString& key, const QString& value);

// A Windows cursor file of 32 x 32 pixels with the given hotspot.
void writeCursorFile(const QString& path, int hotspotX, int hotspotY);

// Sends a mouse move to the control, as the window system does when the pointer crosses it.
void moveMouseOver(QWidget* control);

// The texts of a list's entries, and of its selected entry.
QStringList entries(const QTreeWidget* list);
QString selected(const QTreeWidget* list);
// Every value of one column of a Paradox table, read straight from the file.
QStringList columnOf(const QString& dbPath, std::size_t column);
// A click on the list's entry of that text, as a person makes it.
void clickEntry(QTreeWidget* list, const QString& text);

// One run of the program: the selection window made and loaded as main() does.
struct Program
{
    explicit Program(const QString& applicationFolder)
        : form1(ui::Environment { applicationFolder, skin, picker })
    {
        form1.Form_Load();
        if (!form1.hasMovedOn())
            form1.show();
    }

    template <class T> T* one(const QWidget& window, const char16_t* name)
    {
        return window.findChild<T*>(QString::fromUtf16(name));
    }
    QLineEdit* text1() { return one<QLineEdit>(form1, u"Text1"); }
    QPushButton* button1(const char16_t* name) { return one<QPushButton>(form1, name); }
    ui::Form2& form2() { return *form1.form2(); }
    QTreeWidget* list(const char16_t* name) { return one<QTreeWidget>(form2(), name); }
    QComboBox* combo() { return one<QComboBox>(form2(), u"Combo1"); }
    QPushButton* button2(const char16_t* name) { return one<QPushButton>(form2(), name); }

    ui::StyleSheetSkin skin;
    ui::DialogFolderPicker picker;
    ui::Form1 form1;
};

} // namespace uitest

// A test executable's main: private settings, offscreen windows, then the tests.
#define FW_UI_TEST_MAIN(TestClass)                                                                           \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        QTemporaryDir home;                                                                                  \
        qputenv("HOME", home.path().toLocal8Bit());                                                          \
        qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());                 \
        qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());                     \
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))                                                  \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                         \
        QApplication application(argc, argv);                                                                \
        TestClass test;                                                                                      \
        return QTest::qExec(&test, argc, argv);                                                              \
    }
