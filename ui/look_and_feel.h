#pragma once

#include "ui/skin_framework.h"

#include <QString>
#include <QWidget>

namespace ui {

inline constexpr char16_t kProductName[] = u"Fieldwright";

// The skin file and the hover cursor file, relative to the application folder. Both are
// optional.
inline constexpr char16_t kSkinFile[] = u"/x/o.cjs";
inline constexpr char16_t kHoverCursorFile[] = u"/HAND-M.CUR";

// When the skin file exists as a plain file (a hidden one counts as missing): colours the
// window like ApplyFormColours, then loads the skin into the engine and applies it to the
// window. Without the file nothing changes. Errors travel to the caller.
void ApplySkin(QWidget& form1, SkinFramework& skin, const QString& applicationFolder);

// Gives the window and its frames, labels, option buttons and check boxes the button-face
// colour of the current colour scheme. Text boxes, lists, buttons and bars keep theirs.
void ApplyFormColours(QWidget& window);

// The application title for a product name: cut at the last space, at least once and again
// while longer than 40 characters. A one-word name of 40 characters or fewer is its own
// title. Throws core::Error when no space is left to cut at in a name still too long.
QString shortenedAppTitle(const QString& productName);

// Sets the process-wide application title (the title of every message box) from the
// product name. On failure the title keeps its earlier value.
void SetAppTitle(const QString& productName = QString::fromUtf16(kProductName));

// The application title that message boxes show.
QString appTitle();

} // namespace ui
