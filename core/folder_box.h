#pragma once

#include <QString>

namespace core {

// The folder box of the database selection window: the one place that holds the Paradox
// folder. Every procedure reads it at the moment of use and keeps no copy. setText goes
// through the box's own change handling (which saves the setting "Database").
class FolderBox
{
public:
    virtual ~FolderBox() = default;
    virtual QString text() const = 0;
    virtual void setText(const QString& text) = 0;
};

// A folder box without a window: the command line and the tests.
class PlainFolderBox : public FolderBox
{
public:
    explicit PlainFolderBox(QString text = {})
        : m_text(std::move(text))
    { }
    QString text() const override { return m_text; }
    void setText(const QString& text) override { m_text = text; }

private:
    QString m_text;
};

} // namespace core
