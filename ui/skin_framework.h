#pragma once

#include <QString>
#include <QWidget>

namespace ui {

// The skin engine of the database selection window. The start sequence talks to it in five
// calls, always in the same order; the calls are virtual so a test can record them.
class SkinFramework
{
public:
    // Bit of options(): the loaded skin is switched on. Without it applyWindow changes nothing.
    static constexpr qint32 kSkinActive = 1;

    virtual ~SkinFramework() = default;

    // Reads the skin file, a Qt style sheet. scheme names a colour scheme, a further sheet
    // in the skin's folder that goes on top of it; the empty text for none. Throws
    // core::Error when a file cannot be read.
    virtual void loadSkin(const QString& path, const QString& scheme) = 0;
    virtual qint32 options() const = 0;
    virtual void setOptions(qint32 options) = 0;
    // The skinned window paints its whole background with the skin's colours.
    virtual void setFillBackground(bool fill) = 0;
    // The skinned window draws its controls with one style (Fusion) under the sheet, so the
    // skin looks the same whatever the desktop theme is.
    virtual void setUniformStyle(bool uniform) = 0;
    // Skins the top-level window with this native handle and everything it holds.
    virtual void applyWindow(WId window) = 0;
};

// The engine the program uses: style sheets applied to one window.
class StyleSheetSkin : public SkinFramework
{
public:
    void loadSkin(const QString& path, const QString& scheme) override;
    qint32 options() const override { return m_options; }
    void setOptions(qint32 options) override { m_options = options; }
    void setFillBackground(bool fill) override { m_fillBackground = fill; }
    void setUniformStyle(bool uniform) override { m_uniformStyle = uniform; }
    void applyWindow(WId window) override;

    const QString& styleSheet() const { return m_styleSheet; }

private:
    QString m_styleSheet;
    qint32 m_options = 0;
    bool m_fillBackground = false;
    bool m_uniformStyle = false;
};

} // namespace ui
